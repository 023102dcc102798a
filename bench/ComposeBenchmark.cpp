// What one frame of the playing cassette costs in SDL's software renderer at
// 640 × 960 pixels: composed and drawn whole, and drawn only where it changed, as
// the window does while the reels turn. Frames here come 30 a second; drawn back to
// back, and drawn after 40 ms of rest each, as in the window, where the processor's
// caches have gone cold by the next frame.

#include "app/SpooloraAppDelegate.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/sdl/Screenshot.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

platform::MediaItemPtr track(int number)
{
    return platform::makeAlbumItem("Track " + std::to_string(number), "The Reels", "Ferric Oxide", 200, number, 4);
}

// The player launched and playing; the toolbar has hidden itself.
struct PlayingWorld {
    platform::headless::HeadlessPlatform world;
    std::unique_ptr<SpooloraAppDelegate> delegate;
    platform::sdl::OffscreenRenderer renderer;

    PlayingWorld()
    {
        auto& player = world.scriptedPlayer();
        player.setQueue({track(1), track(2), track(3), track(4)}, platform::headless::Notify::No);
        player.setState(platform::PlaybackState::Playing, platform::headless::Notify::No);
        player.setTime(40);
        delegate = makeApplicationDelegate(world);
        delegate->applicationDidFinishLaunching();
        delegate->applicationDidBecomeActive();
        world.advance(6);
    }
    // Frames at 30 a second until the kept reel turns cover a whole revolution.
    void warmUp(int frames)
    {
        for (int i = 0; i < frames; ++i) {
            world.advance(1.0 / 30);
            renderer.renderChanges(world.window(), world.clock().now());
        }
    }
};

void ComposeWholeFrame(benchmark::State& state)
{
    PlayingWorld w;
    w.warmUp(300);
    for (auto _ : state) {
        state.PauseTiming();
        w.world.advance(1.0 / 30);
        state.ResumeTiming();
        w.renderer.render(w.world.window(), w.world.clock().now());
    }
}

// The argument: milliseconds of rest before each frame.
void ComposeChangedFrame(benchmark::State& state)
{
    PlayingWorld w;
    w.warmUp(300);
    const auto rest = std::chrono::milliseconds(state.range(0));
    long pixels = 0, rects = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.world.advance(1.0 / 30);   // a tick every sixth frame
        std::this_thread::sleep_for(rest);
        state.ResumeTiming();
        w.renderer.renderChanges(w.world.window(), w.world.clock().now());
        for (const SDL_Rect& r : w.renderer.compositor().damage())
            pixels += long(r.w) * r.h, ++rects;
    }
    state.counters["pixels/frame"] = benchmark::Counter(double(pixels), benchmark::Counter::kAvgIterations);
    state.counters["rects/frame"] = benchmark::Counter(double(rects), benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(ComposeWholeFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ComposeChangedFrame)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ComposeChangedFrame)->Arg(40)->Unit(benchmark::kMillisecond)->Iterations(150);
BENCHMARK_MAIN();
