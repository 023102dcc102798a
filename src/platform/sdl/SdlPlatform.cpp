#include "platform/sdl/SdlPlatform.h"

#include "platform/ListMediaPicker.h"

#include <SDL.h>

namespace platform::sdl {

std::vector<MediaItemPtr> builtInLibrary()
{
    return {
        makeAlbumItem("Low Tide Overture", "The Harbour Reels", "Salt & Static", 192, 1, 5),
        makeAlbumItem("Side A, Track Two", "The Harbour Reels", "Salt & Static", 227, 2, 5),
        makeAlbumItem("Ferry Lights", "The Harbour Reels", "Salt & Static", 174, 3, 5),
        makeAlbumItem("Chrome Capstan", "The Harbour Reels", "Salt & Static", 251, 4, 5),
        makeAlbumItem("Rewind to the Pier", "The Harbour Reels", "Salt & Static", 208, 5, 5),
        makeAlbumItem("Nachtzug", "Kassette Kollektiv", "Bandsalat", 263, 1, 3),
        makeAlbumItem("Kreuzberg 1987", "Kassette Kollektiv", "Bandsalat", 199, 2, 3),
        makeAlbumItem("Chrom II", "Kassette Kollektiv", "Bandsalat", 236, 3, 3),
    };
}

SdlPlatform::SdlPlatform(const SdlPlatformOptions& options)
    : runLoop_(clock_),
      defaults_(options.configFolder),
      player_(clock_, runLoop_, center_),
      window_(clock_),
      library_(builtInLibrary()),
      mail_(options.mail)
{
    // The simulated player starts stopped with the first album queued, so that Play plays.
    std::vector<MediaItemPtr> firstAlbum;
    for (const MediaItemPtr& item : library_)
        if (item->albumTitle == library_.front()->albumTitle)
            firstAlbum.push_back(item);
    player_.setQueue(std::move(firstAlbum), headless::Notify::No);
}

SdlPlatform::~SdlPlatform() = default;

std::unique_ptr<MediaPickerController> SdlPlatform::makeMediaPicker(std::int32_t mediaTypes)
{
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

std::unique_ptr<SdlPlatform> makeSdlPlatform(const SdlPlatformOptions& options)
{
    return std::make_unique<SdlPlatform>(options);
}

} // namespace platform::sdl
