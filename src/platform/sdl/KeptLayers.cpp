#include "platform/sdl/KeptLayers.h"

#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/TextureFactory.h"
#include "platform/sdl/TurnedPictures.h"

#include <cairo.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ranges>

namespace platform::sdl {

using namespace support;

namespace {

// What may be kept of the layers below turning reels, in bytes: both reels' squares
// in each of the wobble's four poses at 3×, with room to spare.
constexpr std::size_t maxKeptBelowBytes = 6 * 1024 * 1024;
// Side of the squares in which the kept top is known to be opaque or not, in pixels.
constexpr int topStackTile = 16;

// Whether a kept piece shows exactly what the frame's piece shows, turned copy included.
bool showsTheSame(const DrawCommand& kept, const DrawCommand& piece) noexcept
{
    return kept.key == piece.key && kept.sameAs(piece) && kept.prepared == piece.prepared;
}

// A surface whose pixels blendOver and a fill may write: 32 bits, red, green and
// blue where ARGB has them.
bool writableDirectly(const SDL_Surface* surface) noexcept
{
    const SDL_PixelFormat* f = surface ? surface->format : nullptr;
    return f && f->BytesPerPixel == 4 && f->Rmask == 0x00ff0000u && f->Gmask == 0x0000ff00u && f->Bmask == 0x000000ffu
           && (f->Amask == 0 || f->Amask == 0xff000000u);
}

} // namespace

void support::blendOver(Uint32* target, const Uint32* pixels, int count) noexcept
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i opaqueBits = _mm_set1_epi32(static_cast<int>(0xff000000u));
    const __m128i full = _mm_set1_epi16(255);
    const __m128i alphaLanes = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    for (; x + 4 <= count; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
        const __m128i alpha = _mm_and_si128(s, opaqueBits);
        const __m128i clear = _mm_cmpeq_epi32(alpha, zero);
        const int clearMask = _mm_movemask_epi8(clear);
        if (clearMask == 0xffff)
            continue;
        auto* out = reinterpret_cast<__m128i*>(target + x);
        const __m128i opaque = _mm_cmpeq_epi32(alpha, opaqueBits);
        if (_mm_movemask_epi8(opaque) == 0xffff) {
            _mm_storeu_si128(out, s);
            continue;
        }
        const __m128i d = _mm_loadu_si128(out);
        // Each pixel's alpha in its four channels' lanes.
        const __m128i a = _mm_srli_epi32(s, 24);
        const __m128i pairs = _mm_or_si128(a, _mm_slli_epi32(a, 16));
        const auto mixed = [&](__m128i weights, __m128i source, __m128i below) {
            const __m128i up = _mm_srli_epi16(_mm_mullo_epi16(source, _mm_max_epi16(weights, alphaLanes)), 8);
            const __m128i down = _mm_srli_epi16(_mm_mullo_epi16(below, _mm_sub_epi16(full, weights)), 8);
            return _mm_add_epi16(up, down);
        };
        const __m128i low = mixed(_mm_unpacklo_epi32(pairs, pairs), _mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
        const __m128i high = mixed(_mm_unpackhi_epi32(pairs, pairs), _mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
        const __m128i blended = _mm_packus_epi16(low, high);
        const __m128i kept = _mm_or_si128(_mm_and_si128(clear, d), _mm_and_si128(opaque, s));
        _mm_storeu_si128(out, _mm_or_si128(_mm_andnot_si128(_mm_or_si128(clear, opaque), blended), kept));
    }
#endif
    for (; x < count; ++x) {
        const Uint32 s = pixels[x], a = s >> 24;
        if (a == 0)
            continue;
        if (a == 255) {
            target[x] = s;
            continue;
        }
        const Uint32 d = target[x];
        Uint32 out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const Uint32 weight = shift == 24 ? 255 : a;
            out |= ((((s >> shift) & 0xffu) * weight >> 8) + (((d >> shift) & 0xffu) * (255 - a) >> 8)) << shift;
        }
        target[x] = out;
    }
}

bool KeptLayers::KeptBelow::showsGonePictures() const noexcept
{
    return std::any_of(pictures.begin(), pictures.end(),
                       [](const std::weak_ptr<const Texture>& picture) { return picture.expired(); });
}

void KeptLayers::draw(const DisplayList& current, const DisplayList& previous, const std::vector<SDL_Rect>& regions,
                      bool everything, const SDL_Rect& screen, unsigned long frame)
{
    current_ = &current;
    previous_ = &previous;
    screen_ = screen;
    frame_ = frame;
    foundBelow_.clear();
    updateTopStack();
    for (const SDL_Rect& region : regions)
        drawRegion(region, everything);
    SDL_RenderSetClipRect(renderer_, nullptr);
    forgetUnusedKeptLayers();
    current_ = previous_ = nullptr;
}

void KeptLayers::clear()
{
    topStack_.reset();
    keptBelow_.clear();
}

std::size_t KeptLayers::topBytes() const noexcept
{
    return topStack_ && topStack_->texture ? textureBytes(*topStack_->texture) : 0;
}

std::size_t KeptLayers::belowBytes() const noexcept
{
    std::size_t bytes = 0;
    for (const KeptBelow& kept : keptBelow_)
        if (kept.texture)
            bytes += textureBytes(*kept.texture);
    return bytes;
}

void KeptLayers::drawRegion(const SDL_Rect& region, bool everything)
{
    const auto& commands = current_->commands;
    const std::size_t topFirst = topStack_ ? topStack_->first : commands.size();
    std::vector<const DrawCommand*> lower;
    for (std::size_t i = 0; i < topFirst; ++i) {
        const DrawCommand& command = commands[i];
        if (!overlap(region, command.clip))
            continue;
        const SDL_Rect b = command.bounds();
        if (overlap(region, b))
            lower.push_back(&command);
    }
    if (!topStack_) {
        drawPieces(region, lower);
        return;
    }
    const SDL_Rect screen = screen_;
    const auto drawTop = [&](const SDL_Rect& area) {
        const SDL_Rect part = intersect(area, screen);
        if (isEmpty(part))
            return;
        const SDL_Rect& kept = topStack_->kept;
        const SDL_Rect inside = intersect(part, kept);
        if (!isEmpty(inside) && !drawTopDirectly(inside)) {
            DrawCommand top;
            top.texture = topStack_->texture;
            top.destination = {float(kept.x), float(kept.y), float(kept.w), float(kept.h)};
            top.clip = kept;
            drawCommand(renderer_, top, inside, {0, 0});
        }
        if (SDL_RectEquals(&inside, &part))
            return;
        // Beyond the kept part the top is opaque, and drawn only when the whole top is:
        // its pieces are drawn as they are.
        for (const SDL_Rect& rest : around(part, inside))
            if (!isEmpty(rest))
                for (const DrawCommand& piece : topStack_->pieces)
                    drawCommand(renderer_, piece, rest, {0, 0});
    };
    const std::vector<SDL_Rect> below = openRects(region, topStack_->open);
    for (const SDL_Rect& rect : below)
        drawPieces(rect, lower);
    // Where the top is opaque the frame already shows it, unless the top is new, the
    // whole frame is being drawn afresh, or the rectangles just drawn below reached
    // over it (they span whole rows of tiles); where it is clear there is nothing to add.
    if (everything || topStack_->builtInFrame == frame_) {
        drawTop(region);
        return;
    }
    for (const SDL_Rect& rect : openRects(region, topTilesToRedraw(below)))
        drawTop(rect);
}

namespace {

// The rectangle of the surface (inside it, locked if need be) filled with the pixel value.
void fillRows(SDL_Surface* surface, const SDL_Rect& rect, Uint32 colour)
{
    for (int y = rect.y; y < rect.y + rect.h; ++y)
        std::fill_n(reinterpret_cast<Uint32*>(static_cast<unsigned char*>(surface->pixels) + std::ptrdiff_t(y) * surface->pitch)
                        + rect.x,
                    rect.w, colour);
}

// The texture placed with its corner at `corner`, blended straight into the surface
// inside the area as the software renderer's blit blends it (blendOver), its parts in
// one opaque colour filled; of a texture kept in parts, the parts listed (indices).
// False, with nothing drawn, where only the renderer draws it as it does: a texture it
// does not let read, a part of a see-through colour, an area reaching past the surface.
template <class Indices>
bool blendStraight(SDL_Renderer* renderer, SDL_Surface* surface, const Texture& texture, SDL_Point corner,
                   const SDL_Rect& area, const Indices& parts)
{
    if (!writableDirectly(surface))
        return false;
    const SDL_Rect onSurface = intersect(area, {0, 0, surface->w, surface->h});
    if (!SDL_RectEquals(&area, &onSurface))
        return false;   // the renderer clips what lies beyond the surface
    Uint32 format = 0;
    int access = 0, width = 0, height = 0;
    if (texture.handle
        && (SDL_QueryTexture(texture.handle, &format, &access, &width, &height) != 0
            || access != SDL_TEXTUREACCESS_STREAMING || format != SDL_PIXELFORMAT_ARGB8888))
        return false;
    const auto placed = [&](const SDL_Rect& at) { return SDL_Rect{corner.x + at.x, corner.y + at.y, at.w, at.h}; };
    for (const std::size_t i : parts) {
        const Texture::Part& part = texture.parts[i];
        if (part.filled && part.colour.a != 255 && part.colour.a != 0 && overlap(placed(part.at), area))
            return false;
    }
    // What the renderer was asked to draw lands in the surface first.
    SDL_RenderFlush(renderer);
    void* locked = nullptr;
    int pitch = 0;
    if (texture.handle && SDL_LockTexture(texture.handle, nullptr, &locked, &pitch) != 0)
        return false;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) {
        if (texture.handle)
            SDL_UnlockTexture(texture.handle);
        return false;
    }
    const auto row = [&](int x, int y) {
        return reinterpret_cast<Uint32*>(static_cast<unsigned char*>(surface->pixels) + std::ptrdiff_t(y) * surface->pitch) + x;
    };
    // Pixels of the texture's picture from (x, y) on, blended over the rectangle.
    const auto blend = [&](const SDL_Rect& onto, int x, int y) {
        for (int i = 0; i < onto.h; ++i)
            blendOver(row(onto.x, onto.y + i),
                      reinterpret_cast<const Uint32*>(static_cast<const unsigned char*>(locked) + std::ptrdiff_t(y + i) * pitch) + x,
                      onto.w);
    };
    if (texture.parts.empty()) {
        if (locked) {
            const SDL_Rect onto = intersect(placed({0, 0, texture.widthPixels, texture.heightPixels}), area);
            blend(onto, onto.x - corner.x, onto.y - corner.y);
        }
    } else {
        for (const std::size_t i : parts) {
            const Texture::Part& part = texture.parts[i];
            const SDL_Rect at = placed(part.at);
            const SDL_Rect onto = intersect(at, area);
            if (isEmpty(onto))
                continue;
            if (!part.filled) {
                if (locked)
                    blend(onto, part.source.x + onto.x - at.x, part.source.y + onto.y - at.y);
            } else if (part.colour.a == 255) {
                fillRows(surface, onto, SDL_MapRGBA(surface->format, part.colour.r, part.colour.g, part.colour.b, 255));
            }
        }
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    if (texture.handle)
        SDL_UnlockTexture(texture.handle);
    return true;
}

} // namespace

// On a software renderer the kept top is drawn straight into the surface: its parts
// are many, and a draw call for each, in each rectangle, cost more than the blending.
bool KeptLayers::drawTopDirectly(const SDL_Rect& area)
{
    const Texture& texture = *topStack_->texture;
    const SDL_Rect& kept = topStack_->kept;
    if (texture.widthPixels != kept.w || texture.heightPixels != kept.h)
        return false;
    // The parts that may reach into the area, by their top edge.
    const auto& byTop = topStack_->partsByTop;
    const auto topAtLeast = [&](int y) {
        return std::partition_point(byTop.begin(), byTop.end(),
                                    [&](std::size_t i) { return kept.y + texture.parts[i].at.y < y; });
    };
    return blendStraight(renderer_, surface_, texture, {kept.x, kept.y}, area,
                         std::ranges::subrange(topAtLeast(area.y - topStack_->tallestPart + 1), topAtLeast(area.y + area.h)));
}

namespace {

// True when the number is a whole one.
bool whole(float value) noexcept
{
    return value == std::floor(value);
}

} // namespace

// So are other upright pieces at their own size (the tape rolls and bands as the tape
// wobbles, and the layers kept below the reels): the renderer's blit blends pixel by
// pixel, and at each part's call. The target's pixel (0, 0) lies at `origin` on the
// screen; `rect` is on the screen.
bool drawStraight(SDL_Renderer* renderer, SDL_Surface* target, const DrawCommand& piece, const SDL_Rect& rect,
                  SDL_Point origin)
{
    const SDL_Color c = piece.color;
    const SDL_Rect area = intersect(piece.clip, rect);
    const auto onTarget = [&](const SDL_Rect& r) { return SDL_Rect{r.x - origin.x, r.y - origin.y, r.w, r.h}; };
    if (!piece.texture) {
        // A fill that covers what lies below, on whole pixels, as the renderer fills it.
        const SDL_FRect& d = piece.destination;
        if (piece.angleDegrees != 0 || piece.blendMode != SDL_BLENDMODE_NONE || !whole(d.x) || !whole(d.y)
            || !whole(d.w) || !whole(d.h) || !writableDirectly(target))
            return false;
        const SDL_Rect fill = onTarget(intersect(area, {int(d.x), int(d.y), int(d.w), int(d.h)}));
        if (isEmpty(fill))
            return true;
        const SDL_Rect onSurface = intersect(fill, {0, 0, target->w, target->h});
        if (!SDL_RectEquals(&fill, &onSurface))
            return false;
        SDL_RenderFlush(renderer);
        if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0)
            return false;
        fillRows(target, fill, SDL_MapRGBA(target->format, c.r, c.g, c.b, c.a));
        if (SDL_MUSTLOCK(target))
            SDL_UnlockSurface(target);
        return true;
    }
    const Texture* texture = piece.prepared ? piece.prepared.get() : piece.texture.get();
    if (piece.blendMode != SDL_BLENDMODE_BLEND || (!piece.prepared && piece.angleDegrees != 0)
        || (c.r & c.g & c.b & c.a) != 255)
        return false;
    const SDL_FRect& d = piece.prepared ? piece.preparedDestination : piece.destination;
    if (d.w != float(texture->widthPixels) || d.h != float(texture->heightPixels) || !whole(d.x) || !whole(d.y))
        return false;
    if (isEmpty(area))
        return true;
    return blendStraight(renderer, target, *texture, {static_cast<int>(d.x) - origin.x, static_cast<int>(d.y) - origin.y},
                         onTarget(area), std::views::iota(std::size_t{0}, texture->parts.size()));
}

void KeptLayers::updateTopStack()
{
    const auto& now = current_->commands;
    const auto& before = previous_->commands;
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
    const SDL_Rect screen = screen_;
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
        drawCommand(renderer_, now[i], screen, {screen.x, screen.y});
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
    stack->builtInFrame = frame_;
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
            // Blending soft edges (text) over an opaque picture, SDL loses a few levels of
            // alpha (253 is common), where the screen shows the picture alone: opaque.
            if (alpha < 250)
                stack->open[tile] = true;
            if (alpha != 0)
                stack->painted[tile] = true;
        }
    }
    // Where nothing shows through, it does not matter what the top paints; where the
    // top paints nothing, it need not be drawn at all.
    for (std::size_t i = 0; i < tiles; ++i)
        stack->painted[i] = stack->painted[i] && stack->open[i];
    // Only the tiles that let something through, and the opaque ones between them, are
    // ever drawn again from the kept top: it keeps the rectangle around those.
    int left = stack->tilesAcross, top = stack->tilesDown, right = -1, bottom = -1;
    for (int row = 0; row < stack->tilesDown; ++row)
        for (int column = 0; column < stack->tilesAcross; ++column)
            if (stack->open[static_cast<std::size_t>(row) * static_cast<std::size_t>(stack->tilesAcross)
                            + static_cast<std::size_t>(column)]) {
                left = std::min(left, column);
                right = std::max(right, column);
                top = std::min(top, row);
                bottom = std::max(bottom, row);
            }
    if (right < 0) {
        stack->kept = {};
        topStack_ = std::move(stack);
        return;
    }
    stack->kept = intersect({screen.x + left * topStackTile, screen.y + top * topStackTile,
                             (right - left + 1) * topStackTile, (bottom - top + 1) * topStackTile},
                            screen);
    const SDL_Rect& kept = stack->kept;
    Uint32* corner = pixels.get() + static_cast<std::size_t>(kept.y - screen.y) * static_cast<std::size_t>(screen.w)
                     + static_cast<std::size_t>(kept.x - screen.x);
    for (int y = 0; y < kept.h; ++y)
        std::memmove(pixels.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(kept.w),
                     corner + static_cast<std::size_t>(y) * static_cast<std::size_t>(screen.w),
                     static_cast<std::size_t>(kept.w) * 4);
    // Mostly the see-through window, clear: kept in parts, its clear squares left out.
    SurfacePtr premultiplied(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.get()),
                                                                 CAIRO_FORMAT_ARGB32, kept.w, kept.h, kept.w * 4));
    if (cairo_surface_status(premultiplied.get()) == CAIRO_STATUS_SUCCESS)
        stack->texture = textures_.inParts(premultiplied.get(), float(kept.w), float(kept.h));
    premultiplied.reset();
    if (!stack->texture) {
        unpremultiply(reinterpret_cast<unsigned char*>(pixels.get()), kept.w, kept.h, kept.w * 4);
        stack->texture =
            textures_.fromPixels(pixels.get(), kept.w, kept.h, SDL_PIXELFORMAT_ARGB8888, SDL_BLENDMODE_BLEND);
    }
    if (!stack->texture)
        return;
    const auto& parts = stack->texture->parts;
    stack->partsByTop.resize(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        stack->partsByTop[i] = i;
        stack->tallestPart = std::max(stack->tallestPart, parts[i].at.h);
    }
    std::stable_sort(stack->partsByTop.begin(), stack->partsByTop.end(),
                     [&](std::size_t a, std::size_t b) { return parts[a].at.y < parts[b].at.y; });
    topStack_ = std::move(stack);
}

// The parts of the region where the kept top is not opaque, as few rectangles:
// per row of tiles the span from the first open tile to the last, and rows merged
// while that wastes little. Every rectangle drawn costs a round of draw calls, so a
// few slightly large rectangles beat many exact ones.
std::vector<SDL_Rect> KeptLayers::openRects(const SDL_Rect& region, const std::vector<bool>& tiles) const
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
std::vector<bool> KeptLayers::topTilesToRedraw(const std::vector<SDL_Rect>& drawnBelow) const
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

// Draws the pieces inside the rectangle. Where a reel turns, what lies below it is
// copied from the picture kept of its square, once there is one.
void KeptLayers::drawPieces(const SDL_Rect& rect, const std::vector<const DrawCommand*>& all)
{
    const std::vector<const DrawCommand*> pieces = piecesShowingIn(all, rect);
    const auto turning = std::find_if(pieces.begin(), pieces.end(), [](const DrawCommand* p) { return p->turning; });
    const Texture* kept = nullptr;
    SDL_Rect square{};
    if (turning != pieces.end() && turning != pieces.begin()) {
        square = intersect((*turning)->bounds(), screen_);
        kept = keptBelow(**turning, square);
        // Kept as pixels only for a surface drawn into straight.
        if (kept && !kept->handle && !surface_)
            kept = nullptr;
    }
    if (!kept) {
        for (const DrawCommand* piece : pieces)
            drawPiece(*piece, rect);
        return;
    }
    // Around the square, the pieces are drawn as they are (another reel among them).
    const SDL_Rect inside = intersect(rect, square);
    for (const SDL_Rect& part : around(rect, inside))
        if (!isEmpty(part))
            drawPieces(part, pieces);
    const SDL_Rect source{inside.x - square.x, inside.y - square.y, inside.w, inside.h};
    if (kept->pixels && surface_) {
        // What the renderer was asked to draw lands in the surface first.
        SDL_RenderFlush(renderer_);
        if (SDL_MUSTLOCK(surface_) && SDL_LockSurface(surface_) != 0)
            return;
        copyKept(*kept, {source.x, source.y}, inside);
        if (SDL_MUSTLOCK(surface_))
            SDL_UnlockSurface(surface_);
    } else {
        const SDL_FRect at{float(inside.x), float(inside.y), float(inside.w), float(inside.h)};
        SDL_RenderSetClipRect(renderer_, &inside);
        SDL_SetTextureBlendMode(kept->handle, SDL_BLENDMODE_NONE);
        SDL_RenderCopyF(renderer_, kept->handle, &source, &at);
    }
    for (auto it = turning; it != pieces.end(); ++it)
        drawPiece(**it, inside);
}

std::vector<const DrawCommand*> KeptLayers::piecesBelow(const DrawCommand& turning, const SDL_Rect& square) const
{
    std::vector<const DrawCommand*> all;
    for (const DrawCommand& command : current_->commands) {
        if (&command == &turning)
            break;
        all.push_back(&command);
    }
    std::vector<const DrawCommand*> below = piecesPaintingIn(all, square);
    if (below.empty() || !below.front()->covers(square))
        below.clear();
    return below;
}

const Texture* KeptLayers::keptBelow(const DrawCommand& turning, const SDL_Rect& square)
{
    for (const FoundBelow& found : foundBelow_)
        if (found.turningKey == turning.key && SDL_RectEquals(&found.square, &square))
            return found.kept;
    const Texture* kept = findKeptBelow(turning, square);
    foundBelow_.push_back({turning.key, square, kept});
    return kept;
}

const Texture* KeptLayers::findKeptBelow(const DrawCommand& turning, const SDL_Rect& square)
{
    if (isEmpty(square))
        return nullptr;
    const std::vector<const DrawCommand*> below = piecesBelow(turning, square);
    if (below.empty())
        return nullptr;
    const auto showsBelow = [&](const KeptBelow& kept) {
        if (kept.turningKey != turning.key || !SDL_RectEquals(&kept.rect, &square) || kept.pieces.size() != below.size())
            return false;
        for (std::size_t i = 0; i < below.size(); ++i)
            if (!(kept.pieces[i] == ShownPiece(*below[i])))
                return false;
        return true;
    };
    const auto it = std::find_if(keptBelow_.begin(), keptBelow_.end(), showsBelow);
    if (it == keptBelow_.end()) {
        // Seen once: it may never come back (a sliding screen). Only one such sighting
        // per reel is remembered.
        std::erase_if(keptBelow_, [&](const KeptBelow& k) { return !k.texture && k.turningKey == turning.key; });
        KeptBelow seen{square, turning.key, frame_, nullptr, {}, {}};
        for (const DrawCommand* piece : below) {
            seen.pieces.emplace_back(*piece);
            for (const TexturePtr& picture : {piece->texture, piece->prepared})
                if (picture)
                    seen.pictures.push_back(picture);
        }
        keptBelow_.push_back(std::move(seen));
        return nullptr;
    }
    if (!it->texture) {
        // Seen again in a later frame: it stays, and is worth drawing apart once, into
        // what was kept of a picture that has left the screen when there is one.
        if (it->frame == frame_)
            return nullptr;
        TexturePtr reused;
        const auto stale = std::find_if(keptBelow_.begin(), keptBelow_.end(), [&](const KeptBelow& k) {
            return k.texture && k.turningKey == turning.key && k.rect.w == square.w && k.rect.h == square.h
                   && k.showsGonePictures();
        });
        if (stale != keptBelow_.end()) {
            reused = std::move(stale->texture);
            stale->frame = 0;   // forgotten at the end of the frame
        }
        it->texture = drawnApart(square, below, std::move(reused));
        if (!it->texture) {
            it->frame = 0;
            return nullptr;
        }
    }
    it->frame = frame_;
    return it->texture.get();
}

// The pieces drawn inside the square into a picture of their own, in the target's
// format so that copying it back is a plain copy.
TexturePtr KeptLayers::drawnApart(const SDL_Rect& square, const std::vector<const DrawCommand*>& pieces,
                                  TexturePtr reused)
{
    // Drawing straight into the target, the copies back are plain rows copied from the
    // picture's pixels; the renderer's texture is needed only to draw what cannot be
    // drawn straight into them.
    const bool readable = surface_ != nullptr;
    // The pictures kept here are made here.
    auto made = std::const_pointer_cast<Texture>(std::move(reused));
    if (made && readable != bool(made->pixels))
        made.reset();
    if (!made) {
        made = std::make_shared<Texture>();
        made->widthPixels = square.w;
        made->heightPixels = square.h;
        made->opaque = true;
        if (readable)
            made->pixels.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, square.w, square.h), cairo_surface_destroy);
        textures_.countMade();
    }
    if (readable) {
        cairo_surface_t* pixels = made->pixels.get();
        if (cairo_surface_status(pixels) != CAIRO_STATUS_SUCCESS)
            return nullptr;
        cairo_surface_flush(pixels);
        SDL_Surface* into = SDL_CreateRGBSurfaceWithFormatFrom(cairo_image_surface_get_data(pixels), square.w, square.h, 32,
                                                               cairo_image_surface_get_stride(pixels), surface_->format->format);
        bool drawn = into != nullptr;
        for (auto it = pieces.begin(); drawn && it != pieces.end(); ++it)
            drawn = drawStraight(renderer_, into, **it, square, {square.x, square.y});
        if (into)
            SDL_FreeSurface(into);
        cairo_surface_mark_dirty(pixels);
        if (drawn)
            return made;
    }
    if (!made->handle) {
        made->handle = SDL_CreateTexture(renderer_, targetFormat_, SDL_TEXTUREACCESS_TARGET, square.w, square.h);
        if (!made->handle)
            return nullptr;
    }
    SDL_Texture* previous = SDL_GetRenderTarget(renderer_);
    if (SDL_SetRenderTarget(renderer_, made->handle) != 0)
        return nullptr;
    for (const DrawCommand* piece : pieces)
        drawCommand(renderer_, *piece, square, {square.x, square.y});
    SDL_RenderSetClipRect(renderer_, nullptr);
    bool read = true;
    if (readable) {
        cairo_surface_t* pixels = made->pixels.get();
        cairo_surface_flush(pixels);
        read = SDL_RenderReadPixels(renderer_, nullptr, surface_->format->format, cairo_image_surface_get_data(pixels),
                                    cairo_image_surface_get_stride(pixels))
               == 0;
        cairo_surface_mark_dirty(pixels);
    }
    SDL_SetRenderTarget(renderer_, previous);
    if (readable) {
        SDL_DestroyTexture(made->handle);
        made->handle = nullptr;
        if (!read)
            return nullptr;
    }
    return made;
}

// Rows of the kept picture's pixels, at `from` in it, into the target surface at `to`.
void KeptLayers::copyKept(const Texture& kept, SDL_Point from, const SDL_Rect& to)
{
    // The screen may reach past a window smaller than it; the surface ends there.
    const SDL_Rect rect = intersect(to, {0, 0, surface_->w, surface_->h});
    if (isEmpty(rect))
        return;
    from.x += rect.x - to.x;
    from.y += rect.y - to.y;
    cairo_surface_t* pixels = kept.pixels.get();
    const int stride = cairo_image_surface_get_stride(pixels);
    const unsigned char* source = cairo_image_surface_get_data(pixels) + std::ptrdiff_t(from.y) * stride + from.x * 4;
    auto* target = static_cast<unsigned char*>(surface_->pixels) + std::ptrdiff_t(rect.y) * surface_->pitch + rect.x * 4;
    for (int y = 0; y < rect.h; ++y, source += stride, target += surface_->pitch)
        std::memcpy(target, source, std::size_t(rect.w) * 4);
}

void KeptLayers::drawPiece(const DrawCommand& piece, const SDL_Rect& rect)
{
    if (!surface_ || piece.prepared || !canTurnOnto(piece)) {
        if (!drawStraight(renderer_, surface_, piece, rect, {0, 0}))
            drawCommand(renderer_, piece, rect, {0, 0});
        return;
    }
    // What the renderer was asked to draw lands in the surface first.
    SDL_RenderFlush(renderer_);
    if (SDL_MUSTLOCK(surface_) && SDL_LockSurface(surface_) != 0)
        return;
    turnOnto(surface_, piece, rect);
    if (SDL_MUSTLOCK(surface_))
        SDL_UnlockSurface(surface_);
}

void KeptLayers::forgetUnusedKeptLayers()
{
    // Kept pictures not used for a while go, and the oldest go first beyond a limit.
    std::erase_if(keptBelow_, [this](const KeptBelow& kept) { return kept.frame + 30 < frame_ || kept.frame == 0; });
    std::size_t bytes = belowBytes();
    while (bytes > maxKeptBelowBytes) {
        const auto oldest = std::min_element(keptBelow_.begin(), keptBelow_.end(), [](const KeptBelow& a, const KeptBelow& b) {
            return (a.texture != nullptr) > (b.texture != nullptr) || (bool(a.texture) == bool(b.texture) && a.frame < b.frame);
        });
        if (oldest == keptBelow_.end() || !oldest->texture)
            break;
        bytes -= textureBytes(*oldest->texture);
        keptBelow_.erase(oldest);
    }
}

} // namespace platform::sdl
