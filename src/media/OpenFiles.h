#pragma once
// `spoolora FILE…`: files, folders and playlists named on the command line, made
// into a queue in the order given.

#include "platform/MusicPlayer.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace media {

// Names as people sort them: runs of digits compare by their value ("track 2"
// before "track 10"), the rest byte by byte, case folded for ASCII letters.
bool naturalLess(const std::string& a, const std::string& b) noexcept;

// The entries of an .m3u or .m3u8 playlist: paths relative to the playlist's folder,
// comment lines (#EXTM3U, #EXTINF…) and blank lines skipped, URLs skipped.
// Throws std::runtime_error when the playlist cannot be read.
std::vector<std::filesystem::path> readPlaylist(const std::filesystem::path& playlist);

// Items for the arguments, in order: a file as it is (whatever its extension says),
// a folder's audio files taken recursively in natural order, a playlist's entries.
// Anything that cannot be played gets one line on `errors` and is left out.
std::vector<platform::MediaItemPtr> itemsForArguments(const std::vector<std::string>& arguments,
                                                      std::ostream& errors);

} // namespace media
