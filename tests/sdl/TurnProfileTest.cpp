// Where turning a round picture changes what it shows: nowhere in rings that look
// the same all the way round, however smooth their edges; where a mark passes.

#include "platform/sdl/TurnProfile.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <numbers>
#include <vector>

using platform::sdl::TurnProfile;

namespace {

// A 200-pixel wheel: a grey disc with a soft-edged white rim (radius 80 to 95), and
// a black bar from the centre out to radius 60 pointing right (direction 0).
struct Wheel {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 200);
    Wheel()
    {
        cairo_t* c = cairo_create(surface);
        cairo_set_source_rgba(c, 0.5, 0.5, 0.5, 0.6);
        cairo_arc(c, 100, 100, 95, 0, 2 * std::numbers::pi);
        cairo_fill(c);
        cairo_set_source_rgb(c, 1, 1, 1);
        cairo_set_line_width(c, 15);
        cairo_arc(c, 100, 100, 87.5, 0, 2 * std::numbers::pi);
        cairo_stroke(c);
        cairo_set_source_rgb(c, 0, 0, 0);
        cairo_rectangle(c, 100, 96, 60, 8);
        cairo_fill(c);
        cairo_destroy(c);
        cairo_surface_flush(surface);
    }
    ~Wheel() { cairo_surface_destroy(surface); }
    TurnProfile profile() const
    {
        return TurnProfile(reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(surface)), 200,
                           cairo_image_surface_get_stride(surface));
    }
};

} // namespace

TEST(TurnProfile, OnlyTheMarkChangesWhatATurnShows)
{
    const TurnProfile profile = Wheel().profile();
    // The bar, seen from either side of its direction, and not half a turn away.
    EXPECT_TRUE(profile.changes(1.0, 20, 50, -5, 5));
    EXPECT_TRUE(profile.changes(1.0, 20, 50, 355, 365));
    EXPECT_FALSE(profile.changes(1.0, 20, 50, 170, 190));
    // The rim and the disc beyond the bar look the same all round, smooth edges included.
    EXPECT_FALSE(profile.changes(1.0, 66, 99, 0, 359));
    // Drawn twice the size, the bar reaches twice as far.
    EXPECT_TRUE(profile.changes(2.0, 100, 110, -2, 2));
    EXPECT_FALSE(profile.changes(2.0, 140, 190, -2, 2));
}

TEST(TurnProfile, ChangedTilesFollowTheMarkAsThePictureTurns)
{
    const TurnProfile profile = Wheel().profile();
    const SDL_FRect destination{0, 0, 200, 200};
    const SDL_Rect area{0, 0, 200, 200};
    const auto tiles = [&](double from, double to) {
        std::vector<SDL_Rect> out;
        profile.changedTiles(destination, area, {0, 0}, from, to, out);
        return out;
    };
    const auto covers = [](const std::vector<SDL_Rect>& rects, int x, int y) {
        const SDL_Point p{x, y};
        for (const SDL_Rect& r : rects)
            if (SDL_PointInRect(&p, &r))
                return true;
        return false;
    };
    // Turned clockwise from 85° to 95° the bar points down: the tiles below the centre
    // change, those above and beside it do not, nor does the rim below.
    const std::vector<SDL_Rect> down = tiles(85, 95);
    ASSERT_FALSE(down.empty());
    EXPECT_TRUE(covers(down, 100, 140));
    EXPECT_FALSE(covers(down, 100, 40));
    EXPECT_FALSE(covers(down, 150, 100));
    EXPECT_FALSE(covers(down, 100, 188));
    long covered = 0;
    for (const SDL_Rect& r : down)
        covered += long(r.w) * r.h;
    EXPECT_LT(covered, 200 * 200 / 4);
    // A turn that sweeps past the bar covers every direction it swept.
    const std::vector<SDL_Rect> sweep = tiles(0, 180);
    EXPECT_TRUE(covers(sweep, 140, 100));
    EXPECT_TRUE(covers(sweep, 100, 140));
    EXPECT_TRUE(covers(sweep, 60, 100));
    EXPECT_FALSE(covers(sweep, 100, 60));
}
