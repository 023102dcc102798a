#include "media/library/SqliteMusicLibrary.h"

#include "media/library/FolderWatcher.h"
#include "media/library/LibraryScanner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <set>

namespace media {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> present(const std::string& text)
{
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

std::optional<std::int64_t> counted(std::int32_t number)
{
    return number > 0 ? std::optional<std::int64_t>(number) : std::nullopt;
}

} // namespace

void addLibraryTrack(platform::LibraryContents::Builder& builder, const TrackRecord& record)
{
    platform::MediaItem item;
    item.title = present(record.tags.title);
    item.artist = present(record.tags.artist);
    item.albumTitle = present(record.tags.album);
    if (record.tags.durationSeconds > 0)
        item.playbackDuration = record.tags.durationSeconds;
    item.albumTrackNumber = counted(record.tags.trackNumber);
    item.albumTrackCount = counted(record.tags.trackCount);
    item.location = record.path;
    builder.add(item, record.tags.albumArtist, record.tags.discNumber, record.tags.year);
}

void releaseFreedMemory() noexcept
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

std::string indexFolderName(const std::string& folder)
{
    if (char* real = realpath(folder.c_str(), nullptr)) {
        std::string path(real);
        free(real);
        return path;
    }
    std::error_code ignored;
    return std::filesystem::absolute(folder, ignored).lexically_normal().string();
}

// --- Main-thread state ------------------------------------------------------------

struct SqliteMusicLibrary::Shared {
    std::shared_ptr<const platform::LibraryContents> contents = std::make_shared<platform::LibraryContents>();
    platform::LibraryScanState scanState;
    std::vector<platform::MusicLibraryObserver*> observers;

    void notify()
    {
        const auto observing = observers;
        for (platform::MusicLibraryObserver* observer : observing)
            if (std::find(observers.begin(), observers.end(), observer) != observers.end())
                observer->musicLibraryDidChange();
    }
};

SqliteMusicLibrary::SqliteMusicLibrary(platform::RunLoop& runLoop, LibrarySettings settings)
    : runLoop_(runLoop), settings_(std::move(settings)), shared_(std::make_shared<Shared>())
{
    shared_->scanState.scanning = true;
    worker_ = std::thread([this] { work(); });
}

SqliteMusicLibrary::~SqliteMusicLibrary()
{
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

std::shared_ptr<const platform::LibraryContents> SqliteMusicLibrary::contents() const
{
    return shared_->contents;
}

platform::LibraryScanState SqliteMusicLibrary::scanState() const
{
    return shared_->scanState;
}

void SqliteMusicLibrary::addObserver(platform::MusicLibraryObserver& observer)
{
    auto& observers = shared_->observers;
    if (std::find(observers.begin(), observers.end(), &observer) == observers.end())
        observers.push_back(&observer);
}

void SqliteMusicLibrary::removeObserver(platform::MusicLibraryObserver& observer)
{
    std::erase(shared_->observers, &observer);
}

// --- The worker --------------------------------------------------------------------

namespace {

// What the worker knows of the tracks, and how it hands them over. It holds the
// contents last handed over (shared with the main thread, not copied) and the
// changes since; a new set is made from the two, track by track.
class Publisher final : public ScanListener {
public:
    Publisher(std::function<void(std::shared_ptr<const platform::LibraryContents>)> publishContents,
              std::function<void(platform::LibraryScanState)> publishState, std::set<std::string> roots)
        : publishContents_(std::move(publishContents)),
          publishState_(std::move(publishState)), roots_(std::move(roots))
    {
    }

    void load(const LibraryDatabase& database)
    {
        platform::LibraryContents::Builder builder;
        database.forEachTrack([&](const TrackRecord& record) {
            if (roots_.contains(record.root))
                addLibraryTrack(builder, record);
        });
        hand(builder.build());
    }

    void scanProgress(std::int64_t filesSeen) override
    {
        const auto now = Clock::now();
        if (now - lastState_ >= std::chrono::milliseconds(200)) {
            lastState_ = now;
            publishState_(platform::LibraryScanState{true, filesSeen});
        }
        // Rebuilding the lists costs time in proportion to the library: the pause
        // between two grows with it, so that a large first scan is not slowed down.
        if (!changes_.empty() && now >= nextPublish_)
            publish();
    }
    void trackChanged(const TrackRecord& track) override { changes_.insert_or_assign(track.path, track); }
    void trackRemoved(const std::string& path) override { changes_.insert_or_assign(path, std::nullopt); }

    void publish()
    {
        const auto start = Clock::now();
        platform::LibraryContents::Builder builder;
        for (std::uint32_t t = 0; t < current_->trackCount(); ++t)
            if (!changes_.contains(current_->location(t)))
                builder.add(*current_, t);
        for (const auto& [path, record] : changes_)
            if (record)
                addLibraryTrack(builder, *record);
        changes_ = {};
        hand(builder.build());
        const auto took = Clock::now() - start;
        nextPublish_ = Clock::now() + std::max<Clock::duration>(std::chrono::seconds(1), took * 4);
    }
    bool isDirty() const noexcept { return !changes_.empty(); }

private:
    void hand(std::shared_ptr<const platform::LibraryContents> contents)
    {
        current_ = std::move(contents);
        publishContents_(current_);
        releaseFreedMemory();   // what building left behind on this thread
    }

    std::function<void(std::shared_ptr<const platform::LibraryContents>)> publishContents_;
    std::function<void(platform::LibraryScanState)> publishState_;
    std::set<std::string> roots_;
    std::shared_ptr<const platform::LibraryContents> current_ = std::make_shared<platform::LibraryContents>();
    std::unordered_map<std::string, std::optional<TrackRecord>> changes_;   // path → new record, or none when gone
    Clock::time_point lastState_{};
    Clock::time_point nextPublish_{};
};

} // namespace

void SqliteMusicLibrary::work()
{
    std::weak_ptr<Shared> weak = shared_;
    platform::RunLoop& runLoop = runLoop_;
    auto publishContents = [&runLoop, weak](std::shared_ptr<const platform::LibraryContents> contents) {
        runLoop.post([weak, contents = std::move(contents)] {
            if (auto shared = weak.lock()) {
                shared->contents = contents;
                shared->notify();
                releaseFreedMemory();   // the contents replaced, once their last reader let go
            }
        });
    };
    auto publishState = [&runLoop, weak](platform::LibraryScanState state) {
        runLoop.post([weak, state] {
            if (auto shared = weak.lock(); shared && !(shared->scanState == state)) {
                shared->scanState = state;
                shared->notify();
            }
        });
    };

    std::set<std::string> roots;
    for (const std::string& folder : settings_.folders)
        roots.insert(indexFolderName(folder));
    Publisher publisher(publishContents, publishState, roots);
    std::int64_t filesSeen = 0;
    try {
        IndexWriterLock lock(settings_.databasePath, settings_.lockWaitSeconds, &stop_);
        if (stop_)
            return;
        if (!lock.isHeld()) {
            std::fprintf(stderr, "spoolora: another Spoolora is updating the music library; showing it as it is\n");
            if (std::filesystem::exists(settings_.databasePath)) {
                LibraryDatabase database(settings_.databasePath, LibraryDatabase::Access::ReadOnly);
                publisher.load(database);
            }
        } else {
            LibraryDatabase database(settings_.databasePath);
            publisher.load(database);
            const auto scan = [&] {
                const ScanReport report = scanMusicFolders(database, settings_.folders, &publisher, &stop_);
                for (const SkippedRecord& skipped : report.skipped)
                    if (!skipped.remembered)
                        std::fprintf(stderr, "spoolora: skipped \"%s\": %s\n", skipped.path.c_str(), skipped.reason.c_str());
                if (publisher.isDirty() && !stop_)
                    publisher.publish();
                releaseFreedMemory();   // the scan's list of the files it knew
                return report.filesSeen;
            };
            // The watches go on before the scan, so that nothing changed during it is missed.
            std::unique_ptr<FolderWatcher> watcher;
            if (settings_.follow)
                watcher = std::make_unique<FolderWatcher>(std::vector<std::string>(roots.begin(), roots.end()));
            filesSeen = scan();
            publishState(platform::LibraryScanState{false, filesSeen});
            idle_ = true;
            while (watcher && watcher->waitForChange(stop_)) {
                idle_ = false;
                filesSeen = scan();
                watcher->refresh();
                publishState(platform::LibraryScanState{false, filesSeen});
                idle_ = true;
            }
            return;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spoolora: %s\n", error.what());
    }
    publishState(platform::LibraryScanState{false, filesSeen});
    idle_ = true;
}

} // namespace media
