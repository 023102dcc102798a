#pragma once
// The player on the session bus as an MPRIS2 media player
// (org.mpris.MediaPlayer2.spoolora), so that media keys, desktop shells and
// `playerctl` can see and drive it.
//
// No thread of its own: the owner calls dispatch() from its run loop on the main
// thread, which answers what the bus asked since, and refresh() after anything may
// have changed, which announces the properties that did. Commands from the bus
// arrive on the main thread through MprisHandler, inside dispatch().

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::sdl {

// What the bus sees of the player, read by refresh() and by property reads.
struct MprisState {
    std::string playbackStatus = "Stopped";   // "Playing", "Paused" or "Stopped"
    std::string loopStatus = "None";          // "None", "Track" or "Playlist"
    bool hasTrack = false;
    std::string trackId = "/org/mpris/MediaPlayer2/TrackList/NoTrack";   // an object path
    std::int64_t lengthMicroseconds = 0;
    std::string title, artist, album, url;   // any bytes; sent as valid UTF-8
    std::int32_t trackNumber = 0;
    std::int64_t positionMicroseconds = 0;
    double volume = 1.0;
    bool canGoNext = false, canGoPrevious = false, canPlay = false, canPause = false, canSeek = false;
    friend bool operator==(const MprisState&, const MprisState&) = default;
};

// The player's side. Every call comes on the main thread, inside dispatch().
class MprisHandler {
public:
    virtual ~MprisHandler() = default;
    virtual MprisState mprisState() = 0;
    virtual void mprisNext() = 0;
    virtual void mprisPrevious() = 0;
    virtual void mprisPlayPause() = 0;
    virtual void mprisPlay() = 0;
    virtual void mprisPause() = 0;
    virtual void mprisStop() = 0;
    // Moves by an offset, or to a position in the track `trackId`; asked only when
    // the state says the player can seek. The service tells the bus (Seeked) after.
    virtual void mprisSeek(std::int64_t offsetMicroseconds) = 0;
    virtual void mprisSetPosition(const std::string& trackId, std::int64_t positionMicroseconds) = 0;
    // The volume the bus asks for, any double (the handler clamps it to 0 to 1).
    virtual void mprisSetVolume(double volume) = 0;
    // Local files, already turned from file: URIs into paths.
    virtual void mprisOpenFiles(const std::vector<std::string>& paths) = 0;
    virtual void mprisRaise() = 0;
    virtual void mprisQuit() = 0;
};

class MprisService {
public:
    // Connects to the session bus and takes the player's name there. Returns nothing,
    // after one line on stderr, when there is no session bus or the name is taken;
    // the player then runs without the bus.
    static std::unique_ptr<MprisService> start(MprisHandler& handler, const std::string& desktopEntry);
    ~MprisService();
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // Handles what has arrived from the bus, without waiting.
    void dispatch();
    // Reads the state and emits PropertiesChanged for what changed since the last time.
    void refresh();
    // Tells listeners the position jumped (the Seeked signal).
    void seeked(std::int64_t positionMicroseconds);

    // What a second start of the player did with the running one.
    enum class HandOff { NoBus, NoRunningPlayer, HandedOver };
    // Hands `paths` (files, folders, playlists) to a player already running on the
    // session bus, which makes them its queue and plays (OpenUri for one, the
    // player's own OpenUris for several), or with no paths raises its window.
    // Relative paths are made absolute first, as the other player has another
    // working folder. Says on stderr when a running player did not take them.
    static HandOff handToRunningPlayer(const std::vector<std::string>& paths);

    // A file path as a file: URI, and back (nothing when it is not a local file URI).
    static std::string fileUri(const std::string& path);
    static std::optional<std::string> pathFromUri(const std::string& uri);

    struct Connection;

private:
    explicit MprisService(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

} // namespace platform::sdl
