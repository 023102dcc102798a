// Pictures at a fixed angle on the software renderer: turned once from the
// renderer's own pixels, they show exactly the picture turned by cairo, as those
// that keep their premultiplied pixels do, and keep no second copy of their own;
// only the part that can show is turned and kept (in parts when mostly clear), and
// the screen shows the same. A turning picture keeps only its pixels.

#include "mechanics/TapeBandCircleUIView.h"
#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/Coverage.h"
#include "platform/sdl/TextureFactory.h"
#include "platform/sdl/TurnedPictures.h"
#include "sdl/SoftwareTarget.h"
#include "support/ScratchFolder.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

using namespace platform::sdl;

namespace {

// A picture with every level of alpha against coloured channels: soft-edged discs
// over a transparent ground, or (without alpha) an opaque one.
cairo_surface_t* softPicture(cairo_format_t format)
{
    cairo_surface_t* surface = cairo_image_surface_create(format, 150, 90);
    cairo_t* c = cairo_create(surface);
    cairo_pattern_t* gradient = cairo_pattern_create_radial(60, 45, 0, 60, 45, 70);
    cairo_pattern_add_color_stop_rgba(gradient, 0, 0.9, 0.2, 0.6, 1);
    cairo_pattern_add_color_stop_rgba(gradient, 0.5, 0.1, 0.8, 0.3, 0.5);
    cairo_pattern_add_color_stop_rgba(gradient, 1, 0.7, 0.6, 0.05, 0);
    cairo_set_source(c, gradient);
    cairo_paint(c);
    cairo_pattern_destroy(gradient);
    cairo_set_source_rgba(c, 0.3, 0.95, 1, 0.37);
    cairo_arc(c, 115, 30, 24.3, 0, 2 * std::numbers::pi);
    cairo_fill(c);
    cairo_destroy(c);
    cairo_surface_flush(surface);
    return surface;
}

std::vector<Uint32> pixelsOf(const Texture& texture)
{
    void* locked = nullptr;
    int pitch = 0;
    std::vector<Uint32> pixels(std::size_t(texture.widthPixels) * std::size_t(texture.heightPixels));
    if (SDL_LockTexture(texture.handle, nullptr, &locked, &pitch) != 0)
        return {};
    for (int y = 0; y < texture.heightPixels; ++y)
        std::memcpy(&pixels[std::size_t(y) * std::size_t(texture.widthPixels)],
                    static_cast<const unsigned char*>(locked) + std::ptrdiff_t(y) * pitch, std::size_t(texture.widthPixels) * 4);
    SDL_UnlockTexture(texture.handle);
    return pixels;
}

// What the copy must show: the picture turned by cairo into a clear picture of the
// copy's size, in straight alpha.
std::vector<Uint32> turnedByCairo(cairo_surface_t* picture, const DrawCommand& command)
{
    const SDL_FRect& d = command.destination;
    const SDL_FRect& at = command.preparedDestination;
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(at.w), int(at.h));
    cairo_t* c = cairo_create(target);
    cairo_translate(c, d.x + d.w / 2.0 - at.x, d.y + d.h / 2.0 - at.y);
    cairo_rotate(c, command.angleDegrees * std::numbers::pi / 180.0);
    cairo_translate(c, -d.w / 2.0, -d.h / 2.0);
    cairo_scale(c, d.w / cairo_image_surface_get_width(picture), d.h / cairo_image_surface_get_height(picture));
    cairo_set_source_surface(c, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(c), CAIRO_FILTER_BILINEAR);
    cairo_paint(c);
    cairo_destroy(c);
    cairo_surface_flush(target);
    std::vector<Uint32> pixels;
    for (int y = 0; y < int(at.h); ++y) {
        const auto* row = reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(target)
                                                          + std::ptrdiff_t(y) * cairo_image_surface_get_stride(target));
        for (int x = 0; x < int(at.w); ++x) {
            const Uint32 alpha = row[x] >> 24;
            pixels.push_back(alpha == 0 ? 0 : alpha == 255 ? row[x] : support::straightPixel(row[x]));
        }
    }
    cairo_surface_destroy(target);
    return pixels;
}

} // namespace

TEST(TurnedPictures, ACopyAtAFixedAngleShowsThePictureTurnedWithoutKeepingItTwice)
{
    SoftwareTarget software;
    ASSERT_NE(software.renderer, nullptr) << SDL_GetError();
    TextureFactory factory(software.renderer, ".");
    ASSERT_TRUE(factory.software());
    TurnedPictures turned(software.renderer, factory);
    platform::Nanoseconds now = 0;
    for (const cairo_format_t format : {CAIRO_FORMAT_ARGB32, CAIRO_FORMAT_RGB24}) {
        cairo_surface_t* picture = softPicture(format);
        // The same picture made twice: kept with its pixels, as a turning reel is, and
        // as a picture at a fixed angle is.
        const TexturePtr kept = factory.fromCairo(picture, 75, 45, TextureFactory::Use::Turning);
        const TexturePtr fixed = factory.fromCairo(picture, 75, 45, TextureFactory::Use::Turned);
        ASSERT_TRUE(kept && fixed);
        ASSERT_NE(kept->pixels, nullptr);
        EXPECT_EQ(fixed->pixels, nullptr);
        EXPECT_EQ(textureBytes(*fixed), 150u * 90u * 4u);
        // Copies of the same size one after the other: the later one goes into the memory
        // of the earlier, which still shows it.
        for (const double degrees : {1.0, -1.0, -90.0, 33.3}) {
            for (const TexturePtr& texture : {kept, fixed}) {
                SCOPED_TRACE(testing::Message() << "format " << format << ", turned by " << degrees << ", "
                                                << (texture->pixels ? "kept pixels" : "the renderer's pixels"));
                DrawCommand command;
                command.texture = texture;
                command.destination = {10.25f, 7.5f, 150, 90};
                command.angleDegrees = degrees;
                command.clip = {0, 0, 1000, 1000};
                DisplayList list;
                list.commands = {command};
                turned.prepare(list, 1, now);
                command = list.commands[0];
                ASSERT_TRUE(command.prepared);
                const std::vector<Uint32> expected = turnedByCairo(picture, command);
                const std::vector<Uint32> actual = pixelsOf(*command.prepared);
                ASSERT_EQ(actual.size(), expected.size());
                std::size_t differing = 0;
                for (std::size_t i = 0; i < expected.size(); ++i)
                    differing += expected[i] != actual[i];
                EXPECT_EQ(differing, 0u);
            }
            now += 10'000'000'000;
            turned.endFrame(2, now);
        }
        cairo_surface_destroy(picture);
    }
}

namespace {

// An opaque picture over the whole target with a soft-edged round window in it (none
// when the radius is 0), upright, with its coverage: a skin over the tape.
TexturePtr skinWithWindow(TextureFactory& factory, int width, int height, double x, double y, double radius)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* c = cairo_create(surface);
    cairo_set_source_rgb(c, 0.8, 0.75, 0.6);
    cairo_paint(c);
    cairo_set_operator(c, CAIRO_OPERATOR_CLEAR);
    cairo_arc(c, x, y, radius, 0, 2 * std::numbers::pi);
    cairo_fill(c);
    cairo_destroy(c);
    cairo_surface_flush(surface);
    auto texture = std::const_pointer_cast<Texture>(
        factory.fromCairo(surface, float(width), float(height), TextureFactory::Use::Upright));
    texture->coverage = std::make_shared<const Coverage>(reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(surface)),
                                                         width, height, cairo_image_surface_get_stride(surface));
    cairo_surface_destroy(surface);
    return texture;
}

// The largest difference in any channel between two pictures of the same size.
int largestDifference(const std::vector<Uint32>& a, const std::vector<Uint32>& b)
{
    int most = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            most = std::max(most, std::abs(int((a[i] >> shift) & 0xff) - int((b[i] >> shift) & 0xff)));
    return most;
}

// The commands drawn over black, bottom first, and the pixels they leave.
std::vector<Uint32> drawn(const SoftwareTarget& software, const std::vector<DrawCommand>& commands)
{
    SDL_Renderer* r = software.renderer;
    SDL_RenderSetClipRect(r, nullptr);
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
    SDL_RenderClear(r);
    const SDL_Rect all{0, 0, software.surface->w, software.surface->h};
    for (const DrawCommand& command : commands)
        drawCommand(r, command, all, {0, 0});
    SDL_RenderFlush(r);
    std::vector<Uint32> pixels;
    for (int y = 0; y < all.h; ++y) {
        const auto* row = reinterpret_cast<const Uint32*>(static_cast<const unsigned char*>(software.surface->pixels)
                                                          + std::ptrdiff_t(y) * software.surface->pitch);
        pixels.insert(pixels.end(), row, row + all.w);
    }
    return pixels;
}

} // namespace

TEST(TurnedPictures, OnlyWhatCanShowIsTurnedAndKeptAndTheScreenShowsTheSame)
{
    SoftwareTarget software(200, 160);
    ASSERT_NE(software.renderer, nullptr) << SDL_GetError();
    TextureFactory factory(software.renderer, ".");
    TurnedPictures turned(software.renderer, factory);
    const SDL_Rect screen{0, 0, 200, 160};
    cairo_surface_t* picture = softPicture(CAIRO_FORMAT_ARGB32);
    // A band tilted by a degree, partly past the screen's left edge, under a skin.
    DrawCommand band;
    band.texture = factory.fromCairo(picture, 75, 45, TextureFactory::Use::Turned);
    band.destination = {-20.5f, 30.25f, 150, 90};
    band.angleDegrees = 1;
    band.clip = screen;
    band.key = 1;
    DrawCommand skin;
    skin.destination = {0, 0, 200, 160};
    skin.clip = screen;
    skin.key = 2;
    // The same band turned whole, with nothing above it.
    TurnedPictures alone(software.renderer, factory);
    DisplayList bandAlone;
    bandAlone.commands = {band};
    alone.prepare(bandAlone, 1, 0);
    const DrawCommand whole = bandAlone.commands[0];
    ASSERT_TRUE(whole.prepared);

    struct Window {
        double x, y, radius;
    };
    unsigned long frame = 1;
    for (const Window window : {Window{70, 75, 30.5}, Window{10, 40, 25}, Window{0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << "window at (" << window.x << ", " << window.y << "), radius " << window.radius);
        skin.texture = skinWithWindow(factory, 200, 160, window.x, window.y, window.radius);
        DisplayList list;
        list.commands = {band, skin};
        ++frame;
        turned.prepare(list, frame, platform::Nanoseconds(frame));
        turned.endFrame(frame, platform::Nanoseconds(frame));
        const DrawCommand part = list.commands[0];
        ASSERT_TRUE(part.prepared);
        // Through a window 61 pixels across, a copy of the tiles around it, well under half
        // the band on the screen; where none shows, a pixel stands for it. Copies made
        // under another skin are gone.
        const int partPixels = part.prepared->widthPixels * part.prepared->heightPixels;
        const int wholePixels = whole.prepared->widthPixels * whole.prepared->heightPixels;
        EXPECT_LT(partPixels * 2, wholePixels);
        if (window.radius == 0) {
            EXPECT_EQ(partPixels, 1);
        }
        EXPECT_EQ(turned.turnedBytes(), textureBytes(*part.prepared));
        // As composed, and slid sideways with both pieces and their clip, as a sliding
        // screen's outgoing content is: pixels that were past the screen's edge stay out.
        for (const float shift : {0.0f, 37.5f, 61.75f, -44.25f}) {
            SCOPED_TRACE(testing::Message() << "slid by " << shift);
            const auto slid = [&](DrawCommand c, const DrawCommand& copy) {
                c.prepared = copy.prepared;
                c.preparedDestination = copy.preparedDestination;
                c.destination.x += shift;
                c.preparedDestination.x += shift;
                c.clip.x += static_cast<int>(std::lround(shift));
                c.clip = support::intersect(c.clip, screen);
                return c;
            };
            const std::vector<Uint32> fromPart = drawn(software, {slid(band, part), slid(skin, skin)});
            const std::vector<Uint32> fromWhole = drawn(software, {slid(band, whole), slid(skin, skin)});
            // Turned about a centre placed elsewhere in its copy, a pixel's samples can round
            // a level apart: the same to the eye, where a missing piece of the band is not.
            EXPECT_LE(largestDifference(fromPart, fromWhole), 1);
        }
    }
    cairo_surface_destroy(picture);
}

TEST(TurnedPictures, AMostlyClearCopyIsKeptInPartsAndDrawsTheSame)
{
    SoftwareTarget software(120, 600);
    ASSERT_NE(software.renderer, nullptr) << SDL_GetError();
    TextureFactory factory(software.renderer, ".");
    TurnedPictures turned(software.renderer, factory);
    // A line of soft-edged writing on a long clear strip, as a label is, turned on its side.
    cairo_surface_t* strip = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 560, 40);
    cairo_t* c = cairo_create(strip);
    cairo_set_source_rgba(c, 0.1, 0.1, 0.5, 0.9);
    for (int letter = 0; letter < 5; ++letter)
        cairo_arc(c, 20 + letter * 17.3, 20, 7.4, 0, 2 * std::numbers::pi);
    cairo_fill(c);
    cairo_set_source_rgb(c, 0.9, 0.2, 0.1);
    cairo_rectangle(c, 130, 4, 40, 32);   // and an opaque block of one colour
    cairo_fill(c);
    cairo_destroy(c);
    cairo_surface_flush(strip);
    DrawCommand label;
    label.texture = factory.fromCairo(strip, 560, 40, TextureFactory::Use::Turned);
    label.destination = {-220.5f, 280.25f, 560, 40};
    label.angleDegrees = -90;
    label.clip = {0, 0, 120, 600};
    DisplayList list;
    list.commands = {label};
    turned.prepare(list, 1, 0);
    const DrawCommand& inParts = list.commands[0];
    ASSERT_TRUE(inParts.prepared);
    ASSERT_FALSE(inParts.prepared->parts.empty());
    const std::size_t wholeBytes = std::size_t(inParts.prepared->widthPixels) * std::size_t(inParts.prepared->heightPixels) * 4;
    EXPECT_LT(textureBytes(*inParts.prepared) * 2, wholeBytes);
    EXPECT_EQ(turned.turnedBytes(), textureBytes(*inParts.prepared));
    // Drawn over a ground of several colours, as cairo's own turn of the strip drawn whole.
    DrawCommand whole = inParts;
    const std::vector<Uint32> expected = turnedByCairo(strip, inParts);
    whole.prepared = factory.fromPixels(expected.data(), inParts.prepared->widthPixels, inParts.prepared->heightPixels,
                                        SDL_PIXELFORMAT_ARGB8888, SDL_BLENDMODE_BLEND);
    ASSERT_TRUE(whole.prepared);
    DrawCommand ground;
    ground.destination = {0, 0, 120, 600};
    ground.clip = label.clip;
    ground.color = {40, 160, 90, 255};
    DrawCommand band = ground;
    band.destination = {30, 0, 25, 600};
    band.color = {250, 250, 240, 255};
    const std::vector<Uint32> fromParts = drawn(software, {ground, band, inParts});
    const std::vector<Uint32> fromWhole = drawn(software, {ground, band, whole});
    std::size_t differing = 0;
    for (std::size_t i = 0; i < fromWhole.size(); ++i)
        differing += fromParts[i] != fromWhole[i];
    EXPECT_EQ(differing, 0u);
    cairo_surface_destroy(strip);
}

TEST(TurnedPictures, ATurningPictureKeepsOnlyItsPixelsUnlessShownUprightInTheSameFrame)
{
    SoftwareTarget software;
    ASSERT_NE(software.renderer, nullptr) << SDL_GetError();
    testsupport::ScratchFolder folder;
    cairo_surface_t* picture = softPicture(CAIRO_FORMAT_ARGB32);
    ASSERT_EQ(cairo_surface_write_to_png(picture, (folder / "reel.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(picture);
    TextureFactory factory(software.renderer, folder.path());
    const std::size_t pixelBytes = 150u * 90u * 4u;

    factory.beginFrame(1);
    const TexturePtr turning = factory.picture("reel.png", TextureFactory::Use::Turning);
    ASSERT_TRUE(turning);
    EXPECT_EQ(turning->handle, nullptr);
    ASSERT_NE(turning->pixels, nullptr);
    EXPECT_EQ(textureBytes(*turning), pixelBytes);
    EXPECT_EQ(factory.picture("reel.png", TextureFactory::Use::Turned), turning);

    // Upright in a later frame: loaded again for that alone.
    factory.beginFrame(2);
    const TexturePtr upright = factory.picture("reel.png", TextureFactory::Use::Upright);
    ASSERT_TRUE(upright);
    EXPECT_NE(upright->handle, nullptr);
    EXPECT_EQ(upright->pixels, nullptr);
    // Turning in the same frame as well: loaded once more, for both, and then it serves both.
    const TexturePtr both = factory.picture("reel.png", TextureFactory::Use::Turning);
    ASSERT_TRUE(both);
    EXPECT_NE(both->handle, nullptr);
    EXPECT_NE(both->pixels, nullptr);
    EXPECT_EQ(factory.picture("reel.png", TextureFactory::Use::Upright), both);
    EXPECT_EQ(factory.picture("reel.png", TextureFactory::Use::Turning), both);
    EXPECT_EQ(factory.pictureBytes(), 2 * pixelBytes);

    // Nothing is drawn for a turning piece that was not turned from its pixels.
    DrawCommand reel;
    reel.texture = turning;
    reel.destination = {0, 0, 64, 64};
    reel.angleDegrees = 30;
    reel.turning = true;
    reel.clip = {0, 0, 64, 64};
    EXPECT_TRUE(drawn(software, {reel}) == drawn(software, {}));
}

TEST(TurnedPictures, PiecesAlikeAWholeNumberOfPixelsApartShareOneCopyOfWhatShowsOfEither)
{
    SoftwareTarget software(200, 200);
    ASSERT_NE(software.renderer, nullptr) << SDL_GetError();
    TextureFactory factory(software.renderer, ".");
    TurnedPictures turned(software.renderer, factory);
    const SDL_Rect screen{0, 0, 200, 200};
    cairo_surface_t* picture = softPicture(CAIRO_FORMAT_ARGB32);
    DrawCommand upper;
    upper.texture = factory.fromCairo(picture, 75, 45, TextureFactory::Use::Turned);
    upper.destination = {20.5f, 10.25f, 150, 90};
    upper.angleDegrees = -1;
    upper.clip = screen;
    upper.key = 1;
    DrawCommand lower = upper;   // 80 pixels lower
    lower.destination.y += 80;
    lower.key = 2;
    DrawCommand apart = upper;   // half a pixel further right
    apart.destination.x += 40.5f;
    apart.key = 3;
    // A window showing the lower edge of the upper band and the upper edge of the lower one.
    DrawCommand skin;
    skin.texture = skinWithWindow(factory, 200, 200, 95, 95, 30);
    skin.destination = {0, 0, 200, 200};
    skin.clip = screen;
    skin.key = 4;
    DisplayList list;
    list.commands = {upper, lower, apart, skin};
    turned.prepare(list, 1, 0);
    const DrawCommand& a = list.commands[0];
    const DrawCommand& b = list.commands[1];
    const DrawCommand& c = list.commands[2];
    ASSERT_TRUE(a.prepared && b.prepared && c.prepared);
    EXPECT_EQ(a.prepared, b.prepared);
    EXPECT_NE(a.prepared, c.prepared);
    EXPECT_EQ(turned.turnedBytes(), textureBytes(*a.prepared) + textureBytes(*c.prepared));
    // Each shows what its whole copy would, where the window lets it, but for samples
    // rounded a level or two apart (the centre lies elsewhere in each copy).
    std::vector<DrawCommand> fromWhole = list.commands;
    for (std::size_t i = 0; i < 3; ++i) {
        TurnedPictures alone(software.renderer, factory);
        DisplayList one;
        one.commands = {list.commands[i]};
        one.commands[0].prepared = nullptr;
        alone.prepare(one, 1, 0);
        ASSERT_TRUE(one.commands[0].prepared);
        fromWhole[i].prepared = one.commands[0].prepared;
        fromWhole[i].preparedDestination = one.commands[0].preparedDestination;
    }
    const std::vector<Uint32> shared = drawn(software, list.commands);
    const std::vector<Uint32> whole = drawn(software, fromWhole);
    EXPECT_LE(largestDifference(shared, whole), 2);
    cairo_surface_destroy(picture);
}

TEST(TurnedPictures, ADrawingKeptInPartsIsTurnedAsTheWholeDrawingIs)
{
    SoftwareTarget software(400, 400);
    ASSERT_NE(software.renderer, nullptr) << SDL_GetError();
    TextureFactory factory(software.renderer, ".");
    TapeBandCircleUIView ring({0, 0, 153, 153});
    ring.setPixelFromBandToSuppress(30);
    const TexturePtr inParts = factory.drawing(ring, TextureFactory::Use::Turned);
    const TexturePtr whole = factory.drawing(ring, TextureFactory::Use::Every);
    ASSERT_TRUE(inParts && whole);
    ASSERT_FALSE(inParts->parts.empty());
    ASSERT_TRUE(whole->parts.empty());
    std::vector<Uint32> shown[2];
    for (int i = 0; i < 2; ++i) {
        TurnedPictures turned(software.renderer, factory);
        DrawCommand command;
        command.texture = i == 0 ? inParts : whole;
        command.destination = {37.5f, 41.25f, 306, 306};
        command.angleDegrees = 17;
        command.clip = {0, 0, 400, 400};
        DisplayList list;
        list.commands = {command};
        turned.prepare(list, 1, 0);
        ASSERT_TRUE(list.commands[0].prepared);
        DrawCommand ground;
        ground.destination = {0, 0, 400, 400};
        ground.clip = command.clip;
        ground.color = {200, 120, 40, 255};
        shown[i] = drawn(software, {ground, list.commands[0]});
    }
    std::size_t differing = 0;
    for (std::size_t i = 0; i < shown[1].size(); ++i)
        differing += shown[0][i] != shown[1][i];
    EXPECT_EQ(differing, 0u);
}

// A turning picture drawn four pixels at a time gives what two at a time give, at any
// place, size, angle and region: rows that start and end anywhere, a picture scaled
// and not, round or not.
TEST(TurnedPictures, ATurningPictureComesOutTheSameWhateverTheNumberOfPixelsTurnedAtOnce)
{
    cairo_surface_t* picture = softPicture(CAIRO_FORMAT_ARGB32);
    auto texture = std::make_shared<Texture>();
    texture->pixels.reset(cairo_surface_reference(picture), cairo_surface_destroy);
    texture->widthPixels = 150;
    texture->heightPixels = 90;
    const auto surfaceWithGround = [] {
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 320, 240, 32, SDL_PIXELFORMAT_RGB888);
        auto* pixels = static_cast<Uint32*>(surface->pixels);
        for (int i = 0; i < surface->w * surface->h; ++i)
            pixels[i] = (Uint32(i) * 2654435761u) & 0x00ffffffu;
        return surface;
    };
    int compared = 0;
    for (const bool round : {false, true})
        for (const SDL_FRect destination : {SDL_FRect{40.25f, 30.5f, 150, 90}, SDL_FRect{21.7f, 13.1f, 233.3f, 171.9f}})
            for (const double degrees : {0.5, -17.0, 45.0, 90.0, 133.7, -179.2})
                for (const SDL_Rect region : {SDL_Rect{0, 0, 320, 240}, SDL_Rect{61, 47, 37, 101}, SDL_Rect{100, 3, 1, 200},
                                              SDL_Rect{33, 120, 203, 3}}) {
                    SCOPED_TRACE(testing::Message() << "round " << round << ", " << destination.w << " wide, turned by "
                                                    << degrees << ", region at " << region.x << ", " << region.y);
                    texture->roundContent = round;
                    DrawCommand command;
                    command.texture = texture;
                    command.turning = true;
                    command.destination = destination;
                    command.angleDegrees = degrees;
                    command.clip = {0, 0, 320, 240};
                    ASSERT_TRUE(canTurnOnto(command));
                    SDL_Surface* widest = surfaceWithGround();
                    SDL_Surface* pairs = surfaceWithGround();
                    turnOnto(widest, command, region, TurnLanes::Widest);
                    turnOnto(pairs, command, region, TurnLanes::Pairs);
                    int differing = 0, changed = 0;
                    SDL_Surface* ground = surfaceWithGround();
                    for (int i = 0; i < 320 * 240; ++i) {
                        differing += static_cast<Uint32*>(widest->pixels)[i] != static_cast<Uint32*>(pairs->pixels)[i];
                        changed += static_cast<Uint32*>(pairs->pixels)[i] != static_cast<Uint32*>(ground->pixels)[i];
                    }
                    EXPECT_EQ(differing, 0);
                    EXPECT_GT(changed, 0);
                    compared += changed;
                    for (SDL_Surface* s : {widest, pairs, ground})
                        SDL_FreeSurface(s);
                }
    EXPECT_GT(compared, 100000);
    cairo_surface_destroy(picture);
}
