#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

constexpr const char* temporarySuffix = ".tmp-";
// As many links as the kernel follows before it gives up with ELOOP.
constexpr int maxLinksFollowed = 40;

std::string errnoText(const char* step, int error)
{
    return std::string(step) + ": " + std::strerror(error);
}

// The file a chain of symbolic links ends at; the path itself when it is no link.
std::filesystem::path finalTarget(const std::filesystem::path& path)
{
    std::filesystem::path target = path;
    for (int links = 0;; ++links) {
        std::error_code error;
        const auto status = std::filesystem::symlink_status(target, error);
        if (error || !std::filesystem::is_symlink(status))
            return target;
        if (links == maxLinksFollowed)
            throw AtomicWriteError(path, "too many levels of symbolic links");
        std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error)
            throw AtomicWriteError(path, "cannot read the link: " + error.message());
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
}

void writeAll(int fd, std::string_view text, const std::filesystem::path& path)
{
    while (!text.empty()) {
        const ssize_t wrote = ::write(fd, text.data(), text.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0)
            throw AtomicWriteError(path, errnoText("cannot write", errno));
        text.remove_prefix(static_cast<std::size_t>(wrote));
    }
}

// Closes the temporary file and removes it unless it was renamed into place.
struct Temporary {
    int fd = -1;
    std::string name;
    bool renamed = false;
    ~Temporary()
    {
        if (fd >= 0)
            ::close(fd);
        if (!renamed)
            ::unlink(name.c_str());
    }
};

} // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view contents, mode_t newFileMode)
{
    const std::filesystem::path target = finalTarget(path);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw AtomicWriteError(path, "cannot create the folder: " + error.message());

    mode_t mode = newFileMode;
    if (struct stat existing {}; ::stat(target.c_str(), &existing) == 0)
        mode = existing.st_mode & 07777;

    Temporary temporary;
    temporary.name = (folder / (target.filename().string() + temporarySuffix + "XXXXXX")).string();
    temporary.fd = ::mkostemp(temporary.name.data(), O_CLOEXEC);
    if (temporary.fd < 0) {
        temporary.renamed = true;   // nothing was made, so nothing to remove
        throw AtomicWriteError(path, errnoText("cannot create a temporary file", errno));
    }
    if (::fchmod(temporary.fd, mode) != 0)
        throw AtomicWriteError(path, errnoText("cannot set the permissions", errno));
    writeAll(temporary.fd, contents, path);
    if (::fsync(temporary.fd) != 0)
        throw AtomicWriteError(path, errnoText("cannot flush", errno));
    const int closing = temporary.fd;
    temporary.fd = -1;
    if (::close(closing) != 0)
        throw AtomicWriteError(path, errnoText("cannot close", errno));
    if (::rename(temporary.name.c_str(), target.c_str()) != 0)
        throw AtomicWriteError(path, errnoText("cannot replace the file", errno));
    temporary.renamed = true;

    // The rename lives in the folder; until the folder is flushed it could still be lost.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        throw AtomicWriteError(path, errnoText("cannot open the folder", errno));
    const int synced = ::fsync(folderFd);
    const int syncError = errno;
    ::close(folderFd);
    // Some file systems cannot flush a folder at all; the file itself is already safe there.
    if (synced != 0 && syncError != EINVAL && syncError != EROFS)
        throw AtomicWriteError(path, errnoText("cannot flush the folder", syncError));
}

bool isAtomicWriteLeftover(const std::string& candidateFileName, const std::string& targetFileName)
{
    const std::string prefix = targetFileName + temporarySuffix;
    return candidateFileName.size() > prefix.size() && candidateFileName.compare(0, prefix.size(), prefix) == 0;
}

} // namespace platform
