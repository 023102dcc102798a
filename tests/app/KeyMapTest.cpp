// The desktop's shortcuts through the window's key routing: what each key does to
// the player, tap against hold of the arrows, the keyboard's repeats of a held key,
// and the keys that must do nothing while something covers the cassette.

#include "app/KeyMap.h"
#include "app/SpooloraAppDelegate.h"
#include "platform/VolumeView.h"
#include "support/PlayerWorld.h"

namespace {

using namespace playertest;
using platform::Key;
using platform::KeyEvent;
using platform::KeyPhase;

// A launched player with a five-track album playing and the key map handling the
// window's keys.
struct KeyWorld {
    platform::headless::HeadlessPlatform platform;
    platform::headless::ScriptedMusicPlayer& player = platform.scriptedPlayer();
    std::unique_ptr<SpooloraAppDelegate> delegate = makeApplicationDelegate(platform);
    int quits = 0;
    spoolora::KeyMap keys{*delegate, platform.window(), [this] { ++quits; }};
    KeyWorld(const KeyWorld&) = delete;
    KeyWorld& operator=(const KeyWorld&) = delete;

    KeyWorld()
    {
        platform.window().setKeyCommandHandler(
            [this](const KeyEvent& event, KeyPhase phase) { return keys.keyEvent(event, phase); });
        std::vector<platform::MediaItemPtr> queue;
        for (int n = 1; n <= 5; ++n)
            queue.push_back(albumTrack(n, 5));
        player.setQueue(queue, Notify::No);
        player.setState(platform::PlaybackState::Playing, Notify::No);
        delegate->applicationDidFinishLaunching();
        delegate->applicationDidBecomeActive();
        platform.runDueNow();
    }

    MainViewController& controller() { return *delegate->mainViewController(); }

    bool down(KeyEvent event)
    {
        const bool acted = platform.window().keyEvent(event, KeyPhase::Down);
        platform.runDueNow();
        return acted;
    }
    bool up(KeyEvent event)
    {
        const bool acted = platform.window().keyEvent(event, KeyPhase::Up);
        platform.runDueNow();
        return acted;
    }
    // Holds the key for the time, with the keyboard repeating it every 33 ms, as
    // keyboards do after their first delay.
    void hold(Key key, double seconds, bool repeats = true)
    {
        down(KeyEvent::named(key));
        for (double held = 0; held < seconds; held += 0.033) {
            platform.advance(0.033);
            if (repeats && held > 0.5) {
                KeyEvent repeat = KeyEvent::named(key);
                repeat.repeat = true;
                down(repeat);
            }
        }
        up(KeyEvent::named(key));
    }

    std::vector<std::string> commandsSince(std::size_t first) const
    {
        const auto& all = player.commands();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(first, all.size())), all.end()};
    }
    bool received(std::size_t first, const std::string& command) const
    {
        const auto since = commandsSince(first);
        return std::find(since.begin(), since.end(), command) != since.end();
    }
};

class KeyMapTest : public ::testing::Test, protected KeyWorld {};

TEST_F(KeyMapTest, TappedArrowsSkipTracks)
{
    std::size_t before = player.commands().size();
    down(KeyEvent::named(Key::Right));
    platform.advance(0.1);
    up(KeyEvent::named(Key::Right));
    EXPECT_TRUE(received(before, "skipToNextItem"));
    EXPECT_EQ(player.indexOfNowPlayingItem(), 1u);

    platform.advance(2);
    before = player.commands().size();
    down(KeyEvent::named(Key::Left));
    platform.advance(0.1);
    up(KeyEvent::named(Key::Left));
    EXPECT_TRUE(received(before, "skipToPreviousItem"));
    EXPECT_EQ(player.indexOfNowPlayingItem(), 0u);
}

TEST_F(KeyMapTest, HeldArrowSeeksUntilReleasedDespiteTheKeyboardsRepeats)
{
    const std::size_t before = player.commands().size();
    player.setTime(30);
    hold(Key::Right, 2.0);
    // One seek, ended at the release; the repeats neither restart it nor turn the
    // release into a tap that skips.
    const auto commands = commandsSince(before);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "beginSeekingForward"), 1);
    EXPECT_TRUE(received(before, "endSeeking"));
    EXPECT_FALSE(received(before, "skipToNextItem"));
    EXPECT_EQ(player.indexOfNowPlayingItem(), 0u);
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Playing);
    EXPECT_GT(player.currentPlaybackTime(), 34.0);

    const std::size_t back = player.commands().size();
    hold(Key::Left, 1.5);
    EXPECT_TRUE(received(back, "beginSeekingBackward"));
    EXPECT_FALSE(received(back, "skipToPreviousItem"));
}

TEST_F(KeyMapTest, ReleaseWithoutAPressHereDoesNothing)
{
    // The press went to another window, or came before the key map saw any.
    const std::size_t before = player.commands().size();
    EXPECT_FALSE(up(KeyEvent::named(Key::Right)));
    EXPECT_TRUE(commandsSince(before).empty());
}

TEST_F(KeyMapTest, LetterKeysActOncePerPress)
{
    std::size_t before = player.commands().size();
    EXPECT_TRUE(down(KeyEvent::typing(U' ')));
    EXPECT_EQ(commandsSince(before), std::vector<std::string>{"pause"});
    KeyEvent repeat = KeyEvent::typing(U' ');
    repeat.repeat = true;
    EXPECT_FALSE(down(repeat));
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Paused);

    const std::int32_t tape = controller().selectedTape;
    down(KeyEvent::typing(U']'));
    platform.advance(2);
    EXPECT_NE(controller().selectedTape, tape);
    down(KeyEvent::named(Key::PageUp));
    platform.advance(2);
    EXPECT_EQ(controller().selectedTape, tape);

    EXPECT_TRUE(down(KeyEvent::typing(U'm')));
    EXPECT_NE(platform.window().presentedController(), nullptr);
    // Over the music picker a plain Q is typing for its search field; Ctrl+Q quits.
    down(KeyEvent::typing(U'q'));
    EXPECT_EQ(quits, 0);
    KeyEvent controlQ = KeyEvent::typing(U'q');
    controlQ.control = true;
    down(controlQ);
    EXPECT_EQ(quits, 1);
}

TEST(KeyMap, CassetteKeysAreIgnoredWhileSomethingCoversIt)
{
    struct Cover {
        const char* what;
        std::function<void(KeyWorld&)> show;
        bool takesKeys = false;   // the screen acts on the keys itself
    };
    const Cover covers[] = {
        {"music picker", [](KeyWorld& w) { w.controller().selectMusicFromLibrary(); }, true},
        {"mail composer", [](KeyWorld& w) { w.controller().shareAsMailMessage(); }},
        {"alert", [](KeyWorld& w) { w.platform.window().showAlert({"Title", "Message", "OK"}); }},
        {"finger on the screen", [](KeyWorld& w) { w.platform.window().touchDown({300, 10}); }},
    };
    for (const Cover& cover : covers) {
        SCOPED_TRACE(cover.what);
        KeyWorld w;
        cover.show(w);
        w.platform.advance(1);
        ASSERT_TRUE(w.platform.window().presentedController() || w.platform.window().isAlertVisible() ||
                    w.platform.window().isTouchDown());
        const std::int32_t tape = w.controller().selectedTape;
        const std::size_t before = w.player.commands().size();
        for (const KeyEvent& key : {KeyEvent::typing(U' '), KeyEvent::named(Key::Right), KeyEvent::named(Key::Left),
                                    KeyEvent::typing(U']'), KeyEvent::named(Key::PageUp), KeyEvent::typing(U'm'),
                                    KeyEvent::typing(U't')}) {
            const bool actedDown = w.down(key);
            w.platform.advance(0.1);
            const bool actedUp = w.up(key);
            if (!cover.takesKeys) {
                EXPECT_FALSE(actedDown);
                EXPECT_FALSE(actedUp);
            }
        }
        w.platform.advance(1);
        EXPECT_TRUE(w.commandsSince(before).empty());
        EXPECT_EQ(w.controller().selectedTape, tape);
        // Ctrl+Q still quits: the window can always be closed from the keyboard.
        KeyEvent controlQ = KeyEvent::typing(U'q');
        controlQ.control = true;
        w.down(controlQ);
        EXPECT_EQ(w.quits, 1);
    }
}

} // namespace

namespace {

// The volume panel from the keyboard, on the player screen: it brings the toolbar up,
// takes Up and Down while it is open, is kept up while used, and goes when the toolbar
// hides by itself.
TEST_F(KeyMapTest, VOpensTheVolumePanelWhichGoesWithTheToolbar)
{
    platform.advance(6);
    ASSERT_TRUE(controller().myToolBar->isHidden());
    EXPECT_TRUE(down(KeyEvent::typing(U'v')));
    EXPECT_FALSE(controller().myToolBar->isHidden());
    ASSERT_NE(dynamic_cast<platform::VolumePanel*>(platform.window().presentedController()), nullptr);

    const std::size_t before = player.commands().size();
    EXPECT_TRUE(down(KeyEvent::named(Key::Down)));
    EXPECT_EQ(player.volume(), 0.95f);
    // The panel is a screen in front: the cassette's keys wait until it has gone.
    EXPECT_FALSE(down(KeyEvent::typing(U' ')));
    EXPECT_TRUE(commandsSince(before).empty());

    // Using the panel keeps the toolbar up: four seconds on, another step moves the
    // deadline five seconds on from then, so the panel outlives the first deadline.
    platform.advance(4);
    EXPECT_TRUE(down(KeyEvent::named(Key::Down)));
    EXPECT_EQ(player.volume(), 0.9f);
    platform.advance(4);
    EXPECT_FALSE(controller().myToolBar->isHidden());
    ASSERT_NE(platform.window().presentedController(), nullptr);

    // Left alone, the toolbar's deadline takes the panel too.
    platform.advance(1.2);
    EXPECT_TRUE(controller().myToolBar->isHidden());
    EXPECT_EQ(platform.window().presentedController(), nullptr);
    EXPECT_FALSE(down(KeyEvent::named(Key::Up)));
    EXPECT_EQ(player.volume(), 0.9f);
}

} // namespace
