// Keys and typed text through the window: the focused view first, then its
// superviews, then the front modal screen's controller, then the application's
// key commands; an alert in front keeps them all from the screens it covers.

#include "platform/ViewController.h"
#include "platform/Window.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A view that can take the focus, records what reaches it and acts on one character.
class Field : public View {
public:
    explicit Field(char32_t acts = U'x') : View({0, 0, 100, 30}), acts_(acts) {}
    bool canBecomeFocused() const noexcept override { return true; }
    bool keyEvent(const KeyEvent& event, KeyPhase phase) override
    {
        keys.push_back(event.character);
        return phase == KeyPhase::Down && event.is(acts_);
    }
    void insertText(const std::string& text) override { typed += text; }
    std::vector<char32_t> keys;
    std::string typed;

private:
    char32_t acts_;
};

// A container that acts on Escape: the superview in the chain.
class Panel : public View {
public:
    bool keyEvent(const KeyEvent& event, KeyPhase) override
    {
        ++offered;
        return event.key == Key::Escape;
    }
    int offered = 0;
};

class Screen : public ViewController {
public:
    using ViewController::ViewController;
    bool keyEvent(const KeyEvent& event, KeyPhase) override
    {
        ++offered;
        return event.key == Key::Return;
    }
    int offered = 0;
};

class KeyDispatch : public ::testing::Test {
protected:
    headless::VirtualClock clock;
    Window window{clock};
    std::vector<char32_t> commands;

    void SetUp() override
    {
        window.setKeyCommandHandler([this](const KeyEvent& event, KeyPhase phase) {
            if (phase == KeyPhase::Down)
                commands.push_back(event.key == Key::Character ? event.character : U'#');
            return true;
        });
    }
    bool press(KeyEvent event) { return window.keyEvent(event, KeyPhase::Down); }
};

TEST_F(KeyDispatch, FocusedViewThenSuperviewsThenTheKeyCommands)
{
    Panel& panel = window.contentView().addSubview(std::make_unique<Panel>());
    Field& field = panel.addSubview(std::make_unique<Field>(U'x'));
    ASSERT_TRUE(window.setFocusedView(&field));
    EXPECT_EQ(window.focusedView(), &field);

    press(KeyEvent::typing(U'x'));                 // the field acts
    press(KeyEvent::named(Key::Escape));           // the panel acts
    press(KeyEvent::typing(U'q'));                 // nobody on screen: the commands
    EXPECT_EQ(field.keys, (std::vector<char32_t>{U'x', 0, U'q'}));
    EXPECT_EQ(panel.offered, 2);
    EXPECT_EQ(commands, std::vector<char32_t>{U'q'});

    window.textInput("héllo");
    EXPECT_EQ(field.typed, "héllo");
}

TEST_F(KeyDispatch, WithoutFocusKeysGoToTheCommandsAndTextIsDropped)
{
    Field& field = window.contentView().addSubview(std::make_unique<Field>());
    View& plain = window.contentView().addSubview(std::make_unique<View>());
    EXPECT_FALSE(window.setFocusedView(&plain));   // a plain view cannot take the focus
    EXPECT_EQ(window.focusedView(), nullptr);
    press(KeyEvent::typing(U'x'));
    window.textInput("a");
    EXPECT_TRUE(field.keys.empty());
    EXPECT_TRUE(field.typed.empty());
    EXPECT_EQ(commands, std::vector<char32_t>{U'x'});
}

TEST_F(KeyDispatch, FocusFollowsTheFrontLayer)
{
    Field& below = window.contentView().addSubview(std::make_unique<Field>());
    ASSERT_TRUE(window.setFocusedView(&below));

    auto screen = std::make_unique<Screen>(window);
    Screen& front = *screen;
    Field& onScreen = front.view().addSubview(std::make_unique<Field>(U'y'));
    window.presentModal(std::move(screen), false);
    // Covered: the field below hears nothing, and cannot be given the focus.
    EXPECT_EQ(window.focusedView(), nullptr);
    EXPECT_FALSE(window.setFocusedView(&below));
    press(KeyEvent::named(Key::Return));           // the front screen's controller acts
    EXPECT_EQ(front.offered, 1);
    EXPECT_TRUE(commands.empty());

    ASSERT_TRUE(window.setFocusedView(&onScreen));
    press(KeyEvent::typing(U'y'));
    EXPECT_EQ(onScreen.keys.size(), 1u);
    EXPECT_EQ(front.offered, 1);

    // An alert over it all: no view or screen below hears a key or text.
    window.showAlert({"Title", "Message", "OK"});
    EXPECT_EQ(window.focusedView(), nullptr);
    press(KeyEvent::typing(U'y'));
    press(KeyEvent::named(Key::Tab));
    window.textInput("z");
    EXPECT_EQ(onScreen.keys.size(), 1u);
    EXPECT_TRUE(onScreen.typed.empty());
    EXPECT_EQ(front.offered, 1);
    EXPECT_EQ(commands, (std::vector<char32_t>{U'y', U'#'}));

    // Escape closes the alert as its button would, and the screen's field has the
    // focus again.
    EXPECT_TRUE(press(KeyEvent::named(Key::Escape)));
    EXPECT_FALSE(window.isAlertVisible());
    EXPECT_EQ(window.focusedView(), &onScreen);
    EXPECT_EQ(commands.size(), 2u);
}

TEST_F(KeyDispatch, EscapeOrReturnClosesTheFrontAlertOnly)
{
    window.showAlert({"First", "", "OK"});
    window.showAlert({"Second", "", "OK"});
    KeyEvent repeat = KeyEvent::named(Key::Escape);
    repeat.repeat = true;
    press(KeyEvent::named(Key::Escape));
    press(repeat);   // a held key closes one alert, not the queue behind it
    ASSERT_TRUE(window.isAlertVisible());
    EXPECT_EQ(window.alertsShown().back().title, "Second");
    press(KeyEvent::named(Key::Return));
    EXPECT_FALSE(window.isAlertVisible());
    EXPECT_TRUE(commands.empty());
}

TEST_F(KeyDispatch, RemovedFocusedViewIsNotFollowed)
{
    Field& field = window.contentView().addSubview(std::make_unique<Field>());
    ASSERT_TRUE(window.setFocusedView(&field));
    field.removeFromSuperview();   // freed here
    EXPECT_EQ(window.focusedView(), nullptr);
    press(KeyEvent::typing(U'x'));
    window.textInput("a");
    EXPECT_EQ(commands, std::vector<char32_t>{U'x'});
}

} // namespace
