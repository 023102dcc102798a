#include "LibraryFiles.h"

#include "AudioFileWriter.h"

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace librarytest {

namespace fs = std::filesystem;

namespace {

const fs::path& templateFolder()
{
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "spoolora-templates-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        return fs::path(pattern);
    }();
    return folder;
}

struct TemplateCleanup {
    ~TemplateCleanup()
    {
        std::error_code ignored;
        fs::remove_all(templateFolder(), ignored);
    }
};

const fs::path& templateFor(const std::string& extension)
{
    static std::map<std::string, fs::path> made;
    static TemplateCleanup cleanup;
    if (auto found = made.find(extension); found != made.end())
        return found->second;
    static const std::map<std::string, std::string> codecs = {
        {".wav", "pcm_s16le"}, {".flac", "flac"}, {".mp3", "libmp3lame"}, {".ogg", "libvorbis"}, {".opus", "libopus"}};
    const fs::path path = templateFolder() / ("template" + extension);
    audiogen::writeAudioFile(path.string(), audiogen::sineTone(1.0, 440, extension == ".opus" ? 48000 : 44100),
                             codecs.at(extension));
    return made.emplace(extension, path).first->second;
}

void applyTags(const fs::path& path, const Tags& tags)
{
    if (tags.empty())
        return;
    TagLib::FileRef file(path.c_str());
    if (file.isNull())
        throw std::runtime_error("TagLib cannot open " + path.string());
    TagLib::PropertyMap properties = file.file()->properties();
    for (const auto& [key, value] : tags)
        properties.replace(key, TagLib::StringList(TagLib::String(value, TagLib::String::UTF8)));
    file.file()->setProperties(properties);
    if (!file.save())
        throw std::runtime_error("TagLib cannot save " + path.string());
}

} // namespace

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (fs::temp_directory_path() / "spoolora-library-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void writeMusicFile(const fs::path& path, const Tags& tags)
{
    fs::create_directories(path.parent_path());
    fs::copy_file(templateFor(path.extension().string()), path, fs::copy_options::overwrite_existing);
    applyTags(path, tags);
}

void retagMusicFile(const fs::path& path, const Tags& tags)
{
    struct stat before {};
    stat(path.c_str(), &before);
    applyTags(path, tags);
    // Ten seconds on, so that a file system with coarse times still shows the change.
    const timespec times[2] = {before.st_atim, {before.st_mtim.tv_sec + 10, before.st_mtim.tv_nsec}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void writeBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace librarytest
