// A picture looked at square by square in one pass gives what looking at its pixels
// one by one gives: the squares' kinds, where it is opaque and in its solid colour, and
// a digest that tells apart pictures differing in any one pixel. And a view's drawing
// made in the picture the last one was made in shows only itself.

#include "mechanics/TapeBandCircleUIView.h"
#include "platform/sdl/Compositor.h"
#include "platform/sdl/Coverage.h"
#include "platform/sdl/DisplayList.h"
#include "platform/sdl/PictureSquares.h"
#include "platform/sdl/TextureFactory.h"
#include "sdl/SoftwareTarget.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

using platform::sdl::Coverage;
using platform::sdl::PictureSquares;
using platform::sdl::surveySquares;

namespace {

// Premultiplied ARGB pixels with rows `pitch` pixels apart; what lies past a row's
// end is not the picture's.
struct Picture {
    int width, height, pitch;
    std::vector<Uint32> pixels;
    Picture(int w, int h, int padding = 3) : width(w), height(h), pitch(w + padding), pixels(std::size_t(pitch) * h, 0)
    {
        for (int y = 0; y < height; ++y)
            for (int x = width; x < pitch; ++x)
                at(x, y) = 0xff123456u;
    }
    Uint32& at(int x, int y) { return pixels[std::size_t(y) * pitch + x]; }
    // The rectangle's pixels, as far as it lies on the picture.
    void fill(int x0, int y0, int w, int h, Uint32 colour)
    {
        for (int y = y0; y < std::min(y0 + h, height); ++y)
            for (int x = x0; x < std::min(x0 + w, width); ++x)
                at(x, y) = colour;
    }
    PictureSquares survey(bool withCoverage) const
    {
        return surveySquares(pixels.data(), width, height, pitch * 4, withCoverage);
    }
};

// A ring-like picture of odd size: clear, black, other opaque colours, see-through
// pixels, its first opaque pixel in the middle of a square's second row.
Picture sample(int w, int h)
{
    Picture p(w, h);
    p.at(w / 2 + 1, 17) = 0xff000000u;
    p.fill(0, 20, w, 9, 0xff000000u);
    p.fill(3, 40, w - 6, h - 45, 0xff000000u);
    p.fill(w / 3, 44, 7, 5, 0xff204060u);
    p.fill(w / 2, 50, 20, 3, 0x80000000u);
    for (int i = 0; i < w; i += 7)
        p.at(i, 33 + i % 5) = Uint32(0x40000000u | i);
    p.at(w - 1, h - 1) = 0xffffffffu;
    return p;
}

} // namespace

TEST(PictureSquares, KindsAndCoverageAreThoseOfThePixels)
{
    for (const auto& [w, h] : {std::pair{70, 61}, std::pair{64, 64}, std::pair{37, 50}, std::pair{131, 83}}) {
        SCOPED_TRACE(::testing::Message() << w << " × " << h);
        Picture picture = sample(w, h);
        const PictureSquares squares = picture.survey(true);
        ASSERT_EQ(squares.across, (w + 15) / 16);
        ASSERT_EQ(squares.down, (h + 15) / 16);
        long mixed = 0;
        for (int row = 0; row < squares.down; ++row)
            for (int column = 0; column < squares.across; ++column) {
                const SDL_Rect r = squares.rect(column, row);
                const Uint32 first = picture.at(r.x, r.y);
                bool same = true;
                for (int y = r.y; y < r.y + r.h; ++y)
                    for (int x = r.x; x < r.x + r.w; ++x)
                        same = same && picture.at(x, y) == first;
                const auto kind = same && first == 0                 ? PictureSquares::Kind::Clear
                                  : same && (first >> 24) == 0xffu ? PictureSquares::Kind::Filled
                                                                    : PictureSquares::Kind::Mixed;
                EXPECT_EQ(squares.at(column, row).kind, kind) << "square " << column << ", " << row;
                if (kind == PictureSquares::Kind::Filled) {
                    EXPECT_EQ(squares.at(column, row).colour, first);
                }
                if (kind == PictureSquares::Kind::Mixed)
                    mixed += long(r.w) * r.h;
            }
        EXPECT_EQ(squares.mixedPixels, mixed);

        const Coverage reference(picture.pixels.data(), w, h, picture.pitch * 4);
        ASSERT_TRUE(squares.coverage);
        EXPECT_EQ(squares.coverage->solidColour(), reference.solidColour());
        EXPECT_EQ(squares.coverage->bytes(), reference.bytes());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const SDL_Rect pixel{x, y, 1, 1};
                ASSERT_EQ(squares.coverage->opaque(pixel), reference.opaque(pixel)) << x << ", " << y;
                ASSERT_EQ(squares.coverage->solid(pixel), reference.solid(pixel)) << x << ", " << y;
            }
        EXPECT_FALSE(picture.survey(false).coverage);
    }

    // Opaque in many colours: no solid colour is kept, as from the pixels.
    Picture many(48, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            many.at(x, y) = 0xff000000u | Uint32(x * 40 + y);
    const PictureSquares squares = many.survey(true);
    const Coverage reference(many.pixels.data(), 48, 40, many.pitch * 4);
    ASSERT_TRUE(squares.coverage);
    EXPECT_EQ(squares.coverage->bytes(), reference.bytes());
    EXPECT_TRUE(squares.coverage->opaque({0, 0, 48, 40}));
    EXPECT_FALSE(squares.coverage->solid({0, 0, 1, 1}));
    // Opaque nowhere: no coverage at all.
    EXPECT_FALSE(Picture(40, 40).survey(true).coverage);
}

TEST(PictureSquares, TheDigestTellsApartPicturesDifferingInAnyPixel)
{
    const Picture base = sample(69, 61);
    const std::uint64_t digest = base.survey(false).digest;
    // The same pixels with rows further apart.
    Picture wider(69, 61, 10);
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 69; ++x)
            wider.at(x, y) = const_cast<Picture&>(base).at(x, y);
    EXPECT_EQ(wider.survey(true).digest, digest);

    std::set<std::uint64_t> seen{digest};
    const auto changed = [&](int x, int y, Uint32 colour) {
        Picture p = base;
        p.at(x, y) = colour;
        return p.survey(false).digest;
    };
    // A clear square, a black one, a mixed one, one cut at the picture's corner; the
    // first opaque pixel gone.
    for (const std::uint64_t d : {changed(5, 5, 0x01000000u), changed(8, 8, 0xff000000u), changed(20, 22, 0xff000001u),
                                  changed(68, 60, 0xfffffffeu), changed(67, 60, 0xffffffffu), changed(0, 5, 0x80000000u),
                                  changed(35, 17, 0)})
        EXPECT_TRUE(seen.insert(d).second);
    // Two squares, clear and black, and the same with a pixel of each swapped.
    Picture twoColours(32, 16);
    twoColours.fill(16, 0, 16, 16, 0xff000000u);
    Picture moved = twoColours;
    moved.at(15, 0) = 0xff000000u;
    moved.at(16, 0) = 0;
    EXPECT_NE(twoColours.survey(false).digest, moved.survey(false).digest);
}

// Two drawings of one size made in one frame share the picture they are drawn in: the
// second, a thin ring drawn where a thick one was, shows nothing of the first. (Rings
// this small are drawn whole.)
TEST(PictureSquares, ADrawingMadeInTheLastOnesPictureShowsOnlyItself)
{
    const SoftwareTarget target(64, 64, SDL_PIXELFORMAT_XRGB8888);
    SDL_Renderer* renderer = target.renderer;
    platform::sdl::TextureFactory shared{renderer, platform::sdl::resourceDirectory()};
    platform::sdl::TextureFactory alone{renderer, platform::sdl::resourceDirectory()};
    TapeBandCircleUIView thick({0, 0, 60, 60}), thin({0, 0, 60, 60});
    thick.setPixelFromBandToSuppress(25);
    thin.setPixelFromBandToSuppress(2);
    ASSERT_TRUE(shared.drawing(thick, platform::sdl::TextureFactory::Use::Upright));
    // Kept with its premultiplied pixels, which can be read.
    const auto second = shared.drawing(thin, platform::sdl::TextureFactory::Use::Every);
    const auto reference = alone.drawing(thin, platform::sdl::TextureFactory::Use::Every);
    ASSERT_TRUE(second && second->pixels && reference && reference->pixels);
    cairo_surface_t* a = second->pixels.get();
    cairo_surface_t* b = reference->pixels.get();
    ASSERT_EQ(cairo_image_surface_get_width(a), 120);
    ASSERT_EQ(cairo_image_surface_get_height(a), cairo_image_surface_get_height(b));
    cairo_surface_flush(a);
    cairo_surface_flush(b);
    int differing = 0;
    for (int y = 0; y < 120; ++y)
        differing += std::memcmp(cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a),
                                 cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b), 120 * 4) != 0;
    EXPECT_EQ(differing, 0) << "rows";
    EXPECT_EQ(second->contentDigest, reference->contentDigest);
}

// A tape roll's ring is drawn a band of rows at a time: what is worked out from the
// bands is what the whole picture gives (its pixels are compared where the drawings in
// parts are drawn).
TEST(PictureSquares, ARingDrawnInBandsIsLookedAtAsTheWholePicture)
{
    const SoftwareTarget target(64, 64, SDL_PIXELFORMAT_XRGB8888);
    SDL_Renderer* renderer = target.renderer;
    platform::sdl::TextureFactory textures{renderer, platform::sdl::resourceDirectory()};
    // Sizes a whole number of bands high and not; rows of squares cut at the bottom.
    for (const float side : {153.0f, 160.0f, 131.5f}) {
        SCOPED_TRACE(::testing::Message() << side << " points");
        TapeBandCircleUIView ring({0, 0, side, side});
        ring.setPixelFromBandToSuppress(45);
        const auto banded = textures.drawing(ring, platform::sdl::TextureFactory::Use::Upright);
        const auto whole = textures.drawing(ring, platform::sdl::TextureFactory::Use::Every);
        ASSERT_TRUE(banded && whole && whole->pixels);
        ASSERT_FALSE(banded->parts.empty());
        EXPECT_EQ(banded->contentDigest, whole->contentDigest);
        cairo_surface_t* pixels = whole->pixels.get();
        cairo_surface_flush(pixels);
        const PictureSquares squares = surveySquares(
            reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(pixels)), cairo_image_surface_get_width(pixels),
            cairo_image_surface_get_height(pixels), cairo_image_surface_get_stride(pixels), true);
        ASSERT_TRUE(banded->coverage && squares.coverage);
        EXPECT_EQ(banded->coverage->solidColour(), squares.coverage->solidColour());
        int differing = 0;
        for (int y = 0; y < squares.height; ++y)
            for (int x = 0; x < squares.width; ++x) {
                const SDL_Rect pixel{x, y, 1, 1};
                differing += banded->coverage->opaque(pixel) != squares.coverage->opaque(pixel)
                             || banded->coverage->solid(pixel) != squares.coverage->solid(pixel);
            }
        EXPECT_EQ(differing, 0);
    }
}

// A ring kept in parts is left out of the pieces showing in a region inside its hole
// (a reel's square), but never where it paints a pixel.
TEST(PictureSquares, ADrawingInPartsShowsOnlyWhereAPartReaches)
{
    const SoftwareTarget target(400, 400, SDL_PIXELFORMAT_XRGB8888);
    SDL_Renderer* renderer = target.renderer;
    SDL_Surface* surface = target.surface;
    platform::sdl::TextureFactory textures{renderer, platform::sdl::resourceDirectory()};
    TapeBandCircleUIView ring({0, 0, 153, 153});
    ring.setPixelFromBandToSuppress(20);
    const auto texture = textures.drawing(ring, platform::sdl::TextureFactory::Use::Upright);
    ASSERT_TRUE(texture && !texture->parts.empty());
    const auto pixels = [&] {
        const auto* p = static_cast<const Uint32*>(surface->pixels);
        return std::vector<Uint32>(p, p + 400 * surface->pitch / 4);
    };
    // On whole pixels, and between them.
    for (const SDL_FRect at : {SDL_FRect{37, 41, 306, 306}, SDL_FRect{37.5f, 40.25f, 306, 306}}) {
        SCOPED_TRACE(::testing::Message() << "at " << at.x << ", " << at.y);
        platform::sdl::DrawCommand piece;
        piece.texture = texture;
        piece.destination = at;
        piece.clip = {0, 0, 400, 400};
        const std::vector<const platform::sdl::DrawCommand*> all{&piece};
        EXPECT_EQ(platform::sdl::piecesShowingIn(all, {130, 130, 120, 120}).size(), 1u);
        EXPECT_TRUE(platform::sdl::piecesPaintingIn(all, {130, 130, 120, 120}).empty());

        SDL_FillRect(surface, nullptr, 0x00336699u);
        const std::vector<Uint32> before = pixels();
        platform::sdl::drawCommand(renderer, piece, {0, 0, 400, 400}, {0, 0});
        SDL_RenderFlush(renderer);
        const std::vector<Uint32> after = pixels();
        int painted = 0, missed = 0;
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 400; ++x) {
                const std::size_t i = std::size_t(y) * std::size_t(surface->pitch / 4) + std::size_t(x);
                if (((before[i] ^ after[i]) & 0xffffffu) == 0)
                    continue;
                ++painted;
                missed += platform::sdl::piecesPaintingIn(all, {x, y, 1, 1}).size() != 1;
            }
        EXPECT_GT(painted, 10000);
        EXPECT_EQ(missed, 0);
    }
}
