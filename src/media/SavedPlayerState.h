#pragma once
// The player outlives the process, like the device-wide player it stands for: its
// queue, now-playing entry, position, state and repeat mode are kept in
// $XDG_STATE_HOME/spoolora/player.json (by default ~/.local/state/spoolora/),
// written whole or not at all.

#include "media/SystemMusicPlayer.h"
#include "platform/RunLoop.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace media {

// $XDG_STATE_HOME/spoolora, or ~/.local/state/spoolora.
std::filesystem::path defaultStateFolder();

std::string encodePlayerState(const PlayerSnapshot& state);
// Throws std::runtime_error when the text is not a saved player.
PlayerSnapshot decodePlayerState(const std::string& text);

// A saved player read back: the queue as media items, the entry, the position and
// the repeat mode. Only the now-playing item's tags are read; the others are
// marked unread (they have their location and a title from the file name) and the
// player reads them when it gets there.
struct RestoredPlayer {
    std::vector<platform::MediaItemPtr> items;
    std::vector<bool> unread;
    std::optional<std::size_t> index;
    double position = 0;
    std::int32_t repeatMode = 0;
};

// Reads the saved player; none when there is no file. Files that have vanished since
// are dropped with one line each on stderr (a vanished or unplayable now-playing
// entry gives its place to the next, from its start); a damaged file is kept beside
// as ".bad", with one line on stderr, and gives none. A file that is there but does
// not play is found out when the player reaches it.
std::optional<RestoredPlayer> loadPlayerState(const std::filesystem::path& file);

// Keeps the file up to date from a running player: on every item change, pause and
// the like, every 10 seconds while playing, and when told (at quit). Main thread.
class PlayerStateKeeper {
public:
    // Both must outlive the keeper.
    PlayerStateKeeper(SystemMusicPlayer& player, platform::RunLoop& runLoop, std::filesystem::path file);
    ~PlayerStateKeeper();
    PlayerStateKeeper(const PlayerStateKeeper&) = delete;
    PlayerStateKeeper& operator=(const PlayerStateKeeper&) = delete;

    // Writes the file now; a failure is one line on stderr and the old file stays.
    void save();

private:
    SystemMusicPlayer& player_;
    std::filesystem::path file_;
    platform::TimerHandle timer_;
};

} // namespace media
