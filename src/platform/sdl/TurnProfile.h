#pragma once
// Where a turning reel can change what the screen shows. A ring of a round picture
// that looks the same all the way round (the rim, the dark fill between the spokes,
// the hub's face) shows the same whatever the angle, so between two frames a reel
// needs redrawing only where its spokes, teeth and marks passed.

#include <SDL.h>

#include <array>
#include <cstdint>
#include <vector>

namespace platform::sdl {

class TurnProfile {
public:
    // How far, per 8-bit channel, a pixel may stray from what its ring shows elsewhere
    // and still count as the same. A reel's smooth edges shimmer by about this much as
    // it turns in any case; a spoke or a mark differs by far more.
    static constexpr int defaultTolerance = 16;

    // From the premultiplied ARGB pixels of a square picture, `pitch` bytes a row.
    TurnProfile(const Uint32* pixels, int size, int pitch, int tolerance = defaultTolerance);

    // Whether the picture, drawn at `scale` drawn pixels to one of its own and turned
    // about its centre, can show anything but its rings' usual colours between the
    // radii (in drawn pixels from the centre) in the directions from `fromDegrees` to
    // `toDegrees` of the picture itself (clockwise from its right, as atan2 on pixel
    // rows that go down). Directions may run past 360 or below 0.
    bool changes(double scale, double innerRadius, double outerRadius, double fromDegrees, double toDegrees) const noexcept
    {
        return anyWithin(ringsWithin(scale, innerRadius, outerRadius), fromDegrees, toDegrees);
    }

    int size() const noexcept { return size_; }

    // Whether the picture, drawn at `scale` drawn pixels to one of its own, is opaque
    // all the way round between the radii (in drawn pixels from the centre), whatever
    // its turn.
    bool opaqueBetween(double scale, double innerRadius, double outerRadius) const noexcept
    {
        // A drawn pixel mixes its neighbours in the picture: a pixel and a half to spare.
        const double from = innerRadius / scale - 1.5, to = outerRadius / scale + 1.5;
        return opaqueTo_ > opaqueFrom_ && from >= opaqueFrom_ && to <= opaqueTo_;
    }

    // Side of the squares, in pixels, in which changedTiles looks for change.
    static constexpr int tile = 16;

    // The squares of `area` (on a grid of `tile` pixels from `gridOrigin`) where the
    // picture, drawn into the square `destination` and turned on from `fromAngle` to
    // `toAngle` (degrees clockwise, toAngle ≥ fromAngle), can show something else:
    // added to `out` as rectangles, runs of squares along a row, a run like the one
    // above it lengthening that one's rectangle. Main thread only: it keeps what it
    // works out about each place the picture is drawn at.
    void changedTiles(const SDL_FRect& destination, const SDL_Rect& area, SDL_Point gridOrigin, double fromAngle,
                      double toAngle, std::vector<SDL_Rect>& out) const;

private:
    using Degrees = std::array<std::uint64_t, 6>;   // one bit per degree, 360 in all
    Degrees ringsWithin(double scale, double innerRadius, double outerRadius) const noexcept;
    static bool anyWithin(const Degrees& degrees, double fromDegrees, double toDegrees) noexcept;

    int size_ = 0;
    // The widest run of whole-pixel rings, as radii, that are opaque all round.
    int opaqueFrom_ = 0, opaqueTo_ = 0;
    // Per whole pixel of radius: the degrees in which that ring is not the same all round.
    std::vector<Degrees> rings_;

    // A square of a place the picture is drawn at: the directions it spans as seen from
    // the centre, and the degrees its rings are not the same all round in.
    struct Tile {
        int column = 0, row = 0;
        bool allRound = false;    // it holds the centre, or nearly
        double from = 0, to = 0;
        Degrees strays{};
    };
    struct Placement {
        SDL_FRect destination{};
        SDL_Rect area{};
        SDL_Point gridOrigin{};
        std::vector<Tile> tiles;   // only those the picture reaches, by rows
    };
    mutable std::vector<Placement> placements_;
    const Placement& placement(const SDL_FRect& destination, const SDL_Rect& area, SDL_Point gridOrigin) const;
};

} // namespace platform::sdl
