#pragma once
// `spoolora --scan`: brings the index up to date without a window.

#include <iosfwd>
#include <string>
#include <vector>

namespace media {

// Scans the folders into the index at the path. On a terminal (showProgress) the
// count of files goes on one line as it grows; the last line is "N tracks, M albums,
// K artists (S skipped)", and each skipped file is named on err. Returns the exit
// status: 0 when the index is up to date, 1 when it could not be written.
int runLibraryScan(const std::vector<std::string>& folders, const std::string& databasePath, bool showProgress,
                   std::ostream& out, std::ostream& err);

} // namespace media
