// Draws the application icon with cairo: a cassette on a rounded tile, as PNG files at the sizes
// desktops ask for and as one SVG. The files go into an icon-theme tree under the directory named
// on the command line (hicolor/NxN/apps/spoolora.png, hicolor/scalable/apps/spoolora.svg), so that
// installing is a plain copy of that tree.
//
// The drawing is laid out on a 128-unit square. Below 32 pixels the fine parts (screw heads, reel
// teeth, the label's ruling) would only blur into grey, so the small sizes leave them out.

#include <cairo-svg.h>
#include <cairo.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double unitsPerSide = 128;
constexpr std::array<int, 10> pixelSizes{16, 22, 24, 32, 48, 64, 96, 128, 256, 512};

struct Rgb {
    double r, g, b;
};

constexpr Rgb hex(unsigned rgb)
{
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0};
}

void setSource(cairo_t* cr, Rgb c, double alpha = 1)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void roundedBox(cairo_t* cr, double x, double y, double width, double height, double radius)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -pi / 2, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, pi / 2);
    cairo_arc(cr, x + radius, y + height - radius, radius, pi / 2, pi);
    cairo_arc(cr, x + radius, y + radius, radius, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

void circle(cairo_t* cr, double cx, double cy, double radius)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * pi);
}

void fillLinear(cairo_t* cr, double y0, double y1, Rgb top, Rgb bottom)
{
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgb(gradient, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(gradient, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(cr, gradient);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
}

// One reel: wound tape, the white hub and, when there is room, its six teeth.
void drawReel(cairo_t* cr, double cx, double cy, double tapeRadius, bool fine)
{
    circle(cr, cx, cy, tapeRadius);
    setSource(cr, hex(0x3b2a20));
    cairo_fill(cr);
    circle(cr, cx, cy, 9);
    setSource(cr, hex(0xf4f1ea));
    cairo_fill(cr);
    if (!fine)
        return;
    circle(cr, cx, cy, 4.6);
    setSource(cr, hex(0x2b2b2b));
    cairo_fill(cr);
    setSource(cr, hex(0xf4f1ea));
    for (int tooth = 0; tooth < 6; ++tooth) {
        const double angle = tooth * pi / 3;
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_rotate(cr, angle);
        cairo_rectangle(cr, 3.2, -1.1, 2.2, 2.2);
        cairo_fill(cr);
        cairo_restore(cr);
    }
}

void drawIcon(cairo_t* cr, bool fine)
{
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);

    // The tile.
    roundedBox(cr, 4, 4, 120, 120, 26);
    fillLinear(cr, 4, 124, hex(0x2f3a4a), hex(0x141a22));

    // The cassette shell, lying flat and a little larger than the tile's inner area.
    roundedBox(cr, 10, 28, 108, 72, 7);
    fillLinear(cr, 28, 100, hex(0xe9793a), hex(0xc2541f));
    // The trapezoid at the bottom where the tape meets the head.
    cairo_move_to(cr, 32, 100);
    cairo_line_to(cr, 38, 88);
    cairo_line_to(cr, 90, 88);
    cairo_line_to(cr, 96, 100);
    cairo_close_path(cr);
    setSource(cr, hex(0x9e3f14));
    cairo_fill(cr);

    // The label with its window.
    roundedBox(cr, 18, 34, 92, 48, 4);
    setSource(cr, hex(0xfbf3df));
    cairo_fill(cr);
    if (fine) {
        setSource(cr, hex(0xd2a56c));
        cairo_set_line_width(cr, 1.2);
        cairo_move_to(cr, 24, 41);
        cairo_line_to(cr, 104, 41);
        cairo_stroke(cr);
    }
    roundedBox(cr, 28, 48, 72, 26, 13);
    setSource(cr, hex(0x1c1714));
    cairo_fill(cr);

    // More tape on the left reel than on the right: the tape is part way through.
    drawReel(cr, 44, 61, 12.5, fine);
    drawReel(cr, 84, 61, 10.5, fine);

    if (fine) {
        setSource(cr, hex(0x7a3212));
        for (const auto& [x, y] : std::array<std::pair<double, double>, 4>{{{15, 33}, {113, 33}, {15, 95}, {113, 95}}}) {
            circle(cr, x, y, 2.2);
            cairo_fill(cr);
        }
    }
}

bool check(cairo_surface_t* surface, const std::filesystem::path& path)
{
    cairo_status_t status = cairo_surface_status(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "spoolora_app_icon: cannot draw \"%s\": %s\n", path.c_str(),
                     cairo_status_to_string(status));
        return false;
    }
    return true;
}

bool writePng(int pixels, const std::filesystem::path& path)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels, pixels);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, pixels / unitsPerSide, pixels / unitsPerSide);
    drawIcon(cr, pixels >= 32);
    cairo_destroy(cr);
    bool good = check(surface, path);
    if (good) {
        const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
        if (status != CAIRO_STATUS_SUCCESS) {
            std::fprintf(stderr, "spoolora_app_icon: cannot write \"%s\": %s\n", path.c_str(),
                         cairo_status_to_string(status));
            good = false;
        }
    }
    cairo_surface_destroy(surface);
    return good;
}

bool writeSvg(const std::filesystem::path& path)
{
    cairo_surface_t* surface = cairo_svg_surface_create(path.c_str(), unitsPerSide, unitsPerSide);
    cairo_t* cr = cairo_create(surface);
    drawIcon(cr, true);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const bool good = check(surface, path);
    cairo_surface_destroy(surface);
    return good;
}

bool makeFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        std::fprintf(stderr, "spoolora_app_icon: cannot create \"%s\": %s\n", folder.c_str(), error.message().c_str());
    return !error;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spoolora_app_icon ICON_THEME_DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path theme = std::filesystem::path(argv[1]) / "hicolor";
    bool good = true;
    for (const int pixels : pixelSizes) {
        const std::string size = std::to_string(pixels) + "x" + std::to_string(pixels);
        const std::filesystem::path folder = theme / size / "apps";
        good = makeFolder(folder) && writePng(pixels, folder / "spoolora.png") && good;
    }
    const std::filesystem::path scalable = theme / "scalable" / "apps";
    good = makeFolder(scalable) && writeSvg(scalable / "spoolora.svg") && good;
    cairo_debug_reset_static_data();
    return good ? 0 : 1;
}
