// What the compositor does between frames: drawing only what changed must give
// the same picture as drawing everything, a still screen costs nothing, and
// content becomes a texture once per change.

#include "RenderSupport.h"

#include "platform/Label.h"

#include <functional>

using namespace rendertest;

class Compositing : public ::testing::Test, protected Screen {
protected:
    void playing()
    {
        launch({track(1, 3, 180, "One"), track(2, 3, 180, "Two"), track(3, 3, 180, "Three")},
               platform::PlaybackState::Playing, 20);
        world.advance(1.1);
    }
};

TEST_F(Compositing, DrawingOnlyChangesGivesTheSameFramesAsDrawingEverything)
{
    playing();
    // A second picture of the same world, drawn whole at every step.
    platform::sdl::OffscreenRenderer whole;
    struct Step {
        const char* what;
        std::function<void()> act;
    };
    MainViewController& c = controller();
    const Step steps[] = {
        {"reels turn", [] {}},
        {"reels turn on", [] {}},
        {"a tick wobbles the tape", [] {}},
        {"the toolbar shows", [&] { c.showMusicControls(); }},
        {"a button is held", [&] { world.window().touchDown({148, 237}); }},
        {"and let go", [&] { world.window().touchUp({148, 237}); }},
        {"the skin changes", [&] { c.showNextTapeSwipe(); }},
        {"mid-push", [] {}},
        {"the push ends", [] {}},
        {"the title changes", [&] { c.currentTitleLabel->setText("Another & title"); }},
        {"an alert comes up", [&] { world.window().showAlert({"Title", "Message", "OK"}); }},
        {"the alert goes", [&] { world.window().dismissAlert(); }},
    };
    changes();   // the first frame is drawn whole anyway
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        world.advance(0.07);
        const Frame partial = changes();
        whole.render(world.window(), world.clock().now());
        const Frame full = frameOf(whole);
        const Difference d = differenceOf(partial, full, 4);
        EXPECT_EQ(d.count, 0) << "differ within (" << d.left << ", " << d.top << ")-(" << d.right << ", " << d.bottom
                              << ")" << partial.keep("partial") << full.keep("whole");
    }
}

TEST_F(Compositing, StillScreenNeedsNoDrawingAndTurningReelsOnlyTheirSquares)
{
    launch({track(1, 3)}, platform::PlaybackState::Paused, 0);
    world.advance(1.1);
    frame();
    world.advance(0.5);
    auto& compositor = renderer.compositor();
    compositor.compose(world.window(), world.clock().now());
    EXPECT_TRUE(compositor.damage().empty());
    EXPECT_FALSE(compositor.timing().animating);

    player.setState(platform::PlaybackState::Playing, platform::headless::Notify::Yes);
    world.advance(0.21);   // a tick takes up the playing speed
    compositor.compose(world.window(), world.clock().now());
    EXPECT_TRUE(compositor.timing().animating);
    world.advance(0.05);   // between ticks
    compositor.compose(world.window(), world.clock().now());
    // The reel pictures are 136 points (272 pixels) square and stay so when turned:
    // they hold nothing outside their circle.
    long area = 0;
    for (const SDL_Rect& r : compositor.damage()) {
        area += long(r.w) * r.h;
        EXPECT_LE(r.w, 276);
        EXPECT_LE(r.h, 276);
    }
    EXPECT_GT(area, 2 * 260 * 260);
}

TEST_F(Compositing, ContentBecomesATextureOncePerChange)
{
    launch({track(1, 3)}, platform::PlaybackState::Paused, 0);
    world.advance(1.1);
    frame();
    frame();
    auto& compositor = renderer.compositor();
    const unsigned long before = compositor.texturesMade();
    for (int i = 0; i < 5; ++i) {
        world.advance(0.2);   // ticks run; nothing changes on screen
        frame();
    }
    EXPECT_EQ(compositor.texturesMade(), before);

    controller().currentTitleLabel->setText("New title");
    frame();
    frame();
    frame();
    // The text itself, its copy turned upright for the software renderer, and the
    // kept top of the screen made again (once without the changed label, once with it).
    EXPECT_GE(compositor.texturesMade() - before, 1u);
    EXPECT_LE(compositor.texturesMade() - before, 4u);
}

TEST_F(Compositing, ScreenshotWritesAPictureOfTheScreen)
{
    playing();
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "spoolora-render-test-shot.png";
    std::filesystem::remove(path);
    ASSERT_TRUE(platform::sdl::renderScreenshot(world.window(), world.clock(), path.string()));
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 640);
    EXPECT_EQ(cairo_image_surface_get_height(image), 960);
    cairo_surface_destroy(image);
    std::filesystem::remove(path);

    EXPECT_FALSE(platform::sdl::renderScreenshot(world.window(), world.clock(), "/nonexistent-folder/x.png"));
}
