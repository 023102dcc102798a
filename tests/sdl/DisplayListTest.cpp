// Damage between two display lists: where the second frame differs from the first;
// and drawings kept in parts.

#include "mechanics/TapeBandCircleUIView.h"
#include "platform/sdl/Compositor.h"
#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/Coverage.h"
#include "platform/sdl/DisplayList.h"
#include "platform/sdl/KeptLayers.h"
#include "platform/sdl/TextureFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

using platform::sdl::DisplayList;
using platform::sdl::DrawCommand;
using platform::sdl::damageBetween;

namespace {

const SDL_Rect screen{0, 0, 640, 960};

DrawCommand quad(std::uint64_t key, float x, float y, float w, float h)
{
    DrawCommand c;
    c.key = key;
    c.destination = {x, y, w, h};
    c.clip = screen;
    return c;
}

// A square picture of `side` pixels that the damage knows the opaque pixels of.
std::shared_ptr<platform::sdl::Texture> pictureOf(const std::vector<Uint32>& pixels, int side)
{
    auto picture = std::make_shared<platform::sdl::Texture>();
    picture->widthPixels = picture->heightPixels = side;
    picture->coverage = std::make_shared<const platform::sdl::Coverage>(pixels.data(), side, side, side * 4);
    return picture;
}

// The pixels the rectangles cover, each counted once.
long coveredArea(const std::vector<SDL_Rect>& rects)
{
    long area = 0;
    for (int y = screen.y; y < screen.y + screen.h; ++y)
        for (int x = screen.x; x < screen.x + screen.w; ++x) {
            const SDL_Point p{x, y};
            for (const SDL_Rect& r : rects)
                if (SDL_PointInRect(&p, &r)) {
                    ++area;
                    break;
                }
        }
    return area;
}

bool inside(const SDL_Rect& inner, const std::vector<SDL_Rect>& rects)
{
    for (const SDL_Rect& r : rects) {
        SDL_Rect both{};
        if (SDL_IntersectRect(&inner, &r, &both) && SDL_RectEquals(&both, &inner))
            return true;
    }
    return false;
}

} // namespace

TEST(Damage, SameFrameHasNone)
{
    DisplayList a;
    a.commands = {quad(1, 0, 0, 640, 960), quad(2, 10, 10, 50, 50)};
    EXPECT_TRUE(damageBetween(a, a, screen).empty());
}

TEST(Damage, ChangedPieceDamagesWhereItWasAndWhereItIs)
{
    DisplayList before, after;
    before.commands = {quad(1, 0, 0, 640, 960), quad(2, 10, 10, 50, 50), quad(3, 300, 300, 20, 20)};
    after = before;
    after.commands[2].destination.x = 500;   // moved far: two separate rectangles
    const auto moved = damageBetween(before, after, screen);
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_TRUE(inside({300, 300, 20, 20}, moved));
    EXPECT_TRUE(inside({500, 300, 20, 20}, moved));
    // One pixel of margin on every side for smooth edges, and no more.
    EXPECT_EQ(coveredArea(moved), 2 * 22 * 22);

    after = before;
    after.commands[1].color.a = 128;   // same place, another look
    const auto faded = damageBetween(before, after, screen);
    ASSERT_EQ(faded.size(), 1u);
    EXPECT_TRUE(inside({10, 10, 50, 50}, faded));

    after = before;
    after.commands[1].texture = std::make_shared<platform::sdl::Texture>();
    EXPECT_EQ(damageBetween(before, after, screen).size(), 1u);
}

TEST(Damage, PiecesThatComeOrGoDamageTheirPlace)
{
    DisplayList before, after;
    before.commands = {quad(1, 0, 0, 640, 960), quad(2, 10, 10, 50, 50), quad(3, 300, 300, 20, 20)};
    after.commands = {quad(1, 0, 0, 640, 960), quad(3, 300, 300, 20, 20), quad(4, 400, 600, 30, 30)};
    const auto rects = damageBetween(before, after, screen);
    EXPECT_EQ(rects.size(), 2u);
    EXPECT_TRUE(inside({10, 10, 50, 50}, rects));    // gone
    EXPECT_TRUE(inside({400, 600, 30, 30}, rects));  // new
    EXPECT_FALSE(inside({300, 300, 20, 20}, rects)); // unchanged, though its index moved
}

TEST(Damage, PiecesThatSwapPlacesInTheStackDamageTheScreen)
{
    DisplayList before, after;
    before.commands = {quad(1, 0, 0, 640, 960), quad(2, 10, 10, 50, 50), quad(3, 30, 30, 50, 50),
                       quad(5, 500, 500, 5, 5)};
    after.commands = {quad(1, 0, 0, 640, 960), quad(3, 30, 30, 50, 50), quad(2, 10, 10, 50, 50)};
    const auto rects = damageBetween(before, after, screen);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_TRUE(SDL_RectEquals(&rects[0], &screen));
}

TEST(Damage, OverlapsMergeManyBecomeOneAndNothingLeavesTheScreen)
{
    DisplayList before, after;
    before.commands = {quad(1, 0, 0, 640, 960), quad(2, 100, 100, 40, 40), quad(3, 120, 120, 40, 40)};
    after = before;
    after.commands[1].color.g = 0;
    after.commands[2].color.g = 0;
    const auto overlapping = damageBetween(before, after, screen);
    ASSERT_EQ(overlapping.size(), 1u);
    EXPECT_TRUE(inside({100, 100, 60, 60}, overlapping));

    // Eight scattered changes: drawn as their union rather than one by one.
    before.commands.clear();
    for (int i = 0; i < 8; ++i)
        before.commands.push_back(quad(10 + std::uint64_t(i), 10.0f + 70.0f * float(i), 10.0f + 100.0f * float(i), 8, 8));
    after = before;
    for (DrawCommand& c : after.commands)
        c.color.r = 0;
    const auto scattered = damageBetween(before, after, screen);
    ASSERT_EQ(scattered.size(), 1u);
    EXPECT_TRUE(inside({10, 10, 8, 8}, scattered));
    EXPECT_TRUE(inside({500, 710, 8, 8}, scattered));

    // A piece partly off the screen damages only its part on the screen.
    before.commands = {quad(1, 600, 900, 100, 100)};
    after.commands = {};
    const auto cut = damageBetween(before, after, screen);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_LE(cut[0].x + cut[0].w, screen.w);
    EXPECT_LE(cut[0].y + cut[0].h, screen.h);
}

TEST(Damage, TurnedPieceDamagesWhatItCoversTurned)
{
    DisplayList before, after;
    before.commands = {quad(1, 0, 0, 640, 960), quad(2, 200, 200, 100, 20)};
    after = before;
    after.commands[1].angleDegrees = 90;   // a bar turned upright: 20 wide, 100 tall about its centre
    const auto rects = damageBetween(before, after, screen);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_TRUE(inside({200, 200, 100, 20}, rects));
    EXPECT_TRUE(inside({240, 160, 20, 100}, rects));

    // A round picture turned stays within its square.
    auto reel = std::make_shared<platform::sdl::Texture>();
    reel->roundContent = true;
    before.commands = {quad(2, 100, 100, 200, 200)};
    before.commands[0].texture = reel;
    after = before;
    after.commands[0].angleDegrees = 45;
    const auto turned = damageBetween(before, after, screen);
    ASSERT_EQ(turned.size(), 1u);
    EXPECT_LE(turned[0].w, 202);
    EXPECT_LE(turned[0].h, 202);
}

// A black frame 200 pixels square with a clear square hole, as a tape roll is a black
// ring: where it is opaque in both frames nothing below it can show, and where it
// paints black in both places it shows the same, even moved.
TEST(Damage, AMovedOpaqueFrameDamagesOnlyItsEdgesAndHidesChangesBelowIt)
{
    std::vector<Uint32> pixels(200 * 200, 0xff000000u);
    for (int y = 60; y < 140; ++y)
        for (int x = 60; x < 140; ++x)
            pixels[std::size_t(y) * 200 + std::size_t(x)] = 0;
    const auto frame = pictureOf(pixels, 200);

    DisplayList before, after;
    DrawCommand background = quad(1, 0, 0, 640, 960);
    background.color = {0, 0, 0, 255};
    DrawCommand below = quad(2, 210, 210, 30, 30);   // under the frame's black in both frames
    DrawCommand ring = quad(3, 200, 200, 200, 200);
    ring.texture = frame;
    before.commands = {background, below, ring};
    after = before;
    after.commands[1].color = {255, 0, 0, 255};
    after.commands[2].destination.y += 2;

    const auto rects = damageBetween(before, after, screen, true);
    EXPECT_FALSE(inside({224, 224, 16, 16}, rects)) << "a change under the black showed";
    EXPECT_FALSE(inside({208, 288, 16, 16}, rects)) << "black over black counted as a change";
    EXPECT_TRUE(inside({208, 192, 16, 16}, rects));   // the frame's top edge moved
    EXPECT_TRUE(inside({288, 256, 16, 16}, rects));   // the hole's top edge moved
    EXPECT_TRUE(inside({288, 336, 16, 16}, rects));   // and its bottom edge
    EXPECT_LT(coveredArea(rects), 200L * 202 * 6 / 10);   // the whole of both places: 200 × 202

    // Without what the renderer knows of the frame's pixels, all of it is damaged.
    before.commands[2].texture = after.commands[2].texture = nullptr;
    before.commands[2].color = after.commands[2].color = {0, 0, 0, 128};
    EXPECT_TRUE(inside({224, 224, 16, 16}, damageBetween(before, after, screen, true)));
}

// The damage of the pieces that changed is remembered by what both frames show; a
// turning piece above them that did not change counts only as turned or upright, which
// is all that what it covers depends on.
TEST(Damage, RememberedCoveredDamageIsReusedOnlyForFramesThatShowTheSame)
{
    const auto picture = pictureOf(std::vector<Uint32>(40 * 40, 0xff202020u), 40);

    DisplayList before, after;
    DrawCommand background = quad(1, 0, 0, 640, 960);
    background.color = {0, 0, 0, 255};
    DrawCommand below = quad(2, 210, 210, 30, 30);
    DrawCommand cover = quad(3, 208, 208, 40, 40);   // opaque over the tile at 224, 224 when upright
    cover.texture = picture;
    cover.turning = true;
    cover.angleDegrees = 10;
    before.commands = {background, below, cover};
    after = before;
    after.commands[1].color = {255, 0, 0, 255};

    platform::sdl::CoveredDamageMemo memo;
    const auto check = [&](double angle) {
        before.commands[2].angleDegrees = after.commands[2].angleDegrees = angle;
        const auto remembered = damageBetween(before, after, screen, true, &memo);
        EXPECT_EQ(coveredArea(remembered), coveredArea(damageBetween(before, after, screen, true)));
        return inside({224, 224, 16, 16}, remembered);
    };
    EXPECT_TRUE(check(10));
    EXPECT_TRUE(check(35));   // turned further: the same frames as far as the damage goes
    EXPECT_EQ(memo.size(), 1u);
    EXPECT_FALSE(check(0)) << "an upright cover hides the change below it";
    EXPECT_EQ(memo.size(), 2u);

    // A change elsewhere is new.
    after.commands[1].color = {0, 255, 0, 255};
    check(10);
    EXPECT_EQ(memo.size(), 3u);
}

namespace {

// A surface with a pattern in it, and the software renderer drawing into it.
struct Target {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 400, 400, 32, SDL_PIXELFORMAT_XRGB8888);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
    // Goes before the renderer, with the textures it keeps to use again.
    std::optional<platform::sdl::TextureFactory> textures{std::in_place, renderer, platform::sdl::resourceDirectory()};
    Target()
    {
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 400; ++x)
                static_cast<Uint32*>(surface->pixels)[y * surface->pitch / 4 + x] = Uint32(x * 0x010203 + y * 0x030100);
    }
    ~Target()
    {
        textures.reset();
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
    static DrawCommand placed(const platform::sdl::TexturePtr& texture)
    {
        DrawCommand c;
        c.texture = texture;
        c.destination = {37, 41, float(texture->widthPixels), float(texture->heightPixels)};
        c.clip = {0, 0, 400, 400};
        return c;
    }
    void draw(const DrawCommand& c, const SDL_Rect& region)
    {
        platform::sdl::drawCommand(renderer, c, region, {0, 0});
        SDL_RenderFlush(renderer);
    }
    void draw(const platform::sdl::TexturePtr& texture, const SDL_Rect& region) { draw(placed(texture), region); }
    int differingFrom(const Target& other) const
    {
        int differing = 0;
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 400; ++x)
                differing += at(x, y) != other.at(x, y);
        return differing;
    }
    // The same, drawn straight into the surface rather than by the renderer.
    bool drawStraight(const DrawCommand& c, const SDL_Rect& region)
    {
        return platform::sdl::drawStraight(renderer, surface, c, region, {0, 0});
    }
    // The colour: the fourth byte of these pixels means nothing.
    Uint32 at(int x, int y) const
    {
        return static_cast<const Uint32*>(surface->pixels)[y * surface->pitch / 4 + x] & 0xffffffu;
    }
};

// A tape roll's ring, kept in parts as a software renderer keeps it and kept whole.
struct RingDrawings {
    platform::sdl::TexturePtr inParts, whole;
};
RingDrawings ringDrawings(platform::sdl::TextureFactory& forParts, platform::sdl::TextureFactory& forWhole)
{
    TapeBandCircleUIView ring({0, 0, 153, 153});
    ring.setPixelFromBandToSuppress(30);
    return {forParts.drawing(ring, platform::sdl::TextureFactory::Use::Upright),
            forWhole.drawing(ring, platform::sdl::TextureFactory::Use::Every)};
}

} // namespace

// A tape roll's ring, mostly clear and black, is kept in parts on a software renderer,
// in little more memory than its mixed squares: drawn whole or only in a corner, over a
// background that shows through its smooth edges, it gives exactly the pixels of the
// same drawing kept whole.
TEST(DrawingInParts, DrawsTheSamePixelsAsTheWholeDrawingForLessMemory)
{
    Target parts, whole;
    const auto [kept, entire] = ringDrawings(*parts.textures, *whole.textures);
    ASSERT_TRUE(kept && entire);
    ASSERT_FALSE(kept->parts.empty());
    ASSERT_TRUE(entire->parts.empty());
    EXPECT_LT(platform::sdl::textureBytes(*kept), std::size_t(306 * 306 * 4 / 2));
    // Its mixed squares lie side by side with little room to spare, though the ring is
    // mixed across its whole width at the top and bottom and only at its edges between.
    std::size_t mixedPixels = 0;
    for (const auto& part : kept->parts)
        if (!part.filled)
            mixedPixels += std::size_t(part.at.w) * std::size_t(part.at.h);
    EXPECT_LE(kept->partsPixels * 4, mixedPixels * 5);

    for (const SDL_Rect region : {SDL_Rect{100, 90, 64, 50}, SDL_Rect{0, 0, 400, 400}}) {
        parts.draw(kept, region);
        whole.draw(entire, region);
        EXPECT_EQ(parts.differingFrom(whole), 0)
            << "within " << region.x << ", " << region.y << ", " << region.w << " × " << region.h;
    }
}

// Upright pieces at their own size are drawn straight into the window's surface on a
// software renderer, by our own blend and fill: the pixels are exactly the renderer's,
// for a drawing kept in parts, one kept whole and an opaque fill, in any region. Pieces
// it cannot draw so (between pixels, tinted, turned) are left to the renderer untouched.
TEST(DrawingStraight, GivesExactlyWhatTheRendererDraws)
{
    Target renderer, straight;
    const auto [kept, entire] = ringDrawings(*renderer.textures, *renderer.textures);
    ASSERT_TRUE(kept && entire);
    ASSERT_FALSE(kept->parts.empty());
    DrawCommand fill;
    fill.destination = {20, 300, 250, 60};
    fill.clip = {0, 0, 400, 400};
    fill.color = {10, 200, 90, 255};
    fill.blendMode = SDL_BLENDMODE_NONE;
    DrawCommand moved = Target::placed(entire);
    moved.destination.x = 91;
    moved.clip = {50, 60, 300, 200};
    for (const SDL_Rect region : {SDL_Rect{100, 90, 64, 50}, SDL_Rect{0, 0, 400, 400}, SDL_Rect{233, 7, 3, 390}})
        for (const DrawCommand& piece : {Target::placed(kept), moved, fill}) {
            renderer.draw(piece, region);
            EXPECT_TRUE(straight.drawStraight(piece, region));
            EXPECT_EQ(renderer.differingFrom(straight), 0)
                << "within " << region.x << ", " << region.y << ", " << region.w << " × " << region.h;
        }
    DrawCommand between = Target::placed(kept), tinted = Target::placed(entire), turned = tinted;
    between.destination.x += 0.5f;
    tinted.color = {255, 255, 255, 128};
    turned.angleDegrees = 10;
    for (const DrawCommand& piece : {between, tinted, turned})
        EXPECT_FALSE(straight.drawStraight(piece, {0, 0, 400, 400}));
    EXPECT_EQ(renderer.differingFrom(straight), 0);
}

// The kept top is blended into the target by our own code on a software renderer; it
// must give exactly what SDL's own blit gives, onto both kinds of window surface.
TEST(BlendOver, GivesExactlyWhatTheRenderersBlitGives)
{
    std::uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (const Uint32 format : {SDL_PIXELFORMAT_ARGB8888, SDL_PIXELFORMAT_RGB888}) {
        // 67 wide, so rows end in pixels taken one at a time.
        constexpr int width = 67, height = 300;
        SDL_Surface* source = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
        SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, format);
        ASSERT_TRUE(source && target);
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_BLEND);
        std::vector<Uint32> ours(std::size_t(width) * height);
        for (int y = 0; y < height; ++y) {
            auto* s = reinterpret_cast<Uint32*>(static_cast<unsigned char*>(source->pixels) + y * source->pitch);
            auto* d = reinterpret_cast<Uint32*>(static_cast<unsigned char*>(target->pixels) + y * target->pitch);
            for (int x = 0; x < width; ++x) {
                Uint32 p = next();
                // Runs of clear and of opaque pixels as well as single ones, as on a skin's edge.
                if ((y / 3 + x / 4) % 5 == 0 || next() % 9 == 0)
                    p &= 0x00ffffffu;
                else if ((y / 3 + x / 4) % 5 == 1 || next() % 9 == 0)
                    p |= 0xff000000u;
                s[x] = p;
                d[x] = next();
                ours[std::size_t(y) * width + x] = d[x];
            }
            platform::sdl::support::blendOver(ours.data() + std::size_t(y) * width, s, width);
        }
        ASSERT_EQ(SDL_BlitSurface(source, nullptr, target, nullptr), 0);
        long differing = 0;
        for (int y = 0; y < height; ++y) {
            const auto* d = reinterpret_cast<const Uint32*>(static_cast<const unsigned char*>(target->pixels) + y * target->pitch);
            for (int x = 0; x < width; ++x)
                differing += d[x] != ours[std::size_t(y) * width + x];
        }
        EXPECT_EQ(differing, 0) << SDL_GetPixelFormatName(format);
        SDL_FreeSurface(source);
        SDL_FreeSurface(target);
    }
}

// A picture's coverage remembers what it answered for the damage's tiles; asked again,
// at several offsets of the tiles' grid in turn, it answers as when it first worked it out.
TEST(CoverageOfTiles, RemembersWhatItWorkedOutWhereverTheTilesLie)
{
    constexpr int width = 150, height = 120;
    std::vector<Uint32> pixels(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)   // black rings, soft and clear patches, one odd pixel
            pixels[std::size_t(y) * width + x] = (x - 75) * (x - 75) + (y - 60) * (y - 60) < 900 ? 0xff000000u
                                                  : (x / 20 + y / 24) % 3 == 0                ? 0x80102030u
                                                  : (x / 20 + y / 24) % 3 == 1                ? 0xff000000u
                                                                                              : 0xff405060u;
    pixels[std::size_t(77) * width + 33] = 0x00000000u;
    const platform::sdl::Coverage kept(pixels.data(), width, height, width * 4);
    long opaque = 0, solid = 0;
    for (int round = 0; round < 2; ++round)
        for (const SDL_Point phase : {SDL_Point{0, 0}, SDL_Point{5, 11}, SDL_Point{15, 1}})
            for (int y = phase.y; y + 16 <= height; y += 16)
                for (int x = phase.x; x + 16 <= width; x += 16) {
                    const SDL_Rect tile{x, y, 16, 16};
                    const platform::sdl::Coverage fresh(pixels.data(), width, height, width * 4);
                    ASSERT_EQ(kept.opaque(tile), fresh.opaque(tile)) << x << "," << y << " round " << round;
                    ASSERT_EQ(kept.solid(tile), fresh.solid(tile)) << x << "," << y << " round " << round;
                    opaque += kept.opaque(tile);
                    solid += kept.solid(tile);
                }
    // Both answers come up both ways.
    EXPECT_GT(opaque, 0);
    EXPECT_GT(solid, 0);
    EXPECT_LT(solid, opaque);
}
