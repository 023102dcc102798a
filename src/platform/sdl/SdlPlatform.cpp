#include "platform/sdl/SdlPlatform.h"

#include "platform/LibraryPicker.h"
#include "platform/ListMediaPicker.h"

#include <SDL.h>

#include <stdexcept>

namespace platform::sdl {

namespace {

std::unique_ptr<MusicPlayer> buildPlayer(const SdlPlatformOptions& options, const BackendServices& services)
{
    std::unique_ptr<MusicPlayer> player = options.makeMusicPlayer ? options.makeMusicPlayer(services) : nullptr;
    if (!player)
        throw std::invalid_argument("the desktop backend was given no music player");
    return player;
}

} // namespace

SdlPlatform::SdlPlatform(SdlPlatformOptions options)
    : runLoop_(clock_),
      defaults_(options.configFolder),
      player_(buildPlayer(options, BackendServices{clock_, runLoop_, center_})),
      musicLibrary_(options.makeMusicLibrary ? options.makeMusicLibrary(BackendServices{clock_, runLoop_, center_})
                                             : nullptr),
      window_(clock_),
      library_(std::move(options.library)),
      mail_(std::move(options.mail))
{
}

SdlPlatform::~SdlPlatform() = default;

VolumeControl& SdlPlatform::volumeControl()
{
    if (!volumeControl_)
        volumeControl_ = std::make_unique<VolumeControl>(player_->audioRoute(), defaults_, center_);
    return *volumeControl_;
}

std::unique_ptr<MediaPickerController> SdlPlatform::makeMediaPicker(std::int32_t mediaTypes)
{
    if (musicLibrary_)
        return std::make_unique<LibraryPicker>(window_, runLoop_, *musicLibrary_, mediaTypes);
    return std::make_unique<ListMediaPicker>(window_, mediaTypes, library_);
}

std::unique_ptr<MailComposeViewController> SdlPlatform::makeMailComposer()
{
    return std::make_unique<DesktopMailComposer>(window_, mail_);
}

void SdlPlatform::setIdleTimerDisabled(bool disabled)
{
    idleTimerDisabled_ = disabled;
    if (disabled)
        SDL_DisableScreenSaver();
    else
        SDL_EnableScreenSaver();
}

std::unique_ptr<SdlPlatform> makeSdlPlatform(SdlPlatformOptions options)
{
    return std::make_unique<SdlPlatform>(std::move(options));
}

} // namespace platform::sdl
