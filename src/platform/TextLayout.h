#pragma once
// Label text with pango: plain text (never markup), any script and direction,
// font fallback, one line aligned as set. The font is drawn smaller when its line
// would be taller than the label, and a text too long for the label keeps its
// start and ends with an ellipsis inside the label.

#include "platform/Geometry.h"
#include "platform/Label.h"

#include <string>

typedef struct _cairo cairo_t;

namespace platform {

// The fontconfig family that stands for one of the system's font names. The one
// place where font names are mapped.
std::string fontFamilyFor(const std::string& systemFontName);

// Draws the label's text into its upright bounds (0, 0, width, height) of the
// cairo context, whose user space is the label's bounds in points.
void drawLabelText(cairo_t* cairo, const Label& label);

// The width in points that the text would take in the font, for tests.
float measureTextWidth(const std::string& text, const Font& font);

} // namespace platform
