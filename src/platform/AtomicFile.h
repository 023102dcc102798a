#pragma once
// Replacing a whole file so that a crash or power cut at any moment leaves either
// the old contents or the new ones, never a mixture or an empty file.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform {

// A file that could not be written. what() names the file and the reason
// ("cannot write \"/x/preferences.conf\": cannot flush: No space left on device");
// reason alone is the part after the file's name.
class AtomicWriteError : public std::runtime_error {
public:
    AtomicWriteError(const std::filesystem::path& path, const std::string& reason)
        : std::runtime_error("cannot write \"" + path.string() + "\": " + reason), reason(reason)
    {
    }
    std::string reason;
};

// Writes `contents` as the whole file at `path`: a temporary file beside it, flushed
// to the disk, renamed over the old file, and the folder flushed so that the rename
// itself survives. Missing folders are made.
// - A symbolic link at `path` is followed (a chain of them too): the file it points
//   to is replaced and the link stays a link.
// - A file that already exists keeps its permission bits; a new file gets `newFileMode`.
// - On failure the old file is untouched and no temporary file is left behind.
// Throws AtomicWriteError. May be called from any thread; two writers of the same
// path at once leave one of the two contents whole.
void writeFileAtomically(const std::filesystem::path& path, std::string_view contents, mode_t newFileMode = 0600);

// The name a temporary file of writeFileAtomically has for a target with this file
// name, so that leftovers of a write cut short can be recognised and removed.
bool isAtomicWriteLeftover(const std::string& candidateFileName, const std::string& targetFileName);

} // namespace platform
