#include "platform/Button.h"
#include "platform/Toolbar.h"
#include "platform/VolumeView.h"
#include "platform/Window.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// The toolbar needs the volume control only as a view of its own size.
class SilentRoute final : public AudioRoute {
public:
    float volume() const override { return 1; }
    void setVolume(float) override {}
    std::vector<std::string> outputDeviceNames() const override { return {}; }
    std::string currentOutputDevice() const override { return {}; }
    bool setOutputDevice(const std::string&) override { return true; }
};

// The player's toolbar: a 50-point black translucent bar at the bottom with the
// sixteen-place item list, built the way the player screen builds it.
class ToolbarLayout : public ::testing::Test {
protected:
    ToolbarLayout() : window(clock)
    {
        bar = &window.contentView().addSubview(std::make_unique<Toolbar>());
        bar->setBarStyle(BarStyle::BlackTranslucent);
        bar->sizeToFit();
        bar->setFrame({0, 430, 320, 50});

        music = makeButtonItem({0, 10, 30, 40}, "music");
        tape = makeButtonItem({0, 10, 40, 40}, "tape");
        rewind = makeButtonItem({0, 10, 40, 40}, "rewind");
        forward = makeButtonItem({0, 10, 40, 40}, "forward");
        auto volumeView = std::make_unique<VolumeView>(Rect{0, 10, 30, 40}, volumeControl);
        volumeView->setShowsVolumeSlider(false);
        volumeView->sizeToFit();
        volume = std::make_unique<BarButtonItem>(std::move(volumeView));
        play = std::make_unique<BarButtonItem>(SystemItem::Play, [this] { log.push_back("play"); });
        pause = std::make_unique<BarButtonItem>(SystemItem::Pause, [this] { log.push_back("pause"); });
        action = std::make_unique<BarButtonItem>(SystemItem::Action, [this] { log.push_back("share"); });
        flexible = std::make_unique<BarButtonItem>(SystemItem::FlexibleSpace);
        fixed = std::make_unique<BarButtonItem>(SystemItem::FixedSpace);
        fixed->setWidth(10);
    }

    std::unique_ptr<BarButtonItem> makeButtonItem(Rect frame, const std::string& name)
    {
        auto button = std::make_unique<Button>(frame);
        button->addAction([this, name] { log.push_back(name); }, ControlEvent::TouchUpInside);
        return std::make_unique<BarButtonItem>(std::move(button));
    }

    std::vector<BarButtonItem*> list(BarButtonItem* playOrPause)
    {
        BarButtonItem* f = flexible.get();
        BarButtonItem* x = fixed.get();
        return {music.get(), f, x, tape.get(), f, rewind.get(), f, x, playOrPause, x, f, forward.get(), f, x,
                action.get(), volume.get()};
    }

    void tap(Point screenPoint)
    {
        window.touchDown(screenPoint);
        window.touchUp(screenPoint);
    }

    headless::VirtualClock clock;
    SilentRoute route;
    MemoryUserDefaults defaults;
    NotificationCenter center;
    VolumeControl volumeControl{route, defaults, center};
    Window window;
    Toolbar* bar = nullptr;
    std::unique_ptr<BarButtonItem> music, tape, rewind, forward, volume, play, pause, action, flexible, fixed;
    std::vector<std::string> log;
};

TEST_F(ToolbarLayout, SixteenItemsShareTheBarAsThePlayerNeedsThem)
{
    bar->setItems(list(play.get()), false);

    // Fixed widths add up to 300 of the 308 points between the 6-point margins; the five
    // flexible spaces share the other 8.
    const double f = 8.0 / 5.0;
    struct Expected {
        double x, y, width, height;
    };
    const Expected expected[] = {
        {6, 10, 30, 40},            // music
        {36, 0, f, 50},             // flexible
        {36 + f, 0, 10, 50},        // fixed
        {46 + f, 10, 40, 40},       // tape
        {86 + f, 0, f, 50},         // flexible
        {86 + 2 * f, 10, 40, 40},   // rewind
        {126 + 2 * f, 0, f, 50},    // flexible
        {126 + 3 * f, 0, 10, 50},   // fixed
        {136 + 3 * f, 0, 40, 50},   // play
        {176 + 3 * f, 0, 10, 50},   // fixed
        {186 + 3 * f, 0, f, 50},    // flexible
        {186 + 4 * f, 10, 40, 40},  // fast forward
        {226 + 4 * f, 0, f, 50},    // flexible
        {226 + 5 * f, 0, 10, 50},   // fixed
        {236 + 5 * f, 0, 40, 50},   // share
        {276 + 5 * f, 10, 30, 40},  // volume, ending 6 points before the right edge
    };
    const std::vector<Rect> frames = bar->itemFrames();
    ASSERT_EQ(frames.size(), 16u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i + 1));
        // Tolerance: positions are sums of floats carrying thirds and fifths.
        EXPECT_NEAR(frames[i].x, expected[i].x, 1e-4);
        EXPECT_NEAR(frames[i].y, expected[i].y, 1e-4);
        EXPECT_NEAR(frames[i].width, expected[i].width, 1e-4);
        EXPECT_NEAR(frames[i].height, expected[i].height, 1e-4);
    }
    EXPECT_NEAR(frames.back().maxX(), 314, 1e-4);

    // The custom views sit where their items are.
    EXPECT_NEAR(tape->customView()->frame().x, 46 + f, 1e-4);
    EXPECT_EQ(tape->customView()->frame().y, 10);
    EXPECT_EQ(volume->customView()->frame().size(), (Size{30, 40}));
}

TEST_F(ToolbarLayout, CustomViewsStayOnTheBarAcrossListsAndReturnWhenDropped)
{
    bar->setItems(list(play.get()), false);
    EXPECT_EQ(bar->subviews().size(), 5u);
    bar->setItems(list(pause.get()), false);
    EXPECT_EQ(bar->subviews().size(), 5u);
    EXPECT_EQ(music->customView()->superview(), bar);

    bar->setItems({play.get()}, false);
    EXPECT_TRUE(bar->subviews().empty());
    EXPECT_EQ(music->customView()->superview(), nullptr);
    // One system item alone: the margin, then 40 points.
    EXPECT_EQ(bar->itemFrames().front(), (Rect{6, 0, 40, 50}));

    bar->setItems(list(play.get()), false);
    EXPECT_EQ(music->customView()->superview(), bar);
    EXPECT_EQ(music->customView()->frame(), (Rect{6, 10, 30, 40}));
}

TEST_F(ToolbarLayout, WiderBarSpreadsTheItemsAgain)
{
    bar->setItems({music.get(), flexible.get(), volume.get()}, false);
    bar->setFrame({0, 430, 480, 50});
    EXPECT_EQ(volume->customView()->frame().x, 480 - 6 - 30);
}

TEST_F(ToolbarLayout, TapsReachSystemItemsAndCustomButtons)
{
    bar->setItems(list(play.get()), false);
    const double f = 8.0 / 5.0;
    const float barTop = 430;
    tap({static_cast<float>(136 + 3 * f + 20), barTop + 25});   // play
    tap({static_cast<float>(236 + 5 * f + 20), barTop + 25});   // share
    tap({20, barTop + 30});                                      // music button
    tap({static_cast<float>(36 + f + 5), barTop + 25});          // fixed space: nothing
    EXPECT_EQ(log, (std::vector<std::string>{"play", "share", "music"}));
}

TEST_F(ToolbarLayout, SystemItemActsOnlyOnReleaseNearIt)
{
    bar->setItems(list(play.get()), false);
    const float playCentreX = static_cast<float>(136 + 3 * 1.6 + 20);
    window.touchDown({playCentreX, 455});
    EXPECT_EQ(bar->highlightedItem(), play.get());
    EXPECT_TRUE(log.empty());
    window.touchUp({playCentreX, 455 - 50 - 70 - 1});   // well above the bar and its slop
    EXPECT_EQ(bar->highlightedItem(), nullptr);
    EXPECT_TRUE(log.empty());
}

TEST_F(ToolbarLayout, SystemItemActionMaySwapTheItemList)
{
    BarButtonItem swapping(SystemItem::Play, [this] { bar->setItems(list(pause.get()), false); });
    bar->setItems(list(&swapping), false);
    const float playCentreX = static_cast<float>(136 + 3 * 1.6 + 20);
    tap({playCentreX, 455});
    EXPECT_EQ(bar->items()[8], pause.get());
    tap({playCentreX, 455});
    EXPECT_EQ(log, (std::vector<std::string>{"pause"}));
}

} // namespace
