#include "media/library/ScanCommand.h"

#include "media/library/LibraryScanner.h"
#include "media/library/SqliteMusicLibrary.h"
#include "platform/DisplayText.h"
#include "platform/LibraryContents.h"

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <ostream>
#include <set>

namespace media {

namespace {

class ProgressLine final : public ScanListener {
public:
    ProgressLine(std::ostream& out, bool show) : out_(out), show_(show) {}
    void scanProgress(std::int64_t filesSeen) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (!show_ || now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        out_ << "\rScanning\u2026 " << platform::withThousands(filesSeen) << " files" << std::flush;
        shown_ = true;
    }
    void finish()
    {
        if (shown_)
            out_ << "\r\033[K" << std::flush;   // the progress line gives way to the summary
    }

private:
    std::ostream& out_;
    bool show_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace

int runLibraryScan(const std::vector<std::string>& folders, const std::string& databasePath, bool showProgress,
                   std::ostream& out, std::ostream& err)
{
    // FFmpeg's own complaints about a damaged file would bury the one line that names it.
    av_log_set_level(AV_LOG_FATAL);
    try {
        IndexWriterLock lock(databasePath, 5);
        if (!lock.isHeld()) {
            err << "spoolora: another Spoolora is updating the music library index \"" << databasePath
                << "\"; try again when it has finished\n";
            return 1;
        }
        LibraryDatabase database(databasePath);
        ProgressLine progress(out, showProgress);
        const ScanReport report = scanMusicFolders(database, folders, &progress);
        progress.finish();
        for (const SkippedRecord& skipped : report.skipped)
            err << "spoolora: skipped \"" << skipped.path << "\": " << skipped.reason << '\n';

        // Count as the picker groups: the tracks of this run's folders.
        std::set<std::string> roots;
        for (const std::string& folder : folders)
            roots.insert(indexFolderName(folder));
        platform::LibraryContents::Builder builder;
        database.forEachTrack([&](const TrackRecord& record) {
            if (roots.contains(record.root))
                addLibraryTrack(builder, record);
        });
        const std::shared_ptr<const platform::LibraryContents> built = builder.build();
        const platform::LibraryContents& contents = *built;
        out << platform::withThousands(static_cast<std::int64_t>(contents.trackCount())) << " tracks, "
            << platform::withThousands(static_cast<std::int64_t>(contents.albums().size())) << " albums, "
            << platform::withThousands(static_cast<std::int64_t>(contents.artists().size())) << " artists ("
            << platform::withThousands(static_cast<std::int64_t>(report.skipped.size())) << " skipped)\n";
        return 0;
    } catch (const std::exception& error) {
        err << "spoolora: " << error.what() << '\n';
        return 1;
    }
}

} // namespace media
