#include "platform/sdl/TurnProfile.h"

#include "platform/sdl/CompositorSupport.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::sdl {

namespace {

// Pixels are grouped by their distance from the centre in quarter pixels: a smooth
// edge's colour follows the distance closely, so within a quarter of a pixel it is
// nearly one colour all round.
constexpr int binsPerPixel = 4;
// Rings this close to the centre hold too few pixels to tell a pattern from a turn.
constexpr double centreRadius = 4.0;

double degreesOf(double dx, double dy) noexcept
{
    const double degrees = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
    return degrees < 0 ? degrees + 360.0 : degrees;
}

int channel(Uint32 pixel, int which) noexcept
{
    return static_cast<int>((pixel >> (8 * which)) & 0xff);
}

} // namespace

TurnProfile::TurnProfile(const Uint32* pixels, int size, int pitch, int tolerance) : size_(size)
{
    if (size <= 0)
        return;
    const double centre = size / 2.0;
    const auto radiusOf = [&](int x, int y) { return std::hypot(x + 0.5 - centre, y + 0.5 - centre); };
    const auto rowOf = [&](int y) {
        return reinterpret_cast<const Uint32*>(reinterpret_cast<const unsigned char*>(pixels) + std::ptrdiff_t(y) * pitch);
    };
    const int rings = static_cast<int>(std::ceil(centre * std::numbers::sqrt2)) + 2;
    rings_.assign(static_cast<std::size_t>(rings), Degrees{});

    // What each quarter-pixel ring usually shows: the median of each channel.
    std::vector<std::vector<Uint32>> members(static_cast<std::size_t>(rings * binsPerPixel));
    std::vector<Uint32> leastAlpha(static_cast<std::size_t>(rings), 255);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double radius = radiusOf(x, y);
            const Uint32 pixel = rowOf(y)[x];
            members[static_cast<std::size_t>(radius * binsPerPixel)].push_back(pixel);
            Uint32& least = leastAlpha[static_cast<std::size_t>(radius)];
            least = std::min(least, pixel >> 24);
        }
    // Rings beyond the corners hold no pixels and count as clear.
    for (std::size_t r = 0, start = 0; r <= leastAlpha.size(); ++r) {
        const bool opaque = r < leastAlpha.size() && leastAlpha[r] == 255 && double(r) + 1 <= centre;
        if (opaque)
            continue;
        if (int(r) - int(start) > opaqueTo_ - opaqueFrom_) {
            opaqueFrom_ = int(start);
            opaqueTo_ = int(r);
        }
        start = r + 1;
    }
    std::vector<Uint32> usual(members.size(), 0);
    std::vector<int> values;
    for (std::size_t bin = 0; bin < members.size(); ++bin) {
        const auto& ring = members[bin];
        if (ring.empty())
            continue;
        Uint32 median = 0;
        for (int c = 0; c < 4; ++c) {
            values.clear();
            for (const Uint32 p : ring)
                values.push_back(channel(p, c));
            const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
            std::nth_element(values.begin(), middle, values.end());
            median |= Uint32(*middle) << (8 * c);
        }
        usual[bin] = median;
    }

    // A smooth edge that runs round the picture changes colour steeply from one quarter
    // pixel to the next: what its pixels show depends on where they fall on the pixel
    // grid, not on the angle of anything drawn. Each ring may stray by what half a
    // pixel outwards or inwards changes, beyond the tolerance.
    std::vector<int> allowed(usual.size(), tolerance);
    for (std::size_t bin = 0; bin < usual.size(); ++bin)
        for (int c = 0; c < 4; ++c) {
            int steepest = 0;
            for (std::size_t n = bin >= 2 ? bin - 2 : 0; n <= std::min(bin + 2, usual.size() - 1); ++n)
                if (!members[n].empty())
                    steepest = std::max(steepest, std::abs(channel(usual[n], c) - channel(usual[bin], c)));
            allowed[bin] = std::max(allowed[bin], tolerance + steepest);
        }

    // The degrees where a pixel strays from its ring's usual colour, a degree to spare
    // on either side.
    std::vector<Degrees> strays(rings_.size(), Degrees{});
    const auto mark = [](Degrees& degrees, int degree) {
        const auto d = static_cast<unsigned>((degree + 360) % 360);
        degrees[d / 64] |= std::uint64_t{1} << (d % 64);
    };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double radius = radiusOf(x, y);
            const Uint32 pixel = rowOf(y)[x];
            const auto bin = static_cast<std::size_t>(radius * binsPerPixel);
            bool strays_ = radius < centreRadius;
            for (int c = 0; c < 4 && !strays_; ++c)
                strays_ = std::abs(channel(pixel, c) - channel(usual[bin], c)) > allowed[bin];
            if (!strays_)
                continue;
            const int degree = static_cast<int>(degreesOf(x + 0.5 - centre, y + 0.5 - centre));
            Degrees& ring = strays[static_cast<std::size_t>(radius)];
            for (int d = degree - 1; d <= degree + 1; ++d)
                mark(ring, d);
        }
    // A drawn pixel mixes its neighbours in the picture: a pixel to spare on either side
    // of each ring too.
    for (std::size_t r = 0; r < rings_.size(); ++r)
        for (std::size_t n = r == 0 ? 0 : r - 1; n <= std::min(r + 1, rings_.size() - 1); ++n)
            for (std::size_t w = 0; w < rings_[r].size(); ++w)
                rings_[r][w] |= strays[n][w];
}

TurnProfile::Degrees TurnProfile::ringsWithin(double scale, double innerRadius, double outerRadius) const noexcept
{
    Degrees within{};
    if (rings_.empty() || !(scale > 0)) {
        within.fill(~std::uint64_t{0});
        return within;
    }
    // A drawn pixel samples the picture a pixel or so either side of its own place.
    const double inner = innerRadius / scale - 1.5;
    const double outer = outerRadius / scale + 1.5;
    if (outer < 0 || inner >= double(rings_.size()))
        return within;
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(inner)));
    const auto last = std::min(rings_.size() - 1, static_cast<std::size_t>(outer));
    for (std::size_t r = first; r <= last; ++r)
        for (std::size_t w = 0; w < within.size(); ++w)
            within[w] |= rings_[r][w];
    return within;
}

bool TurnProfile::anyWithin(const Degrees& degrees, double fromDegrees, double toDegrees) noexcept
{
    if (!(toDegrees - fromDegrees < 359.0))
        return std::any_of(degrees.begin(), degrees.end(), [](std::uint64_t bits) { return bits != 0; });
    const double start = fromDegrees - 360.0 * std::floor(fromDegrees / 360.0);
    const auto from = static_cast<int>(start);
    const auto to = static_cast<int>(std::ceil(start + (toDegrees - fromDegrees)));
    // A word at a time: asked for every tile of a turning reel at every frame.
    const auto anyBetween = [&](int first, int last) {
        for (int word = first / 64; word <= last / 64; ++word) {
            const int low = std::max(first, word * 64) - word * 64, high = std::min(last, word * 64 + 63) - word * 64;
            const std::uint64_t mask = (~std::uint64_t{0} >> (63 - high)) & (~std::uint64_t{0} << low);
            if (degrees[static_cast<std::size_t>(word)] & mask)
                return true;
        }
        return false;
    };
    return anyBetween(from, std::min(to, 359)) || (to >= 360 && anyBetween(0, to - 360));
}

const TurnProfile::Placement& TurnProfile::placement(const SDL_FRect& destination, const SDL_Rect& area,
                                                     SDL_Point gridOrigin) const
{
    for (const Placement& known : placements_) {
        const SDL_FRect& d = known.destination;
        if (d.x == destination.x && d.y == destination.y && d.w == destination.w && d.h == destination.h
            && SDL_RectEquals(&known.area, &area) && known.gridOrigin.x == gridOrigin.x
            && known.gridOrigin.y == gridOrigin.y)
            return known;
    }
    // Two reels, each in a pose or two of a sliding screen: a few places are enough.
    if (placements_.size() >= 4)
        placements_.erase(placements_.begin());
    Placement& made = placements_.emplace_back();
    made.destination = destination;
    made.area = area;
    made.gridOrigin = gridOrigin;
    const double scale = double(destination.w) / size_;
    const double cx = double(destination.x) + destination.w / 2.0, cy = double(destination.y) + destination.h / 2.0;
    const double reach = destination.w / 2.0 + 2.0;
    const double degreesPerRadian = 180.0 / std::numbers::pi;
    const auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const int firstColumn = floorDiv(area.x - gridOrigin.x, tile);
    const int lastColumn = floorDiv(area.x + area.w - 1 - gridOrigin.x, tile);
    const int firstRow = floorDiv(area.y - gridOrigin.y, tile);
    const int lastRow = floorDiv(area.y + area.h - 1 - gridOrigin.y, tile);
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const double left = gridOrigin.x + column * tile - cx, right = left + tile;
            const double top = gridOrigin.y + row * tile - cy, bottom = top + tile;
            const double inner = std::hypot(std::clamp(0.0, left, right), std::clamp(0.0, top, bottom));
            if (inner > reach)
                continue;
            const double outer = std::hypot(std::max(std::fabs(left), std::fabs(right)),
                                            std::max(std::fabs(top), std::fabs(bottom)));
            Tile t;
            t.column = column;
            t.row = row;
            t.strays = ringsWithin(scale, inner, outer);
            t.allRound = inner <= 2.0;
            if (!t.allRound) {
                // The directions the square spans, and a pixel more.
                const double middle = std::atan2(top + bottom, left + right) * degreesPerRadian;
                double low = 0, high = 0;
                for (const double x : {left, right})
                    for (const double y : {top, bottom}) {
                        const double off = std::remainder(std::atan2(y, x) * degreesPerRadian - middle, 360.0);
                        low = std::min(low, off);
                        high = std::max(high, off);
                    }
                const double spare = std::asin(std::min(1.0, 1.5 / inner)) * degreesPerRadian;
                t.from = middle + low - spare;
                t.to = middle + high + spare;
            }
            made.tiles.push_back(t);
        }
    return made;
}

void TurnProfile::changedTiles(const SDL_FRect& destination, const SDL_Rect& area, SDL_Point gridOrigin,
                               double fromAngle, double toAngle, std::vector<SDL_Rect>& out) const
{
    const Placement& place = placement(destination, area, gridOrigin);
    const std::size_t firstNew = out.size();
    int runRow = 0, runStart = 0, runEnd = -1;   // the run of changed squares being gathered
    const auto endRun = [&] {
        if (runEnd < runStart)
            return;
        const SDL_Rect run{gridOrigin.x + runStart * tile, gridOrigin.y + runRow * tile, (runEnd - runStart + 1) * tile,
                           tile};
        SDL_Rect cut{};
        if (SDL_IntersectRect(&run, &area, &cut))
            support::addRun(out, firstNew, cut);
        runEnd = -1;
    };
    for (const Tile& t : place.tiles) {
        // A pixel in direction φ on the screen shows the picture's direction φ − angle.
        const bool changed = t.allRound ? std::any_of(t.strays.begin(), t.strays.end(), [](std::uint64_t b) { return b; })
                                        : anyWithin(t.strays, t.from - toAngle, t.to - fromAngle);
        if (!changed)
            continue;
        if (runEnd >= runStart && t.row == runRow && t.column == runEnd + 1) {
            runEnd = t.column;
            continue;
        }
        endRun();
        runRow = t.row;
        runStart = runEnd = t.column;
    }
    endRun();
}

} // namespace platform::sdl
