// SDL's key events as the window receives them: the named keys, characters in
// lower case whatever Shift does, the modifiers and the keyboard's repeats.

#include "platform/sdl/DesktopWindow.h"

#include <gtest/gtest.h>

namespace {

using platform::Key;

SDL_KeyboardEvent sdlKey(SDL_Keycode sym, Uint16 mod = KMOD_NONE, bool repeat = false)
{
    SDL_KeyboardEvent event{};
    event.type = SDL_KEYDOWN;
    event.keysym.sym = sym;
    event.keysym.mod = mod;
    event.repeat = repeat ? 1 : 0;
    return event;
}

TEST(DesktopKeys, TranslatesNamedKeysCharactersAndModifiers)
{
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_ESCAPE)).key, Key::Escape);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_KP_ENTER)).key, Key::Return);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_PAGEDOWN)).key, Key::PageDown);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_F5)).key, Key::Other);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_LSHIFT)).key, Key::Other);

    const platform::KeyEvent space = platform::sdl::keyEventFromSdl(sdlKey(SDLK_SPACE));
    EXPECT_TRUE(space.is(U' '));
    const platform::KeyEvent bracket = platform::sdl::keyEventFromSdl(sdlKey(SDLK_RIGHTBRACKET));
    EXPECT_TRUE(bracket.is(U']'));

    const platform::KeyEvent ctrlQ = platform::sdl::keyEventFromSdl(sdlKey(SDLK_q, KMOD_LCTRL | KMOD_RSHIFT));
    EXPECT_TRUE(ctrlQ.is(U'q'));
    EXPECT_TRUE(ctrlQ.control);
    EXPECT_TRUE(ctrlQ.shift);
    EXPECT_FALSE(ctrlQ.alt);
    EXPECT_FALSE(ctrlQ.repeat);

    const platform::KeyEvent held = platform::sdl::keyEventFromSdl(sdlKey(SDLK_RIGHT, KMOD_NONE, true));
    EXPECT_EQ(held.key, Key::Right);
    EXPECT_TRUE(held.repeat);

    // A key of another alphabet keeps its own character.
    EXPECT_TRUE(platform::sdl::keyEventFromSdl(sdlKey(0xE4)).is(U'\u00e4'));
}

} // namespace
