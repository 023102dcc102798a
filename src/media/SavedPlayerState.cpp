#include "media/SavedPlayerState.h"

#include "media/MediaTags.h"
#include "platform/AtomicFile.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace media {

namespace {

constexpr double savingIntervalSeconds = 10.0;
constexpr int formatVersion = 1;

} // namespace

std::filesystem::path defaultStateFolder()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::filesystem::path(state) / "spoolora";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "state" / "spoolora";
}

std::string encodePlayerState(const PlayerSnapshot& state)
{
    nlohmann::json json;
    json["version"] = formatVersion;
    json["queue"] = state.queue;
    json["index"] = state.index ? nlohmann::json(*state.index) : nlohmann::json(nullptr);
    json["position"] = std::isfinite(state.position) ? state.position : 0.0;
    json["playbackState"] = state.playbackState;
    json["repeatMode"] = state.repeatMode;
    // Paths that are not UTF-8 are kept byte for byte rather than refused.
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::ignore) + "\n";
}

PlayerSnapshot decodePlayerState(const std::string& text)
{
    try {
        const nlohmann::json json = nlohmann::json::parse(text);
        if (!json.is_object() || json.value("version", 0) != formatVersion)
            throw std::runtime_error("not a saved player of this version");
        PlayerSnapshot state;
        state.queue = json.at("queue").get<std::vector<std::string>>();
        const nlohmann::json& index = json.at("index");
        if (!index.is_null()) {
            const auto value = index.get<std::int64_t>();
            if (value < 0 || static_cast<std::uint64_t>(value) >= state.queue.size())
                throw std::runtime_error("now-playing entry outside the queue");
            state.index = static_cast<std::size_t>(value);
        }
        state.position = json.at("position").get<double>();
        if (!std::isfinite(state.position) || state.position < 0)
            state.position = 0;
        state.playbackState = json.at("playbackState").get<std::int32_t>();
        state.repeatMode = json.at("repeatMode").get<std::int32_t>();
        return state;
    } catch (const nlohmann::json::exception& error) {
        throw std::runtime_error(error.what());
    }
}

PlayerStateKeeper::PlayerStateKeeper(SystemMusicPlayer& player, platform::RunLoop& runLoop,
                                     std::filesystem::path file)
    : player_(player), file_(std::move(file))
{
    player_.setChangeHandler([this] { save(); });
    timer_ = runLoop.scheduledTimer(savingIntervalSeconds, [this] {
        const std::int32_t state = player_.playbackState();
        if (state == platform::PlaybackState::Playing || state == platform::PlaybackState::SeekingForward ||
            state == platform::PlaybackState::SeekingBackward)
            save();
    });
}

PlayerStateKeeper::~PlayerStateKeeper()
{
    player_.setChangeHandler({});
}

std::optional<RestoredPlayer> loadPlayerState(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    PlayerSnapshot saved;
    try {
        saved = decodePlayerState(text.str());
    } catch (const std::runtime_error& error) {
        std::filesystem::path bad = file;
        bad += ".bad";
        std::error_code ignored;
        std::filesystem::copy_file(file, bad, std::filesystem::copy_options::overwrite_existing, ignored);
        std::fprintf(stderr, "spoolora: the saved player \"%s\" is damaged (%s); starting empty, kept as \"%s\"\n",
                     file.c_str(), error.what(), bad.c_str());
        return std::nullopt;
    }
    RestoredPlayer restored;
    restored.position = saved.position;
    restored.repeatMode = saved.repeatMode;
    const auto drop = [](const std::string& path, const char* reason) {
        std::fprintf(stderr, "spoolora: dropped \"%s\" from the queue: %s\n", path.c_str(), reason);
    };
    // A long queue comes back at once: a look at each file, the tags of one.
    bool lookingForCurrent = saved.index.has_value();
    for (std::size_t i = 0; i < saved.queue.size(); ++i) {
        const std::string& path = saved.queue[i];
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            drop(path, "no such file");
            if (lookingForCurrent && i == *saved.index)
                restored.position = 0;   // its successor takes its place, from its start
            continue;
        }
        if (lookingForCurrent && i >= *saved.index) {
            try {
                restored.items.push_back(readMediaItem(path));
            } catch (const DecodeError& failure) {
                drop(path, failure.what());
                restored.position = 0;
                continue;
            }
            restored.unread.push_back(false);
            restored.index = restored.items.size() - 1;
            lookingForCurrent = false;
            continue;
        }
        restored.items.push_back(unreadMediaItem(path));
        restored.unread.push_back(true);
    }
    return restored;
}

void PlayerStateKeeper::save()
{
    try {
        platform::writeFileAtomically(file_, encodePlayerState(player_.snapshot()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spoolora: %s\n", error.what());
    }
}

} // namespace media
