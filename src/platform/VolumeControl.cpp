#include "platform/VolumeControl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform {

namespace {

float clampedVolume(float volume)
{
    return std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
}

} // namespace

VolumeControl::VolumeControl(AudioRoute& route, UserDefaults& defaults, NotificationCenter& center)
    : route_(route), defaults_(defaults), center_(center)
{
    if (defaults_.hasValueForKey(volumePreferenceKey)) {
        const std::int64_t perMille = std::clamp<std::int64_t>(defaults_.integerForKey(volumePreferenceKey), 0, 1000);
        route_.setVolume(static_cast<float>(double(perMille) / 1000.0));
    }
    const std::string chosen = defaults_.stringForKey(outputDevicePreferenceKey).value_or("");
    if (chosen.empty() || chosen == route_.currentOutputDevice())
        return;
    const std::vector<std::string> offered = route_.outputDeviceNames();
    if (std::find(offered.begin(), offered.end(), chosen) == offered.end()) {
        std::fprintf(stderr, "spoolora: the audio device \"%s\" is not there; playing on the default one\n",
                     chosen.c_str());
        return;
    }
    route_.setOutputDevice(chosen);
}

void VolumeControl::setVolume(float volume, Keep keep)
{
    const float before = route_.volume();
    route_.setVolume(clampedVolume(volume));
    if (keep == Keep::Now) {
        defaults_.setIntegerForKey(std::lround(double(route_.volume()) * 1000.0), volumePreferenceKey);
        defaults_.synchronize();
    }
    if (route_.volume() != before)
        postVolumeChange();
}

void VolumeControl::postVolumeChange()
{
    center_.post(Notification{VolumeDidChangeNotification, this});
}

std::vector<VolumeControl::Output> VolumeControl::outputs() const
{
    const std::string current = route_.currentOutputDevice();
    std::vector<Output> list;
    list.push_back(Output{"", defaultOutputTitle, current.empty()});
    for (const std::string& name : route_.outputDeviceNames())
        list.push_back(Output{name, name, name == current});
    return list;
}

bool VolumeControl::chooseOutput(const std::string& name)
{
    if (!route_.setOutputDevice(name))
        return false;
    defaults_.setStringForKey(name, outputDevicePreferenceKey);
    defaults_.synchronize();
    return true;
}

} // namespace platform
