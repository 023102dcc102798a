#include "platform/headless/BuiltInLibrary.h"

#include "platform/headless/ScriptedMusicPlayer.h"

namespace platform::headless {

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

std::unique_ptr<MusicPlayer> makeSimulatedPlayer(const BackendServices& services,
                                                 const std::vector<MediaItemPtr>& library)
{
    auto player = std::make_unique<ScriptedMusicPlayer>(services.clock, services.runLoop, services.center);
    if (library.empty())
        return player;
    std::vector<MediaItemPtr> firstAlbum;
    for (const MediaItemPtr& item : library)
        if (item->albumTitle == library.front()->albumTitle)
            firstAlbum.push_back(item);
    player->setQueue(std::move(firstAlbum), Notify::No);
    return player;
}

} // namespace platform::headless
