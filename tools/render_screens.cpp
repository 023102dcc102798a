// Renders the player screen in a few situations to PNG files, headless, through
// the same compositor the window uses: every skin, a skin change half-way, the
// toolbar shown and hidden, and an alert. For looking at the composed screen.
//
// Usage: spoolora_render_screens OUTPUT_FOLDER

#include "app/SpooloraAppDelegate.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/LibraryPicker.h"
#include "platform/ListMediaPicker.h"
#include "platform/headless/MemoryMusicLibrary.h"
#include "platform/sdl/DesktopMailComposer.h"
#include "platform/sdl/Screenshot.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    platform::headless::HeadlessPlatform world;
    auto& player = world.scriptedPlayer();
    player.setQueue({platform::makeAlbumItem("Walking on the Shore", "The Tidal Band", "Low Water", 200, 4, 10),
                     platform::makeAlbumItem("Nachtzug & Nebel", "Kapelle", "Ferne", 200, 5, 10)},
                    platform::headless::Notify::No);
    player.setState(platform::PlaybackState::Playing, platform::headless::Notify::No);
    player.setTime(60);

    auto delegate = makeApplicationDelegate(world);
    delegate->applicationDidFinishLaunching();
    delegate->applicationDidBecomeActive();
    world.advance(1.0);

    platform::sdl::OffscreenRenderer renderer;
    const auto shoot = [&](const std::string& name) {
        renderer.render(world.window(), world.clock().now());
        renderer.writePng((folder / name).string());
        std::printf("%s\n", (folder / name).c_str());
    };

    MainViewController& controller = *delegate->mainViewController();
    shoot("playing-toolbar.png");
    world.advance(6);
    shoot("playing.png");
    for (int skin = 1; skin < 8; ++skin) {
        controller.showNextTapeSwipe();
        world.advance(0.125);
        shoot("skin" + std::to_string(skin) + "-halfway.png");
        world.advance(1.0);
        shoot("skin" + std::to_string(skin) + ".png");
    }
    controller.showNextTapeSwipe();
    world.advance(1.0);
    world.window().showAlert({"Alert", "Something to say that takes a line or two of text.", "OK"});
    shoot("alert.png");
    world.window().dismissAlert();

    // The desktop's own modal screens.
    auto composer = std::make_unique<platform::sdl::DesktopMailComposer>(
        world.window(), platform::sdl::MailHandOff{folder / "outbox", ""});
    composer->setSubject("Listen to this on a cassette");
    world.window().presentModal(std::move(composer), true);
    world.advance(1.0);
    shoot("mail-composer.png");
    world.window().dismissModal(false);
    world.advance(0.1);
    world.window().presentModal(std::make_unique<platform::ListMediaPicker>(
                                    world.window(), platform::MediaType::Music, world.scriptedPlayer().queue()),
                                true);
    world.advance(0.15);
    shoot("picker-sliding.png");
    world.advance(1.0);
    shoot("picker.png");
    world.window().dismissModal(false);
    world.advance(0.5);

    // The library picker: albums, an opened album with a selection, songs, search,
    // a long title in another script, the scan's progress, and an empty library.
    // The platform's own library: it outlives the window, which holds the picker to the end.
    platform::headless::MemoryMusicLibrary& library = world.musicLibrary();
    library.setMusicFolders({"/home/listener/Music"});
    std::vector<platform::LibraryTrack> tracks;
    const char* albums[][2] = {{"Low Water", "The Tidal Band"}, {"Ferne", "Kapelle"}, {"Blue Hour", "Ana Ruiz"},
                               {"東京の夜", "空の音"}, {"Autumn Tapes", "Grey Owls"},
                               {"A Very Long Album Title That Does Not Fit On One Line At All", "Someone With A Long Name"}};
    for (int a = 0; a < 6; ++a)
        for (int t = 1; t <= 9; ++t) {
            auto item = std::make_shared<platform::MediaItem>(*platform::makeAlbumItem(
                "Song " + std::to_string(t) + (t == 3 ? " (Extended Remix With A Title Far Too Long)" : ""),
                albums[a][1], albums[a][0], 200, t, 9));
            item->location = "/music/" + std::to_string(a) + "/" + std::to_string(t) + ".flac";
            tracks.push_back(platform::LibraryTrack{item, {}, 0, 0});
        }
    library.setTracks(std::move(tracks));
    library.setScanState({true, 1234});
    auto made = std::make_unique<platform::LibraryPicker>(world.window(), world.runLoop(), library,
                                                         platform::MediaType::Music);
    platform::LibraryPicker& picker = *made;
    picker.setAllowsPickingMultipleItems(true);
    world.window().presentModal(std::move(made), true);
    world.advance(1.0);
    shoot("library-albums.png");
    picker.activateRow(4);
    picker.activateRow(3);
    picker.activateRow(1);
    picker.moveCursor(1);
    world.advance(0.1);
    shoot("library-album.png");
    library.setScanState({false, 5000});
    picker.selectTab(platform::LibraryPicker::Tab::Songs);
    picker.scrollBy(120);
    world.advance(0.1);
    shoot("library-songs.png");
    picker.typeText("blue 4");
    world.advance(0.1);
    shoot("library-search.png");
    library.setTracks({});
    picker.setSearchText("");
    world.advance(0.1);
    shoot("library-empty.png");
    return 0;
}
