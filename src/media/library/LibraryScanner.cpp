#include "media/library/LibraryScanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <unordered_map>
#include <utility>

namespace media {

namespace {

using Clock = std::chrono::steady_clock;

FileStamp stampOf(const struct stat& info) noexcept
{
    return {static_cast<std::int64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::string normalisedFolder(const std::string& folder)
{
    char* real = realpath(folder.c_str(), nullptr);
    if (!real)
        return {};
    std::string path(real);
    free(real);
    return path;
}

bool isInside(const std::string& path, const std::string& folder) noexcept
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (folder.back() == '/' || path[folder.size()] == '/');
}

class FolderScan {
public:
    FolderScan(LibraryDatabase& database, std::string root, ScanListener* listener, const std::atomic<bool>* stop,
               ScanOptions options, ScanReport& report)
        : database_(database), root_(std::move(root)), listener_(listener), stop_(stop), options_(options),
          report_(report), known_(database.filesUnder(root_)), lastCommit_(Clock::now())
    {
    }

    void run()
    {
        struct stat info {};
        if (stat(root_.c_str(), &info) != 0)
            return;
        visited_.insert({info.st_dev, info.st_ino});
        walk(root_);
        if (stopped())
            return;
        forgetVanished();
    }

    void finish() { database_.commit(); }

private:
    bool stopped() const noexcept { return stop_ && stop_->load(std::memory_order_relaxed); }

    void walk(const std::string& folder)
    {
        DIR* dir = opendir(folder.c_str());
        if (!dir) {
            std::fprintf(stderr, "spoolora: cannot read the folder \"%s\": %s\n", folder.c_str(), std::strerror(errno));
            unreadable_.push_back(folder);
            return;
        }
        const int fd = dirfd(dir);
        std::vector<std::string> subfolders;
        errno = 0;
        while (const dirent* entry = readdir(dir)) {
            if (stopped())
                break;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            const bool maybeFolder = entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
            const bool audio = hasAudioExtension(name);
            if (!audio && !maybeFolder)
                continue;
            std::string path = folder;
            if (path.back() != '/')
                path += '/';
            path += name;
            struct stat info {};
            if (fstatat(fd, name, &info, 0) != 0)
                continue;   // a dangling link, or gone since the listing
            if (S_ISDIR(info.st_mode)) {
                // A link back into a folder already walked would loop for ever.
                if (visited_.insert({info.st_dev, info.st_ino}).second)
                    subfolders.push_back(std::move(path));
                continue;
            }
            if (audio)
                look(path, info);
        }
        closedir(dir);
        std::sort(subfolders.begin(), subfolders.end());
        for (const std::string& subfolder : subfolders) {
            if (stopped())
                return;
            walk(subfolder);
        }
    }

    void look(const std::string& path, const struct stat& info)
    {
        ++report_.filesSeen;
        if (listener_ && report_.filesSeen % 64 == 0)
            listener_->scanProgress(report_.filesSeen);
        seen_.push_back(path);
        if (!S_ISREG(info.st_mode)) {
            // A FIFO or a device would block or never end: never opened.
            report_.skipped.push_back(SkippedRecord{path, root_, {}, "not a regular file"});
            return;
        }
        const FileStamp stamp = stampOf(info);
        if (const auto found = known_.find(path); found != known_.end() && found->second.stamp == stamp) {
            if (found->second.skipped)
                report_.skipped.push_back(SkippedRecord{path, root_, stamp, found->second.reason, true});
            return;
        }
        ReadResult result = readFileForLibrary(path, root_);
        ++report_.tagsRead;
        database_.begin();
        if (result.isTrack) {
            database_.putTrack(result.track);
            if (listener_)
                listener_->trackChanged(result.track);
        } else {
            database_.putSkipped(result.skipped);
            report_.skipped.push_back(result.skipped);
            if (known_.contains(path) && !known_[path].skipped && listener_)
                listener_->trackRemoved(path);
        }
        countWrite();
    }

    void countWrite()
    {
        ++pendingWrites_;
        if (pendingWrites_ >= options_.batchFiles ||
            std::chrono::duration<double>(Clock::now() - lastCommit_).count() >= options_.batchSeconds) {
            database_.commit();
            pendingWrites_ = 0;
            lastCommit_ = Clock::now();
        }
    }

    void forgetVanished()
    {
        std::sort(seen_.begin(), seen_.end());
        for (const auto& [path, file] : known_) {
            if (std::binary_search(seen_.begin(), seen_.end(), path))
                continue;
            // Files in a folder that could not be read are not known to be gone.
            if (std::any_of(unreadable_.begin(), unreadable_.end(),
                            [&](const std::string& folder) { return isInside(path, folder); }))
                continue;
            database_.begin();
            database_.remove(path);
            ++report_.removed;
            if (!file.skipped && listener_)
                listener_->trackRemoved(path);
            countWrite();
        }
    }

    LibraryDatabase& database_;
    std::string root_;
    ScanListener* listener_;
    const std::atomic<bool>* stop_;
    ScanOptions options_;
    ScanReport& report_;
    std::unordered_map<std::string, LibraryDatabase::KnownFile> known_;
    std::set<std::pair<dev_t, ino_t>> visited_;
    std::vector<std::string> seen_;
    std::vector<std::string> unreadable_;
    std::size_t pendingWrites_ = 0;
    Clock::time_point lastCommit_;
};

} // namespace

bool hasAudioExtension(std::string_view fileName) noexcept
{
    static constexpr std::string_view extensions[] = {"mp3", "flac", "ogg", "oga", "opus", "m4a", "mp4", "aac",
                                                      "wav", "wma", "aif", "aiff", "ape", "wv",  "mpc", "spx",
                                                      "tta", "m4b", "alac", "dsf"};
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0 || fileName.size() - dot - 1 > 4)
        return false;
    char lower[5] = {};
    const std::string_view ext = fileName.substr(dot + 1);
    for (std::size_t i = 0; i < ext.size(); ++i)
        lower[i] = static_cast<char>(ext[i] >= 'A' && ext[i] <= 'Z' ? ext[i] - 'A' + 'a' : ext[i]);
    const std::string_view folded(lower, ext.size());
    return std::find(std::begin(extensions), std::end(extensions), folded) != std::end(extensions);
}

ReadResult readFileForLibrary(const std::string& path, const std::string& root)
{
    ReadResult result;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        result.skipped = SkippedRecord{path, root, {}, std::strerror(errno)};
        return result;
    }
    const FileStamp stamp = stampOf(info);
    if (!S_ISREG(info.st_mode)) {
        result.skipped = SkippedRecord{path, root, {}, "not a regular file"};
        return result;
    }
    if (info.st_size == 0) {
        result.skipped = SkippedRecord{path, root, stamp, "empty file"};
        return result;
    }
    // TagLib opens without telling why it failed: a file we may not read is caught here.
    if (access(path.c_str(), R_OK) != 0) {
        result.skipped = SkippedRecord{path, root, stamp, std::strerror(errno)};
        return result;
    }
    try {
        result.track = TrackRecord{path, root, stamp, readTrackTags(path)};
        result.isTrack = true;
    } catch (const UnreadableFile& unreadable) {
        result.skipped = SkippedRecord{path, root, stamp, unreadable.what()};
    }
    return result;
}

ScanReport scanMusicFolders(LibraryDatabase& database, const std::vector<std::string>& folders,
                            ScanListener* listener, const std::atomic<bool>* stop, ScanOptions options)
{
    ScanReport report;
    std::vector<std::string> roots;
    for (const std::string& folder : folders) {
        std::string root = normalisedFolder(folder);
        if (root.empty()) {
            std::fprintf(stderr, "spoolora: the music folder \"%s\" is not there; its tracks are kept\n", folder.c_str());
            continue;
        }
        roots.push_back(std::move(root));
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    std::erase_if(roots, [&](const std::string& root) {
        return std::any_of(roots.begin(), roots.end(), [&](const std::string& other) { return isInside(root, other); });
    });
    for (const std::string& root : roots) {
        FolderScan scan(database, root, listener, stop, options, report);
        scan.run();
        scan.finish();
        if (stop && stop->load()) {
            report.stopped = true;
            break;
        }
    }
    if (listener)
        listener->scanProgress(report.filesSeen);
    return report;
}

} // namespace media
