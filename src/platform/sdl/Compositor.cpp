#include "platform/sdl/Compositor.h"

#include "platform/sdl/CompositorSupport.h"

#include "platform/Button.h"
#include "platform/DrawingContext.h"
#include "platform/Label.h"
#include "platform/TextLayout.h"
#include "platform/Toolbar.h"
#include "platform/Turn.h"
#include "platform/View.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <set>

// Sections: resources and textures · placement · composing · damage · drawing.
// What only software renderers need lives in SoftwareCompositing.cpp.

namespace platform::sdl {

using namespace support;

namespace {

// Pictures are drawn at twice the point size.
constexpr float picturePixelsPerPoint = 2;
// Key bits: the view's serial number above, the piece of the view below, and a
// mark for pieces of a transition's snapshot, which repeat keys of live pieces.
constexpr int keyPartBits = 8;
constexpr std::uint64_t snapshotKeyBit = std::uint64_t(1) << 63;
enum Part : std::uint64_t { Background = 0, Content = 1, Glow = 2, Dim = 3, ToolbarItems = 16 };
// Diameter of the highlight glow of a touched button, in points.
constexpr float glowDiameterPoints = 44;

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

// Where the highlight glow of a touch goes: centred on the touched control.
Rect glowAround(float centerX, float centerY) noexcept
{
    return {centerX - glowDiameterPoints / 2, centerY - glowDiameterPoints / 2, glowDiameterPoints,
            glowDiameterPoints};
}

} // namespace

// --- Resources and textures -----------------------------------------------------

std::uint64_t Texture::nextId() noexcept
{
    static std::uint64_t next = 0;
    return ++next;
}

Texture::~Texture()
{
    if (handle)
        SDL_DestroyTexture(handle);
}

SDL_Rect DrawCommand::bounds() const noexcept
{
    const double cx = double(destination.x) + double(destination.w) / 2;
    const double cy = double(destination.y) + double(destination.h) / 2;
    const double radians = angleDegrees * std::numbers::pi / 180.0;
    const double c = std::fabs(std::cos(radians)), s = std::fabs(std::sin(radians));
    double halfW = (c * destination.w + s * destination.h) / 2;
    double halfH = (s * destination.w + c * destination.h) / 2;
    if (texture && texture->roundContent && std::fabs(destination.w - destination.h) < 0.5f) {
        halfW = destination.w / 2.0;
        halfH = destination.h / 2.0;
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

// A view's bounds in pixels: p ↦ (a·x − b·y + tx, b·x + a·y + ty), a turn by `radians`
// scaled by the pixels per point.
struct Compositor::Placement {
    double a = 1, b = 0, tx = 0, ty = 0;
    double radians = 0;
    double scale = 1;
    // The turn changes from frame to frame (a running rotation here or above).
    bool turning = false;
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
    Placement shifted(double dx, double dy) const noexcept
    {
        Placement p = *this;
        p.tx += dx;
        p.ty += dy;
        return p;
    }
};

Compositor::Compositor(SDL_Renderer* renderer, std::filesystem::path resourceFolder)
    : renderer_(renderer), resourceFolder_(std::move(resourceFolder))
{
    SDL_RendererInfo info{};
    software_ = SDL_GetRendererInfo(renderer_, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE) != 0;
}

Compositor::~Compositor() = default;

void Compositor::setViewport(float pixelsPerPoint, float offsetXPixels, float offsetYPixels)
{
    if (!(pixelsPerPoint > 0))
        pixelsPerPoint = 1;
    if (pixelsPerPoint != scale_) {
        pictures_.clear();
        views_.clear();
        turned_.clear();
        glow_.reset();
    }
    if (pixelsPerPoint != scale_ || offsetXPixels != offsetX_ || offsetYPixels != offsetY_)
        viewportChanged_ = true;
    scale_ = pixelsPerPoint;
    offsetX_ = offsetXPixels;
    offsetY_ = offsetYPixels;
}

SDL_Rect Compositor::screenRectPixels() const noexcept
{
    const int left = static_cast<int>(std::lround(offsetX_));
    const int top = static_cast<int>(std::lround(offsetY_));
    const int right = static_cast<int>(std::lround(offsetX_ + Window::widthPoints * scale_));
    const int bottom = static_cast<int>(std::lround(offsetY_ + Window::heightPoints * scale_));
    return {left, top, right - left, bottom - top};
}

// Cairo keeps premultiplied pixels; SDL's blending (and its software renderer,
// which knows no custom blend modes) wants straight alpha.
TexturePtr Compositor::textureFromCairo(void* surfaceHandle, float widthPoints, float heightPoints)
{
    auto* surface = static_cast<cairo_surface_t*>(surfaceHandle);
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    if (width <= 0 || height <= 0 || !data)
        return nullptr;

    std::vector<Uint32> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    bool opaque = cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32;
    const bool hasAlpha = !opaque;
    bool allOpaque = true;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const Uint32*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        Uint32* out = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const Uint32 p = row[x];
            if (!hasAlpha) {
                out[x] = p | 0xff000000u;
                continue;
            }
            const Uint32 alpha = p >> 24;
            if (alpha == 255) {
                out[x] = p;
                continue;
            }
            allOpaque = false;
            out[x] = alpha == 0 ? 0 : straightPixel(p);
        }
    }
    opaque = opaque || allOpaque;
    bool round = !opaque && width == height && width >= 8;
    // Anything visible beyond the inscribed circle (with a pixel to spare for its
    // smooth edge) makes the picture square for turning purposes. Only the corners
    // outside the circle are looked at, row by row.
    const double radius = width / 2.0 + 1;
    for (int y = 0; y < height && round; ++y) {
        const double dy = y + 0.5 - height / 2.0;
        const double halfChord = dy * dy < radius * radius ? std::sqrt(radius * radius - dy * dy) : 0;
        const int inFrom = std::max(0, static_cast<int>(std::floor(width / 2.0 - halfChord)));
        const int inTo = std::min(width, static_cast<int>(std::ceil(width / 2.0 + halfChord)));
        const Uint32* row = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < inFrom && round; ++x)
            round = (row[x] >> 24) == 0;
        for (int x = std::max(inTo, inFrom); x < width && round; ++x)
            round = (row[x] >> 24) == 0;
    }

    auto texture = staticTexture(pixels.data(), width, height, SDL_PIXELFORMAT_ARGB8888, SDL_BLENDMODE_BLEND);
    if (!texture) {
        std::fprintf(stderr, "spoolora: cannot make a %dx%d texture: %s\n", width, height, SDL_GetError());
        return nullptr;
    }
    // Linear filtering keeps turned reels smooth and scaled pictures soft-edged.
    SDL_SetTextureScaleMode(texture->handle, SDL_ScaleModeLinear);
    texture->widthPoints = widthPoints;
    texture->heightPoints = heightPoints;
    texture->opaque = opaque;
    texture->roundContent = round;
    if (software_)
        texture->pixels = std::shared_ptr<cairo_surface_t>(cairo_surface_reference(surface), cairo_surface_destroy);
    return texture;
}

std::shared_ptr<Texture> Compositor::staticTexture(const Uint32* pixels, int width, int height, Uint32 format,
                                                   SDL_BlendMode blend)
{
    SDL_Texture* handle = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STATIC, width, height);
    if (!handle)
        return nullptr;
    SDL_UpdateTexture(handle, nullptr, pixels, width * 4);
    SDL_SetTextureBlendMode(handle, blend);
    auto texture = std::make_shared<Texture>();
    texture->handle = handle;
    texture->widthPixels = width;
    texture->heightPixels = height;
    ++texturesMade_;
    return texture;
}

TexturePtr Compositor::picture(const std::string& name)
{
    if (const auto it = pictures_.find(name); it != pictures_.end())
        return it->second;
    TexturePtr texture;
    // Only plain file names: a picture name never reaches outside the resource folder.
    const bool plainName = !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
    const std::filesystem::path path = resourceFolder_ / name;
    SurfacePtr image(plainName ? cairo_image_surface_create_from_png(path.c_str()) : nullptr);
    if (!image || cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
        // A missing picture shows nothing; say so once, as it means a broken installation.
        std::fprintf(stderr, "spoolora: cannot load picture \"%s\" from %s\n", name.c_str(),
                     resourceFolder_.c_str());
    } else {
        const int width = cairo_image_surface_get_width(image.get());
        const int height = cairo_image_surface_get_height(image.get());
        const float widthPoints = float(width) / picturePixelsPerPoint;
        const float heightPoints = float(height) / picturePixelsPerPoint;
        if (scale_ < picturePixelsPerPoint) {
            // Shrunk once here with a proper filter rather than every frame by the renderer,
            // which would only sample every other pixel.
            const int w = std::max(1, static_cast<int>(std::lround(widthPoints * scale_)));
            const int h = std::max(1, static_cast<int>(std::lround(heightPoints * scale_)));
            SurfacePtr small(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
            cairo_t* cairo = cairo_create(small.get());
            cairo_scale(cairo, double(w) / width, double(h) / height);
            cairo_set_source_surface(cairo, image.get(), 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
            cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
            cairo_paint(cairo);
            cairo_destroy(cairo);
            texture = textureFromCairo(small.get(), widthPoints, heightPoints);
        } else {
            texture = textureFromCairo(image.get(), widthPoints, heightPoints);
        }
    }
    pictures_.emplace(name, texture);
    return texture;
}

namespace {
// A cairo surface of the view's bounds at the scale, with user space in points.
struct PointCanvas {
    SurfacePtr surface;
    cairo_t* cairo = nullptr;
    PointCanvas(Size size, float scale)
    {
        const int width = std::max(1, static_cast<int>(std::ceil(size.width * scale - 0.01f)));
        const int height = std::max(1, static_cast<int>(std::ceil(size.height * scale - 0.01f)));
        surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        cairo = cairo_create(surface.get());
        cairo_scale(cairo, scale, scale);
        cairo_rectangle(cairo, 0, 0, size.width, size.height);
        cairo_clip(cairo);
    }
    ~PointCanvas() { cairo_destroy(cairo); }
    PointCanvas(const PointCanvas&) = delete;
    PointCanvas& operator=(const PointCanvas&) = delete;
    float widthPoints(float scale) const { return float(cairo_image_surface_get_width(surface.get())) / scale; }
    float heightPoints(float scale) const { return float(cairo_image_surface_get_height(surface.get())) / scale; }
};
} // namespace

TexturePtr Compositor::labelTexture(const Label& label)
{
    const Size size = label.bounds().size();
    if (label.text().empty() || size.width <= 0 || size.height <= 0)
        return nullptr;
    PointCanvas canvas(size, scale_);
    drawLabelText(canvas.cairo, label);
    return textureFromCairo(canvas.surface.get(), canvas.widthPoints(scale_), canvas.heightPoints(scale_));
}

TexturePtr Compositor::drawnTexture(View& view)
{
    const Size size = view.bounds().size();
    if (size.width <= 0 || size.height <= 0)
        return nullptr;
    PointCanvas canvas(size, scale_);
    GraphicsContext context(canvas.cairo);
    view.display(context);
    return textureFromCairo(canvas.surface.get(), canvas.widthPoints(scale_), canvas.heightPoints(scale_));
}

TexturePtr Compositor::glowTexture()
{
    if (glow_)
        return glow_;
    PointCanvas canvas({glowDiameterPoints, glowDiameterPoints}, scale_);
    const double r = glowDiameterPoints / 2.0;
    cairo_pattern_t* gradient = cairo_pattern_create_radial(r, r, 0, r, r, r);
    cairo_pattern_add_color_stop_rgba(gradient, 0, 1, 1, 1, 0.9);
    cairo_pattern_add_color_stop_rgba(gradient, 0.35, 1, 1, 1, 0.55);
    cairo_pattern_add_color_stop_rgba(gradient, 1, 1, 1, 1, 0);
    cairo_set_source(canvas.cairo, gradient);
    cairo_paint(canvas.cairo);
    cairo_pattern_destroy(gradient);
    glow_ = textureFromCairo(canvas.surface.get(), canvas.widthPoints(scale_), canvas.heightPoints(scale_));
    return glow_;
}

// --- Composing --------------------------------------------------------------------

void Compositor::pushQuad(const TexturePtr& texture, Rect r, const Placement& placement, SDL_Color color,
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
    if (software_ && command.angleDegrees == 0) {
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
    if (isEmpty(command.bounds()))
        return;
    prepareTurn(command, placement.turning);
    current_.commands.push_back(std::move(command));
}

const DisplayList& Compositor::compose(Window& window, Nanoseconds now)
{
    ++frameNumber_;
    frameTime_ = now;
    previous_ = std::move(current_);
    current_.commands.clear();
    current_.commands.reserve(previous_.commands.size() + 8);
    timing_ = {};

    Placement screen;
    screen.scale = scale_;
    screen.a = scale_;
    screen.tx = offsetX_;
    screen.ty = offsetY_;
    const SDL_Rect clip = screenRectPixels();

    composeView(window.contentView(), screen, 1, clip, now);
    for (const auto& [view, offsetPoints] : window.modalLayers(now)) {
        if (offsetPoints != 0)
            timing_.animating = timing_.sliding = true;
        composeView(*view, screen.shifted(0, double(offsetPoints) * scale_), 1, clip, now);
    }
    if (View* alert = window.alertView()) {
        // The screen below an alert is dimmed, as the alert takes every touch.
        pushQuad(nullptr, {0, 0, Window::widthPoints, Window::heightPoints}, screen, SDL_Color{0, 0, 0, 102},
                 SDL_BLENDMODE_BLEND, clip, keyFor(*alert, Dim));
        composeView(*alert, screen, 1, clip, now);
    }

    // Views no longer in the tree leave the cache.
    std::erase_if(views_, [this](const auto& entry) { return entry.second.frame != frameNumber_; });
    // A turned copy is kept a little while: the wobble comes back to the same tilt.
    // A turning reel comes back to each kept turn once per revolution, which takes
    // up to about four seconds at playing speed. Looked through once a second.
    if (now - lastEviction_ > 1'000'000'000 || now < lastEviction_) {
        lastEviction_ = now;
        std::erase_if(turned_, [now](const auto& entry) {
            return now - entry.second.lastUsed > (entry.second.turning ? 10'000'000'000 : 2'000'000'000);
        });
    }
    std::erase_if(turnBuffers_, [this](const auto& entry) { return entry.second.frame != frameNumber_; });
    std::erase_if(symmetryPeriods_, [this](const auto& entry) {
        return std::none_of(pictures_.begin(), pictures_.end(),
                            [&](const auto& picture) { return picture.second && picture.second->id == entry.first; });
    });
    damage_ = computeDamage();
    viewportChanged_ = false;
    return current_;
}

bool Compositor::noteAnimations(const View& view, Nanoseconds now)
{
    bool turning = false;
    const Layer& layer = view.layer();
    for (const auto& [key, animation] : layer.animations()) {
        const auto end = animation.beginTime + nanosecondsFromSeconds(animation.activeDuration());
        if (now >= end)
            continue;
        if (now >= animation.beginTime && animation.byValue != 0) {
            timing_.animating = true;
            turning = true;
            continue;
        }
        // Standing still until it starts or ends, when the angle jumps.
        const Nanoseconds change = now < animation.beginTime ? animation.beginTime : end;
        if (!timing_.nextChange || change < *timing_.nextChange)
            timing_.nextChange = change;
    }
    return turning;
}

void Compositor::composeView(View& view, const Placement& parent, float parentAlpha, const SDL_Rect& clip,
                             Nanoseconds now)
{
    ViewCache& cache = views_[view.serialNumber()];
    const float alpha = parentAlpha * view.alpha();
    const std::size_t begin = current_.commands.size();
    const auto finish = [&] {
        cache.rangeBegin = begin;
        cache.rangeEnd = current_.commands.size();
        cache.frame = frameNumber_;
    };
    if (view.isHidden() || !(alpha > 0)) {
        cache.transitionBegin.reset();
        cache.snapshot.clear();
        finish();
        return;
    }

    view.layer().pruneFinished(now);
    const bool turning = noteAnimations(view, now);
    const double turn = double(view.transform().rotation) + view.layer().presentationAt(now).rotation;
    Placement placement = parent.child(view.center(), turn, view.bounds().size());
    placement.turning = placement.turning || turning;

    // The view's own content, its subviews over it, and the glow of a touch over all.
    const auto composeTree = [&](const Placement& at, const SDL_Rect& within) {
        composeContent(view, cache, at, alpha, within);
        for (const auto& subview : view.subviews())
            composeView(*subview, at, alpha, within, now);
        composeHighlight(view, at, alpha, within);
    };
    const Transition* transition = view.layer().activeTransitionAt(now);
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
        if (cache.frame + 1 == frameNumber_ && cache.rangeEnd <= previous_.commands.size())
            cache.snapshot.assign(previous_.commands.begin() + static_cast<std::ptrdiff_t>(cache.rangeBegin),
                                  previous_.commands.begin() + static_cast<std::ptrdiff_t>(cache.rangeEnd));
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

    const double progress = transition->progressAt(now);
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
        if (!isEmpty(moved.bounds()))
            current_.commands.push_back(std::move(moved));
    }
    const SDL_Rect newClip = shiftedRect(newShift);
    composeTree(placement.shifted(axisX * newShift, axisY * newShift), newClip);
    finish();
}

void Compositor::composeContent(View& view, ViewCache& cache, const Placement& placement, float alpha,
                                 const SDL_Rect& clip)
{
    const Rect bounds = view.bounds();
    const Color background = view.backgroundColor();
    if (background.alpha > 0)
        pushQuad(nullptr, bounds, placement,
                 SDL_Color{channel(background.red), channel(background.green), channel(background.blue),
                           channel(background.alpha * alpha)},
                 SDL_BLENDMODE_BLEND, clip, keyFor(view, Background));

    const SDL_Color tint{255, 255, 255, channel(alpha)};
    const auto refresh = [&](auto make) {
        if (cache.contentVersion != view.contentVersion() || cache.scale != scale_ || view.needsDisplay()) {
            cache.content = make();
            cache.contentVersion = view.contentVersion();
            cache.scale = scale_;
        }
        return cache.content;
    };
    // A picture at its own size, centred, and shrunk to fit when larger than the bounds.
    const auto centred = [&](const TexturePtr& texture) {
        float w = texture->widthPoints, h = texture->heightPoints;
        const float fit = std::min({1.0f, bounds.width / w, bounds.height / h});
        w *= fit;
        h *= fit;
        return Rect{(bounds.width - w) / 2, (bounds.height - h) / 2, w, h};
    };

    if (auto* label = dynamic_cast<Label*>(&view)) {
        if (const TexturePtr texture = refresh([&] { return labelTexture(*label); }))
            pushQuad(texture, {0, 0, texture->widthPoints, texture->heightPoints}, placement, tint,
                     SDL_BLENDMODE_BLEND, clip, keyFor(view, Content));
        return;
    }
    if (view.drawsContent()) {
        if (const TexturePtr texture = refresh([&] { return drawnTexture(view); }))
            pushQuad(texture, {0, 0, texture->widthPoints, texture->heightPoints}, placement, tint,
                     SDL_BLENDMODE_BLEND, clip, keyFor(view, Content));
        return;
    }
    if (auto* imageView = dynamic_cast<ImageView*>(&view)) {
        if (!imageView->image())
            return;
        const TexturePtr texture = picture(imageView->image()->name);
        if (!texture)
            return;
        const Rect area = imageView->contentMode() == ContentMode::Center ? centred(texture) : bounds;
        pushQuad(texture, area, placement, tint, SDL_BLENDMODE_BLEND, clip, keyFor(view, Content));
        return;
    }
    if (auto* button = dynamic_cast<Button*>(&view)) {
        if (button->image())
            if (const TexturePtr texture = picture(button->image()->name))
                pushQuad(texture, centred(texture), placement, tint, SDL_BLENDMODE_BLEND, clip, keyFor(view, Content));
        return;
    }
    if (auto* toolbar = dynamic_cast<Toolbar*>(&view)) {
        composeToolbar(*toolbar, placement, alpha, clip);
        return;
    }
    if (dynamic_cast<VolumeView*>(&view)) {
        if (const TexturePtr texture = picture("volume_icon.png"))
            pushQuad(texture, centred(texture), placement, tint, SDL_BLENDMODE_BLEND, clip, keyFor(view, Content));
    }
}

void Compositor::composeHighlight(View& view, const Placement& placement, float alpha, const SDL_Rect& clip)
{
    auto* button = dynamic_cast<Button*>(&view);
    if (!button || !button->showsTouchWhenHighlighted() || !button->isHighlighted())
        return;
    const TexturePtr glow = glowTexture();
    if (!glow)
        return;
    const Rect bounds = view.bounds();
    pushQuad(glow, glowAround(bounds.midX(), bounds.midY()), placement, SDL_Color{255, 255, 255, channel(alpha)},
             SDL_BLENDMODE_ADD, clip, keyFor(view, Glow));
}

void Compositor::composeToolbar(Toolbar& toolbar, const Placement& placement, float alpha, const SDL_Rect& clip)
{
    const Rect bounds = toolbar.bounds();
    // The bar itself: translucent black lets the cassette show through, as it lies over it.
    SDL_Color fill{20, 20, 24, 255};
    if (toolbar.barStyle() == BarStyle::BlackTranslucent)
        fill = {0, 0, 0, 150};
    else if (toolbar.barStyle() == BarStyle::Default)
        fill = {92, 110, 132, 255};
    fill.a = channel(float(fill.a) / 255.0f * alpha);
    pushQuad(nullptr, bounds, placement, fill, SDL_BLENDMODE_BLEND, clip, keyFor(toolbar, Background));
    pushQuad(nullptr, {0, 0, bounds.width, 1}, placement, SDL_Color{255, 255, 255, channel(0.16f * alpha)},
             SDL_BLENDMODE_BLEND, clip, keyFor(toolbar, Content));

    const auto& items = toolbar.items();
    const std::vector<Rect> frames = toolbar.itemFrames();
    std::set<const BarButtonItem*> shown;
    for (std::size_t i = 0; i < items.size() && i < frames.size(); ++i) {
        const BarButtonItem* item = items[i];
        if (!item || !shown.insert(item).second || !item->systemItem() || item->isSpace())
            continue;
        const char* name = nullptr;
        switch (*item->systemItem()) {
        case SystemItem::Play: name = "UIBarButtonSystemPlay.png"; break;
        case SystemItem::Pause: name = "UIBarButtonSystemPause.png"; break;
        case SystemItem::Action: name = "UIBarButtonSystemAction.png"; break;
        default: break;
        }
        const std::uint64_t part = ToolbarItems + 2 * std::min<std::size_t>(i, 100);
        const Rect area = frames[i];
        if (name)
            if (const TexturePtr texture = picture(name)) {
                const float w = std::min(texture->widthPoints, area.width);
                const float h = std::min(texture->heightPoints, area.height);
                pushQuad(texture, {area.midX() - w / 2, area.midY() - h / 2, w, h}, placement,
                         SDL_Color{255, 255, 255, channel(alpha)}, SDL_BLENDMODE_BLEND, clip, keyFor(toolbar, part));
            }
        if (toolbar.highlightedItem() == item)
            if (const TexturePtr glow = glowTexture())
                pushQuad(glow, glowAround(area.midX(), area.midY()), placement,
                         SDL_Color{255, 255, 255, channel(alpha)}, SDL_BLENDMODE_ADD, clip, keyFor(toolbar, part + 1));
    }
}

// --- Damage ---------------------------------------------------------------------------

std::vector<SDL_Rect> Compositor::computeDamage() const
{
    const SDL_Rect screen = screenRectPixels();
    if (viewportChanged_ || frameNumber_ <= 1)
        return {screen};

    std::vector<SDL_Rect> rects;
    const auto add = [&](const DrawCommand& command) {
        const SDL_Rect r = intersect(command.bounds(), screen);
        if (!isEmpty(r))
            rects.push_back(r);
    };
    const auto& before = previous_.commands;
    const auto& after = current_.commands;
    const bool sameKeys = before.size() == after.size()
                          && std::equal(before.begin(), before.end(), after.begin(),
                                        [](const DrawCommand& a, const DrawCommand& b) { return a.key == b.key; });
    if (sameKeys) {
        for (std::size_t i = 0; i < after.size(); ++i)
            if (!after[i].sameAs(before[i])) {
                add(before[i]);
                add(after[i]);
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
            if (!command.sameAs(before[it->second])) {
                add(before[it->second]);
                add(command);
            }
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
                if (SDL_HasIntersection(&rects[i], &rects[j])) {
                    rects[i] = unite(rects[i], rects[j]);
                    rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
    }
    if (rects.size() > 6) {
        SDL_Rect all{};
        for (const SDL_Rect& r : rects)
            all = unite(all, r);
        return {all};
    }
    return rects;
}

// --- Drawing ---------------------------------------------------------------------------

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

void Compositor::drawCommand(const DrawCommand& command, const SDL_Rect& region, SDL_Point origin) const
{
    const SDL_Rect clip = intersect(command.clip, region);
    if (isEmpty(clip))
        return;
    const SDL_Rect targetClip = moved(clip, origin);
    SDL_RenderSetClipRect(renderer_, &targetClip);
    const SDL_Color c = command.color;
    const SDL_FRect destination = moved(command.destination, origin);
    if (!command.texture) {
        SDL_SetRenderDrawBlendMode(renderer_, command.blendMode);
        SDL_SetRenderDrawColor(renderer_, c.r, c.g, c.b, c.a);
        if (command.angleDegrees == 0) {
            SDL_RenderFillRectF(renderer_, &destination);
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
        SDL_RenderGeometry(renderer_, nullptr, vertices, 4, indices, 6);
        return;
    }
    if (command.prepared) {
        SDL_Texture* turned = command.prepared->handle;
        SDL_SetTextureColorMod(turned, c.r, c.g, c.b);
        SDL_SetTextureAlphaMod(turned, c.a);
        SDL_SetTextureBlendMode(turned, command.blendMode);
        const SDL_FRect at = moved(command.preparedDestination, origin);
        SDL_RenderCopyF(renderer_, turned, nullptr, &at);
        return;
    }
    SDL_Texture* texture = command.texture->handle;
    SDL_SetTextureColorMod(texture, c.r, c.g, c.b);
    SDL_SetTextureAlphaMod(texture, c.a);
    SDL_SetTextureBlendMode(texture, command.blendMode);
    if (command.angleDegrees == 0)
        SDL_RenderCopyF(renderer_, texture, nullptr, &destination);
    else
        SDL_RenderCopyExF(renderer_, texture, nullptr, &destination, command.angleDegrees, nullptr, SDL_FLIP_NONE);
}

// Whether the command paints every pixel of the region opaquely, so that nothing
// drawn before it there can show.
bool Compositor::covers(const DrawCommand& command, const SDL_Rect& region) const noexcept
{
    if (command.blendMode != SDL_BLENDMODE_NONE || command.angleDegrees != 0 || command.prepared
        || command.color.a != 255 || (command.texture && !command.texture->opaque))
        return false;
    const SDL_FRect& d = command.destination;
    const SDL_Rect& c = command.clip;
    return d.x <= float(region.x) && d.y <= float(region.y) && d.x + d.w >= float(region.x + region.w)
           && d.y + d.h >= float(region.y + region.h) && c.x <= region.x && c.y <= region.y
           && c.x + c.w >= region.x + region.w && c.y + c.h >= region.y + region.h;
}

void Compositor::drawRegion(const SDL_Rect& region, bool everything)
{
    const auto& commands = current_.commands;
    const std::size_t topFirst = topStack_ ? topStack_->first : commands.size();
    std::vector<const DrawCommand*> lower;
    for (std::size_t i = 0; i < topFirst; ++i) {
        const DrawCommand& command = commands[i];
        if (!SDL_HasIntersection(&region, &command.clip))
            continue;
        const SDL_Rect b = command.bounds();
        if (SDL_HasIntersection(&region, &b))
            lower.push_back(&command);
    }
    if (!topStack_) {
        drawPieces(region, lower);
        return;
    }
    const SDL_Rect screen = screenRectPixels();
    const auto drawTop = [&](const SDL_Rect& area) {
        const SDL_Rect part = intersect(area, screen);
        if (isEmpty(part))
            return;
        const SDL_Rect source{part.x - screen.x, part.y - screen.y, part.w, part.h};
        SDL_RenderSetClipRect(renderer_, &part);
        SDL_RenderCopy(renderer_, topStack_->texture->handle, &source, &part);
    };
    const std::vector<SDL_Rect> below = openRects(region, topStack_->open);
    for (const SDL_Rect& rect : below)
        drawPieces(rect, lower);
    // Where the top is opaque the frame already shows it, unless the top is new, the
    // whole frame is being drawn afresh, or the rectangles just drawn below reached
    // over it (they span whole rows of tiles); where it is clear there is nothing to add.
    if (everything || topStack_->builtInFrame == frameNumber_) {
        drawTop(region);
        return;
    }
    for (const SDL_Rect& rect : openRects(region, topTilesToRedraw(below)))
        drawTop(rect);
}

void Compositor::draw()
{
    drawRegions({screenRectPixels()}, true);
}

void Compositor::draw(const std::vector<SDL_Rect>& regions)
{
    drawRegions(regions, false);
}

void Compositor::drawRegions(const std::vector<SDL_Rect>& regions, bool everything)
{
    if (software_)
        updateTopStack();
    else
        topStack_.reset();
    for (const SDL_Rect& region : regions)
        drawRegion(region, everything);
    SDL_RenderSetClipRect(renderer_, nullptr);
    forgetUnusedKeptLayers();
}

} // namespace platform::sdl
