#pragma once
// A frame as a list of quads, bottom first, in renderer pixels; what tells two
// frames apart (damage); and how one quad is drawn.

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace platform::sdl {

class Coverage;
class TurnProfile;

// A texture made by the compositor; immutable once made, so that a snapshot can
// keep showing it after the view has moved on.
struct Texture {
    // Unique for the life of the process: caches key on it, not on the address,
    // which a later texture may reuse.
    const std::uint64_t id = nextId();
    // None for a piece that a software renderer only ever turns from its `pixels`.
    SDL_Texture* handle = nullptr;
    int widthPixels = 0;
    int heightPixels = 0;
    float widthPoints = 0;    // the natural size of a picture, in points
    float heightPoints = 0;
    // A picture kept without rows that never show: the part of its height it holds, as
    // fractions from the top (and its size in points is that part's).
    float partTop = 0, partBottom = 1;
    bool opaque = false;      // every pixel has full alpha
    // Nothing is drawn outside the circle inscribed in the square texture (a reel), so
    // turning it never reaches past its upright square.
    bool roundContent = false;
    // For a view's drawing: a digest of its pixels, to tell a drawing that came out the
    // same as before (0: none).
    std::uint64_t contentDigest = 0;
    // The pixels (premultiplied), kept on a software renderer for a piece that turns at
    // every frame (a reel), which is turned from them at each draw, and needs no `handle`.
    // A picture at a fixed angle is turned once from the renderer's own copy of its pixels.
    // A layer kept below a reel, on a software renderer drawing straight into its surface,
    // keeps here its pixels in the surface's format instead of a `handle`: copying them
    // back is a plain copy of rows.
    std::shared_ptr<cairo_surface_t> pixels;
    // Where it is opaque, and where in its commonest opaque colour (software renderers,
    // pictures that do not turn); none when unknown or when it is nowhere opaque.
    std::shared_ptr<const Coverage> coverage;
    // A drawing or turned copy kept in parts (software renderers): its squares that are
    // neither clear nor one opaque colour lie side by side in `handle`, the one-colour ones
    // are filled, the clear ones left out. Drawn upright only (turned from a copy made
    // whole). Empty: the texture is whole.
    struct Part {
        SDL_Rect at{};              // in the drawing's pixels
        SDL_Point source{};         // where it lies in `handle`, unless filled
        bool filled = false;
        SDL_Color colour{};         // when filled
    };
    std::vector<Part> parts;
    std::size_t partsPixels = 0;    // the pixels `handle` holds for them
    // Takes the handle when the texture goes, instead of destroying it (to use it again).
    std::function<void(SDL_Texture*)> release;
    // For round content kept with its pixels (a reel on a software renderer): where
    // turning it changes what it shows, worked out when first asked. Main thread only.
    const TurnProfile* turnProfile() const;
    Texture() = default;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    ~Texture();

private:
    static std::uint64_t nextId() noexcept;
    mutable std::shared_ptr<const TurnProfile> turnProfile_;
};
using TexturePtr = std::shared_ptr<const Texture>;

// One quad of the display list, in renderer pixels.
struct DrawCommand {
    TexturePtr texture;            // none: a filled rectangle in the colour
    SDL_FRect destination{};       // before the turn
    double angleDegrees = 0;       // about the destination's centre, clockwise
    SDL_Color color{255, 255, 255, 255};   // colour and alpha modulation
    SDL_BlendMode blendMode = SDL_BLENDMODE_BLEND;
    SDL_Rect clip{};               // never drawn outside
    std::uint64_t key = 0;         // which piece of which view, for frame differences
    // On a software renderer, the texture already turned, to be drawn upright at
    // preparedDestination instead. Not part of what the command shows.
    TexturePtr prepared;
    SDL_FRect preparedDestination{};
    // The turn changes at every frame (a turning reel).
    bool turning = false;
    // The place changes at every frame (a piece of a sliding screen).
    bool sliding = false;

    // The upright pixel rectangle that the turned quad covers, cut to its clip.
    SDL_Rect bounds() const noexcept;
    bool sameAs(const DrawCommand& other) const noexcept;
    // Whether it paints every pixel of the region opaquely, so that nothing drawn
    // before it there can show.
    bool covers(const SDL_Rect& region) const noexcept;
};

// What a piece shows, without holding on to its pictures (a picture that left the
// screen goes at once): to tell whether a piece still shows the same in a later frame.
struct ShownPiece {
    std::uint64_t key = 0, texture = 0, prepared = 0;
    SDL_FRect destination{};
    double angleDegrees = 0;
    SDL_Color color{};
    SDL_BlendMode blendMode = SDL_BLENDMODE_NONE;
    SDL_Rect clip{};
    explicit ShownPiece(const DrawCommand& piece) noexcept;
    bool operator==(const ShownPiece& other) const noexcept;
};

// The bytes of pixels the texture holds, its kept pixels included.
std::size_t textureBytes(const Texture& texture) noexcept;

struct DisplayList {
    std::vector<DrawCommand> commands;
};

// The pixel rectangles, within the screen, where the frame `after` differs from
// `before`: the places of pieces that changed, came or went. Pieces are matched
// by key; when pieces changed their stacking order, the whole screen. Overlapping
// rectangles are merged, and many become their union. With `reelsByTiles` (software
// renderers, which draw every damaged pixel themselves), when the frames hold the same
// pieces, damage is worked out in tiles: a reel that only turned on damages only the
// tiles where its spokes and marks passed (where it looks the same all round, it shows
// the same within the shimmer of its smooth edges); any other piece that changed, the
// tiles it reaches but for those where a piece above it is opaque in both frames
// (Texture::coverage) and those it paints in the same opaque colour in both.
class CoveredDamageMemo;
std::vector<SDL_Rect> damageBetween(const DisplayList& before, const DisplayList& after, const SDL_Rect& screen,
                                    bool reelsByTiles = false, CoveredDamageMemo* memo = nullptr);

// The tiles that pieces other than turning reels damaged between two frames, worked out
// by tiles (damageBetween with reelsByTiles), remembered by what both frames showed. The
// wobble poses the tape four ways in turn, so the same pairs of frames come back every
// few ticks, with only the reels turned further, which does not change what they cover.
// Remembers no pictures: they are known by their ids, which are never reused.
class CoveredDamageMemo {
public:
    // The pieces of both frames as they bear on the covered damage: a turning piece
    // that is not among the changed ones counts only as turned or upright.
    struct Frames {
        std::vector<ShownPiece> before, after;
        std::vector<std::size_t> changed;
        SDL_Rect screen{};
        bool operator==(const Frames& other) const noexcept;
    };
    static Frames framesOf(const std::vector<DrawCommand>& before, const std::vector<DrawCommand>& after,
                           const std::vector<std::size_t>& changed, const SDL_Rect& screen);
    // The damage remembered for these frames, if any.
    const std::vector<SDL_Rect>* find(const Frames& frames) noexcept;
    void remember(Frames frames, std::vector<SDL_Rect> damage);
    std::size_t size() const noexcept { return entries_.size(); }

    static constexpr std::size_t capacity = 8;

private:
    struct Entry {
        Frames frames;
        std::vector<SDL_Rect> damage;
        std::uint64_t lastUse = 0;
    };
    std::vector<Entry> entries_;
    std::uint64_t uses_ = 0;
};

// The part of `reach` (within the bounds of the piece at `index`) where the piece can
// show on a software renderer: inside its clip, and not where the pieces above it that
// do not turn paint opaquely; the smallest rectangle of whole tiles of 16 pixels
// (counted from the clipped corner) holding all of that. Empty where nothing shows.
SDL_Rect showingPart(const std::vector<DrawCommand>& commands, std::size_t index, const SDL_Rect& reach);

// Of the pieces (bottom first), those that show in the region: the ones that reach
// into it, from the last that covers all of it on.
std::vector<const DrawCommand*> piecesShowingIn(const std::vector<const DrawCommand*>& pieces, const SDL_Rect& region);
// Of those, the ones that paint there: not a drawing kept in parts none of whose parts
// reaches into the region (a tape roll's ring around a reel in its hole). Drawing them
// there would paint nothing; what the others show there does not change with them.
std::vector<const DrawCommand*> piecesPaintingIn(const std::vector<const DrawCommand*>& pieces, const SDL_Rect& region);

// Draws the part of the command inside the region into the renderer's target,
// whose top left corner is the renderer pixel `origin`.
void drawCommand(SDL_Renderer* renderer, const DrawCommand& command, const SDL_Rect& region, SDL_Point origin);

} // namespace platform::sdl
