#include "app/WindowTitle.h"

#include "platform/Utf8.h"

namespace spoolora {

namespace {

constexpr const char* applicationName = "Spoolora";

// A tag on one line: line breaks and other control characters become spaces.
std::string oneLine(const std::string& tag)
{
    std::string text = platform::sanitizeUtf8(tag);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string windowTitle(const platform::MusicPlayer& player)
{
    const platform::MediaItemPtr item = player.nowPlayingItem();
    if (!item || player.playbackState() == platform::PlaybackState::Stopped)
        return applicationName;
    const std::string title = oneLine(item->title.value_or(""));
    if (title.empty())
        return applicationName;
    const std::string artist = oneLine(item->artist.value_or(""));
    std::string text = title;
    if (!artist.empty())
        text += " \u2014 " + artist;
    return text + " \u00b7 " + applicationName;
}

WindowTitleKeeper::WindowTitleKeeper(const platform::MusicPlayer& player, platform::NotificationCenter& center,
                                     std::function<void(const std::string&)> show)
    : player_(player), show_(std::move(show)), registration_(center, this)
{
    center.addObserver(this, platform::NowPlayingItemDidChangeNotification, &player_,
                       [this](const platform::Notification&) { refresh(); });
    center.addObserver(this, platform::PlaybackStateDidChangeNotification, &player_,
                       [this](const platform::Notification&) { refresh(); });
    refresh();
}

void WindowTitleKeeper::refresh()
{
    std::string title = windowTitle(player_);
    if (title == shown_)
        return;
    shown_ = std::move(title);
    show_(shown_);
}

} // namespace spoolora
