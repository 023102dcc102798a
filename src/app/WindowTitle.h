#pragma once
// The desktop window's title says what plays, as desktop players' titles do.

#include "platform/MusicPlayer.h"
#include "platform/NotificationCenter.h"

#include <functional>
#include <string>

namespace spoolora {

// "Title — Artist · Spoolora" while an item plays, paused or seeking included
// ("Title · Spoolora" without an artist); "Spoolora" when the player is stopped or
// has no item, or the item has no title. Tags are made valid UTF-8 on one line.
std::string windowTitle(const platform::MusicPlayer& player);

// Shows the title at once and again after each of the player's notifications.
// The player and the centre must outlive the keeper. Main thread only.
class WindowTitleKeeper {
public:
    WindowTitleKeeper(const platform::MusicPlayer& player, platform::NotificationCenter& center,
                      std::function<void(const std::string&)> show);
    WindowTitleKeeper(const WindowTitleKeeper&) = delete;
    WindowTitleKeeper& operator=(const WindowTitleKeeper&) = delete;

private:
    void refresh();

    const platform::MusicPlayer& player_;
    std::function<void(const std::string&)> show_;
    std::string shown_;
    platform::ObserverRegistration registration_;
};

} // namespace spoolora
