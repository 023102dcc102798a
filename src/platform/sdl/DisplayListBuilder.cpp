#include "platform/sdl/DisplayListBuilder.h"

#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/TextureFactory.h"

#include "platform/Turn.h"
#include "platform/View.h"
#include "platform/ViewContent.h"
#include "platform/Window.h"

#include <algorithm>
#include <cmath>
#include <numbers>

// Sections: placement · the frame · views · their content.

namespace platform::sdl {

using namespace support;

namespace {

// Key bits: the view's serial number above, the piece of the view below, and a
// mark for pieces of a transition's snapshot, which repeat keys of live pieces.
constexpr int keyPartBits = 8;
constexpr std::uint64_t snapshotKeyBit = std::uint64_t(1) << 63;
// The builder's own pieces of a view; the view's pieces follow.
enum Part : std::uint64_t { Background = 0, Dim = 1, ViewPieces = 2 };

std::uint64_t keyFor(const View& view, std::uint64_t part) noexcept
{
    return (view.serialNumber() << keyPartBits) | part;
}

Uint8 channel(float value) noexcept
{
    if (!(value > 0))
        return 0;
    if (value >= 1)
        return 255;
    return static_cast<Uint8>(std::lround(value * 255.0f));
}

// SDL turns quads in degrees; a quarter turn must come out exact, or the software
// renderer takes its slow, blurring path for what is really a plain 90° turn.
double degreesFor(double radians) noexcept
{
    double degrees = radians * 180.0 / std::numbers::pi;
    const double quarters = std::round(degrees / 90.0);
    if (std::fabs(degrees - quarters * 90.0) < 1e-4)
        degrees = quarters * 90.0;
    degrees = std::fmod(degrees, 360.0);
    return degrees == 0 ? 0.0 : degrees;   // no negative zero
}

} // namespace

// --- Placement -------------------------------------------------------------------------

// A view's bounds in pixels: p ↦ (a·x − b·y + tx, b·x + a·y + ty), a turn by `radians`
// scaled by the pixels per point.
struct DisplayListBuilder::Placement {
    double a = 1, b = 0, tx = 0, ty = 0;
    double radians = 0;
    double scale = 1;
    // The turn changes from frame to frame (a running rotation here or above).
    bool turning = false;
    // The place changes from frame to frame (a transition or a modal screen slides).
    bool sliding = false;
    // Of which up or down (a modal screen), not only sideways (the skins).
    bool slidingVertically = false;
    SDL_FPoint map(double x, double y) const noexcept
    {
        return {static_cast<float>(a * x - b * y + tx), static_cast<float>(b * x + a * y + ty)};
    }
    // The placement of a subview centred at `center`, turned by `turn`, of the given size.
    Placement child(Point center, double turn, Size size) const noexcept
    {
        Placement p;
        p.radians = radians + turn;
        p.scale = scale;
        p.turning = turning;
        p.sliding = sliding;
        p.slidingVertically = slidingVertically;
        // Quarter turns exactly, as the view tree places them.
        const Turn exact = turnFor(p.radians);
        p.a = scale * exact.cos;
        p.b = scale * exact.sin;
        const SDL_FPoint c = map(center.x, center.y);
        const double hx = size.width / 2.0, hy = size.height / 2.0;
        p.tx = c.x - (p.a * hx - p.b * hy);
        p.ty = c.y - (p.b * hx + p.a * hy);
        return p;
    }
    // The placement moved by a slide of (dx, dy) pixels.
    Placement slid(double dx, double dy) const noexcept
    {
        Placement p = *this;
        p.tx += dx;
        p.ty += dy;
        p.sliding = p.sliding || dx != 0 || dy != 0;
        p.slidingVertically = p.slidingVertically || dy != 0;
        return p;
    }
};

void DisplayListBuilder::pushQuad(const TexturePtr& texture, Rect r, const Placement& placement, SDL_Color color,
                                  SDL_BlendMode blend, const SDL_Rect& clip, std::uint64_t key)
{
    if (color.a == 0 || r.isEmpty() || isEmpty(clip))
        return;
    DrawCommand command;
    command.texture = texture;
    const SDL_FPoint centre = placement.map(double(r.x) + r.width / 2.0, double(r.y) + r.height / 2.0);
    const double w = r.width * placement.scale, h = r.height * placement.scale;
    command.destination = {static_cast<float>(centre.x - w / 2), static_cast<float>(centre.y - h / 2),
                           static_cast<float>(w), static_cast<float>(h)};
    command.angleDegrees = degreesFor(placement.radians);
    // A software renderer stretches a texture whose size differs from its place by a
    // fraction of a pixel, and where it samples (or where a fill's edge falls) depends
    // on the clip: a frame drawn in pieces then shows seams. At scales between whole
    // pixels per point, upright fills and textures made for this scale are put on
    // whole pixels instead, textures at their own size.
    if (textures_.software() && command.angleDegrees == 0) {
        SDL_FRect& d = command.destination;
        if (!texture) {
            const float right = std::round(d.x + d.w), bottom = std::round(d.y + d.h);
            d.x = std::round(d.x);
            d.y = std::round(d.y);
            d.w = right - d.x;
            d.h = bottom - d.y;
        } else if (std::fabs(w - texture->widthPixels) < 1 && std::fabs(h - texture->heightPixels) < 1) {
            d = {std::round(d.x), std::round(d.y), float(texture->widthPixels), float(texture->heightPixels)};
        }
    }
    command.color = color;
    command.blendMode = blend;
    // An opaque picture, upright and not faded, is copied rather than blended.
    if (blend == SDL_BLENDMODE_BLEND && texture && texture->opaque && color.a == 255 && command.angleDegrees == 0)
        command.blendMode = SDL_BLENDMODE_NONE;
    if (!texture && color.a == 255 && blend == SDL_BLENDMODE_BLEND)
        command.blendMode = SDL_BLENDMODE_NONE;
    command.clip = clip;
    command.key = key;
    command.turning = placement.turning;
    command.sliding = placement.sliding;
    if (isEmpty(command.bounds()))
        return;
    list_->commands.push_back(std::move(command));
}

// --- The frame -------------------------------------------------------------------------

void DisplayListBuilder::build(Window& window, Nanoseconds now, SDL_FPoint offset, const SDL_Rect& screen,
                               const DisplayList& previous, DisplayList& list)
{
    ++frameNumber_;
    now_ = now;
    textures_.beginFrame(now);
    previous_ = &previous;
    list_ = &list;
    list.commands.clear();
    list.commands.reserve(previous.commands.size() + 8);
    timing_ = {};

    const float scale = textures_.scale();
    Placement placement;
    placement.scale = scale;
    placement.a = scale;
    placement.tx = offset.x;
    placement.ty = offset.y;

    composeView(window.contentView(), placement, 1, screen);
    for (const auto& [view, offsetPoints] : window.modalLayers(now)) {
        if (offsetPoints != 0)
            timing_.animating = timing_.sliding = true;
        composeView(*view, placement.slid(0, double(offsetPoints) * scale), 1, screen);
    }
    if (View* alert = window.alertView()) {
        // The screen below an alert is dimmed, as the alert takes every touch.
        pushQuad(nullptr, {0, 0, Window::widthPoints, Window::heightPoints}, placement, SDL_Color{0, 0, 0, 102},
                 SDL_BLENDMODE_BLEND, screen, keyFor(*alert, Dim));
        composeView(*alert, placement, 1, screen);
    }

    // Views no longer in the tree are forgotten.
    std::erase_if(views_, [this](const auto& entry) { return entry.second.frame != frameNumber_; });
    previous_ = nullptr;
    list_ = nullptr;
}

std::size_t DisplayListBuilder::drawingBytes() const noexcept
{
    std::size_t bytes = 0;
    for (const auto& [serial, cache] : views_)
        if (cache.drawing)
            bytes += textureBytes(*cache.drawing);
    return bytes;
}

// --- Views -----------------------------------------------------------------------------

bool DisplayListBuilder::noteAnimations(const View& view)
{
    bool turning = false;
    const Layer& layer = view.layer();
    for (const auto& [key, animation] : layer.animations()) {
        const auto end = animation.beginTime + nanosecondsFromSeconds(animation.activeDuration());
        if (now_ >= end)
            continue;
        if (now_ >= animation.beginTime && animation.byValue != 0) {
            timing_.animating = true;
            turning = true;
            continue;
        }
        // Standing still until it starts or ends, when the angle jumps.
        const Nanoseconds change = now_ < animation.beginTime ? animation.beginTime : end;
        if (!timing_.nextChange || change < *timing_.nextChange)
            timing_.nextChange = change;
    }
    return turning;
}

void DisplayListBuilder::composeView(View& view, const Placement& parent, float parentAlpha, const SDL_Rect& clip)
{
    ViewCache& cache = views_[view.serialNumber()];
    const float alpha = parentAlpha * view.alpha();
    const std::size_t begin = list_->commands.size();
    const auto finish = [&] {
        cache.rangeBegin = begin;
        cache.rangeEnd = list_->commands.size();
        cache.frame = frameNumber_;
    };
    if (view.isHidden() || !(alpha > 0)) {
        // Nothing of a hidden view is kept: it is drawn again when it shows.
        cache.transitionBegin.reset();
        cache.snapshot.clear();
        cache.drawing.reset();
        cache.contentVersion = ~0UL;
        finish();
        return;
    }

    view.layer().pruneFinished(now_);
    const bool turning = noteAnimations(view);
    const double turn = double(view.transform().rotation) + view.layer().presentationAt(now_).rotation;
    Placement placement = parent.child(view.center(), turn, view.bounds().size());
    placement.turning = placement.turning || turning;

    // The view's own content, and its subviews over it.
    const auto composeTree = [&](const Placement& at, const SDL_Rect& within) {
        composeContent(view, cache, at, alpha, within);
        for (const auto& subview : view.subviews())
            composeView(*subview, at, alpha, within);
    };
    const Transition* transition = view.layer().activeTransitionAt(now_);
    if (!transition) {
        cache.transitionBegin.reset();
        cache.snapshot.clear();
        composeTree(placement, clip);
        finish();
        return;
    }

    timing_.animating = timing_.sliding = true;
    if (cache.transitionBegin != transition->beginTime) {
        // A new transition (or one replacing a running one) pushes out what the
        // previous frame showed of this view, mid-slide included.
        cache.transitionBegin = transition->beginTime;
        cache.snapshot.clear();
        if (cache.frame + 1 == frameNumber_ && cache.rangeEnd <= previous_->commands.size())
            cache.snapshot.assign(previous_->commands.begin() + static_cast<std::ptrdiff_t>(cache.rangeBegin),
                                  previous_->commands.begin() + static_cast<std::ptrdiff_t>(cache.rangeEnd));
    }

    // Both contents slide along the view's own x axis, inside the view's rectangle.
    const Size size = view.bounds().size();
    const SDL_FPoint origin = placement.map(0, 0);
    const SDL_FPoint xEnd = placement.map(size.width, 0);
    const SDL_FPoint yEnd = placement.map(0, size.height);
    const SDL_FPoint far = placement.map(size.width, size.height);
    const float minX = std::min({origin.x, xEnd.x, yEnd.x, far.x}), maxX = std::max({origin.x, xEnd.x, yEnd.x, far.x});
    const float minY = std::min({origin.y, xEnd.y, yEnd.y, far.y}), maxY = std::max({origin.y, xEnd.y, yEnd.y, far.y});
    const SDL_Rect viewRect{static_cast<int>(std::floor(minX)), static_cast<int>(std::floor(minY)),
                            static_cast<int>(std::ceil(maxX) - std::floor(minX)),
                            static_cast<int>(std::ceil(maxY) - std::floor(minY))};
    const SDL_Rect viewClip = intersect(clip, viewRect);

    const double progress = transition->progressAt(now_);
    const double fromRight = transition->subtype == TransitionSubtype::FromRight ? 1.0 : -1.0;
    const double axisX = double(xEnd.x) - origin.x, axisY = double(xEnd.y) - origin.y;
    const double newShift = fromRight * (1 - progress);
    const double oldShift = -fromRight * progress;

    // Each content keeps to the view's rectangle as it slides: pieces that stick out
    // of the view (a band picture past the screen's edge) would show in the seam.
    const auto shiftedRect = [&](double shift) {
        SDL_Rect r = viewRect;
        r.x += static_cast<int>(std::lround(axisX * shift));
        r.y += static_cast<int>(std::lround(axisY * shift));
        return intersect(viewClip, r);
    };
    const SDL_Rect oldClip = shiftedRect(oldShift);
    for (const DrawCommand& old : cache.snapshot) {
        DrawCommand moved = old;
        moved.destination.x += static_cast<float>(axisX * oldShift);
        moved.destination.y += static_cast<float>(axisY * oldShift);
        moved.preparedDestination.x += static_cast<float>(axisX * oldShift);
        moved.preparedDestination.y += static_cast<float>(axisY * oldShift);
        // The old piece keeps its own clip (it may have been sliding already), moved along.
        moved.clip.x += static_cast<int>(std::lround(axisX * oldShift));
        moved.clip.y += static_cast<int>(std::lround(axisY * oldShift));
        moved.clip = intersect(moved.clip, oldClip);
        moved.key |= snapshotKeyBit;
        moved.sliding = true;
        if (!isEmpty(moved.bounds()))
            list_->commands.push_back(std::move(moved));
    }
    const SDL_Rect newClip = shiftedRect(newShift);
    Placement sliding = placement.slid(axisX * newShift, axisY * newShift);
    sliding.sliding = true;
    composeTree(sliding, newClip);
    finish();
}

// --- Their content ---------------------------------------------------------------------

// Puts the pieces a view describes into the list, in its placement.
class DisplayListBuilder::Recorder final : public ContentRecorder {
public:
    Recorder(DisplayListBuilder& builder, View& view, ViewCache& cache, const Placement& placement, float alpha,
             const SDL_Rect& clip)
        : builder_(builder), view_(view), cache_(cache), placement_(placement), alpha_(alpha), clip_(clip)
    {
    }

    void drawing(int piece) override
    {
        TextureFactory& textures = builder_.textures_;
        const TextureFactory::Use use = usage();
        const bool unfit = cache_.drawing && !textures.serves(*cache_.drawing, use);
        if (cache_.contentVersion != view_.contentVersion() || cache_.scale != textures.scale()
            || view_.needsDisplay() || unfit) {
            // A view asked to draw again what it drew last (both tape rolls are, when
            // either changes size) keeps its drawing.
            const std::optional<std::uint64_t> key = view_.drawingKey();
            const Size size = view_.bounds().size();
            if (key && key == cache_.drawingKey && size == cache_.drawnSize && cache_.drawing && !unfit
                && cache_.scale == textures.scale()) {
                view_.displayKept();
            } else {
                cache_.drawing = textures.drawing(view_, use, unfit ? nullptr : cache_.drawing);
                cache_.drawingKey = key;
                cache_.drawnSize = size;
            }
            cache_.contentVersion = view_.contentVersion();
            cache_.scale = textures.scale();
        }
        if (const TexturePtr& texture = cache_.drawing)
            push(texture, {0, 0, texture->widthPoints, texture->heightPoints}, SDL_BLENDMODE_BLEND, piece);
    }

    void picture(const Image& image, Rect area, PictureFit fit, int piece) override
    {
        const TextureFactory::Use use = usage();
        const TexturePtr texture = builder_.textures_.picture(
            image.name, use, fit == PictureFit::Fill && use == TextureFactory::Use::Upright ? rowsShowing(area) : TextureFactory::Rows{});
        if (!texture)
            return;
        if (fit == PictureFit::Fill && (texture->partTop > 0 || texture->partBottom < 1)) {
            push(texture,
                 {area.x, area.y + area.height * texture->partTop, area.width,
                  area.height * (texture->partBottom - texture->partTop)},
                 SDL_BLENDMODE_BLEND, piece);
            return;
        }
        float w = texture->widthPoints, h = texture->heightPoints;
        switch (fit) {
        case PictureFit::Fill:
            w = area.width;
            h = area.height;
            break;
        case PictureFit::CentredShrunk: {
            const float shrink = std::min({1.0f, area.width / w, area.height / h});
            w *= shrink;
            h *= shrink;
            break;
        }
        case PictureFit::CentredCut:
            w = std::min(w, area.width);
            h = std::min(h, area.height);
            break;
        }
        const Rect at = fit == PictureFit::Fill ? area
                        : fit == PictureFit::CentredShrunk
                            ? Rect{area.x + (area.width - w) / 2, area.y + (area.height - h) / 2, w, h}
                            : Rect{area.midX() - w / 2, area.midY() - h / 2, w, h};
        push(texture, at, SDL_BLENDMODE_BLEND, piece);
    }

    void fill(Rect area, Color color, int piece) override
    {
        builder_.pushQuad(nullptr, area, placement_,
                          SDL_Color{channel(color.red), channel(color.green), channel(color.blue),
                                    channel(color.alpha * alpha_)},
                          SDL_BLENDMODE_BLEND, clip_, keyFor(view_, partFor(piece)));
    }

    void glow(Point center, int piece) override
    {
        const TexturePtr texture = builder_.textures_.glow();
        if (!texture)
            return;
        const float d = TextureFactory::glowDiameterPoints;
        push(texture, {center.x - d / 2, center.y - d / 2, d, d}, SDL_BLENDMODE_ADD, piece);
    }

private:
    // The rows of an upright picture filling `area` that can show inside the clip, with a
    // few pixels to spare for filtering: a skin taller than the screen never shows its top
    // and bottom, as it only ever slides sideways. A picture moved up or down is cut anew
    // only once it has moved by a 32nd of its height; one that slides up or down with its
    // screen (a modal screen) stays whole.
    TextureFactory::Rows rowsShowing(Rect area) const noexcept
    {
        using Rows = TextureFactory::Rows;
        const double top = placement_.map(area.x, area.y).y, bottom = placement_.map(area.x, area.maxY()).y;
        if (placement_.slidingVertically || !(bottom - top >= 1))
            return {};
        constexpr double spare = 4;
        const double first = (clip_.y - spare - top) / (bottom - top);
        const double last = (clip_.y + clip_.h + spare - top) / (bottom - top);
        const auto step = [](double steps) { return static_cast<int>(std::clamp(steps, 0.0, double(Rows::steps))); };
        const Rows rows{step(std::floor(first * Rows::steps)), step(std::ceil(last * Rows::steps))};
        return rows.top < rows.bottom ? rows : Rows{};
    }
    TextureFactory::Use usage() const noexcept
    {
        if (placement_.turning)
            return TextureFactory::Use::Turning;
        return degreesFor(placement_.radians) != 0 ? TextureFactory::Use::Turned : TextureFactory::Use::Upright;
    }
    static std::uint64_t partFor(int piece) noexcept
    {
        return ViewPieces + static_cast<std::uint64_t>(std::clamp(piece, 0, 199));
    }
    void push(const TexturePtr& texture, Rect area, SDL_BlendMode blend, int piece)
    {
        builder_.pushQuad(texture, area, placement_, SDL_Color{255, 255, 255, channel(alpha_)}, blend, clip_,
                          keyFor(view_, partFor(piece)));
    }

    DisplayListBuilder& builder_;
    View& view_;
    ViewCache& cache_;
    const Placement& placement_;
    float alpha_;
    const SDL_Rect& clip_;
};

void DisplayListBuilder::composeContent(View& view, ViewCache& cache, const Placement& placement, float alpha,
                                        const SDL_Rect& clip)
{
    const Color background = view.backgroundColor();
    if (background.alpha > 0)
        pushQuad(nullptr, view.bounds(), placement,
                 SDL_Color{channel(background.red), channel(background.green), channel(background.blue),
                           channel(background.alpha * alpha)},
                 SDL_BLENDMODE_BLEND, clip, keyFor(view, Background));
    Recorder recorder(*this, view, cache, placement, alpha, clip);
    view.describeContent(recorder);
}

} // namespace platform::sdl
