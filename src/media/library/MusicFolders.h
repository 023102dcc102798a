#pragma once
// Where the library looks for music and keeps its index.

#include <string>
#include <vector>

namespace media {

// The XDG music folder: XDG_MUSIC_DIR from $XDG_CONFIG_HOME/user-dirs.dirs (default
// ~/.config), else ~/Music. Reads the environment and that file; never throws.
std::string defaultMusicFolder();

// $XDG_CACHE_HOME/spoolora/library.db, default ~/.cache/spoolora/library.db.
std::string defaultLibraryDatabasePath();

// The value of XDG_MUSIC_DIR in the text of a user-dirs.dirs file, with $HOME
// expanded; empty when the file does not set it.
std::string musicFolderFromUserDirs(const std::string& text, const std::string& home);

} // namespace media
