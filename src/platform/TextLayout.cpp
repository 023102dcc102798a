#include "platform/TextLayout.h"

#include "platform/Utf8.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace platform {

namespace {

// Font names that the labels ask for, and the families that stand for them here.
// Both are handwriting faces from Debian packages (fonts-dkg-handwriting,
// fonts-comic-neue); anything unknown falls back to a plain sans.
struct FontAlias {
    const char* systemName;
    const char* family;
};
constexpr FontAlias fontAliases[] = {
    {"Casino Hand", "DkgHandwriting"},
    {"MarkerFelt-Thin", "Comic Neue"},
};
constexpr const char* defaultFamily = "DejaVu Sans";

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const noexcept { Free(p); }
};
void unrefObject(PangoLayout* p) { g_object_unref(p); }
void unrefFont(PangoFont* p) { g_object_unref(p); }
using LayoutPtr = std::unique_ptr<PangoLayout, Deleter<PangoLayout, unrefObject>>;
using FontPtr = std::unique_ptr<PangoFont, Deleter<PangoFont, unrefFont>>;
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, Deleter<PangoFontDescription, pango_font_description_free>>;
using FontMetricsPtr = std::unique_ptr<PangoFontMetrics, Deleter<PangoFontMetrics, pango_font_metrics_unref>>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, Deleter<cairo_font_options_t, cairo_font_options_destroy>>;

// One line of plain text for pango: valid UTF-8, and no character that would
// start a new line or that pango refuses (NUL). Tags are untrusted input.
std::string oneLineText(const std::string& text)
{
    std::string clean = sanitizeUtf8(text);
    std::string out;
    out.reserve(clean.size());
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const auto byte = static_cast<unsigned char>(clean[i]);
        if (byte < 0x20 || byte == 0x7f) {
            out.push_back(' ');
            continue;
        }
        // U+2028 LINE SEPARATOR and U+2029 PARAGRAPH SEPARATOR (E2 80 A8/A9) break lines too.
        if (byte == 0xe2 && i + 2 < clean.size() && static_cast<unsigned char>(clean[i + 1]) == 0x80
            && (static_cast<unsigned char>(clean[i + 2]) == 0xa8 || static_cast<unsigned char>(clean[i + 2]) == 0xa9)) {
            out.push_back(' ');
            i += 2;
            continue;
        }
        out.push_back(clean[i]);
    }
    return out;
}

// The size a font is drawn at: its own, or 17 points when that is no usable size.
float fontDescriptionSize(const Font& font)
{
    return std::isfinite(font.size) && font.size > 0 ? font.size : 17.0f;
}

FontDescriptionPtr fontDescriptionFor(const Font& font)
{
    FontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), fontFamilyFor(font.name).c_str());
    // "Helvetica-Bold" and the like: the weight travels in the name.
    if (font.name.find("Bold") != std::string::npos)
        pango_font_description_set_weight(description.get(), PANGO_WEIGHT_BOLD);
    // Sizes are in points of the label's user space, whatever the device scale.
    pango_font_description_set_absolute_size(description.get(), double(fontDescriptionSize(font)) * PANGO_SCALE);
    return description;
}

// A plain-text, single-line layout on the context. Unhinted metrics keep the text
// the same width at every scale, so a label measured at 1× fits at 2× and turned.
LayoutPtr makeLayout(cairo_t* cairo, const std::string& text, const Font& font)
{
    LayoutPtr layout(pango_cairo_create_layout(cairo));
    FontOptionsPtr options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options.get());
    pango_layout_context_changed(layout.get());

    const FontDescriptionPtr description = fontDescriptionFor(font);
    pango_layout_set_font_description(layout.get(), description.get());
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_NONE);
    pango_layout_set_width(layout.get(), -1);   // no wrapping: one line, clipped by the caller
    pango_layout_set_auto_dir(layout.get(), TRUE);
    const std::string line = oneLineText(text);
    pango_layout_set_text(layout.get(), line.data(), static_cast<int>(line.size()));
    return layout;
}

struct LineBox {
    double ascent = 0;
    double descent = 0;
};

// Letters that reach furthest above and below the baseline.
constexpr const char* tallAndDeepLetters = "\u00C5\u00C9" "bdfhklTgjpqy|";

// How far the font reaches above and below the baseline: its ascent and descent, or
// further where its letters do (handwriting faces often draw past their metrics).
LineBox lineBoxOf(cairo_t* cairo, const Font& font)
{
    const LayoutPtr probe = makeLayout(cairo, tallAndDeepLetters, font);
    PangoRectangle ink{}, logical{};
    pango_layout_get_extents(probe.get(), &ink, &logical);
    const double baseline = double(pango_layout_get_baseline(probe.get())) / PANGO_SCALE;
    LineBox line{baseline, double(logical.height) / PANGO_SCALE - baseline};
    const FontDescriptionPtr description = fontDescriptionFor(font);
    if (FontPtr loaded{pango_context_load_font(pango_layout_get_context(probe.get()), description.get())}) {
        FontMetricsPtr metrics(pango_font_get_metrics(loaded.get(), nullptr));
        line.ascent = double(pango_font_metrics_get_ascent(metrics.get())) / PANGO_SCALE;
        line.descent = double(pango_font_metrics_get_descent(metrics.get())) / PANGO_SCALE;
    }
    line.ascent = std::max(line.ascent, baseline - double(ink.y) / PANGO_SCALE);
    line.descent = std::max(line.descent, double(ink.y + ink.height) / PANGO_SCALE - baseline);
    return line;
}

// Letters drawn right up to a label's edge lose their smoothed edges to the clip: a
// fitted line keeps this far from both edges, a pixel at one pixel a point.
constexpr double edgePoints = 1;

Font fittedFont(cairo_t* cairo, const Font& font, float heightPoints)
{
    const LineBox line = lineBoxOf(cairo, font);
    const double lineHeight = line.ascent + line.descent;
    const double room = double(heightPoints) - 2 * edgePoints;
    if (!(lineHeight > room) || room <= 0)
        return font;
    Font fitted = font;
    // Unhinted metrics grow in proportion to the size.
    fitted.size = static_cast<float>(double(fontDescriptionSize(font)) * room / lineHeight);
    return fitted;
}

} // namespace

std::string fontFamilyFor(const std::string& systemFontName)
{
    for (const auto& alias : fontAliases) {
        if (systemFontName == alias.systemName)
            return alias.family;
    }
    return defaultFamily;
}

void drawLabelText(cairo_t* cairo, const Label& label)
{
    const Rect bounds = label.bounds();
    if (bounds.isEmpty() || label.text().empty())
        return;

    cairo_save(cairo);
    cairo_rectangle(cairo, 0, 0, bounds.width, bounds.height);
    cairo_clip(cairo);

    // The line box of the label's font must fit the label's height, or the letters of
    // two labels set close together run into each other. The handwriting face that
    // stands in for the product's font has a much taller line than its size says, so
    // it is drawn smaller: the size that makes ascent + descent the label's height.
    // A label that shares its space with a neighbour set closer than its height fits
    // its line into the share it was given.
    const float lineRoom = label.lineHeightPoints() > 0 ? std::min(label.lineHeightPoints(), bounds.height) : bounds.height;
    const Font font = fittedFont(cairo, label.font(), lineRoom);
    const LayoutPtr layout = makeLayout(cairo, label.text(), font);
    PangoRectangle logical{};
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    const double textWidth = double(logical.width) / PANGO_SCALE;

    // Right-to-left text starts at the right end: a label set to align left shows
    // the start of an Arabic or Hebrew title where a reader of it looks first.
    PangoLayoutLine* firstLine = pango_layout_get_line_readonly(layout.get(), 0);
    const bool rightToLeft = firstLine && firstLine->resolved_dir == PANGO_DIRECTION_RTL;
    double x = 0;
    if (textWidth > bounds.width) {
        // Too long: the start stays and the end gives way to an ellipsis, inside the
        // label, as platform labels do. Pango then places the line in the width itself.
        pango_layout_set_width(layout.get(), static_cast<int>(bounds.width * PANGO_SCALE));
        pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    } else {
        if (label.textAlignment() == TextAlignment::Center)
            x = (bounds.width - textWidth) / 2;
        else if (rightToLeft)
            x = bounds.width - textWidth;
        x -= double(logical.x) / PANGO_SCALE;
    }

    // Centre the primary font's line box, not this text's ink or fallback fonts'
    // boxes, so the baseline stays put whatever the title contains.
    const LineBox line = lineBoxOf(cairo, font);
    const double baseline = (bounds.height - (line.ascent + line.descent)) / 2 + line.ascent;
    const double y = baseline - double(pango_layout_get_baseline(layout.get())) / PANGO_SCALE;

    const Color color = label.textColor();
    cairo_set_source_rgba(cairo, color.red, color.green, color.blue, color.alpha);
    cairo_move_to(cairo, x, y);
    pango_cairo_show_layout(cairo, layout.get());
    cairo_restore(cairo);
}

float measureTextWidth(const std::string& text, const Font& font)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cairo = cairo_create(surface);
    float width = 0;
    {
        const LayoutPtr layout = makeLayout(cairo, text, font);
        PangoRectangle logical{};
        pango_layout_get_extents(layout.get(), nullptr, &logical);
        width = static_cast<float>(double(logical.width) / PANGO_SCALE);
    }
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
    return width;
}

} // namespace platform
