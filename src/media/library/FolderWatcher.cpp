#include "media/library/FolderWatcher.h"

#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>

namespace media {

namespace {

constexpr std::uint32_t watchedEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

} // namespace

FolderWatcher::FolderWatcher(std::vector<std::string> roots, std::size_t maximumWatches)
    : roots_(std::move(roots)), maximumWatches_(maximumWatches)
{
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        std::fprintf(stderr, "spoolora: cannot follow the music folders (%s); changes are found at the next start\n",
                     std::strerror(errno));
        return;
    }
    refresh();
}

FolderWatcher::~FolderWatcher()
{
    if (fd_ >= 0)
        close(fd_);
}

void FolderWatcher::refresh()
{
    if (fd_ < 0)
        return;
    for (const std::string& root : roots_)
        watchTree(root);
}

void FolderWatcher::watchTree(const std::string& root)
{
    // Breadth first, without following links, so a link loop cannot recurse.
    std::vector<std::string> pending{root};
    std::set<std::pair<dev_t, ino_t>> seen;
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        struct stat info {};
        if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !seen.insert({info.st_dev, info.st_ino}).second)
            continue;
        if (!watched_.contains(folder)) {
            if (limitReached_)
                return;
            if (watched_.size() >= maximumWatches_ || inotify_add_watch(fd_, folder.c_str(), watchedEvents) < 0) {
                if (watched_.size() >= maximumWatches_ || errno == ENOSPC) {
                    limitReached_ = true;
                    std::fprintf(stderr,
                                 "spoolora: too many music folders to follow (%zu); changes beyond them are found at the next start\n",
                                 watched_.size());
                    return;
                }
                continue;   // unreadable: the scan has said so already
            }
            watched_.insert(folder);
        }
        DIR* dir = opendir(folder.c_str());
        if (!dir)
            continue;
        while (const dirent* entry = readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            if (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK)
                pending.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
}

bool FolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool any = false;
    while (true) {
        const ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got <= 0)
            return any;
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->mask & IN_IGNORED) {
                // The folder went: its watch is gone; forget it so a new one of that name is watched.
                for (auto it = watched_.begin(); it != watched_.end();) {
                    struct stat info {};
                    it = stat(it->c_str(), &info) != 0 ? watched_.erase(it) : std::next(it);
                }
            }
            any = true;
            at += sizeof(inotify_event) + event->len;
        }
    }
}

bool FolderWatcher::waitForChange(const std::atomic<bool>& stop, double settleSeconds)
{
    using Clock = std::chrono::steady_clock;
    bool changed = false;
    Clock::time_point lastChange{};
    while (!stop.load()) {
        if (fd_ < 0) {
            usleep(250000);
            continue;
        }
        pollfd descriptor{fd_, POLLIN, 0};
        const int ready = poll(&descriptor, 1, 250);
        if (ready > 0 && readEvents()) {
            changed = true;
            lastChange = Clock::now();
            continue;
        }
        if (changed && std::chrono::duration<double>(Clock::now() - lastChange).count() >= settleSeconds)
            return true;
    }
    return false;
}

} // namespace media
