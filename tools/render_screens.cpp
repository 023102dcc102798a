// Renders the player screen in a few situations to PNG files, headless, through
// the same compositor the window uses: every skin, a skin change half-way, the
// toolbar shown and hidden, and an alert. For looking at the composed screen.
//
// Usage: spoolora_render_screens OUTPUT_FOLDER

#include "app/SpooloraAppDelegate.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/ListMediaPicker.h"
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
    return 0;
}
