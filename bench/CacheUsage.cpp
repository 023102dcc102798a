// What the compositor's caches hold while the cassette plays, the skins slide and
// the screens open, drawn by SDL's software renderer at 640 × 960 pixels as the
// window does (only what changed, 25 frames a second). Prints the bytes of each
// cache after each step, and the largest each reached.

#include "app/SpooloraAppDelegate.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/sdl/Screenshot.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

platform::MediaItemPtr track(int number)
{
    return platform::makeAlbumItem("Track " + std::to_string(number), "The Reels", "Ferric Oxide", 200, number, 4);
}

struct Tour {
    platform::headless::HeadlessPlatform world;
    std::unique_ptr<SpooloraAppDelegate> delegate;
    platform::sdl::OffscreenRenderer renderer;
    platform::sdl::CacheUse most;

    Tour()
    {
        auto& player = world.scriptedPlayer();
        player.setQueue({track(1), track(2), track(3), track(4)}, platform::headless::Notify::No);
        player.setState(platform::PlaybackState::Playing, platform::headless::Notify::No);
        delegate = makeApplicationDelegate(world);
        delegate->applicationDidFinishLaunching();
        delegate->applicationDidBecomeActive();
    }
    void run(double seconds)
    {
        for (int i = 0; i < int(seconds * 25); ++i) {
            world.advance(1.0 / 25);
            renderer.renderChanges(world.window(), world.clock().now());
            const platform::sdl::CacheUse now = renderer.compositor().cacheUse();
            most = {std::max(most.pictures, now.pictures),       std::max(most.drawings, now.drawings),
                    std::max(most.turned, now.turned),           std::max(most.turnBuffers, now.turnBuffers),
                    std::max(most.keptTop, now.keptTop),         std::max(most.keptBelow, now.keptBelow)};
        }
    }
    static void print(const char* label, const platform::sdl::CacheUse& use)
    {
        const auto mib = [](std::size_t bytes) { return double(bytes) / (1024.0 * 1024.0); };
        std::printf("%-28s pictures %5.1f  drawings %5.1f  turned %5.1f  turn buffers %4.1f  kept top %4.1f  "
                    "kept below %4.1f  (MiB)\n",
                    label, mib(use.pictures), mib(use.drawings), mib(use.turned), mib(use.turnBuffers),
                    mib(use.keptTop), mib(use.keptBelow));
    }
    void report(const char* label) { print(label, renderer.compositor().cacheUse()); }
    void skinTour()
    {
        for (int i = 0; i < 8; ++i) {
            world.window().touchDown({300, 240});
            world.advance(0.05);
            world.window().touchMove({150, 240});
            world.window().touchUp({150, 240});
            run(1.5);
        }
    }
};

} // namespace

int main()
{
    Tour tour;
    tour.run(3);
    tour.report("playing 3 s");
    tour.run(10);
    tour.report("playing 13 s");
    tour.skinTour();
    tour.report("after the first skin tour");
    tour.skinTour();
    tour.report("after the second skin tour");
    Tour::print("largest along the way", tour.most);
    return 0;
}
