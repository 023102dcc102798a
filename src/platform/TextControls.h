#pragma once
// Text labels and text buttons for the screens built from plain views (the list
// picker, the desktop's mail composer), and the colours those screens share.

#include "platform/Button.h"
#include "platform/Label.h"

#include <string>

namespace platform {

// The bars at the top and bottom of those screens.
inline constexpr Color screenBarColor{0.12f, 0.12f, 0.14f, 1};
// Hints and counts, a step back from the white of titles and rows.
inline constexpr Color dimTextColor{0.6f, 0.6f, 0.65f, 1};

// A one-line Helvetica label added to the parent.
Label& addLabel(View& parent, Rect frame, const std::string& text, float fontSize, TextAlignment alignment,
                Color textColor);

// A button that shows the touch, its title centred in 17-point Helvetica.
Button& addTextButton(View& parent, Rect frame, const std::string& title, Color titleColor);

} // namespace platform
