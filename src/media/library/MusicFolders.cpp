#include "media/library/MusicFolders.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace media {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string homeFolder()
{
    std::string home = environment("HOME");
    return home.empty() ? std::string("/") : home;
}

} // namespace

std::string musicFolderFromUserDirs(const std::string& text, const std::string& home)
{
    std::istringstream lines(text);
    std::string line;
    std::string found;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        if (line.compare(start, 14, "XDG_MUSIC_DIR=") != 0)
            continue;
        std::string value = line.substr(start + 14);
        if (value.size() >= 2 && value.front() == '"') {
            const auto close = value.find('"', 1);
            value = value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        }
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        // A relative value is taken from the home folder, as xdg-user-dirs does.
        if (!value.empty() && value.front() != '/')
            value = home + "/" + value;
        found = value;
    }
    return found;
}

std::string defaultMusicFolder()
{
    const std::string home = homeFolder();
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/')
        config = home + "/.config";
    std::ifstream file(config + "/user-dirs.dirs");
    if (file) {
        std::stringstream text;
        text << file.rdbuf();
        std::string folder = musicFolderFromUserDirs(text.str(), home);
        // XDG_MUSIC_DIR="$HOME/" means the folder is switched off; ~/Music is still the better guess.
        if (!folder.empty() && folder != home && folder != home + "/")
            return folder;
    }
    return home + "/Music";
}

std::string defaultLibraryDatabasePath()
{
    std::string cache = environment("XDG_CACHE_HOME");
    if (cache.empty() || cache.front() != '/')
        cache = homeFolder() + "/.cache";
    return cache + "/spoolora/library.db";
}

} // namespace media
