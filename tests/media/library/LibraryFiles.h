#pragma once
// Music folders made for a test: short generated files with the tags a test asks
// for, written by TagLib, in a temporary folder removed afterwards.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace librarytest {

using Tags = std::map<std::string, std::string>;   // TagLib property names: TITLE, TRACKNUMBER, ...

class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

// Writes a file of about the length, in the format of its ending (.wav, .flac, .mp3,
// .ogg, .opus), with the tags. Formats are encoded once per run and copied after.
void writeMusicFile(const std::filesystem::path& path, const Tags& tags = {});
// Rewrites the tags and moves the modification time on, as an editor would.
void retagMusicFile(const std::filesystem::path& path, const Tags& tags);
// Writes bytes as they are.
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

} // namespace librarytest
