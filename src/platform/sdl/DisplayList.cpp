#include "platform/sdl/DisplayList.h"

#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/Coverage.h"
#include "platform/sdl/TurnProfile.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <unordered_map>

// Sections: textures and quads · damage · drawing.

namespace platform::sdl {

using namespace support;

// --- Textures and quads ---------------------------------------------------------

std::uint64_t Texture::nextId() noexcept
{
    static std::uint64_t next = 0;
    return ++next;
}

Texture::~Texture()
{
    if (handle && release)
        release(handle);
    else if (handle)
        SDL_DestroyTexture(handle);
}

const TurnProfile* Texture::turnProfile() const
{
    cairo_surface_t* surface = pixels.get();
    if (!turnProfile_ && roundContent && surface) {
        cairo_surface_flush(surface);
        turnProfile_ = std::make_shared<const TurnProfile>(
            reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(surface)), cairo_image_surface_get_width(surface),
            cairo_image_surface_get_stride(surface));
    }
    return turnProfile_.get();
}

ShownPiece::ShownPiece(const DrawCommand& piece) noexcept
    : key(piece.key),
      texture(piece.texture ? piece.texture->id : 0),
      prepared(piece.prepared ? piece.prepared->id : 0),
      destination(piece.destination),
      angleDegrees(piece.angleDegrees),
      color(piece.color),
      blendMode(piece.blendMode),
      clip(piece.clip)
{
}

bool ShownPiece::operator==(const ShownPiece& o) const noexcept
{
    return key == o.key && texture == o.texture && prepared == o.prepared && destination.x == o.destination.x
           && destination.y == o.destination.y && destination.w == o.destination.w && destination.h == o.destination.h
           && angleDegrees == o.angleDegrees && color.r == o.color.r && color.g == o.color.g && color.b == o.color.b
           && color.a == o.color.a && blendMode == o.blendMode && SDL_RectEquals(&clip, &o.clip);
}

std::size_t textureBytes(const Texture& texture) noexcept
{
    std::size_t bytes = !texture.parts.empty() ? texture.partsPixels * 4 + texture.parts.size() * sizeof(Texture::Part)
                        : texture.handle       ? std::size_t(texture.widthPixels) * std::size_t(texture.heightPixels) * 4
                                               : 0;
    if (cairo_surface_t* pixels = texture.pixels.get())
        bytes += std::size_t(cairo_image_surface_get_stride(pixels)) * std::size_t(cairo_image_surface_get_height(pixels));
    if (texture.coverage)
        bytes += texture.coverage->bytes();
    return bytes;
}

SDL_Rect DrawCommand::bounds() const noexcept
{
    const double cx = double(destination.x) + double(destination.w) / 2;
    const double cy = double(destination.y) + double(destination.h) / 2;
    double halfW = destination.w / 2.0, halfH = destination.h / 2.0;
    // Round content in a square keeps to its circle whatever the turn (a reel, asked at
    // every frame); anything else turned reaches as far as its turned quad.
    if (angleDegrees != 0 && !(texture && texture->roundContent && std::fabs(destination.w - destination.h) < 0.5f)) {
        const double radians = angleDegrees * std::numbers::pi / 180.0;
        const double c = std::fabs(std::cos(radians)), s = std::fabs(std::sin(radians));
        halfW = (c * destination.w + s * destination.h) / 2;
        halfH = (s * destination.w + c * destination.h) / 2;
    }
    // One pixel more on every side: smooth edges of a turned quad reach into it.
    const int left = static_cast<int>(std::floor(cx - halfW)) - 1;
    const int top = static_cast<int>(std::floor(cy - halfH)) - 1;
    const int right = static_cast<int>(std::ceil(cx + halfW)) + 1;
    const int bottom = static_cast<int>(std::ceil(cy + halfH)) + 1;
    return intersect(SDL_Rect{left, top, right - left, bottom - top}, clip);
}

bool DrawCommand::sameAs(const DrawCommand& o) const noexcept
{
    return texture == o.texture && destination.x == o.destination.x && destination.y == o.destination.y
           && destination.w == o.destination.w && destination.h == o.destination.h && angleDegrees == o.angleDegrees
           && color.r == o.color.r && color.g == o.color.g && color.b == o.color.b && color.a == o.color.a
           && blendMode == o.blendMode && clip.x == o.clip.x && clip.y == o.clip.y && clip.w == o.clip.w
           && clip.h == o.clip.h;
}

bool DrawCommand::covers(const SDL_Rect& region) const noexcept
{
    if (blendMode != SDL_BLENDMODE_NONE || angleDegrees != 0 || prepared
        || color.a != 255 || (texture && !texture->opaque))
        return false;
    const SDL_FRect& d = destination;
    const SDL_Rect& c = clip;
    return d.x <= float(region.x) && d.y <= float(region.y) && d.x + d.w >= float(region.x + region.w)
           && d.y + d.h >= float(region.y + region.h) && c.x <= region.x && c.y <= region.y
           && c.x + c.w >= region.x + region.w && c.y + c.h >= region.y + region.h;
}

// --- Damage ---------------------------------------------------------------------------

namespace {
// The same quad drawn from the same turned copy: a piece that stops sliding is turned
// again with its centre where it really lies, at the same place.
bool looksTheSame(const DrawCommand& a, const DrawCommand& b) noexcept
{
    return a.sameAs(b) && a.prepared == b.prepared;
}

// Where a round piece that only turned on, by less than a sixth of a turn, can show
// something else: the tiles that its spokes, teeth and marks passed through. Adds them
// to `tiles` as rectangles and returns true; returns false when the change is not such
// a turn.
bool addTurnDamage(const DrawCommand& before, const DrawCommand& after, const SDL_Rect& screen,
                   std::vector<SDL_Rect>& tiles)
{
    const TurnProfile* profile = after.texture && after.turning ? after.texture->turnProfile() : nullptr;
    const SDL_FRect& d = after.destination;
    if (!profile || before.texture != after.texture || before.prepared != after.prepared
        || std::fabs(d.w - d.h) >= 0.5f || !(d.w > 0))
        return false;
    DrawCommand turnedBack = before;
    turnedBack.angleDegrees = after.angleDegrees;
    if (!turnedBack.sameAs(after))
        return false;
    const double turn = std::remainder(after.angleDegrees - before.angleDegrees, 360.0);
    if (!(std::fabs(turn) <= 60.0))
        return false;
    const SDL_Rect area = intersect(after.bounds(), screen);
    if (!isEmpty(area))
        profile->changedTiles(d, area, {screen.x, screen.y}, before.angleDegrees + std::min(0.0, turn),
                              before.angleDegrees + std::max(0.0, turn), tiles);
    return true;
}

// Side of the squares in which the damage of pieces that moved or changed is worked
// out, with what covers them, on software renderers.
constexpr int damageTile = 16;

// The damage tile in the column and row of the grid laid from the area's corner, cut to the area.
SDL_Rect tileOf(const SDL_Rect& area, int column, int row) noexcept
{
    return intersect({area.x + column * damageTile, area.y + row * damageTile, damageTile, damageTile}, area);
}

bool contains(const SDL_Rect& outer, const SDL_Rect& inner) noexcept
{
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w
           && inner.y + inner.h <= outer.y + outer.h;
}

// What a piece paints opaquely, worked out once a frame: tile by tile, it is asked
// again and again.
struct Occluder {
    enum class Kind : char { None, Fill, Opaque, Picture, Round } kind = Kind::None;
    SDL_Rect area{};               // the whole pixels it may cover: inside its quad and its clip
    SDL_Point at{};                // Picture: the screen pixel of the texture's top left corner
    const Coverage* coverage = nullptr;
    Uint32 colour = 0;             // Fill: its colour
    const TurnProfile* profile = nullptr;   // Round: a reel, opaque in rings whatever its turn
    double centreX = 0, centreY = 0, scale = 1;

    explicit Occluder(const DrawCommand& c)
    {
        const SDL_FRect& d = c.destination;
        const int left = static_cast<int>(std::ceil(d.x)), top = static_cast<int>(std::ceil(d.y));
        area = intersect({left, top, static_cast<int>(std::floor(d.x + d.w)) - left,
                          static_cast<int>(std::floor(d.y + d.h)) - top},
                         c.clip);
        const bool plain = c.color.r == 255 && c.color.g == 255 && c.color.b == 255 && c.color.a == 255;
        if (isEmpty(area))
            return;
        if (c.prepared) {
            // A copy turned once (a tilted tape band), drawn upright at its own size.
            const SDL_FRect& p = c.preparedDestination;
            const Texture& copy = *c.prepared;
            if (plain && c.blendMode == SDL_BLENDMODE_BLEND && copy.coverage && p.w == float(copy.widthPixels)
                && p.h == float(copy.heightPixels) && p.x == std::floor(p.x) && p.y == std::floor(p.y)) {
                kind = Kind::Picture;
                at = {static_cast<int>(p.x), static_cast<int>(p.y)};
                area = intersect({at.x, at.y, copy.widthPixels, copy.heightPixels}, c.clip);
                coverage = copy.coverage.get();
            }
            return;
        }
        if (!c.texture) {
            if (c.angleDegrees == 0 && c.color.a == 255
                && (c.blendMode == SDL_BLENDMODE_BLEND || c.blendMode == SDL_BLENDMODE_NONE)) {
                kind = Kind::Fill;
                colour = Uint32(0xff000000u) | Uint32(c.color.r) << 16 | Uint32(c.color.g) << 8 | c.color.b;
            }
            return;
        }
        if (!plain)
            return;
        if (c.texture->opaque && c.angleDegrees == 0
            && (c.blendMode == SDL_BLENDMODE_BLEND || c.blendMode == SDL_BLENDMODE_NONE)) {
            kind = Kind::Opaque;
            return;
        }
        if (c.blendMode != SDL_BLENDMODE_BLEND)
            return;
        if (c.texture->coverage && c.angleDegrees == 0 && d.w == float(c.texture->widthPixels)
            && d.h == float(c.texture->heightPixels) && d.x == std::floor(d.x) && d.y == std::floor(d.y)) {
            kind = Kind::Picture;
            at = {static_cast<int>(d.x), static_cast<int>(d.y)};
            coverage = c.texture->coverage.get();
            return;
        }
        if (c.texture->roundContent && std::fabs(d.w - d.h) < 0.5f && d.w > 0 && c.texture->pixels) {
            profile = c.texture->turnProfile();
            if (!profile || profile->size() <= 0)
                return;
            kind = Kind::Round;
            centreX = double(d.x) + d.w / 2.0;
            centreY = double(d.y) + d.h / 2.0;
            scale = double(d.w) / profile->size();
        }
    }

    // Whether it gives the same answers as the other, tile for tile: the same piece that
    // did not change, or a reel that only turned.
    bool answersAs(const Occluder& o) const noexcept
    {
        return kind == o.kind && SDL_RectEquals(&area, &o.area) && at.x == o.at.x && at.y == o.at.y
               && coverage == o.coverage && colour == o.colour && profile == o.profile && centreX == o.centreX
               && centreY == o.centreY && scale == o.scale;
    }

    // Whether it paints every pixel of the tile opaquely.
    bool opaqueOver(const SDL_Rect& tile) const noexcept
    {
        if (kind == Kind::None || !contains(area, tile))
            return false;
        switch (kind) {
        case Kind::Fill:
        case Kind::Opaque:
            return true;
        case Kind::Picture:
            return coverage->opaque({tile.x - at.x, tile.y - at.y, tile.w, tile.h});
        case Kind::Round: {
            const double left = tile.x - centreX, right = tile.x + tile.w - centreX;
            const double top = tile.y - centreY, bottom = tile.y + tile.h - centreY;
            const double nearX = left > 0 ? left : right < 0 ? -right : 0;
            const double nearY = top > 0 ? top : bottom < 0 ? -bottom : 0;
            const double farX = std::max(std::fabs(left), std::fabs(right));
            const double farY = std::max(std::fabs(top), std::fabs(bottom));
            return profile->opaqueBetween(scale, std::hypot(nearX, nearY), std::hypot(farX, farY));
        }
        case Kind::None:
            break;
        }
        return false;
    }

    // The one opaque colour (ARGB) it paints over all of the tile, if it does.
    std::optional<Uint32> solidOver(const SDL_Rect& tile) const noexcept
    {
        if (!contains(area, tile))
            return std::nullopt;
        if (kind == Kind::Fill)
            return colour;
        if (kind == Kind::Picture && coverage->solid({tile.x - at.x, tile.y - at.y, tile.w, tile.h}))
            return coverage->solidColour();
        return std::nullopt;
    }
};

// What a piece paints over each damage tile of the screen, from the parts it is kept
// in: nothing, one opaque colour (ARGB) all over, or something else. Worked out only for
// a picture kept in parts and drawn untinted at its own size on whole pixels, as the
// tape rolls and bands are (a band's tilted copy too); empty, meaning something else
// everywhere, for any other piece.
constexpr Uint32 paintsNothing = 0, paintsMixed = 1;   // opaque colours are neither

std::vector<Uint32> paintByTile(const DrawCommand& piece, const SDL_Rect& screen, int across, int down)
{
    const Texture* texture = piece.prepared ? piece.prepared.get() : piece.texture.get();
    if (!texture || texture->parts.empty() || (!piece.prepared && piece.angleDegrees != 0)
        || piece.blendMode != SDL_BLENDMODE_BLEND || (piece.color.r & piece.color.g & piece.color.b & piece.color.a) != 255)
        return {};
    const SDL_FRect& d = piece.prepared ? piece.preparedDestination : piece.destination;
    if (d.w != float(texture->widthPixels) || d.h != float(texture->heightPixels) || d.x != std::floor(d.x)
        || d.y != std::floor(d.y))
        return {};
    const int x0 = static_cast<int>(d.x), y0 = static_cast<int>(d.y);
    std::vector<Uint32> paint(std::size_t(across) * std::size_t(down), paintsNothing);
    std::vector<int> covered(paint.size(), 0);   // pixels of a tile its one colour covers
    const auto tileAt = [&](int column, int row) { return tileOf(screen, column, row); };
    for (const Texture::Part& part : texture->parts) {
        // At its own size on whole pixels a part paints exactly its own pixels.
        const SDL_Rect at = intersect({part.at.x + x0, part.at.y + y0, part.at.w, part.at.h}, intersect(piece.clip, screen));
        if (isEmpty(at))
            continue;
        const bool solid = part.filled && part.colour.a == 255;
        const Uint32 colour = 0xff000000u | Uint32(part.colour.r) << 16 | Uint32(part.colour.g) << 8 | part.colour.b;
        const int firstColumn = (at.x - screen.x) / damageTile, lastColumn = (at.x + at.w - 1 - screen.x) / damageTile;
        const int firstRow = (at.y - screen.y) / damageTile, lastRow = (at.y + at.h - 1 - screen.y) / damageTile;
        for (int row = firstRow; row <= lastRow; ++row)
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const std::size_t t = std::size_t(row) * std::size_t(across) + std::size_t(column);
                if (!solid || (paint[t] != paintsNothing && paint[t] != colour)) {
                    paint[t] = paintsMixed;
                    continue;
                }
                const SDL_Rect inTile = intersect(at, tileAt(column, row));
                paint[t] = colour;
                covered[t] += inTile.w * inTile.h;
            }
    }
    // One colour over only part of a tile leaves the rest of it to what lies below.
    for (int row = 0; row < down; ++row)
        for (int column = 0; column < across; ++column) {
            const std::size_t t = std::size_t(row) * std::size_t(across) + std::size_t(column);
            const SDL_Rect tile = tileAt(column, row);
            if (paint[t] != paintsNothing && paint[t] != paintsMixed && covered[t] != tile.w * tile.h)
                paint[t] = paintsMixed;
        }
    return paint;
}

// The tiles where pieces that changed (by their indices in both frames, which hold
// the same pieces in the same order) can show something else: the tiles they reach in
// either frame, but for those where a piece above them is opaque in both frames, those
// the piece paints in the same opaque colour in both, and those it paints nothing in
// in both. Added to `out` as runs of tiles along a row, a run like the one above it
// lengthening that one's rectangle.
void addCoveredDamage(const std::vector<DrawCommand>& before, const std::vector<DrawCommand>& after,
                      const std::vector<std::size_t>& changedPieces, const SDL_Rect& screen, std::vector<SDL_Rect>& out)
{
    const int across = (screen.w + damageTile - 1) / damageTile;
    const int down = (screen.h + damageTile - 1) / damageTile;
    if (across <= 0 || down <= 0)
        return;
    const auto tileAt = [&](int column, int row) { return tileOf(screen, column, row); };
    // What each piece from the lowest that changed up paints opaquely, in both frames.
    const std::size_t lowest = *std::min_element(changedPieces.begin(), changedPieces.end());
    std::vector<Occluder> wasOver, isOver;
    std::vector<bool> alike;   // whether a piece covers the same in both frames
    wasOver.reserve(after.size() - lowest);
    isOver.reserve(after.size() - lowest);
    alike.reserve(after.size() - lowest);
    for (std::size_t j = lowest; j < after.size(); ++j) {
        wasOver.emplace_back(before[j]);
        isOver.emplace_back(after[j]);
        alike.push_back(wasOver.back().answersAs(isOver.back()));
    }
    // Per tile: the highest piece opaque over it in both frames, -1 when none, -2 while
    // not looked for.
    std::vector<int> highestOpaque(std::size_t(across) * std::size_t(down), -2);
    std::vector<bool> damaged(highestOpaque.size(), false);
    for (const std::size_t i : changedPieces) {
        const SDL_Rect area = intersect(unite(before[i].bounds(), after[i].bounds()), screen);
        if (isEmpty(area))
            continue;
        const Occluder& was = wasOver[i - lowest];
        const Occluder& is = isOver[i - lowest];
        const std::vector<Uint32> paintedBefore = paintByTile(before[i], screen, across, down);
        const std::vector<Uint32> paintedAfter =
            paintedBefore.empty() ? paintedBefore : paintByTile(after[i], screen, across, down);
        const int firstColumn = (area.x - screen.x) / damageTile, lastColumn = (area.x + area.w - 1 - screen.x) / damageTile;
        const int firstRow = (area.y - screen.y) / damageTile, lastRow = (area.y + area.h - 1 - screen.y) / damageTile;
        for (int row = firstRow; row <= lastRow; ++row)
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const std::size_t t = std::size_t(row) * std::size_t(across) + std::size_t(column);
                if (damaged[t])
                    continue;
                const SDL_Rect tile = tileAt(column, row);
                if (highestOpaque[t] == -2) {
                    highestOpaque[t] = -1;
                    for (std::size_t j = after.size(); j-- > lowest;)
                        if (isOver[j - lowest].opaqueOver(tile)
                            && (alike[j - lowest] || wasOver[j - lowest].opaqueOver(tile))) {
                            highestOpaque[t] = static_cast<int>(j);
                            break;
                        }
                }
                if (highestOpaque[t] > static_cast<int>(i))
                    continue;
                if (!paintedAfter.empty() && paintedBefore[t] == paintedAfter[t] && paintedAfter[t] != paintsMixed)
                    continue;
                const auto colour = was.solidOver(tile);
                if (colour && colour == is.solidOver(tile))
                    continue;
                damaged[t] = true;
            }
    }
    const std::size_t firstOut = out.size();
    for (int row = 0; row < down; ++row)
        for (int column = 0; column < across;) {
            if (!damaged[std::size_t(row) * std::size_t(across) + std::size_t(column)]) {
                ++column;
                continue;
            }
            const int start = column;
            while (column < across && damaged[std::size_t(row) * std::size_t(across) + std::size_t(column)])
                ++column;
            addRun(out, firstOut, unite(tileAt(start, row), tileAt(column - 1, row)));
        }
}
} // namespace

SDL_Rect showingPart(const std::vector<DrawCommand>& commands, std::size_t index, const SDL_Rect& reach)
{
    const SDL_Rect region = intersect(reach, commands[index].clip);
    if (isEmpty(region))
        return {};
    // What lies above it and may hide some of it; a turning piece is left out, as it
    // changes at every frame.
    std::vector<Occluder> above;
    for (std::size_t j = index + 1; j < commands.size(); ++j) {
        const DrawCommand& piece = commands[j];
        if (piece.turning || !overlap(piece.clip, region))
            continue;
        Occluder occluder(piece);
        if (occluder.kind != Occluder::Kind::None && overlap(occluder.area, region))
            above.push_back(occluder);
    }
    if (above.empty())
        return region;
    const int across = (region.w + damageTile - 1) / damageTile, down = (region.h + damageTile - 1) / damageTile;
    const auto tileAt = [&](int column, int row) { return tileOf(region, column, row); };
    const auto hidden = [&](int column, int row) {
        const SDL_Rect tile = tileAt(column, row);
        return std::any_of(above.begin(), above.end(), [&](const Occluder& o) { return o.opaqueOver(tile); });
    };
    // The rows with a tile that shows, then the columns within them.
    int top = 0, bottom = down - 1;
    const auto rowShows = [&](int row) {
        for (int column = 0; column < across; ++column)
            if (!hidden(column, row))
                return true;
        return false;
    };
    while (top <= bottom && !rowShows(top))
        ++top;
    if (top > bottom)
        return {};
    while (!rowShows(bottom))
        --bottom;
    int left = 0, right = across - 1;
    const auto columnShows = [&](int column) {
        for (int row = top; row <= bottom; ++row)
            if (!hidden(column, row))
                return true;
        return false;
    };
    while (!columnShows(left))
        ++left;
    while (!columnShows(right))
        --right;
    return unite(tileAt(left, top), tileAt(right, bottom));
}

bool CoveredDamageMemo::Frames::operator==(const Frames& o) const noexcept
{
    return SDL_RectEquals(&screen, &o.screen) && changed == o.changed && before == o.before && after == o.after;
}

CoveredDamageMemo::Frames CoveredDamageMemo::framesOf(const std::vector<DrawCommand>& before,
                                                      const std::vector<DrawCommand>& after,
                                                      const std::vector<std::size_t>& changed, const SDL_Rect& screen)
{
    Frames frames;
    frames.changed = changed;
    frames.screen = screen;
    std::vector<bool> isChanged(std::max(before.size(), after.size()), false);
    for (const std::size_t i : changed)
        isChanged[i] = true;
    // What a piece above covers (Occluder) depends on its turn only through whether it
    // is upright; a changed piece's own damage depends on all of it.
    const auto shown = [&](const DrawCommand& piece, std::size_t i) {
        ShownPiece s(piece);
        if (piece.turning && !isChanged[i] && s.angleDegrees != 0)
            s.angleDegrees = 1;
        return s;
    };
    frames.before.reserve(before.size());
    frames.after.reserve(after.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        frames.before.push_back(shown(before[i], i));
    for (std::size_t i = 0; i < after.size(); ++i)
        frames.after.push_back(shown(after[i], i));
    return frames;
}

const std::vector<SDL_Rect>* CoveredDamageMemo::find(const Frames& frames) noexcept
{
    for (Entry& entry : entries_)
        if (entry.frames == frames) {
            entry.lastUse = ++uses_;
            return &entry.damage;
        }
    return nullptr;
}

void CoveredDamageMemo::remember(Frames frames, std::vector<SDL_Rect> damage)
{
    if (entries_.size() >= capacity)
        entries_.erase(std::min_element(entries_.begin(), entries_.end(),
                                        [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; }));
    entries_.push_back({std::move(frames), std::move(damage), ++uses_});
}

std::vector<SDL_Rect> damageBetween(const DisplayList& previous, const DisplayList& current, const SDL_Rect& screen,
                                    bool reelsByTiles, CoveredDamageMemo* memo)
{
    std::vector<SDL_Rect> rects;
    std::vector<SDL_Rect> turnRects;
    std::vector<std::size_t> byTiles;
    const auto add = [&](const DrawCommand& command) {
        const SDL_Rect r = intersect(command.bounds(), screen);
        if (!isEmpty(r))
            rects.push_back(r);
    };
    const auto changed = [&](const DrawCommand& before, const DrawCommand& after) {
        if (reelsByTiles && addTurnDamage(before, after, screen, turnRects))
            return;
        add(before);
        add(after);
    };
    const auto& before = previous.commands;
    const auto& after = current.commands;
    const bool sameKeys = before.size() == after.size()
                          && std::equal(before.begin(), before.end(), after.begin(),
                                        [](const DrawCommand& a, const DrawCommand& b) { return a.key == b.key; });
    if (sameKeys) {
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (looksTheSame(after[i], before[i]))
                continue;
            if (!reelsByTiles)
                changed(before[i], after[i]);
            else if (!addTurnDamage(before[i], after[i], screen, turnRects))
                byTiles.push_back(i);
        }
    } else {
        // Pieces came or went: match them by key. Pieces that swapped places in the
        // stacking order would need the region of both, which is nearly the screen anyway.
        std::unordered_map<std::uint64_t, std::size_t> indexBefore;
        for (std::size_t i = 0; i < before.size(); ++i)
            indexBefore.emplace(before[i].key, i);
        std::vector<bool> matched(before.size(), false);
        std::size_t lastIndex = 0;
        bool reordered = false;
        for (const DrawCommand& command : after) {
            const auto it = indexBefore.find(command.key);
            if (it == indexBefore.end() || matched[it->second]) {
                add(command);
                continue;
            }
            matched[it->second] = true;
            if (it->second < lastIndex)
                reordered = true;
            lastIndex = it->second;
            if (!looksTheSame(command, before[it->second]))
                changed(before[it->second], command);
        }
        if (reordered)
            return {screen};
        for (std::size_t i = 0; i < before.size(); ++i)
            if (!matched[i])
                add(before[i]);
    }

    // Overlapping rectangles are merged; many small ones become their union, as
    // drawing each separately would cost more than drawing the lot once.
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < rects.size() && !merged; ++i)
            for (std::size_t j = i + 1; j < rects.size() && !merged; ++j)
                if (overlap(rects[i], rects[j])) {
                    rects[i] = unite(rects[i], rects[j]);
                    rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
    }
    if (rects.size() > 6) {
        SDL_Rect all{};
        for (const SDL_Rect& r : rects)
            all = unite(all, r);
        rects = {all};
    }
    if (!byTiles.empty()) {
        // Worked out on its own, as its runs of tiles are only ever merged with one another.
        std::vector<SDL_Rect> covered;
        if (!memo) {
            addCoveredDamage(before, after, byTiles, screen, covered);
        } else {
            CoveredDamageMemo::Frames frames = CoveredDamageMemo::framesOf(before, after, byTiles, screen);
            if (const std::vector<SDL_Rect>* known = memo->find(frames)) {
                covered = *known;
            } else {
                addCoveredDamage(before, after, byTiles, screen, covered);
                memo->remember(std::move(frames), covered);
            }
        }
        rects.insert(rects.end(), covered.begin(), covered.end());
    }
    // The tiles of turning reels are few and small, and never overlap one another; those
    // inside a rectangle already damaged add nothing.
    for (const SDL_Rect& tile : turnRects) {
        const bool inside = std::any_of(rects.begin(), rects.end(), [&](const SDL_Rect& r) {
            return tile.x >= r.x && tile.y >= r.y && tile.x + tile.w <= r.x + r.w && tile.y + tile.h <= r.y + r.h;
        });
        if (!inside)
            rects.push_back(tile);
    }
    return rects;
}

// --- Drawing ---------------------------------------------------------------------------

namespace {
// Where a part of a drawing kept in parts, drawn at `destination`, can paint: a pixel
// more on every side, for filtering (as drawParts reckons it).
SDL_Rect partReach(const Texture& texture, const Texture::Part& part, const SDL_FRect& destination) noexcept
{
    const float sx = destination.w / float(texture.widthPixels), sy = destination.h / float(texture.heightPixels);
    const SDL_FRect at{destination.x + float(part.at.x) * sx, destination.y + float(part.at.y) * sy,
                       float(part.at.w) * sx, float(part.at.h) * sy};
    return {static_cast<int>(std::floor(at.x)) - 1, static_cast<int>(std::floor(at.y)) - 1,
            static_cast<int>(std::ceil(at.w)) + 2, static_cast<int>(std::ceil(at.h)) + 2};
}

// Whether the piece is a drawing kept in parts none of which reaches into the region (a
// tape roll's ring around a reel in its hole): it paints nothing there.
bool paintsNothingIn(const DrawCommand& piece, const SDL_Rect& region) noexcept
{
    const bool turnedCopy = piece.prepared != nullptr;
    const Texture* texture = turnedCopy ? piece.prepared.get() : piece.texture.get();
    if (!texture || texture->parts.empty() || (!turnedCopy && piece.angleDegrees != 0))
        return false;
    const SDL_FRect& d = turnedCopy ? piece.preparedDestination : piece.destination;
    const auto& parts = texture->parts;
    if (d.w == float(texture->widthPixels) && d.h == float(texture->heightPixels) && d.x == std::floor(d.x)
        && d.y == std::floor(d.y)) {
        // At its own size on whole pixels: the region in the drawing's pixels, a pixel
        // wider on every side, against the parts as they stand.
        const SDL_Rect wider{region.x - static_cast<int>(d.x) - 1, region.y - static_cast<int>(d.y) - 1, region.w + 2,
                             region.h + 2};
        return std::none_of(parts.begin(), parts.end(), [&](const Texture::Part& part) { return overlap(part.at, wider); });
    }
    return std::none_of(parts.begin(), parts.end(), [&](const Texture::Part& part) {
        return !isEmpty(part.at) && overlap(partReach(*texture, part, d), region);
    });
}
} // namespace

std::vector<const DrawCommand*> piecesShowingIn(const std::vector<const DrawCommand*>& all, const SDL_Rect& region)
{
    std::vector<const DrawCommand*> pieces;
    pieces.reserve(all.size());
    for (const DrawCommand* piece : all) {
        if (piece->covers(region))
            pieces.clear();
        const SDL_Rect b = piece->bounds();
        if (overlap(region, b))
            pieces.push_back(piece);
    }
    return pieces;
}

std::vector<const DrawCommand*> piecesPaintingIn(const std::vector<const DrawCommand*>& all, const SDL_Rect& region)
{
    std::vector<const DrawCommand*> pieces = piecesShowingIn(all, region);
    std::erase_if(pieces, [&](const DrawCommand* piece) { return paintsNothingIn(*piece, region); });
    return pieces;
}

namespace {
SDL_Rect moved(SDL_Rect r, SDL_Point origin) noexcept
{
    return {r.x - origin.x, r.y - origin.y, r.w, r.h};
}
SDL_FRect moved(SDL_FRect r, SDL_Point origin) noexcept
{
    return {r.x - float(origin.x), r.y - float(origin.y), r.w, r.h};
}
} // namespace

namespace {
// A drawing kept in parts, upright, each part that reaches into the clip, in the colour
// and blend mode.
void drawParts(SDL_Renderer* renderer, const Texture& texture, SDL_Color c, SDL_BlendMode blendMode,
               const SDL_FRect& destination, const SDL_Rect& clip)
{
    const float sx = destination.w / float(texture.widthPixels), sy = destination.h / float(texture.heightPixels);
    if (texture.handle) {
        SDL_SetTextureColorMod(texture.handle, c.r, c.g, c.b);
        SDL_SetTextureAlphaMod(texture.handle, c.a);
        SDL_SetTextureBlendMode(texture.handle, blendMode);
    }
    const auto modulated = [](Uint8 value, Uint8 by) { return static_cast<Uint8>(unsigned(value) * by / 255); };
    for (const Texture::Part& part : texture.parts) {
        const SDL_FRect at{destination.x + float(part.at.x) * sx, destination.y + float(part.at.y) * sy,
                           float(part.at.w) * sx, float(part.at.h) * sy};
        const SDL_Rect reach{static_cast<int>(std::floor(at.x)) - 1, static_cast<int>(std::floor(at.y)) - 1,
                             static_cast<int>(std::ceil(at.w)) + 2, static_cast<int>(std::ceil(at.h)) + 2};
        if (!overlap(reach, clip))
            continue;
        if (!part.filled) {
            const SDL_Rect source{part.source.x, part.source.y, part.at.w, part.at.h};
            SDL_RenderCopyF(renderer, texture.handle, &source, &at);
            continue;
        }
        const Uint8 alpha = modulated(part.colour.a, c.a);
        // An opaque colour is copied, which a software renderer does far faster than blending.
        SDL_SetRenderDrawBlendMode(renderer, alpha == 255 ? SDL_BLENDMODE_NONE : blendMode);
        SDL_SetRenderDrawColor(renderer, modulated(part.colour.r, c.r), modulated(part.colour.g, c.g),
                               modulated(part.colour.b, c.b), alpha);
        SDL_RenderFillRectF(renderer, &at);
    }
}
} // namespace

void drawCommand(SDL_Renderer* renderer, const DrawCommand& command, const SDL_Rect& region, SDL_Point origin)
{
    const SDL_Rect clip = intersect(command.clip, region);
    if (isEmpty(clip))
        return;
    const SDL_Rect targetClip = moved(clip, origin);
    SDL_RenderSetClipRect(renderer, &targetClip);
    const SDL_Color c = command.color;
    const SDL_FRect destination = moved(command.destination, origin);
    if (!command.texture) {
        SDL_SetRenderDrawBlendMode(renderer, command.blendMode);
        SDL_SetRenderDrawColor(renderer, c.r, c.g, c.b, c.a);
        if (command.angleDegrees == 0) {
            SDL_RenderFillRectF(renderer, &destination);
            return;
        }
        const SDL_FRect& d = destination;
        const double radians = command.angleDegrees * std::numbers::pi / 180.0;
        const double cs = std::cos(radians), sn = std::sin(radians);
        const double cx = double(d.x) + d.w / 2.0, cy = double(d.y) + d.h / 2.0;
        SDL_Vertex vertices[4];
        const double corners[4][2] = {{-d.w / 2.0, -d.h / 2.0}, {d.w / 2.0, -d.h / 2.0}, {d.w / 2.0, d.h / 2.0},
                                      {-d.w / 2.0, d.h / 2.0}};
        for (int i = 0; i < 4; ++i) {
            vertices[i].position = {static_cast<float>(cx + cs * corners[i][0] - sn * corners[i][1]),
                                    static_cast<float>(cy + sn * corners[i][0] + cs * corners[i][1])};
            vertices[i].color = c;
            vertices[i].tex_coord = {0, 0};
        }
        const int indices[6] = {0, 1, 2, 0, 2, 3};
        SDL_RenderGeometry(renderer, nullptr, vertices, 4, indices, 6);
        return;
    }
    if (command.prepared) {
        const SDL_FRect at = moved(command.preparedDestination, origin);
        if (!command.prepared->parts.empty()) {
            drawParts(renderer, *command.prepared, c, command.blendMode, at, targetClip);
            return;
        }
        SDL_Texture* turned = command.prepared->handle;
        SDL_SetTextureColorMod(turned, c.r, c.g, c.b);
        SDL_SetTextureAlphaMod(turned, c.a);
        SDL_SetTextureBlendMode(turned, command.blendMode);
        SDL_RenderCopyF(renderer, turned, nullptr, &at);
        return;
    }
    if (!command.texture->parts.empty()) {
        if (command.angleDegrees == 0)   // kept in parts, it is drawn turned only from a copy
            drawParts(renderer, *command.texture, c, command.blendMode, destination, targetClip);
        return;
    }
    SDL_Texture* texture = command.texture->handle;
    if (!texture)   // only ever turned from its pixels, and not this time
        return;
    SDL_SetTextureColorMod(texture, c.r, c.g, c.b);
    SDL_SetTextureAlphaMod(texture, c.a);
    SDL_SetTextureBlendMode(texture, command.blendMode);
    if (command.angleDegrees == 0)
        SDL_RenderCopyF(renderer, texture, nullptr, &destination);
    else
        SDL_RenderCopyExF(renderer, texture, nullptr, &destination, command.angleDegrees, nullptr, SDL_FLIP_NONE);
}

} // namespace platform::sdl
