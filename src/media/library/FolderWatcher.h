#pragma once
// Follows the music folders with inotify while the program runs: says when
// something in them changed, once the changes have settled. Watches are bounded;
// when the bound (or the system's limit) is reached, folders beyond it are not
// followed, and one line on stderr says so (the next start's scan finds their changes).

#include <atomic>
#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace media {

class FolderWatcher {
public:
    static constexpr std::size_t defaultMaximumWatches = 8192;

    // Watches every folder under the roots (the worker thread's own object).
    explicit FolderWatcher(std::vector<std::string> roots, std::size_t maximumWatches = defaultMaximumWatches);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // Waits until something changed and then nothing more for settleSeconds; returns
    // true then, or false once *stop is set. Checks *stop at least four times a second.
    bool waitForChange(const std::atomic<bool>& stop, double settleSeconds = 1.0);
    // Adds watches for folders made since (call after each rescan).
    void refresh();

    std::size_t watchCount() const noexcept { return watched_.size(); }
    bool reachedLimit() const noexcept { return limitReached_; }

private:
    void watchTree(const std::string& folder);
    bool readEvents();

    std::vector<std::string> roots_;
    std::size_t maximumWatches_;
    int fd_ = -1;
    std::unordered_set<std::string> watched_;
    bool limitReached_ = false;
};

} // namespace media
