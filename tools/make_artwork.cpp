// Draws every picture of the player with cairo, at 2x pixel density, into the directory named on the
// command line. Nothing is copied from elsewhere: each picture is built from gradients, arcs and paths,
// with a seeded noise source so that every build draws the same pixels. The only exception is the small
// lettering on some skins, drawn with whatever sans-serif font the system has; the pictures do not need it.
//
// Sections:
//   1. Cairo plumbing: canvases measured in points, masks, writing PNG files
//   2. Shared drawing helpers: colours, gradients, rounded boxes, screws, turned text
//   3. The tape band (a full reel of wound tape seen from above)
//   4. The reel hub
//   5. Toolbar icons
//   6. Cassette parts shared by every skin: shell, label paper, windows, head edge
//   7. The eight cassette looks
//   8. Self-check of the skins and main

#include "skins/SkinCatalogue.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double pixelsPerPoint = 2.0;

// ---------------------------------------------------------------------------------------------------
// 1. Cairo plumbing
// ---------------------------------------------------------------------------------------------------

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const noexcept { cairo_surface_destroy(surface); }
};
struct ContextRelease {
    void operator()(cairo_t* context) const noexcept { cairo_destroy(context); }
};
struct PatternRelease {
    void operator()(cairo_pattern_t* pattern) const noexcept { cairo_pattern_destroy(pattern); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceRelease>;
using ContextPtr = std::unique_ptr<cairo_t, ContextRelease>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternRelease>;

// A picture measured in points and stored at 2x. Drawing through cr() works in points; the pixel
// accessors are for the few effects cairo has no operator for (blur, the tape texture).
// An A8 canvas serves as a coverage mask of the same geometry.
class Canvas {
public:
    Canvas(double widthPoints, double heightPoints, cairo_format_t format = CAIRO_FORMAT_ARGB32)
        : surface_(cairo_image_surface_create(format, static_cast<int>(std::lround(widthPoints * pixelsPerPoint)),
                                              static_cast<int>(std::lround(heightPoints * pixelsPerPoint))))
    {
        cairo_surface_set_device_scale(surface_.get(), pixelsPerPoint, pixelsPerPoint);
        context_.reset(cairo_create(surface_.get()));
    }

    cairo_t* cr() const { return context_.get(); }
    cairo_surface_t* surface() const { return surface_.get(); }
    int widthPixels() const { return cairo_image_surface_get_width(surface_.get()); }
    int heightPixels() const { return cairo_image_surface_get_height(surface_.get()); }
    double widthPoints() const { return widthPixels() / pixelsPerPoint; }
    double heightPoints() const { return heightPixels() / pixelsPerPoint; }
    int stride() const { return cairo_image_surface_get_stride(surface_.get()); }

    // Raw pixels after all pending drawing; call markDirty() after writing to them.
    unsigned char* pixels() const
    {
        cairo_surface_flush(surface_.get());
        return cairo_image_surface_get_data(surface_.get());
    }
    void markDirty() const { cairo_surface_mark_dirty(surface_.get()); }

    // Premultiplied ARGB of the pixel that covers the given point.
    std::uint32_t argbAt(double xPoints, double yPoints) const
    {
        const int x = std::clamp(static_cast<int>(xPoints * pixelsPerPoint), 0, widthPixels() - 1);
        const int y = std::clamp(static_cast<int>(yPoints * pixelsPerPoint), 0, heightPixels() - 1);
        return *reinterpret_cast<const std::uint32_t*>(pixels() + y * stride() + x * 4);
    }

    // The first problem cairo met while drawing, or success.
    cairo_status_t status() const
    {
        const cairo_status_t drawing = cairo_status(cr());
        return drawing != CAIRO_STATUS_SUCCESS ? drawing : cairo_surface_status(surface_.get());
    }

private:
    SurfacePtr surface_;
    ContextPtr context_;
};

Canvas makeMaskLike(const Canvas& canvas)
{
    return Canvas(canvas.widthPoints(), canvas.heightPoints(), CAIRO_FORMAT_A8);
}

// Paints the current source of cr wherever the mask covers, shifted by (dx, dy) points.
void paintThrough(cairo_t* cr, const Canvas& mask, double dx = 0, double dy = 0)
{
    cairo_mask_surface(cr, mask.surface(), dx, dy);
}

// Grows a coverage mask outward by radiusPoints in every direction. Painting the mask shifted round
// two circles is exact for shapes whose curves are wider than the radius, which every window is.
// The shifts are whole pixels: a fractional shift would make pixman filter every paint, many times slower.
Canvas dilated(const Canvas& mask, double radiusPoints)
{
    std::vector<std::pair<int, int>> shifts{{0, 0}};
    for (const double radius : {radiusPoints * 0.5, radiusPoints}) {
        const double radiusPixels = radius * pixelsPerPoint;
        const int steps = std::max(16, static_cast<int>(std::ceil(2 * pi * radiusPixels)));
        for (int i = 0; i < steps; ++i) {
            const double angle = 2 * pi * i / steps;
            shifts.emplace_back(static_cast<int>(std::lround(radiusPixels * std::cos(angle))),
                                static_cast<int>(std::lround(radiusPixels * std::sin(angle))));
        }
    }
    std::sort(shifts.begin(), shifts.end());
    shifts.erase(std::unique(shifts.begin(), shifts.end()), shifts.end());

    Canvas grown = makeMaskLike(mask);
    cairo_t* cr = grown.cr();
    for (const auto& [dx, dy] : shifts) {
        cairo_set_source_surface(cr, mask.surface(), dx / pixelsPerPoint, dy / pixelsPerPoint);
        cairo_paint(cr);
    }
    return grown;
}

// Softens an A8 mask in place: three box passes each way approximate a Gaussian of about radiusPoints.
void blur(Canvas& mask, double radiusPoints)
{
    const int width = mask.widthPixels();
    const int height = mask.heightPixels();
    const int stride = mask.stride();
    unsigned char* data = mask.pixels();
    std::vector<float> values(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            values[static_cast<std::size_t>(y) * width + x] = data[y * stride + x];
        }
    }
    const int box = std::max(1, static_cast<int>(std::lround(radiusPoints * pixelsPerPoint / 2)));
    std::vector<float> line;
    auto pass = [&](int count, int length, auto index) {
        line.resize(length);
        for (int c = 0; c < count; ++c) {
            for (int i = 0; i < length; ++i) {
                line[i] = values[index(c, i)];
            }
            float sum = 0;
            for (int i = -box; i <= box; ++i) {
                sum += (i >= 0 && i < length) ? line[i] : 0.0f;
            }
            for (int i = 0; i < length; ++i) {
                values[index(c, i)] = sum / (2 * box + 1);
                const int leaving = i - box;
                const int entering = i + box + 1;
                sum -= (leaving >= 0) ? line[leaving] : 0.0f;
                sum += (entering < length) ? line[entering] : 0.0f;
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(height, width, [width](int row, int i) { return static_cast<std::size_t>(row) * width + i; });
        pass(width, height, [width](int column, int i) { return static_cast<std::size_t>(i) * width + column; });
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float v = values[static_cast<std::size_t>(y) * width + x];
            data[y * stride + x] = static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L));
        }
    }
    mask.markDirty();
}

// The part of a shape near its own edge, fading inward: what an inner shadow darkens.
Canvas innerEdge(const Canvas& shape, double radiusPoints)
{
    Canvas soft = makeMaskLike(shape);
    cairo_set_source_surface(soft.cr(), shape.surface(), 0, 0);
    cairo_paint(soft.cr());
    blur(soft, radiusPoints);
    const unsigned char* inside = shape.pixels();
    unsigned char* edge = soft.pixels();
    for (int y = 0; y < shape.heightPixels(); ++y) {
        for (int x = 0; x < shape.widthPixels(); ++x) {
            const int at = y * shape.stride() + x;
            edge[at] = static_cast<unsigned char>(inside[at] * (255 - edge[at]) / 255);
        }
    }
    soft.markDirty();
    return soft;
}

// Writes the picture, or says why it could not and returns false.
bool writePng(const Canvas& canvas, const std::filesystem::path& path)
{
    cairo_status_t status = canvas.status();
    if (status == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(canvas.surface());
        status = cairo_surface_write_to_png(canvas.surface(), path.c_str());
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "spoolora_artwork: cannot write \"%s\": %s\n", path.c_str(),
                     cairo_status_to_string(status));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------
// 2. Shared drawing helpers
// ---------------------------------------------------------------------------------------------------

struct Rgb {
    double r = 0, g = 0, b = 0;
};

constexpr Rgb hex(std::uint32_t rgb)
{
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0};
}

constexpr Rgb grey(double level)
{
    return {level, level, level};
}

Rgb mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scaled(Rgb c, double factor)
{
    return {std::min(1.0, c.r * factor), std::min(1.0, c.g * factor), std::min(1.0, c.b * factor)};
}

void setSource(cairo_t* cr, Rgb c, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

struct Stop {
    double offset;
    Rgb colour;
    double alpha = 1.0;
};

PatternPtr withStops(cairo_pattern_t* gradient, std::initializer_list<Stop> stops)
{
    PatternPtr pattern(gradient);
    for (const Stop& s : stops) {
        cairo_pattern_add_color_stop_rgba(pattern.get(), s.offset, s.colour.r, s.colour.g, s.colour.b, s.alpha);
    }
    return pattern;
}

PatternPtr linearGradient(double x0, double y0, double x1, double y1, std::initializer_list<Stop> stops)
{
    return withStops(cairo_pattern_create_linear(x0, y0, x1, y1), stops);
}

PatternPtr radialGradient(double cx, double cy, double r0, double r1, std::initializer_list<Stop> stops,
                          double focusDx = 0, double focusDy = 0)
{
    return withStops(cairo_pattern_create_radial(cx + focusDx, cy + focusDy, r0, cx, cy, r1), stops);
}

struct Point {
    double x = 0, y = 0;
};

struct Box {
    double x = 0, y = 0, width = 0, height = 0;
    double right() const { return x + width; }
    double bottom() const { return y + height; }
    Box grown(double by) const { return {x - by, y - by, width + 2 * by, height + 2 * by}; }
};

void roundedBoxPath(cairo_t* cr, const Box& box, double radius)
{
    radius = std::min({radius, box.width / 2, box.height / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, box.right() - radius, box.y + radius, radius, -pi / 2, 0);
    cairo_arc(cr, box.right() - radius, box.bottom() - radius, radius, 0, pi / 2);
    cairo_arc(cr, box.x + radius, box.bottom() - radius, radius, pi / 2, pi);
    cairo_arc(cr, box.x + radius, box.y + radius, radius, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

void circlePath(cairo_t* cr, Point centre, double radius)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, centre.x, centre.y, radius, 0, 2 * pi);
    cairo_close_path(cr);
}

// Reproducible noise (xorshift64*): the same sequence on every machine and standard library.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    double next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<double>((state * 0x2545F4914F6CDD1Dull) >> 11) * (1.0 / 9007199254740992.0);
    }
    double between(double low, double high) { return low + (high - low) * next(); }

private:
    std::uint64_t state;
};

double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

struct ScrewStyle {
    Rgb head = grey(0.78);
    Rgb recess = grey(0.05);
};

// A cross-head screw sunk into the shell; the slot angle varies so the screws do not look stamped.
void drawScrew(cairo_t* cr, Point at, double slotAngle, const ScrewStyle& style)
{
    cairo_save(cr);
    cairo_translate(cr, at.x, at.y);
    auto recess =
        radialGradient(0, 0, 3.5, 6.2, {{0, style.recess, 1}, {0.75, style.recess, 0.9}, {1, style.recess, 0}});
    cairo_set_source(cr, recess.get());
    circlePath(cr, {0, 0}, 6.2);
    cairo_fill(cr);
    auto head = radialGradient(
        0, 0, 0.2, 4.6, {{0, scaled(style.head, 1.35)}, {0.55, style.head}, {1, scaled(style.head, 0.55)}}, -1.4, -1.6);
    cairo_set_source(cr, head.get());
    circlePath(cr, {0, 0}, 4.5);
    cairo_fill(cr);
    setSource(cr, grey(0), 0.35);
    cairo_set_line_width(cr, 0.35);
    circlePath(cr, {0, 0}, 4.5);
    cairo_stroke(cr);
    cairo_rotate(cr, slotAngle);
    for (int arm = 0; arm < 2; ++arm) {
        setSource(cr, grey(1), 0.35);
        cairo_rectangle(cr, -3.3, -0.35, 6.6, 1.2);
        cairo_fill(cr);
        setSource(cr, scaled(style.head, 0.25));
        cairo_rectangle(cr, -3.3, -0.75, 6.6, 1.3);
        cairo_fill(cr);
        cairo_rotate(cr, pi / 2);
    }
    cairo_restore(cr);
}

// Text turned a quarter turn like the player's labels, so it reads from the bottom of the screen upward.
// The text's baseline runs up the line x = baseline.x, centred on baseline.y.
void drawTurnedText(cairo_t* cr, const char* text, Point baseline, double sizePoints, Rgb colour, double alpha = 1.0)
{
    cairo_save(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, sizePoints);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_translate(cr, baseline.x, baseline.y);
    cairo_rotate(cr, -pi / 2);
    cairo_move_to(cr, -extents.x_advance / 2, 0);
    setSource(cr, colour, alpha);
    cairo_show_text(cr, text);
    cairo_restore(cr);
}

// ---------------------------------------------------------------------------------------------------
// 3. The tape band
// ---------------------------------------------------------------------------------------------------

// The tape of a full reel, seen from above. The player covers its outer part with a black ring whose
// inner edge is the edge of the wound tape, so the texture must look like tape at every radius from
// 69 to 152 points: fine grooves (each turn of tape), broader layers wound at slightly different
// tension, and a two-lobed sheen where the grooves catch the light. Inside the hub's reach it turns
// dark, because the gaps between the hub's spokes show the inside of the shell.
Canvas drawTapeBand()
{
    constexpr double sidePoints = 304;
    Canvas canvas(sidePoints, sidePoints);
    const int side = canvas.widthPixels();
    const double centre = side / 2.0;
    const double outerRadius = side / 2.0;
    const double hubRadius = 61 * pixelsPerPoint;

    // One value per pixel of radius for the grooves, and smooth layer values every few pixels.
    Noise noise(1975);
    const int rings = static_cast<int>(outerRadius) + 2;
    std::vector<double> groove(rings), glint(rings), layer(rings);
    for (int i = 0; i < rings; ++i) {
        groove[i] = noise.between(-1, 1);
        glint[i] = noise.between(0.55, 1.45);
    }
    double layerFrom = noise.between(-1, 1);
    double layerTo = noise.between(-1, 1);
    int layerStart = 0;
    int layerLength = 9;
    for (int i = 0; i < rings; ++i) {
        if (i - layerStart >= layerLength) {
            layerStart = i;
            layerLength = static_cast<int>(noise.between(6, 22));
            layerFrom = layerTo;
            layerTo = noise.between(-1, 1);
        }
        layer[i] = layerFrom + (layerTo - layerFrom) * smoothstep(0, 1, double(i - layerStart) / layerLength);
    }
    // A few turns sit a little proud or sunk and read as sharper lines.
    for (int i = 0; i < rings; i += static_cast<int>(noise.between(14, 40))) {
        groove[i] += noise.next() < 0.5 ? -2.2 : 1.6;
    }
    auto sample = [&](const std::vector<double>& table, double radius) {
        const double at = std::clamp(radius - 0.5, 0.0, double(rings - 2));
        const int below = static_cast<int>(at);
        return table[below] + (table[below + 1] - table[below]) * (at - below);
    };

    const Rgb tape = hex(0x2c2018);
    const Rgb sheen = hex(0x6b5646);
    const Rgb shell = hex(0x0a0908);
    const double lightAngle = -0.75 * pi; // light from the upper left

    unsigned char* data = canvas.pixels();
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * canvas.stride());
        for (int x = 0; x < side; ++x) {
            const double dx = x + 0.5 - centre;
            const double dy = y + 0.5 - centre;
            const double radius = std::hypot(dx, dy);
            const double coverage = std::clamp(outerRadius - radius + 0.5, 0.0, 1.0);
            if (coverage <= 0) {
                row[x] = 0;
                continue;
            }
            const double angle = std::atan2(dy, dx);
            const double lobe = 0.5 + 0.5 * std::cos(2 * (angle - lightAngle));
            const double broad = 0.5 + 0.5 * std::cos(2 * (angle - lightAngle - 0.35));
            const double highlight = 0.8 * std::pow(lobe, 14) + 0.22 * std::pow(broad, 3);
            const double shade = 1 + 0.10 * sample(groove, radius) + 0.13 * sample(layer, radius);
            const double shine = highlight * sample(glint, radius) * (0.75 + 0.25 * radius / outerRadius);
            Rgb c{tape.r * shade + sheen.r * shine, tape.g * shade + sheen.g * shine, tape.b * shade + sheen.b * shine};
            c = mix(shell, c, smoothstep(hubRadius - 10, hubRadius, radius));
            const auto channel = [coverage](double v) {
                return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * coverage * 255));
            };
            row[x] = (static_cast<std::uint32_t>(std::lround(coverage * 255)) << 24) | (channel(c.r) << 16) |
                     (channel(c.g) << 8) | channel(c.b);
        }
    }
    canvas.markDirty();
    return canvas;
}

// ---------------------------------------------------------------------------------------------------
// 4. The reel hub
// ---------------------------------------------------------------------------------------------------

// A white plastic hub: the core the tape winds on, three spokes, and a toothed centre that the deck's
// spindle drives. The tape clamp in the core and one red-marked tooth make its turning easy to see.
Canvas drawReelHub()
{
    constexpr double sidePoints = 136;
    Canvas canvas(sidePoints, sidePoints);
    cairo_t* cr = canvas.cr();
    cairo_translate(cr, sidePoints / 2, sidePoints / 2);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);

    constexpr double coreOuter = 66.5;
    constexpr double coreInner = 56.5;
    constexpr double centreOuter = 24.5;
    constexpr double centreInner = 14.5;
    const double spokeAngle = -pi / 2;

    // A soft dark collar where the core meets the tape, the same all round so it does not turn.
    auto collar = radialGradient(0, 0, coreOuter - 1, 68, {{0, grey(0), 0.55}, {1, grey(0), 0}});
    cairo_set_source(cr, collar.get());
    circlePath(cr, {0, 0}, 68);
    cairo_fill(cr);

    const Rgb plastic = hex(0xf1f0ea);
    const Rgb plasticShade = hex(0xb9b8b2);
    auto coreFill = radialGradient(0, 0, coreInner, coreOuter,
                                   {{0, scaled(plastic, 0.86)}, {0.35, plastic}, {0.8, plastic}, {1, plasticShade}});

    // Spokes first, so the core and the centre ring close over their ends.
    for (int k = 0; k < 3; ++k) {
        cairo_save(cr);
        cairo_rotate(cr, spokeAngle + k * 2 * pi / 3);
        cairo_move_to(cr, centreOuter - 3, -6.5);
        cairo_curve_to(cr, 38, -6.8, 48, -8.5, coreInner + 2, -10.5);
        cairo_line_to(cr, coreInner + 2, 10.5);
        cairo_curve_to(cr, 48, 8.5, 38, 6.8, centreOuter - 3, 6.5);
        cairo_close_path(cr);
        auto spoke = linearGradient(0, -10, 0, 10, {{0, plastic}, {0.6, scaled(plastic, 0.95)}, {1, plasticShade}});
        cairo_set_source(cr, spoke.get());
        cairo_fill_preserve(cr);
        setSource(cr, grey(0.35), 0.8);
        cairo_set_line_width(cr, 0.6);
        cairo_stroke(cr);
        // A moulded rib down the middle of each spoke.
        setSource(cr, grey(1), 0.9);
        cairo_set_line_width(cr, 1.2);
        cairo_move_to(cr, centreOuter + 2, -0.6);
        cairo_line_to(cr, coreInner - 2, -0.6);
        cairo_stroke(cr);
        setSource(cr, grey(0.55), 0.6);
        cairo_move_to(cr, centreOuter + 2, 0.9);
        cairo_line_to(cr, coreInner - 2, 0.9);
        cairo_stroke(cr);
        cairo_restore(cr);
    }

    // The core.
    circlePath(cr, {0, 0}, coreOuter);
    circlePath(cr, {0, 0}, coreInner);
    cairo_set_source(cr, coreFill.get());
    cairo_fill(cr);
    cairo_set_line_width(cr, 0.7);
    setSource(cr, grey(0.45));
    circlePath(cr, {0, 0}, coreOuter - 0.35);
    cairo_stroke(cr);
    setSource(cr, grey(0.5));
    circlePath(cr, {0, 0}, coreInner + 0.35);
    cairo_stroke(cr);
    setSource(cr, grey(1), 0.8);
    cairo_set_line_width(cr, 0.8);
    circlePath(cr, {0, 0}, coreInner + 2.2);
    cairo_stroke(cr);

    // The tape clamp: a wedge set into the core between two spokes, with the tape leader's slot.
    cairo_save(cr);
    cairo_rotate(cr, spokeAngle + pi / 3);
    const double half = 0.2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, coreOuter - 0.8, -half, half);
    cairo_arc_negative(cr, 0, 0, coreInner + 0.8, half * 0.8, -half * 0.8);
    cairo_close_path(cr);
    setSource(cr, hex(0xd5d3cb));
    cairo_fill_preserve(cr);
    setSource(cr, grey(0.25));
    cairo_set_line_width(cr, 0.9);
    cairo_stroke(cr);
    setSource(cr, grey(0.2));
    cairo_set_line_width(cr, 1.4);
    cairo_move_to(cr, coreInner + 3, 0);
    cairo_line_to(cr, coreOuter - 2.5, 0);
    cairo_stroke(cr);
    cairo_restore(cr);

    // The toothed centre ring: the teeth are part of its inner contour, so one fill and one outline
    // serve both; the hole between them stays clear.
    const double firstTooth = spokeAngle + pi / 6;
    auto centreRingPath = [&] {
        circlePath(cr, {0, 0}, centreOuter);
        cairo_new_sub_path(cr);
        for (int k = 0; k < 6; ++k) {
            const double at = firstTooth + k * pi / 3;
            cairo_arc(cr, 0, 0, centreInner, at - pi / 3 + 0.2, at - 0.2);
            cairo_line_to(cr, 9 * std::cos(at - 0.2), 9 * std::sin(at - 0.2));
            cairo_arc(cr, 0, 0, 9, at - 0.2, at + 0.2);
        }
        cairo_close_path(cr);
    };
    centreRingPath();
    auto centreFill =
        radialGradient(0, 0, centreInner, centreOuter,
                       {{0, scaled(plastic, 0.93)}, {0.3, plastic}, {0.75, plastic}, {1, scaled(plastic, 0.85)}});
    cairo_set_source(cr, centreFill.get());
    cairo_fill(cr);
    // The marked tooth.
    cairo_save(cr);
    cairo_rotate(cr, firstTooth);
    cairo_move_to(cr, centreInner + 0.8, -3.1);
    cairo_line_to(cr, 9 * std::cos(0.2), -9 * std::sin(0.2));
    cairo_arc(cr, 0, 0, 9, -0.2, 0.2);
    cairo_line_to(cr, centreInner + 0.8, 3.1);
    cairo_close_path(cr);
    setSource(cr, hex(0xd62a1e));
    cairo_fill(cr);
    cairo_restore(cr);
    centreRingPath();
    setSource(cr, grey(0.4));
    cairo_set_line_width(cr, 0.7);
    cairo_stroke(cr);

    // The red dot on the marked tooth's side of the ring, visible even when the tooth is small on screen.
    cairo_save(cr);
    cairo_rotate(cr, firstTooth);
    setSource(cr, hex(0xd62a1e));
    circlePath(cr, {centreInner + 5, 0}, 2.4);
    cairo_fill(cr);
    cairo_restore(cr);
    return canvas;
}

// ---------------------------------------------------------------------------------------------------
// 5. Toolbar icons
// ---------------------------------------------------------------------------------------------------

// Toolbar glyphs are near-white with a faint dark edge below, so they stay crisp on the translucent
// black bar over any part of the cassette. `shape` builds the glyph and fills or strokes it with the
// current source; it is run twice, once for the edge and once for the glyph.
Canvas drawIcon(double widthPoints, double heightPoints, const std::function<void(cairo_t*)>& shape)
{
    Canvas canvas(widthPoints, heightPoints);
    cairo_t* cr = canvas.cr();
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_save(cr);
    cairo_translate(cr, 0, 0.5);
    setSource(cr, grey(0), 0.55);
    shape(cr);
    cairo_restore(cr);
    auto face = linearGradient(0, 8, 0, heightPoints - 8, {{0, grey(1)}, {1, grey(0.84)}});
    cairo_set_source(cr, face.get());
    shape(cr);
    return canvas;
}

Canvas drawMusicIcon()
{
    return drawIcon(30, 40, [](cairo_t* cr) {
        // Two beamed quavers.
        for (const Point head : {Point{9.5, 27.5}, Point{21.5, 25}}) {
            cairo_save(cr);
            cairo_translate(cr, head.x, head.y);
            cairo_rotate(cr, -0.35);
            cairo_scale(cr, 4.3, 3.2);
            circlePath(cr, {0, 0}, 1);
            cairo_restore(cr);
            cairo_fill(cr);
        }
        cairo_rectangle(cr, 12.5, 12.5, 1.8, 15);
        cairo_rectangle(cr, 24.5, 10, 1.8, 15);
        cairo_fill(cr);
        cairo_move_to(cr, 12.5, 12.5);
        cairo_line_to(cr, 26.3, 10);
        cairo_line_to(cr, 26.3, 14);
        cairo_line_to(cr, 12.5, 16.5);
        cairo_close_path(cr);
        cairo_fill(cr);
    });
}

// Drawn in outline, so that it weighs no more on the bar than the other glyphs. Line centres sit on
// quarter points so that the edges fall on whole pixels.
Canvas drawTapeIcon()
{
    return drawIcon(40, 40, [](cairo_t* cr) {
        cairo_set_line_width(cr, 1.5);
        roundedBoxPath(cr, {6.25, 10.75, 27.5, 18.5}, 2.5);
        cairo_stroke(cr);
        cairo_set_line_width(cr, 1);
        roundedBoxPath(cr, {11.5, 14.5, 17, 7}, 3.5);
        cairo_stroke(cr);
        for (const double x : {15.5, 24.5}) {
            circlePath(cr, {x, 18}, 2);
        }
        cairo_fill(cr);
        cairo_move_to(cr, 11, 29);
        cairo_line_to(cr, 13, 25.5);
        cairo_line_to(cr, 27, 25.5);
        cairo_line_to(cr, 29, 29);
        cairo_stroke(cr);
    });
}

// Two triangles side by side; `direction` +1 points right, -1 left.
Canvas drawDoubleTriangleIcon(int direction)
{
    return drawIcon(40, 40, [direction](cairo_t* cr) {
        for (const double tip : {20.0, 31.0}) {
            const double point = direction > 0 ? tip : 40 - tip;
            const double base = point - direction * 11;
            cairo_move_to(cr, base, 12.5);
            cairo_line_to(cr, point, 20);
            cairo_line_to(cr, base, 27.5);
            cairo_close_path(cr);
        }
        cairo_fill(cr);
    });
}

Canvas drawPlayIcon()
{
    return drawIcon(40, 44, [](cairo_t* cr) {
        cairo_move_to(cr, 14, 12);
        cairo_line_to(cr, 30, 22);
        cairo_line_to(cr, 14, 32);
        cairo_close_path(cr);
        cairo_fill(cr);
    });
}

Canvas drawPauseIcon()
{
    return drawIcon(40, 44, [](cairo_t* cr) {
        roundedBoxPath(cr, {12.5, 12, 5.5, 20}, 1);
        roundedBoxPath(cr, {22, 12, 5.5, 20}, 1);
        cairo_fill(cr);
    });
}

Canvas drawActionIcon()
{
    return drawIcon(40, 44, [](cairo_t* cr) {
        // An open tray with an arrow leaving it.
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, 17, 18.5);
        cairo_line_to(cr, 13, 18.5);
        cairo_line_to(cr, 13, 33);
        cairo_line_to(cr, 27, 33);
        cairo_line_to(cr, 27, 18.5);
        cairo_line_to(cr, 23, 18.5);
        cairo_stroke(cr);
        cairo_move_to(cr, 20, 26);
        cairo_line_to(cr, 20, 10);
        cairo_stroke(cr);
        cairo_move_to(cr, 16, 14);
        cairo_line_to(cr, 20, 10);
        cairo_line_to(cr, 24, 14);
        cairo_stroke(cr);
    });
}

void drawSpeaker(cairo_t* cr)
{
    cairo_move_to(cr, 4, 16.5);
    cairo_line_to(cr, 8.5, 16.5);
    cairo_line_to(cr, 14.5, 11);
    cairo_line_to(cr, 14.5, 29);
    cairo_line_to(cr, 8.5, 23.5);
    cairo_line_to(cr, 4, 23.5);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// The speaker with a cross where the sound waves would be: the volume is 0.
Canvas drawVolumeMutedIcon()
{
    return drawIcon(30, 40, [](cairo_t* cr) {
        drawSpeaker(cr);
        cairo_set_line_width(cr, 2.0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, 18, 16);
        cairo_line_to(cr, 26, 24);
        cairo_move_to(cr, 26, 16);
        cairo_line_to(cr, 18, 24);
        cairo_stroke(cr);
    });
}

Canvas drawVolumeIcon()
{
    return drawIcon(30, 40, [](cairo_t* cr) {
        drawSpeaker(cr);
        cairo_set_line_width(cr, 1.8);
        for (const double radius : {4.5, 8.5}) {
            cairo_new_sub_path(cr);
            cairo_arc(cr, 15, 20, radius, -0.85, 0.85);
            cairo_stroke(cr);
        }
    });
}

// ---------------------------------------------------------------------------------------------------
// 6. Cassette parts shared by every skin
// ---------------------------------------------------------------------------------------------------

// The skin is shown 38 points above the screen's top edge, so skin y = screen y + 38, and only skin y
// 38 to 518 is ever on screen. The cassette lies on its side: the reels' centres are fixed by the
// wheel frames, the labels' writing edge is on the left and the tape head edge on the right.
constexpr double skinWidth = 320;
constexpr double skinHeight = 557;
constexpr double skinOffsetY = 38;
constexpr Point upperReel{148, 144};
constexpr Point lowerReel{148, 407};
constexpr Box shellBox{3, 41, 314, 474};
constexpr double shellCorner = 14;

// The area a label may cover on the skin, in skin points. On the older platform two skins place their
// labels a point or two further left; the label paper has to carry both.
Box labelArea(const LabelPlace& place)
{
    const double left = std::min(place.x, place.olderX);
    return {left, place.y + skinOffsetY, labelWidthPoints + std::abs(place.x - place.olderX), place.height};
}

Canvas makeSkinCanvas()
{
    Canvas skin(skinWidth, skinHeight);
    // Opaque black around the shell, so nothing below shows outside the windows.
    setSource(skin.cr(), grey(0));
    cairo_paint(skin.cr());
    return skin;
}

struct ShellStyle {
    Rgb light, dark;     // the face, lit from the upper left
    double gloss = 0.06; // strength of the broad diagonal reflection
    double grain = 0.03; // strength of the moulding's speckle
};

void drawShell(Canvas& skin, const ShellStyle& style, std::uint64_t seed)
{
    cairo_t* cr = skin.cr();
    cairo_save(cr);
    roundedBoxPath(cr, shellBox, shellCorner);
    cairo_clip(cr);
    auto face = linearGradient(0, shellBox.y, skinWidth, shellBox.bottom(), {{0, style.light}, {1, style.dark}});
    cairo_set_source(cr, face.get());
    cairo_paint(cr);
    Noise noise(seed);
    for (int i = 0; i < 9000; ++i) {
        setSource(cr, grey(noise.next() < 0.5 ? 0 : 1), style.grain * noise.next());
        cairo_rectangle(cr, noise.between(0, skinWidth), noise.between(shellBox.y, shellBox.bottom()), 0.5, 0.5);
        cairo_fill(cr);
    }
    // A broad reflection across the face.
    cairo_move_to(cr, 0, 330);
    cairo_line_to(cr, 320, 120);
    cairo_line_to(cr, 320, 250);
    cairo_line_to(cr, 0, 460);
    cairo_close_path(cr);
    auto reflection = linearGradient(0, 330, 80, 450, {{0, grey(1), 0}, {0.5, grey(1), style.gloss}, {1, grey(1), 0}});
    cairo_set_source(cr, reflection.get());
    cairo_fill(cr);
    cairo_restore(cr);

    // Bevel: a lit inner edge and a dark outline.
    cairo_set_line_width(cr, 1.2);
    roundedBoxPath(cr, shellBox.grown(-1.4), shellCorner - 1.4);
    auto edge = linearGradient(0, shellBox.y, skinWidth, shellBox.bottom(),
                               {{0, grey(1), 0.35}, {0.5, grey(1), 0.08}, {1, grey(0), 0.3}});
    cairo_set_source(cr, edge.get());
    cairo_stroke(cr);
    cairo_set_line_width(cr, 0.8);
    setSource(cr, grey(0), 0.8);
    roundedBoxPath(cr, shellBox.grown(-0.4), shellCorner - 0.4);
    cairo_stroke(cr);
}

struct PaperStyle {
    Rgb paper = hex(0xf3ecd8);
    Rgb paperShade = hex(0xe6dcc2);
    double corner = 6;
    double shadow = 0.45;
};

// A label stuck on the shell: soft shadow, faintly uneven paper, a fine edge.
void drawPaper(Canvas& skin, const Box& box, const PaperStyle& style, std::uint64_t seed)
{
    cairo_t* cr = skin.cr();
    if (style.shadow > 0) {
        Canvas shadow = makeMaskLike(skin);
        setSource(shadow.cr(), grey(0));
        roundedBoxPath(shadow.cr(), box, style.corner);
        cairo_fill(shadow.cr());
        blur(shadow, 2.5);
        setSource(cr, grey(0), style.shadow);
        paintThrough(cr, shadow, 0.8, 1.4);
    }
    cairo_save(cr);
    roundedBoxPath(cr, box, style.corner);
    cairo_clip(cr);
    auto paper = linearGradient(box.x, box.y, box.right(), box.bottom(), {{0, style.paper}, {1, style.paperShade}});
    cairo_set_source(cr, paper.get());
    cairo_paint(cr);
    Noise noise(seed);
    cairo_set_line_width(cr, 0.4);
    const int fibres = static_cast<int>(box.width * box.height / 25);
    for (int i = 0; i < fibres; ++i) {
        const double x = noise.between(box.x, box.right());
        const double y = noise.between(box.y, box.bottom());
        const double angle = noise.between(0, pi);
        setSource(cr, grey(noise.next() < 0.5 ? 0.4 : 1), 0.05 * noise.next());
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x + 3 * std::cos(angle), y + 3 * std::sin(angle));
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    setSource(cr, grey(0), 0.18);
    cairo_set_line_width(cr, 0.5);
    roundedBoxPath(cr, box.grown(-0.25), style.corner);
    cairo_stroke(cr);
}

// Writing lines under each label's text. The text is turned so that its baseline lies toward the right
// of the label's rectangle; the line sits just under it and runs the rectangle's length.
void drawRulings(cairo_t* cr, const SkinLayout& labels, Rgb colour, double alpha, double overhang = 4)
{
    cairo_set_line_width(cr, 0.7);
    setSource(cr, colour, alpha);
    for (const LabelPlace& place : {labels.artistAlbum, labels.title}) {
        const double x = place.x + 28.75;
        cairo_move_to(cr, x, place.y + skinOffsetY - overhang);
        cairo_line_to(cr, x, place.y + skinOffsetY + place.height + overhang);
    }
    cairo_stroke(cr);
}

struct Circle {
    Point centre;
    double radius = 0;
};
struct RoundedBox {
    Box box;
    double radius = 0;
};

// The clear part of the shell over the reels: a union of circles and rounded boxes, less any areas it
// must keep away from (a label beside it).
struct WindowShape {
    std::vector<Circle> circles;
    std::vector<RoundedBox> boxes;
    std::vector<Box> keepOut;
};

Canvas windowMask(const Canvas& skin, const WindowShape& shape)
{
    Canvas mask = makeMaskLike(skin);
    cairo_t* cr = mask.cr();
    setSource(cr, grey(0));
    for (const Circle& circle : shape.circles) {
        circlePath(cr, circle.centre, circle.radius);
    }
    for (const RoundedBox& box : shape.boxes) {
        roundedBoxPath(cr, box.box, box.radius);
    }
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    for (const Box& box : shape.keepOut) {
        cairo_rectangle(cr, box.x, box.y, box.width, box.height);
    }
    cairo_fill(cr);
    return mask;
}

struct WindowStyle {
    double rimWidth = 5;
    Rgb outline = grey(0.02);
    Rgb rimLight = grey(0.22);
    Rgb rimDark = grey(0.1);
    double innerShadow = 0.55;
};

// Opens the window: a moulded rim round it, then the clear opening, then a soft shadow inside its
// edge so that the reels look as if they lie under the shell.
void cutWindow(Canvas& skin, const WindowShape& shape, const WindowStyle& style)
{
    cairo_t* cr = skin.cr();
    const Canvas window = windowMask(skin, shape);
    const Canvas outer = dilated(window, style.rimWidth + 0.9);
    const Canvas rim = dilated(window, style.rimWidth);
    const Canvas lip = dilated(window, 1.1);
    setSource(cr, style.outline);
    paintThrough(cr, outer);
    auto rimFill = linearGradient(0, 40, 0, 520, {{0, style.rimLight}, {0.5, style.rimDark}, {1, style.rimLight}});
    cairo_set_source(cr, rimFill.get());
    paintThrough(cr, rim);
    setSource(cr, style.outline, 0.85);
    paintThrough(cr, lip);

    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
    setSource(cr, grey(0));
    paintThrough(cr, window);
    cairo_restore(cr);

    if (style.innerShadow > 0) {
        setSource(cr, grey(0), style.innerShadow);
        paintThrough(cr, innerEdge(window, 3));
    }
}

struct HeadEdgeStyle {
    Rgb face = grey(0.12);
    Rgb edgeLight = grey(0.3);
    Rgb edgeDark = grey(0.02);
};

// The raised edge where the deck's head, pinch roller and capstans reach in. The openings are opaque:
// what shows through them is the tape running along the edge and the felt pressure pad behind it.
void drawHeadEdge(cairo_t* cr, const HeadEdgeStyle& style)
{
    const double edgeX = shellBox.right() - 1;
    cairo_move_to(cr, edgeX, 104);
    cairo_line_to(cr, 271, 146);
    cairo_line_to(cr, 271, 405);
    cairo_line_to(cr, edgeX, 447);
    cairo_close_path(cr);
    auto face = linearGradient(271, 0, edgeX, 0, {{0, scaled(style.face, 1.15)}, {1, scaled(style.face, 0.9)}});
    cairo_set_source(cr, face.get());
    cairo_fill_preserve(cr);
    setSource(cr, style.edgeDark);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    setSource(cr, style.edgeLight, 0.8);
    cairo_set_line_width(cr, 0.7);
    cairo_move_to(cr, edgeX - 1.2, 106.5);
    cairo_line_to(cr, 272.4, 147.2);
    cairo_line_to(cr, 272.4, 403.8);
    cairo_stroke(cr);

    // The openings, symmetric about the middle between the reels.
    const double middle = (upperReel.y + lowerReel.y) / 2;
    auto openings = [&] {
        cairo_rectangle(cr, 297, middle - 24, edgeX - 297 + 1, 48);
        for (const double side : {-1.0, 1.0}) {
            cairo_rectangle(cr, 302, middle + side * 66 - 15, edgeX - 302 + 1, 30);
            circlePath(cr, {289, middle + side * 92}, 4.6);
            circlePath(cr, {300, middle + side * 143}, 3.4);
        }
    };
    openings();
    setSource(cr, grey(0.015));
    cairo_fill(cr);
    cairo_save(cr);
    openings();
    cairo_clip(cr);
    // The felt pad on its spring, behind the tape.
    setSource(cr, grey(0.55));
    cairo_rectangle(cr, 300, middle - 12, 2, 24);
    cairo_fill(cr);
    setSource(cr, hex(0xcfc2a4));
    cairo_rectangle(cr, 302, middle - 9, 5, 18);
    cairo_fill(cr);
    // The tape itself.
    auto tape = linearGradient(307, 0, 312, 0, {{0, hex(0x3b2a1e)}, {0.4, hex(0x6a4f3b)}, {1, hex(0x2a1e15)}});
    cairo_set_source(cr, tape.get());
    cairo_rectangle(cr, 307, 90, 5, 372);
    cairo_fill(cr);
    cairo_restore(cr);
    openings();
    setSource(cr, style.edgeDark);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
}

// The two record-protection tabs on the edge opposite the head.
void drawProtectionTabs(cairo_t* cr, Rgb recess)
{
    for (const double y : {76.0, 456.0}) {
        roundedBoxPath(cr, {shellBox.x + 1.5, y, 9, 22}, 1.5);
        setSource(cr, recess);
        cairo_fill(cr);
        roundedBoxPath(cr, {shellBox.x + 1.5, y + 3, 5.5, 16}, 1);
        setSource(cr, grey(0), 0.5);
        cairo_fill(cr);
    }
}

void drawCornerScrews(cairo_t* cr, const ScrewStyle& style)
{
    const std::array<Point, 5> screws{{{14.5, 52.5}, {305.5, 52.5}, {14.5, 503.5}, {305.5, 503.5}, {284, 275.5}}};
    const std::array<double, 5> angles{{0.3, 1.1, 0.7, 0.15, 0.95}};
    for (std::size_t i = 0; i < screws.size(); ++i) {
        drawScrew(cr, screws[i], angles[i], style);
    }
}

// ---------------------------------------------------------------------------------------------------
// 7. The eight cassette looks
// ---------------------------------------------------------------------------------------------------

// Black shell, cream label round a long window, red and orange stripes: the tape everyone owned.
Canvas drawSkinClassic()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[0];
    drawShell(skin, {grey(0.16), grey(0.07), 0.05, 0.04}, 11);

    const Box paper{22, 49, 236, 458};
    drawPaper(skin, paper, {}, 12);
    cairo_save(cr);
    roundedBoxPath(cr, paper, 6);
    cairo_clip(cr);
    setSource(cr, hex(0xc8321e));
    cairo_rectangle(cr, 221, paper.y, 10, paper.height);
    cairo_fill(cr);
    setSource(cr, hex(0xee8a1c));
    cairo_rectangle(cr, 233, paper.y, 6, paper.height);
    cairo_fill(cr);
    setSource(cr, hex(0xf3c33c));
    cairo_rectangle(cr, 241, paper.y, 2.5, paper.height);
    cairo_fill(cr);
    cairo_restore(cr);
    drawRulings(cr, labels, hex(0x6d7f9c), 0.75);
    drawTurnedText(cr, "C-60", {254, 470}, 11, hex(0x3a2a20));
    drawTurnedText(cr, "A", {255, 80}, 13, hex(0x3a2a20));

    cutWindow(skin, {{}, {{{102, 74, 100, 404}, 42}}, {}}, {});
    drawHeadEdge(cr, {grey(0.12), grey(0.3), grey(0.01)});
    drawProtectionTabs(cr, grey(0.03));
    drawCornerScrews(cr, {});
    return skin;
}

// Smoked clear shell: the guide rollers and the tape path show dimly through it.
Canvas drawSkinSmoke()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[1];
    drawShell(skin, {hex(0x454b54), hex(0x1b1e23), 0.1, 0.02}, 21);

    // Moulded walls and screw posts inside the shell, seen through the smoke.
    setSource(cr, grey(1), 0.07);
    cairo_set_line_width(cr, 2.5);
    roundedBoxPath(cr, shellBox.grown(-9), shellCorner - 6);
    cairo_stroke(cr);
    for (const Point post : {Point{14.5, 52.5}, Point{305.5, 52.5}, Point{14.5, 503.5}, Point{305.5, 503.5}}) {
        circlePath(cr, post, 9.5);
        cairo_stroke(cr);
    }
    for (const double y : {100.0, 451.0}) {
        circlePath(cr, {292, y}, 6.5);
        setSource(cr, grey(1), 0.12);
        cairo_fill_preserve(cr);
        setSource(cr, grey(1), 0.2);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }

    const Box paper{44, 50, 68, 456};
    drawPaper(skin, paper, {hex(0xfbfbf8), hex(0xeeeeea), 4, 0.5}, 22);
    cairo_save(cr);
    roundedBoxPath(cr, paper, 4);
    cairo_clip(cr);
    setSource(cr, hex(0x1f9aa0));
    cairo_rectangle(cr, paper.x, paper.y, 5, paper.height);
    cairo_fill(cr);
    cairo_restore(cr);
    drawRulings(cr, labels, hex(0x9aa7b8), 0.8);

    cutWindow(skin, {{}, {{{117, 58, 140, 440}, 50}}, {}}, {4, grey(0.05), hex(0x6b737e), hex(0x2e333a), 0.4});
    drawHeadEdge(cr, {hex(0x30343b), hex(0x6b737e), grey(0.03)});
    // The tape along the head edge, dimly through the smoke.
    setSource(cr, hex(0x5a4232), 0.45);
    cairo_rectangle(cr, 307, 100, 5, 351);
    cairo_fill(cr);
    drawTurnedText(cr, "SMOKE 90", {266, 48 + 40}, 8.5, grey(1), 0.55);
    drawProtectionTabs(cr, grey(0.06));
    drawCornerScrews(cr, {grey(0.6), grey(0.04)});
    return skin;
}

// Brushed aluminium with enamel label plates and round ports over the hubs.
Canvas drawSkinChrome()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[2];
    drawShell(skin, {grey(0.86), grey(0.62), 0.12, 0.0}, 31);
    cairo_save(cr);
    roundedBoxPath(cr, shellBox, shellCorner);
    cairo_clip(cr);
    auto bands = linearGradient(
        0, shellBox.y, 0, shellBox.bottom(),
        {{0, grey(1), 0.25}, {0.3, grey(0), 0.12}, {0.52, grey(1), 0.3}, {0.78, grey(0), 0.15}, {1, grey(1), 0.2}});
    cairo_set_source(cr, bands.get());
    cairo_paint(cr);
    Noise noise(32);
    for (int i = 0; i < 2600; ++i) {
        const double x = noise.between(0, skinWidth);
        const double y = noise.between(shellBox.y - 40, shellBox.bottom());
        setSource(cr, grey(noise.next() < 0.5 ? 0 : 1), noise.between(0.03, 0.12));
        cairo_set_line_width(cr, noise.between(0.25, 0.6));
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x, y + noise.between(40, 260));
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    const PaperStyle enamel{hex(0xf6f5f0), hex(0xe4e3dc), 3, 0.35};
    const Box leftPlate{36, 50, 50, 342};
    const Box rightPlate{199, 50, 46, 376};
    for (const Box& plate : {leftPlate, rightPlate}) {
        drawPaper(skin, plate, enamel, 33);
        setSource(cr, grey(0.35), 0.6);
        cairo_set_line_width(cr, 0.6);
        roundedBoxPath(cr, plate.grown(-3), 1.5);
        cairo_stroke(cr);
    }
    drawRulings(cr, labels, grey(0.45), 0.7);
    // Engraved lettering in the free metal below the plates.
    for (const auto& [text, at] : {std::pair{"METAL", Point{70, 452}}, std::pair{"C-90", Point{229, 468}}}) {
        drawTurnedText(cr, text, {at.x + 0.6, at.y + 0.6}, 15, grey(1), 0.6);
        drawTurnedText(cr, text, at, 15, grey(0.25), 0.75);
    }

    WindowShape ports{{{upperReel, 44}, {lowerReel, 44}}, {{{110, upperReel.y, 76, lowerReel.y - upperReel.y}, 0}}, {}};
    cutWindow(skin, ports, {5, grey(0.2), grey(0.97), grey(0.6), 0.6});
    drawHeadEdge(cr, {grey(0.55), grey(0.95), grey(0.25)});
    drawProtectionTabs(cr, grey(0.3));
    drawCornerScrews(cr, {grey(0.85), grey(0.25)});
    return skin;
}

// Glossy red with a white label and neon stripes: loud, as tapes were in the eighties.
Canvas drawSkinRedEighties()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[3];
    drawShell(skin, {hex(0xe8313a), hex(0x8a0d17), 0.14, 0.03}, 41);

    cairo_save(cr);
    roundedBoxPath(cr, shellBox, shellCorner);
    cairo_clip(cr);
    cairo_translate(cr, 160, 380);
    cairo_rotate(cr, -0.62);
    const std::array<std::pair<Rgb, double>, 3> stripes{{{hex(0xffd23f), 12}, {hex(0xff3ea5), 7}, {hex(0x2ec4f1), 4}}};
    double y = -14;
    for (const auto& [colour, width] : stripes) {
        setSource(cr, colour);
        cairo_rectangle(cr, -400, y, 800, width);
        cairo_fill(cr);
        y += width + 4;
    }
    cairo_restore(cr);

    const Box paper{22, 45, 80, 347};
    drawPaper(skin, paper, {hex(0xfdfdfb), hex(0xefefea), 6, 0.5}, 42);
    cairo_save(cr);
    roundedBoxPath(cr, paper, 6);
    cairo_clip(cr);
    setSource(cr, grey(0.08));
    cairo_rectangle(cr, 95, paper.y, 7, paper.height);
    cairo_fill(cr);
    setSource(cr, hex(0xffd23f));
    cairo_rectangle(cr, 96.5, paper.y, 1.5, paper.height);
    cairo_fill(cr);
    cairo_restore(cr);
    drawRulings(cr, labels, hex(0xd05070), 0.55);
    drawTurnedText(cr, "HI-FI 90", {262, 84}, 14, hex(0xffd23f));

    WindowShape window{{{upperReel, 80}, {lowerReel, 80}},
                       {{{112, upperReel.y, 72, lowerReel.y - upperReel.y}, 0}},
                       {{0, 0, 112, skinHeight}}};
    cutWindow(skin, window, {5, grey(0.01), grey(0.2), grey(0.05), 0.55});
    drawHeadEdge(cr, {hex(0x9c1620), hex(0xe8505a), hex(0x3a0509)});
    drawProtectionTabs(cr, hex(0x4a060c));
    drawCornerScrews(cr, {});
    return skin;
}

// Deep blue shell under a cool white label with a navy foot.
Canvas drawSkinBlue()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[4];
    drawShell(skin, {hex(0x2f66c4), hex(0x0c2459), 0.1, 0.02}, 51);

    const Box paper{34, 48, 218, 458};
    drawPaper(skin, paper, {hex(0xf4f7fc), hex(0xe2e9f4), 8, 0.5}, 52);
    cairo_save(cr);
    roundedBoxPath(cr, paper, 8);
    cairo_clip(cr);
    setSource(cr, hex(0x17356f));
    cairo_rectangle(cr, paper.x, 438, paper.width, 80);
    cairo_fill(cr);
    setSource(cr, hex(0x4f8de0));
    cairo_rectangle(cr, paper.x, 433, paper.width, 2.5);
    cairo_fill(cr);
    cairo_restore(cr);
    drawRulings(cr, labels, hex(0x6f8fc8), 0.75);
    drawTurnedText(cr, "C90", {68, 472}, 17, grey(1));
    drawTurnedText(cr, "A", {230, 472}, 17, grey(1));

    cutWindow(skin, {{}, {{{88, 68, 110, 414}, 44}}, {}}, {4.5, hex(0x050b1a), hex(0x1f3f7f), hex(0x0d1f47), 0.55});
    drawHeadEdge(cr, {hex(0x173a82), hex(0x5d8fe0), hex(0x040c20)});
    drawProtectionTabs(cr, hex(0x06132f));
    drawCornerScrews(cr, {});
    return skin;
}

// White shell with rainbow stripes beside the window.
Canvas drawSkinWhiteStripes()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[5];
    drawShell(skin, {hex(0xfbfbf8), hex(0xcfd0cc), 0.05, 0.03}, 61);

    cairo_save(cr);
    roundedBoxPath(cr, shellBox, shellCorner);
    cairo_clip(cr);
    const std::array<Rgb, 5> rainbow{{hex(0xe63946), hex(0xf4a261), hex(0xe9c46a), hex(0x2a9d8f), hex(0x457b9d)}};
    for (std::size_t i = 0; i < rainbow.size(); ++i) {
        setSource(cr, rainbow[i]);
        cairo_rectangle(cr, 228 + 7.5 * double(i), 0, 6, skinHeight);
        cairo_fill(cr);
    }
    cairo_restore(cr);

    const Box paper{26, 50, 82, 406};
    drawPaper(skin, paper, {hex(0xfffdf6), hex(0xf3efe2), 5, 0.3}, 62);
    drawRulings(cr, labels, hex(0x9aa7b8), 0.8);
    drawTurnedText(cr, "C-60", {72, 488}, 13, grey(0.45));

    cutWindow(skin, {{}, {{{114, 66, 104, 424}, 46}}, {}}, {4, grey(0.45), grey(0.86), grey(0.7), 0.5});
    drawHeadEdge(cr, {grey(0.88), grey(1), grey(0.55)});
    drawProtectionTabs(cr, grey(0.55));
    drawCornerScrews(cr, {grey(0.8), grey(0.45)});
    return skin;
}

// Black lacquer with gold trim and a dark label for white writing.
Canvas drawSkinGoldPremium()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[6];
    const Rgb gold = hex(0xd9b45a);
    drawShell(skin, {grey(0.13), grey(0.02), 0.09, 0.02}, 71);
    setSource(cr, gold, 0.8);
    cairo_set_line_width(cr, 0.8);
    roundedBoxPath(cr, shellBox.grown(-6), shellCorner - 5);
    cairo_stroke(cr);

    const Box panel{28, 96, 80, 364};
    drawPaper(skin, panel, {hex(0x2b2520), hex(0x1a1613), 4, 0.6}, 72);
    setSource(cr, gold, 0.9);
    cairo_set_line_width(cr, 0.9);
    roundedBoxPath(cr, panel.grown(-3), 2.5);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 0.4);
    roundedBoxPath(cr, panel.grown(-5.5), 1.5);
    cairo_stroke(cr);
    drawRulings(cr, labels, gold, 0.45, 2);
    drawTurnedText(cr, "PREMIUM", {76, 78}, 8.5, gold);
    drawTurnedText(cr, "METAL  C-90", {258, 275.5}, 10, gold);

    cutWindow(skin, {{}, {{{114, 70, 102, 412}, 44}}, {}}, {5, grey(0.0), hex(0xf0d58a), hex(0x8c6a24), 0.6});
    drawHeadEdge(cr, {grey(0.07), gold, grey(0)});
    drawProtectionTabs(cr, grey(0.0));
    drawCornerScrews(cr, {hex(0xd9b45a), grey(0.0)});
    return skin;
}

// Sunny yellow with polka dots and two rounded labels: a tape for a child's recorder.
Canvas drawSkinYellowKids()
{
    Canvas skin = makeSkinCanvas();
    cairo_t* cr = skin.cr();
    const SkinLayout& labels = skinCatalogue[7];
    drawShell(skin, {hex(0xffe25a), hex(0xf2a900), 0.14, 0.02}, 81);

    const Box leftPaper{36, 50, 50, 342};
    const Box rightPaper{199, 50, 46, 376};
    const RoundedBox window{{94, 72, 96, 408}, 48};
    const std::array<Rgb, 4> dotColours{{hex(0xff5fa2), hex(0x31c6e8), hex(0x5ccf5a), hex(0xff8a1f)}};
    Noise noise(82);
    std::vector<Circle> dots;
    for (int attempt = 0; attempt < 400 && dots.size() < 26; ++attempt) {
        const Circle dot{{noise.between(12, 300), noise.between(48, 508)}, noise.between(4, 9)};
        auto clearOf = [&dot](const Box& box) {
            const Box near = box.grown(dot.radius + 5);
            return dot.centre.x < near.x || dot.centre.x > near.right() || dot.centre.y < near.y ||
                   dot.centre.y > near.bottom();
        };
        bool free = clearOf(leftPaper) && clearOf(rightPaper) && clearOf(window.box) && clearOf({268, 100, 50, 350}) &&
                    clearOf({0, 30, 28, 40}) && clearOf({0, 486, 28, 40}) && clearOf({292, 30, 28, 40}) &&
                    clearOf({292, 486, 28, 40}) && clearOf({54, 418, 18, 70});
        for (const Circle& other : dots) {
            free = free && std::hypot(other.centre.x - dot.centre.x, other.centre.y - dot.centre.y) >
                               other.radius + dot.radius + 6;
        }
        if (free) {
            dots.push_back(dot);
        }
    }
    for (std::size_t i = 0; i < dots.size(); ++i) {
        circlePath(cr, dots[i].centre, dots[i].radius);
        setSource(cr, dotColours[i % dotColours.size()]);
        cairo_fill(cr);
    }

    const std::array<std::pair<Box, Rgb>, 2> papers{{{leftPaper, hex(0xff5fa2)}, {rightPaper, hex(0x31c6e8)}}};
    for (const auto& [box, border] : papers) {
        drawPaper(skin, box, {grey(1), hex(0xf6f4ee), 10, 0.35}, 83);
        setSource(cr, border);
        cairo_set_line_width(cr, 2.5);
        roundedBoxPath(cr, box.grown(-1.25), 9);
        cairo_stroke(cr);
    }
    drawRulings(cr, labels, hex(0x7fb4e6), 0.8, 0);
    drawTurnedText(cr, "FUN 60", {68, 452}, 16, hex(0xe0307a));

    cutWindow(skin, {{}, {window}, {}}, {5, hex(0x7a3a00), hex(0xffa43a), hex(0xf07800), 0.5});
    drawHeadEdge(cr, {hex(0xf5b400), hex(0xfff0a0), hex(0x8a5a00)});
    drawProtectionTabs(cr, hex(0x8a5a00));
    drawCornerScrews(cr, {grey(0.85), hex(0x6a4500)});
    return skin;
}

// ---------------------------------------------------------------------------------------------------
// 8. Self-check of the skins and main
// ---------------------------------------------------------------------------------------------------

double luminance(std::uint32_t argb)
{
    const double alpha = (argb >> 24) / 255.0;
    if (alpha <= 0) {
        return 0;
    }
    const double r = ((argb >> 16) & 0xff) / 255.0 / alpha;
    const double g = ((argb >> 8) & 0xff) / 255.0 / alpha;
    const double b = (argb & 0xff) / 255.0 / alpha;
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

// A skin is only usable if the reels show through it and the label text lands on its label: checks both,
// and reports every problem found. Returns true when the skin passes.
bool checkSkin(const Canvas& skin, const SkinLayout& labels, const std::string& name)
{
    bool good = true;
    for (const Point reel : {upperReel, lowerReel}) {
        // The hub's toothed centre ring must be visible all round, not just at the very centre.
        bool clear = true;
        for (double radius = 0; radius <= 24 && clear; radius += 3) {
            for (int step = 0; step < 48 && clear; ++step) {
                const double angle = 2 * pi * step / 48;
                clear = (skin.argbAt(reel.x + radius * std::cos(angle), reel.y + radius * std::sin(angle)) >> 24) == 0;
            }
        }
        if (!clear) {
            std::fprintf(stderr, "spoolora_artwork: %s: the window over the reel at (%g, %g) is not clear\n",
                         name.c_str(), reel.x, reel.y);
            good = false;
        }
    }
    for (const LabelPlace& place : {labels.artistAlbum, labels.title}) {
        const Box area = labelArea(place);
        int wrong = 0;
        int total = 0;
        for (double y = area.y + 0.25; y < area.bottom(); y += 0.5) {
            for (double x = area.x + 0.25; x < area.right(); x += 0.5) {
                const std::uint32_t pixel = skin.argbAt(x, y);
                const double level = luminance(pixel);
                const bool opaque = (pixel >> 24) == 255;
                const bool readable = labels.ink == LabelInk::Black ? level > 0.55 : level < 0.3;
                wrong += (opaque && readable) ? 0 : 1;
                ++total;
            }
        }
        // Writing lines may cross a label; anything more means the text would sit on the wrong ground.
        if (wrong > total / 20) {
            std::fprintf(stderr, "spoolora_artwork: %s: %d of %d pixels under the label at x %g are not %s\n",
                         name.c_str(), wrong, total, area.x, labels.ink == LabelInk::Black ? "light" : "dark");
            good = false;
        }
    }
    return good;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spoolora_artwork OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        std::fprintf(stderr, "spoolora_artwork: cannot create \"%s\": %s\n", directory.c_str(),
                     error.message().c_str());
        return 1;
    }

    bool good = true;
    const std::array<std::pair<const char*, std::function<Canvas()>>, 11> pictures{{
        {"band_black.png", drawTapeBand},
        {"wheel.png", drawReelHub},
        {"music_icon.png", drawMusicIcon},
        {"tape-icon.png", drawTapeIcon},
        {"UIBarButtonRewind.png", [] { return drawDoubleTriangleIcon(-1); }},
        {"UIBarButtonFastForward.png", [] { return drawDoubleTriangleIcon(1); }},
        {"UIBarButtonSystemPlay.png", drawPlayIcon},
        {"UIBarButtonSystemPause.png", drawPauseIcon},
        {"UIBarButtonSystemAction.png", drawActionIcon},
        {"volume_icon.png", drawVolumeIcon},
        {"volume_muted_icon.png", drawVolumeMutedIcon},
    }};
    for (const auto& [name, draw] : pictures) {
        good = writePng(draw(), directory / name) && good;
    }

    // In the catalogue's order.
    const std::array<std::function<Canvas()>, skinCatalogue.size()> skins{
        {drawSkinClassic, drawSkinSmoke, drawSkinChrome, drawSkinRedEighties, drawSkinBlue, drawSkinWhiteStripes,
         drawSkinGoldPremium, drawSkinYellowKids}};
    for (std::size_t index = 0; index < skins.size(); ++index) {
        const SkinLayout& layout = skinCatalogue[index];
        const Canvas skin = skins[index]();
        good = checkSkin(skin, layout, layout.imageName) && good;
        good = writePng(skin, directory / layout.imageName) && good;
    }
    // The lettering loaded fonts; hand back the font caches so that leak checkers see a clean exit.
    cairo_debug_reset_static_data();
    FcFini();
    return good ? 0 : 1;
}
