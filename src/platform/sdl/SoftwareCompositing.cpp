#include "platform/sdl/Compositor.h"

#include "platform/sdl/CompositorSupport.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

// What a software renderer needs that a graphics chip does not: turned copies of
// pictures made once with cairo, the unchanged top of the screen kept as one
// picture, and the layer below a turning reel kept between frames.
//
// Sections: turned pictures · the stable top and the kept layer below a reel.

namespace platform::sdl {

using namespace support;

namespace {

// Turning pictures are kept turned in steps of this many degrees on software renderers,
// as long as one revolution's worth stays under the byte limit.
constexpr double turningStepDegrees = 2;
constexpr double maxTurningCacheBytes = 96.0 * 1024 * 1024;
// What may be kept of the layers below turning reels, in bytes.
constexpr std::size_t maxKeptBelowBytes = 32 * 1024 * 1024;
// Side of the squares in which the kept top is known to be opaque or not, in pixels.
constexpr int topStackTile = 16;

// Whether a kept piece shows exactly what the frame's piece shows, turned copy included.
bool showsTheSame(const DrawCommand& kept, const DrawCommand& piece) noexcept
{
    return kept.key == piece.key && kept.sameAs(piece) && kept.prepared == piece.prepared;
}

} // namespace

// --- Turned pictures ---------------------------------------------------------------------

void support::unpremultiply(unsigned char* data, int width, int height, int pitch)
{
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<Uint32*>(data + static_cast<std::ptrdiff_t>(y) * pitch);
        for (int x = 0; x < width; ++x) {
            const Uint32 alpha = row[x] >> 24;
            if (alpha != 255 && alpha != 0)
                row[x] = straightPixel(row[x]);
        }
    }
}

namespace {

// Draws the picture turned about its centre, which lands at (centerX, centerY) of
// the target, at the given size in pixels.
void paintTurned(cairo_surface_t* target, cairo_surface_t* picture, double width, double height, double degrees,
                 double centerX, double centerY)
{
    cairo_t* cairo = cairo_create(target);
    cairo_set_operator(cairo, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cairo);
    cairo_set_operator(cairo, CAIRO_OPERATOR_OVER);
    cairo_translate(cairo, centerX, centerY);
    cairo_rotate(cairo, degrees * std::numbers::pi / 180.0);
    cairo_translate(cairo, -width / 2.0, -height / 2.0);
    cairo_scale(cairo, width / cairo_image_surface_get_width(picture), height / cairo_image_surface_get_height(picture));
    cairo_set_source_surface(cairo, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_BILINEAR);
    cairo_paint(cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(target);
}

// The smallest turn (in degrees) that maps the picture onto itself, for pictures
// with spokes; 0 when it has no such symmetry. Compares the picture with itself
// turned by 360/k for a few k, allowing for resampling blur.
double symmetryPeriodDegrees(cairo_surface_t* picture)
{
    const int width = cairo_image_surface_get_width(picture);
    const int height = cairo_image_surface_get_height(picture);
    if (width != height || width < 16)
        return 0;
    SurfacePtr turned(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo_surface_flush(picture);
    const unsigned char* original = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    for (const int k : {12, 10, 8, 6, 5, 4, 3, 2}) {
        const double period = 360.0 / k;
        paintTurned(turned.get(), picture, width, height, period, width / 2.0, height / 2.0);
        const unsigned char* other = cairo_image_surface_get_data(turned.get());
        const int otherStride = cairo_image_surface_get_stride(turned.get());
        // Mean difference per channel, over the pixels either picture paints.
        double difference = 0;
        long counted = 0;
        for (int y = 0; y < height; ++y) {
            const auto* a = reinterpret_cast<const Uint32*>(original + static_cast<std::ptrdiff_t>(y) * stride);
            const auto* b = reinterpret_cast<const Uint32*>(other + static_cast<std::ptrdiff_t>(y) * otherStride);
            for (int x = 0; x < width; ++x) {
                if ((a[x] | b[x]) == 0)
                    continue;
                ++counted;
                for (int shift = 0; shift < 32; shift += 8)
                    difference += std::abs(int((a[x] >> shift) & 0xff) - int((b[x] >> shift) & 0xff));
            }
        }
        if (counted > 0 && difference / (4.0 * double(counted)) < 3.0)
            return period;
    }
    return 0;
}

} // namespace

// The software renderer turns a texture by resampling all of it into a new surface
// at every draw, even when only a corner of it is to be redrawn, and slowly. Here
// cairo turns it instead, and the result is kept: a picture standing at a fixed
// angle (a tilted band, a turned label) is turned once. A turning picture with
// spokes repeats itself every period, so its turns are kept per degree within one
// period and a turning reel costs one blit per frame; other turning pictures are
// resampled into a reused buffer at every frame.
void Compositor::prepareTurn(DrawCommand& command, bool turning)
{
    if (!software_ || command.angleDegrees == 0 || !command.texture || !command.texture->pixels)
        return;
    const SDL_Rect area = [&] {
        DrawCommand unclipped = command;
        unclipped.clip = {-(1 << 28), -(1 << 28), 1 << 29, 1 << 29};
        return unclipped.bounds();
    }();
    if (area.w <= 0 || area.h <= 0 || area.w > 8192 || area.h > 8192)
        return;
    const SDL_FRect& d = command.destination;
    const double centerX = double(d.x) + d.w / 2.0 - area.x;
    const double centerY = double(d.y) + d.h / 2.0 - area.y;
    cairo_surface_t* picture = command.texture->pixels.get();

    double degrees = command.angleDegrees;
    double centerInAreaX = centerX, centerInAreaY = centerY;
    if (turning) {
        auto [entry, isNew] = symmetryPeriods_.try_emplace(command.texture->id, 0.0);
        if (isNew)
            entry->second = symmetryPeriodDegrees(picture);
        const double period = entry->second > 0 ? entry->second : 360.0;
        const double turns = std::ceil(period / turningStepDegrees);
        const double bytes = turns * double(area.w) * double(area.h) * 4;
        if (bytes <= maxTurningCacheBytes) {
            // Kept turns every couple of degrees; whole pixels for the centre, so that
            // both reels, which share their picture, share the turns too.
            degrees = std::fmod(degrees, period);
            if (degrees < 0)
                degrees += period;
            degrees = std::fmod(std::round(degrees / turningStepDegrees) * turningStepDegrees, period);
            centerInAreaX = std::round(centerX);
            centerInAreaY = std::round(centerY);
        } else {
            TurnBuffer& buffer = turnBuffers_[command.key];
            buffer.frame = frameNumber_;
            if (!buffer.texture || buffer.texture->widthPixels != area.w || buffer.texture->heightPixels != area.h) {
                SDL_Texture* handle =
                    SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, area.w, area.h);
                if (!handle)
                    return;
                SDL_SetTextureBlendMode(handle, SDL_BLENDMODE_BLEND);
                buffer.texture = std::make_shared<Texture>();
                buffer.texture->handle = handle;
                buffer.texture->widthPixels = area.w;
                buffer.texture->heightPixels = area.h;
                ++texturesMade_;
            }
            void* pixels = nullptr;
            int pitch = 0;
            if (SDL_LockTexture(buffer.texture->handle, nullptr, &pixels, &pitch) != 0)
                return;
            SurfacePtr target(cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels),
                                                                  CAIRO_FORMAT_ARGB32, area.w, area.h, pitch));
            paintTurned(target.get(), picture, d.w, d.h, degrees, centerX, centerY);
            unpremultiply(static_cast<unsigned char*>(pixels), area.w, area.h, pitch);
            SDL_UnlockTexture(buffer.texture->handle);
            command.prepared = buffer.texture;
            command.preparedDestination = {float(area.x), float(area.y), float(area.w), float(area.h)};
            return;
        }
    }

    const auto key = std::make_tuple(command.texture->id, degrees, static_cast<float>(centerInAreaX),
                                     static_cast<float>(centerInAreaY), d.w, d.h);
    auto it = turned_.find(key);
    if (it == turned_.end()) {
        SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.w, area.h));
        paintTurned(surface.get(), picture, d.w, d.h, degrees, centerInAreaX, centerInAreaY);
        Turned turned;
        turned.texture = textureFromCairo(surface.get(), float(area.w), float(area.h));
        if (!turned.texture)
            return;
        it = turned_.emplace(key, std::move(turned)).first;
    }
    it->second.lastUsed = frameTime_;
    it->second.turning = turning;
    command.prepared = it->second.texture;
    command.preparedDestination = {float(area.x), float(area.y), float(area.w), float(area.h)};
}

// --- The stable top and the kept layer below a reel ---------------------------------------
//
// A software renderer pays for every blended pixel, and a playing cassette redraws
// its two reels at every frame and both tape bands at every tick. Two kinds of
// kept pictures save most of it:
//  - the top of the display list that did not change since the last frame (the
//    skin, the labels, the toolbar) is kept as one picture with a map of where it
//    is opaque; below its opaque parts nothing needs drawing at all;
//  - in a region redrawn at every frame because a reel turns in it, what lies below
//    the reel is read back from the frame once and copied in the following frames.

void Compositor::updateTopStack()
{
    const auto& now = current_.commands;
    const auto& before = previous_.commands;
    std::size_t k = now.size(), j = before.size();
    while (k > 0 && j > 0) {
        const DrawCommand& a = now[k - 1];
        const DrawCommand& b = before[j - 1];
        if (!showsTheSame(b, a) || a.turning
            || (a.blendMode != SDL_BLENDMODE_BLEND && a.blendMode != SDL_BLENDMODE_NONE))
            break;
        --k;
        --j;
    }
    if (k == now.size()) {
        topStack_.reset();
        return;
    }
    if (topStack_ && topStack_->pieces.size() == now.size() - k) {
        bool same = true;
        for (std::size_t i = 0; i < topStack_->pieces.size() && same; ++i)
            same = showsTheSame(topStack_->pieces[i], now[k + i]);
        if (same) {
            topStack_->first = k;
            return;
        }
    }
    topStack_.reset();

    // Drawn over transparent black, SDL's blending leaves premultiplied colour.
    const SDL_Rect screen = screenRectPixels();
    SDL_Texture* target =
        SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, screen.w, screen.h);
    if (!target)
        return;
    SDL_Texture* previous = SDL_GetRenderTarget(renderer_);
    SDL_SetRenderTarget(renderer_, target);
    SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 0);
    SDL_RenderSetClipRect(renderer_, nullptr);
    SDL_RenderClear(renderer_);
    for (std::size_t i = k; i < now.size(); ++i)
        drawCommand(now[i], screen, {screen.x, screen.y});
    const std::size_t count = static_cast<std::size_t>(screen.w) * static_cast<std::size_t>(screen.h);
    const auto pixels = std::make_unique_for_overwrite<Uint32[]>(count);
    SDL_RenderSetClipRect(renderer_, nullptr);
    const bool read = SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.get(), screen.w * 4) == 0;
    SDL_SetRenderTarget(renderer_, previous);
    SDL_DestroyTexture(target);
    if (!read)
        return;

    auto stack = std::make_unique<TopStack>();
    stack->first = k;
    stack->builtInFrame = frameNumber_;
    stack->pieces.assign(now.begin() + static_cast<std::ptrdiff_t>(k), now.end());
    stack->origin = {screen.x, screen.y};
    stack->tilesAcross = (screen.w + topStackTile - 1) / topStackTile;
    stack->tilesDown = (screen.h + topStackTile - 1) / topStackTile;
    const std::size_t tiles = static_cast<std::size_t>(stack->tilesAcross) * static_cast<std::size_t>(stack->tilesDown);
    stack->open.assign(tiles, false);
    stack->painted.assign(tiles, false);
    for (int y = 0; y < screen.h; ++y) {
        const Uint32* row = pixels.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(screen.w);
        const std::size_t tileRow = static_cast<std::size_t>(y / topStackTile) * static_cast<std::size_t>(stack->tilesAcross);
        for (int x = 0; x < screen.w; ++x) {
            const Uint32 alpha = row[x] >> 24;
            const std::size_t tile = tileRow + static_cast<std::size_t>(x / topStackTile);
            if (alpha != 255)
                stack->open[tile] = true;
            if (alpha != 0)
                stack->painted[tile] = true;
        }
    }
    // Where nothing shows through, it does not matter what the top paints; where the
    // top paints nothing, it need not be drawn at all.
    for (std::size_t i = 0; i < tiles; ++i)
        stack->painted[i] = stack->painted[i] && stack->open[i];
    unpremultiply(reinterpret_cast<unsigned char*>(pixels.get()), screen.w, screen.h, screen.w * 4);
    stack->texture = staticTexture(pixels.get(), screen.w, screen.h, SDL_PIXELFORMAT_ARGB8888, SDL_BLENDMODE_BLEND);
    if (stack->texture)
        topStack_ = std::move(stack);
}

// The parts of the region where the kept top is not opaque, as few rectangles:
// per row of tiles the span from the first open tile to the last, and rows merged
// while that wastes little. Every rectangle drawn costs a round of draw calls, so a
// few slightly large rectangles beat many exact ones.
std::vector<SDL_Rect> Compositor::openRects(const SDL_Rect& region, const std::vector<bool>& tiles) const
{
    const TopStack& stack = *topStack_;
    const int tile = topStackTile;
    const int left = std::max(0, (region.x - stack.origin.x) / tile);
    const int right = std::min(stack.tilesAcross - 1, (region.x + region.w - 1 - stack.origin.x) / tile);
    const int top = std::max(0, (region.y - stack.origin.y) / tile);
    const int bottom = std::min(stack.tilesDown - 1, (region.y + region.h - 1 - stack.origin.y) / tile);
    std::vector<SDL_Rect> rects;
    long mergedArea = 0;   // the open rows' own area within the last rectangle
    for (int row = top; row <= bottom; ++row) {
        int first = -1, last = -1;
        for (int col = left; col <= right; ++col)
            if (tiles[static_cast<std::size_t>(row) * static_cast<std::size_t>(stack.tilesAcross)
                      + static_cast<std::size_t>(col)]) {
                if (first < 0)
                    first = col;
                last = col;
            }
        if (first < 0)
            continue;
        const SDL_Rect span =
            intersect({stack.origin.x + first * tile, stack.origin.y + row * tile, (last - first + 1) * tile, tile}, region);
        if (isEmpty(span))
            continue;
        const long spanArea = long(span.w) * span.h;
        if (!rects.empty()) {
            SDL_Rect& previous = rects.back();
            if (previous.y + previous.h == span.y) {
                const SDL_Rect together = unite(previous, span);
                if (long(together.w) * together.h * 4 <= (mergedArea + spanArea) * 5) {
                    previous = together;
                    mergedArea += spanArea;
                    continue;
                }
            }
        }
        rects.push_back(span);
        mergedArea = spanArea;
    }
    return rects;
}

// Where the top paints over something, and where it is opaque but a rectangle drawn
// below reached over it: open rectangles span from the first open tile of a row to
// the last and merge rows, so they cross opaque tiles too.
std::vector<bool> Compositor::topTilesToRedraw(const std::vector<SDL_Rect>& drawnBelow) const
{
    const TopStack& stack = *topStack_;
    const int tile = topStackTile;
    std::vector<bool> tiles = stack.painted;
    for (const SDL_Rect& rect : drawnBelow) {
        const int left = (rect.x - stack.origin.x) / tile;
        const int right = (rect.x + rect.w - 1 - stack.origin.x) / tile;
        const int top = (rect.y - stack.origin.y) / tile;
        const int bottom = (rect.y + rect.h - 1 - stack.origin.y) / tile;
        for (int row = top; row <= bottom; ++row)
            for (int col = left; col <= right; ++col) {
                const std::size_t i = static_cast<std::size_t>(row) * static_cast<std::size_t>(stack.tilesAcross)
                                      + static_cast<std::size_t>(col);
                if (!stack.open[i])
                    tiles[i] = true;
            }
    }
    return tiles;
}

// Draws the pieces inside the rectangle. When a reel turns there and the same
// rectangle was drawn in the frame before, what lies below the reel is kept.
void Compositor::drawPieces(const SDL_Rect& rect, const std::vector<const DrawCommand*>& all)
{
    std::vector<const DrawCommand*> pieces;
    pieces.reserve(all.size());
    for (const DrawCommand* piece : all) {
        if (covers(*piece, rect))
            pieces.clear();
        const SDL_Rect b = piece->bounds();
        if (SDL_HasIntersection(&rect, &b))
            pieces.push_back(piece);
    }
    std::size_t firstTurning = pieces.size();
    for (std::size_t i = 0; i < pieces.size() && firstTurning == pieces.size(); ++i)
        if (pieces[i]->turning)
            firstTurning = i;
    const auto plain = [&] {
        for (const DrawCommand* piece : pieces)
            drawCommand(*piece, rect, {0, 0});
    };
    if (!software_ || firstTurning == pieces.size() || firstTurning == 0 || !covers(*pieces.front(), rect)) {
        plain();
        return;
    }

    const auto samePieces = [&](const KeptBelow& kept) {
        if (!kept.texture || kept.pieces.size() != firstTurning)
            return false;
        for (std::size_t i = 0; i < firstTurning; ++i)
            if (!showsTheSame(kept.pieces[i], *pieces[i]))
                return false;
        return true;
    };
    bool seen = false;
    for (KeptBelow& kept : keptBelow_) {
        if (!SDL_RectEquals(&kept.rect, &rect))
            continue;
        seen = true;
        if (!samePieces(kept))
            continue;
        kept.frame = frameNumber_;
        const SDL_FRect whole{float(rect.x), float(rect.y), float(rect.w), float(rect.h)};
        SDL_RenderSetClipRect(renderer_, &rect);
        SDL_SetTextureBlendMode(kept.texture->handle, SDL_BLENDMODE_NONE);
        SDL_RenderCopyF(renderer_, kept.texture->handle, nullptr, &whole);
        for (std::size_t i = firstTurning; i < pieces.size(); ++i)
            drawCommand(*pieces[i], rect, {0, 0});
        return;
    }
    if (!seen) {
        // Seen once: it may never come back; only remember the rectangle.
        keptBelow_.push_back({rect, frameNumber_, nullptr, {}});
        plain();
        return;
    }
    // Drawn in place, then read back: keeping what lies below costs one copy. The
    // wobble poses the bands four ways in turn, so several versions are kept.
    for (std::size_t i = 0; i < firstTurning; ++i)
        drawCommand(*pieces[i], rect, {0, 0});
    KeptBelow kept{rect, frameNumber_, readBack(rect), {}};
    for (std::size_t i = 0; i < firstTurning; ++i)
        kept.pieces.push_back(*pieces[i]);
    keptBelow_.push_back(std::move(kept));
    for (std::size_t i = firstTurning; i < pieces.size(); ++i)
        drawCommand(*pieces[i], rect, {0, 0});
}

// What the renderer's target holds in the rectangle, as a texture.
TexturePtr Compositor::readBack(const SDL_Rect& rect)
{
    // Read and kept in the target's own format, so that both ways are plain copies.
    const std::size_t count = static_cast<std::size_t>(rect.w) * static_cast<std::size_t>(rect.h);
    const auto pixels = std::make_unique_for_overwrite<Uint32[]>(count);
    SDL_RenderSetClipRect(renderer_, nullptr);
    if (SDL_BYTESPERPIXEL(targetFormat_) != 4
        || SDL_RenderReadPixels(renderer_, &rect, targetFormat_, pixels.get(), rect.w * 4) != 0)
        return nullptr;
    auto texture = staticTexture(pixels.get(), rect.w, rect.h, targetFormat_, SDL_BLENDMODE_NONE);
    if (texture)
        texture->opaque = true;
    return texture;
}

void Compositor::forgetUnusedKeptLayers()
{
    // Kept pictures not used for a while go, and the oldest go first beyond a limit.
    std::erase_if(keptBelow_, [this](const KeptBelow& kept) { return kept.frame + 120 < frameNumber_; });
    std::size_t bytes = 0;
    for (const KeptBelow& kept : keptBelow_)
        bytes += std::size_t(kept.rect.w) * std::size_t(kept.rect.h) * 4;
    while (bytes > maxKeptBelowBytes) {
        const auto oldest = std::min_element(keptBelow_.begin(), keptBelow_.end(),
                                             [](const KeptBelow& a, const KeptBelow& b) { return a.frame < b.frame; });
        bytes -= std::size_t(oldest->rect.w) * std::size_t(oldest->rect.h) * 4;
        keptBelow_.erase(oldest);
    }
}

} // namespace platform::sdl
