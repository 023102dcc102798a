#pragma once
// The player as the session bus sees it: what the MPRIS service reports comes from
// the music player, and what the bus asks goes through the same controller
// operations as the screen's buttons, so that the reels, labels and toolbar follow
// as if the listener had tapped (Next spins the reels as a tap on the upper reel does).

#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/sdl/Mpris.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class MainViewController;

namespace platform {
class MusicPlayer;
class Platform;
class VolumeControl;
struct MediaItem;
using MediaItemPtr = std::shared_ptr<const MediaItem>;
}

namespace spoolora {

class MprisBridge final : public platform::sdl::MprisHandler {
public:
    // What the bus needs from outside the controller; any may be empty.
    struct Hooks {
        std::function<void()> raise;
        std::function<void()> quit;
        // The items of files, folders and playlists, in order, the unplayable ones
        // left out; empty: each path is taken as one item.
        std::function<std::vector<platform::MediaItemPtr>(const std::vector<std::string>&)> itemsForPaths;
    };

    // The volume is the listener's, as the toolbar's panel shows and keeps it.
    MprisBridge(MainViewController& controller, platform::MusicPlayer& player, platform::VolumeControl& volume,
                Hooks hooks);

    platform::sdl::MprisState mprisState() override;
    void mprisNext() override;
    void mprisPrevious() override;
    void mprisPlayPause() override;
    void mprisPlay() override;
    void mprisPause() override;
    void mprisStop() override;
    void mprisSeek(std::int64_t offsetMicroseconds) override;
    void mprisSetPosition(const std::string& trackId, std::int64_t positionMicroseconds) override;
    void mprisSetVolume(double volume) override;
    void mprisOpenFiles(const std::vector<std::string>& paths) override;
    void mprisRaise() override;
    void mprisQuit() override;

private:
    bool isPlaying() const;

    MainViewController& controller_;
    platform::MusicPlayer& player_;
    platform::VolumeControl& volume_;
    Hooks hooks_;
    // The track id names the now-playing item for as long as it stays the same item.
    std::shared_ptr<const platform::MediaItem> lastItem_;
    unsigned long long trackSerial_ = 0;
};

// The bus served from the platform's run loop: what arrived is answered five times
// a second, with the tick (no thread of our own), and changes are announced when
// the player reports them and after every command from the bus.
class MprisSession {
public:
    // Nothing, after one line on stderr, when there is no session bus or another
    // player has the name.
    static std::unique_ptr<MprisSession> start(platform::Platform& platform, MainViewController& controller,
                                               MprisBridge::Hooks hooks);
    ~MprisSession();
    MprisSession(const MprisSession&) = delete;
    MprisSession& operator=(const MprisSession&) = delete;

    static constexpr double dispatchIntervalSeconds = 0.2;

private:
    MprisSession(platform::Platform& platform, MainViewController& controller, MprisBridge::Hooks hooks);
    void serve();

    MprisBridge bridge_;
    std::unique_ptr<platform::sdl::MprisService> service_;
    platform::ObserverRegistration observing_;
    platform::TimerHandle timer_;
};

} // namespace spoolora
