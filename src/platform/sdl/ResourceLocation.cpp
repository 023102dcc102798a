// Where the pictures are: beside an installed program, in the build tree, or where
// the environment says.

#include "platform/sdl/Compositor.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>

namespace platform::sdl {

namespace {

std::filesystem::path programFolder()
{
    // /proc/self/exe names the program's real folder even when it was started
    // through a symbolic link or a relative path.
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

[[maybe_unused]] bool isInside(const std::filesystem::path& inner, const std::filesystem::path& outer)
{
    const std::filesystem::path innerPath = inner.lexically_normal();
    const std::filesystem::path outerPath = outer.lexically_normal();
    return !outerPath.empty() &&
           std::mismatch(outerPath.begin(), outerPath.end(), innerPath.begin(), innerPath.end()).first == outerPath.end();
}

} // namespace

std::filesystem::path resourceDirectory()
{
    if (const char* env = std::getenv("SPOOLORA_RESOURCE_DIR"); env && *env)
        return env;
    const std::filesystem::path folder = programFolder();
    // Installed: bin/../share/spoolora/resources, whatever the prefix.
    const std::filesystem::path installed = folder.parent_path() / "share" / "spoolora" / "resources";
    std::error_code error;
    if (!folder.empty() && std::filesystem::is_directory(installed, error))
        return installed;
#if defined(SPOOLORA_RESOURCE_DIR) && defined(SPOOLORA_BUILD_DIR)
    // Only a program run from the build tree takes the pictures drawn there: a copy
    // that was installed or unpacked elsewhere must not lean on a build that
    // happens to be lying around.
    if (isInside(folder, SPOOLORA_BUILD_DIR))
        return SPOOLORA_RESOURCE_DIR;
#endif
    return installed;
}

} // namespace platform::sdl
