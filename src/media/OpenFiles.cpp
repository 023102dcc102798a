#include "media/OpenFiles.h"

#include "media/MediaTags.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <stdexcept>
#include <system_error>

namespace media {

namespace {

// What a folder contributes: the extensions of the audio formats FFmpeg decodes, so
// that covers and notes beside the music are passed over in silence.
const std::set<std::string> audioExtensions = {".mp3", ".m4a", ".m4b", ".aac", ".mp4", ".flac", ".ogg", ".oga",
                                               ".opus", ".wav", ".aif", ".aiff", ".aifc", ".wma", ".ape", ".wv",
                                               ".mka", ".mpc", ".ac3", ".dts", ".tta", ".caf", ".spx"};

std::string lowerExtension(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool isPlaylist(const std::filesystem::path& path)
{
    const std::string extension = lowerExtension(path);
    return extension == ".m3u" || extension == ".m3u8";
}

void collectFolder(const std::filesystem::path& folder, std::vector<std::filesystem::path>& files,
                   std::ostream& errors)
{
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!it->path().filename().string().starts_with('.'))
            entries.push_back(it->path());
    }
    if (error) {
        errors << "spoolora: cannot read the folder \"" << folder.string() << "\": " << error.message() << '\n';
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return naturalLess(a.filename().string(), b.filename().string());
    });
    for (const auto& entry : entries) {
        if (std::filesystem::is_directory(entry, error))
            collectFolder(entry, files, errors);
        else if (audioExtensions.contains(lowerExtension(entry)))
            files.push_back(entry);
    }
}

void collect(const std::filesystem::path& path, std::vector<std::filesystem::path>& files, std::ostream& errors,
             int playlistDepth)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        collectFolder(path, files, errors);
        return;
    }
    if (isPlaylist(path) && playlistDepth < 4) {
        try {
            for (const auto& entry : readPlaylist(path))
                collect(entry, files, errors, playlistDepth + 1);
        } catch (const std::runtime_error& failure) {
            errors << "spoolora: " << failure.what() << '\n';
        }
        return;
    }
    files.push_back(path);
}

} // namespace

bool naturalLess(const std::string& a, const std::string& b) noexcept
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
        if (std::isdigit(ca) && std::isdigit(cb)) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && a[ei] == '0')
                ++ei;
            while (ej < b.size() && b[ej] == '0')
                ++ej;
            std::size_t di = ei, dj = ej;
            while (di < a.size() && std::isdigit(static_cast<unsigned char>(a[di])))
                ++di;
            while (dj < b.size() && std::isdigit(static_cast<unsigned char>(b[dj])))
                ++dj;
            // More significant digits is the larger number; equal lengths compare digit by digit.
            if (di - ei != dj - ej)
                return di - ei < dj - ej;
            if (const int order = a.compare(ei, di - ei, b, ej, dj - ej); order != 0)
                return order < 0;
            // The same value: fewer leading zeros first, then go on.
            if (ei - i != ej - j)
                return ei - i < ej - j;
            i = di;
            j = dj;
            continue;
        }
        const int la = std::tolower(ca), lb = std::tolower(cb);
        if (la != lb)
            return la < lb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b;   // only case differs: a stable, total order
}

std::vector<std::filesystem::path> readPlaylist(const std::filesystem::path& playlist)
{
    std::ifstream in(playlist, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the playlist \"" + playlist.string() + "\"");
    std::vector<std::filesystem::path> entries;
    const std::filesystem::path base = playlist.parent_path();
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first && line.starts_with("\xEF\xBB\xBF"))
            line.erase(0, 3);
        first = false;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        std::size_t start = 0;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
            ++start;
        line.erase(0, start);
        if (line.empty() || line.starts_with('#'))
            continue;
        if (line.starts_with("file://"))
            line.erase(0, 7);
        else if (line.find("://") != std::string::npos)
            continue;   // streams are not files
        const std::filesystem::path entry(line);
        entries.push_back(entry.is_absolute() ? entry : base / entry);
    }
    return entries;
}

std::vector<platform::MediaItemPtr> itemsForArguments(const std::vector<std::string>& arguments,
                                                      std::ostream& errors)
{
    std::vector<std::filesystem::path> files;
    for (const std::string& argument : arguments)
        collect(argument, files, errors, 0);
    std::vector<platform::MediaItemPtr> items;
    for (const auto& file : files) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(file, error);
        try {
            items.push_back(readMediaItem(error ? file : absolute.lexically_normal()));
        } catch (const DecodeError& failure) {
            errors << "spoolora: cannot play \"" << file.string() << "\": " << failure.what() << '\n';
        }
    }
    return items;
}

} // namespace media
