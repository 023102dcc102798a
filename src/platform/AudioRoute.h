#pragma once
// Where the player's sound goes and how loud it is: the output devices the system
// offers, the one in use, and the volume. Every call is made on the main thread.

#include <string>
#include <vector>

namespace platform {

class AudioRoute {
public:
    virtual ~AudioRoute() = default;

    // 0 (silent) to 1 (as decoded), as last set.
    virtual float volume() const = 0;
    // Clamped to 0 to 1; not a number is 0. Takes effect within a few milliseconds.
    virtual void setVolume(float volume) = 0;

    // The names of the output devices the system offers now, in its order; the same
    // name opens the same device. May be empty: the default device is always there.
    virtual std::vector<std::string> outputDeviceNames() const = 0;
    // The device the sound goes to, by name; empty for the system's default device.
    virtual std::string currentOutputDevice() const = 0;
    // Moves the sound to the named device (empty: the system's default), keeping the
    // item, the position and the state. Returns false, with one line on stderr, when
    // that device cannot be opened; the sound then stays where it was.
    virtual bool setOutputDevice(const std::string& name) = 0;
};

} // namespace platform
