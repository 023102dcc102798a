#pragma once
// Where a failing test leaves its pictures: $SPOOLORA_TEST_OUTPUT, which CTest points
// into the build tree, or else a folder in the system's temporary directory, so that
// a test binary started by hand never writes into the folder it was started from.

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace testsupport {

// The folder, made when missing.
inline std::filesystem::path testOutputFolder()
{
    std::filesystem::path folder;
    if (const char* chosen = std::getenv("SPOOLORA_TEST_OUTPUT"); chosen && *chosen) {
        folder = chosen;
    } else {
        std::error_code error;
        const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
        folder = (error ? std::filesystem::path("/tmp") : temporary) / "spoolora-test-output";
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return folder;
}

} // namespace testsupport
