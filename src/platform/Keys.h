#pragma once
// Keys as the window receives them, whatever keyboard layer the backend reads:
// the named keys the screens act on, and the character of any other key.

#include <cstdint>

namespace platform {

enum class Key : std::int32_t {
    Character = 0,   // a key that types: see KeyEvent::character
    Escape,
    Return,
    Backspace,
    Delete,
    Tab,
    Left,
    Right,
    Up,
    Down,
    Home,
    End,
    PageUp,
    PageDown,
    Other,           // a key no screen acts on (function keys, modifiers alone)
};

// Whether a key went down (or repeated) or came up.
enum class KeyPhase { Down, Up };

struct KeyEvent {
    Key key = Key::Other;
    // For Key::Character: the key's own character in lower case (space, letters,
    // brackets), whatever the modifiers; the text a key types arrives separately.
    char32_t character = 0;
    bool control = false;
    bool alt = false;
    bool shift = false;
    // The keyboard's own repetition of a key held down, not a new press.
    bool repeat = false;

    static KeyEvent named(Key key) noexcept { return {key}; }
    static KeyEvent typing(char32_t character) noexcept { return {Key::Character, character}; }
    bool is(char32_t c) const noexcept { return key == Key::Character && character == c; }
};

} // namespace platform
