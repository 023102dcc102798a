#include "platform/sdl/TextureFactory.h"

#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/Coverage.h"
#include "platform/sdl/PictureSquares.h"

#include "platform/DrawingContext.h"
#include "platform/View.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform::sdl {

using namespace support;

namespace {
// Pictures are drawn at twice the point size.
constexpr float picturePixelsPerPoint = 2;
} // namespace

TextureFactory::TextureFactory(SDL_Renderer* renderer, std::filesystem::path resourceFolder)
    : renderer_(renderer), resourceFolder_(std::move(resourceFolder))
{
    SDL_RendererInfo info{};
    software_ = SDL_GetRendererInfo(renderer_, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE) != 0;
}

void TextureFactory::setScale(float pixelsPerPoint)
{
    if (pixelsPerPoint == scale_)
        return;
    scale_ = pixelsPerPoint;
    pictures_.clear();
    glow_.reset();
}

bool TextureFactory::isLoadedPicture(std::uint64_t textureId) const noexcept
{
    return std::any_of(pictures_.begin(), pictures_.end(), [&](const auto& picture) {
        return picture.second.texture && picture.second.texture->id == textureId;
    });
}

namespace {
// How many bytes of textures are kept to be filled again, and for how long: enough
// for a tape roll's drawing at 2× and the layers read back below the reels.
constexpr std::size_t maxSpareBytes = 2 * 1024 * 1024;
constexpr Nanoseconds spareNanoseconds = 1'000'000'000;
} // namespace

TextureFactory::Spares::~Spares()
{
    for (const Spare& spare : textures)
        SDL_DestroyTexture(spare.handle);
}

void TextureFactory::Spares::forgetOlderThan(Nanoseconds age)
{
    std::erase_if(textures, [&](const Spare& spare) {
        if (now - spare.since <= age && now >= spare.since)
            return false;
        SDL_DestroyTexture(spare.handle);
        return true;
    });
}

bool TextureFactory::forgetUnusedPictures()
{
    spares_->forgetOlderThan(spareNanoseconds);
    // A picture off the screen for a second goes (a skin slid out, a closed screen's
    // icons); one that could not be loaded stays remembered, so that it is reported once.
    return std::erase_if(pictures_, [this](const auto& entry) {
               return entry.second.texture && (now_ - entry.second.lastUsed > 1'000'000'000 || now_ < entry.second.lastUsed);
           }) > 0;
}

std::size_t TextureFactory::pictureBytes() const noexcept
{
    std::size_t bytes = 0;
    for (const auto& [name, picture] : pictures_)
        if (picture.texture)
            bytes += textureBytes(*picture.texture);
    return bytes;
}

namespace {
// Whether the square picture (ARGB rows `stride` bytes apart, premultiplied or not) shows
// nothing outside its inscribed circle, with a pixel to spare for its smooth edge. Only
// the corners outside the circle are looked at, row by row.
bool roundPicture(const unsigned char* data, int stride, int width, int height)
{
    if (width != height || width < 8)
        return false;
    const double radius = width / 2.0 + 1;
    for (int y = 0; y < height; ++y) {
        const double dy = y + 0.5 - height / 2.0;
        const double halfChord = dy * dy < radius * radius ? std::sqrt(radius * radius - dy * dy) : 0;
        const int inFrom = std::max(0, static_cast<int>(std::floor(width / 2.0 - halfChord)));
        const int inTo = std::min(width, static_cast<int>(std::ceil(width / 2.0 + halfChord)));
        const auto* row = reinterpret_cast<const Uint32*>(data + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < inFrom; ++x)
            if ((row[x] >> 24) != 0)
                return false;
        for (int x = std::max(inTo, inFrom); x < width; ++x)
            if ((row[x] >> 24) != 0)
                return false;
    }
    return true;
}

// Turns the premultiplied rows of cairo pixels at `data` (`hasAlpha`: ARGB32, otherwise
// RGB24) into straight-alpha ARGB pixels (which may be the same memory, rows as far
// apart), or only looks at them when there are no `pixels`, and tells whether every pixel
// is opaque and whether nothing shows outside the circle inscribed in a square picture.
void straighten(const unsigned char* data, int stride, bool hasAlpha, Uint32* pixels, int pitch, int width, int height,
                bool& opaque, bool& round)
{
    bool allOpaque = true;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const Uint32*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        if (!pixels) {
            for (int x = 0; x < width && hasAlpha && allOpaque; ++x)
                allOpaque = (row[x] >> 24) == 0xff;
            continue;
        }
        auto* out = reinterpret_cast<Uint32*>(reinterpret_cast<unsigned char*>(pixels) + std::ptrdiff_t(y) * pitch);
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
    opaque = !hasAlpha || allOpaque;
    round = !opaque && roundPicture(data, stride, width, height);
}
} // namespace

TexturePtr TextureFactory::finished(std::shared_ptr<Texture> texture, int width, int height, float widthPoints,
                                    float heightPoints, bool opaque, bool round)
{
    if (!texture) {
        std::fprintf(stderr, "spoolora: cannot make a %dx%d texture: %s\n", width, height, SDL_GetError());
        return nullptr;
    }
    // Linear filtering keeps turned reels smooth and scaled pictures soft-edged.
    if (texture->handle)
        SDL_SetTextureScaleMode(texture->handle, SDL_ScaleModeLinear);
    texture->widthPoints = widthPoints;
    texture->heightPoints = heightPoints;
    texture->opaque = opaque;
    texture->roundContent = round;
    return texture;
}

TexturePtr TextureFactory::fromCairo(cairo_surface_t* surface, float widthPoints, float heightPoints, Use use)
{
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    if (width <= 0 || height <= 0 || !data)
        return nullptr;
    const bool hasAlpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
    bool opaque = !hasAlpha, round = false;
    if (software_ && use == Use::Turning) {
        // Turned from its premultiplied pixels at every draw: the renderer never draws it
        // as it stands, so it gets no texture.
        straighten(data, stride, hasAlpha, nullptr, 0, width, height, opaque, round);
        auto texture = std::make_shared<Texture>();
        texture->widthPixels = width;
        texture->heightPixels = height;
        texture->pixels = std::shared_ptr<cairo_surface_t>(cairo_surface_reference(surface), cairo_surface_destroy);
        return finished(std::move(texture), width, height, widthPoints, heightPoints, opaque, round);
    }
    auto texture = filled(width, height, SDL_PIXELFORMAT_ARGB8888, SDL_BLENDMODE_BLEND, [&](Uint32* pixels, int pitch) {
        straighten(data, stride, hasAlpha, pixels, pitch, width, height, opaque, round);
        return true;
    });
    if (texture && software_ && use == Use::Every)
        texture->pixels = std::shared_ptr<cairo_surface_t>(cairo_surface_reference(surface), cairo_surface_destroy);
    return finished(std::move(texture), width, height, widthPoints, heightPoints, opaque, round);
}

TexturePtr TextureFactory::painted(int width, int height, float widthPoints, float heightPoints,
                                   const std::function<void(cairo_surface_t*)>& paint)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    bool opaque = false, round = false;
    TexturePtr parts;
    auto texture = filled(width, height, SDL_PIXELFORMAT_ARGB8888, SDL_BLENDMODE_BLEND, [&](Uint32* pixels, int pitch) {
        auto* data = reinterpret_cast<unsigned char*>(pixels);
        SurfacePtr canvas(cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width, height, pitch));
        if (cairo_surface_status(canvas.get()) != CAIRO_STATUS_SUCCESS)
            return false;
        for (int y = 0; y < height; ++y)
            std::memset(data + std::ptrdiff_t(y) * pitch, 0, std::size_t(width) * 4);
        cairo_surface_mark_dirty(canvas.get());
        paint(canvas.get());
        cairo_surface_flush(canvas.get());
        // Mostly clear (a turned label): kept in parts, and this texture goes at once.
        if (software_ && (parts = inParts(canvas.get(), widthPoints, heightPoints)))
            return false;
        canvas.reset();
        straighten(data, pitch, true, pixels, pitch, width, height, opaque, round);
        return true;
    });
    if (parts)
        return parts;
    return finished(std::move(texture), width, height, widthPoints, heightPoints, opaque, round);
}

std::shared_ptr<Texture> TextureFactory::filled(int width, int height, Uint32 format, SDL_BlendMode blend,
                                               const std::function<bool(Uint32*, int)>& fill)
{
    if (!software_) {
        std::vector<Uint32> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        if (!fill(pixels.data(), width * 4))
            return nullptr;
        return fromPixels(pixels.data(), width, height, format, blend);
    }
    // A software renderer's texture is a surface in memory whatever its access: filled
    // in place, without a copy on the side, and taken from the spares when one fits.
    SDL_Texture* handle = nullptr;
    auto& spares = spares_->textures;
    if (const auto fits = std::find_if(spares.begin(), spares.end(),
                                       [&](const Spares::Spare& spare) {
                                           return spare.width == width && spare.height == height
                                                  && spare.format == format;
                                       });
        fits != spares.end()) {
        handle = fits->handle;
        spares.erase(fits);
        SDL_SetTextureScaleMode(handle, SDL_ScaleModeNearest);
        SDL_SetTextureColorMod(handle, 255, 255, 255);
        SDL_SetTextureAlphaMod(handle, 255);
    } else {
        handle = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    }
    if (!handle)
        return nullptr;
    void* pixels = nullptr;
    int pitch = 0;
    bool done = SDL_LockTexture(handle, nullptr, &pixels, &pitch) == 0;
    if (done) {
        done = fill(static_cast<Uint32*>(pixels), pitch);
        SDL_UnlockTexture(handle);
    }
    if (!done) {
        SDL_DestroyTexture(handle);
        return nullptr;
    }
    SDL_SetTextureBlendMode(handle, blend);
    auto texture = std::make_shared<Texture>();
    texture->handle = handle;
    texture->widthPixels = width;
    texture->heightPixels = height;
    texture->release = [kept = std::weak_ptr<Spares>(spares_), width, height, format](SDL_Texture* released) {
        const std::shared_ptr<Spares> spares = kept.lock();
        const auto bytes = [](const Spares::Spare& spare) { return std::size_t(spare.width) * std::size_t(spare.height) * 4; };
        const Spares::Spare added{released, width, height, format, spares ? spares->now : 0};
        if (!spares || bytes(added) > maxSpareBytes) {
            SDL_DestroyTexture(released);
            return;
        }
        // The oldest make room.
        std::size_t held = bytes(added);
        for (const Spares::Spare& spare : spares->textures)
            held += bytes(spare);
        auto& textures = spares->textures;
        while (held > maxSpareBytes && !textures.empty()) {
            held -= bytes(textures.front());
            SDL_DestroyTexture(textures.front().handle);
            textures.erase(textures.begin());
        }
        textures.push_back(added);
    };
    ++texturesMade_;
    return texture;
}

std::shared_ptr<Texture> TextureFactory::fromPixels(const Uint32* pixels, int width, int height, Uint32 format,
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

std::shared_ptr<const Coverage> coverageOf(cairo_surface_t* surface)
{
    cairo_surface_flush(surface);
    auto coverage = std::make_shared<const Coverage>(
        reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(surface)), cairo_image_surface_get_width(surface),
        cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface));
    return coverage->anyOpaque() ? coverage : nullptr;
}

namespace {
// Where the picture is opaque, for working out what covers what on a software renderer
// where it stands upright (a round tape band too, between its tilts).
void addCoverage(Texture& texture, cairo_surface_t* surface)
{
    if (!texture.opaque)
        texture.coverage = coverageOf(surface);
}
} // namespace

TexturePtr TextureFactory::picture(const std::string& name, Use use, Rows rows)
{
    // Cut pictures are kept apart from whole ones; a line break ends no plain file name.
    // A picture loaded whole for another piece (a band shown turned as well as upright)
    // serves where only some of its rows show.
    // Asked for every picture at every frame: the key is written into kept memory.
    if (!rows.whole()) {
        char numbers[32];
        const int length = std::snprintf(numbers, sizeof numbers, "\n%d-%d", rows.top, rows.bottom);
        cutKey_.assign(name).append(numbers, std::size_t(std::clamp(length, 0, int(sizeof numbers) - 1)));
    }
    const std::string& key = rows.whole() ? name : cutKey_;
    if (const auto it = pictures_.find(name); !rows.whole() && it != pictures_.end() && it->second.texture
                                              && serves(*it->second.texture, use)) {
        it->second.lastUsed = now_;
        return it->second.texture;
    }
    if (const auto it = pictures_.find(key); it != pictures_.end()) {
        Picture& picture = it->second;
        const bool shownInThisFrame = picture.lastUsed == now_;
        picture.lastUsed = now_;
        if (!picture.texture || serves(*picture.texture, use))
            return picture.texture;
        // A picture shown upright before and now turning, or the other way round, is loaded
        // again for its new use; shown both ways in one frame, it is loaded for both.
        if (shownInThisFrame)
            use = Use::Every;
        pictures_.erase(it);
    }
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
        int height = cairo_image_surface_get_height(image.get());
        // Only the rows asked for, widened to whole points.
        const int perPoint = static_cast<int>(picturePixelsPerPoint);
        const int first = std::clamp(rows.top * height / Rows::steps / perPoint * perPoint, 0, height);
        const int below = (rows.bottom * height + Rows::steps - 1) / Rows::steps;
        const int last = std::clamp((below + perPoint - 1) / perPoint * perPoint, first, height);
        float partTop = 0, partBottom = 1;
        if ((first > 0 || last < height) && last > first) {
            SurfacePtr cut(cairo_image_surface_create(cairo_image_surface_get_format(image.get()), width, last - first));
            cairo_surface_flush(image.get());
            const int from = cairo_image_surface_get_stride(image.get()), to = cairo_image_surface_get_stride(cut.get());
            for (int y = first; y < last; ++y)
                std::memcpy(cairo_image_surface_get_data(cut.get()) + std::ptrdiff_t(y - first) * to,
                            cairo_image_surface_get_data(image.get()) + std::ptrdiff_t(y) * from, std::size_t(std::min(from, to)));
            cairo_surface_mark_dirty(cut.get());
            partTop = float(first) / float(height);
            partBottom = float(last) / float(height);
            image = std::move(cut);
            height = last - first;
        }
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
            image = std::move(small);
        }
        texture = fromCairo(image.get(), widthPoints, heightPoints, use);
        if (texture) {
            std::const_pointer_cast<Texture>(texture)->partTop = partTop;
            std::const_pointer_cast<Texture>(texture)->partBottom = partBottom;
        }
        // Also for a picture shown turned as well (a tape band tilting as the tape
        // wobbles): where it stands upright, what it covers is known.
        if (texture && software_ && use != Use::Turning)
            addCoverage(*std::const_pointer_cast<Texture>(texture), image.get());
    }
    pictures_.emplace(key, Picture{texture, now_});
    return texture;
}

namespace {
// A cairo surface of the view's bounds at the scale, with user space in points.
struct PointCanvas {
    SurfacePtr surface;
    cairo_t* cairo = nullptr;
    // Draws into `reused` when it has the size needed, made clear where it was drawn
    // (`drawn`; it is clear elsewhere).
    PointCanvas(Size size, float scale, SurfacePtr reused = nullptr, const std::vector<SDL_Rect>& drawn = {})
    {
        const int width = std::max(1, static_cast<int>(std::ceil(size.width * scale - 0.01f)));
        const int height = std::max(1, static_cast<int>(std::ceil(size.height * scale - 0.01f)));
        if (reused && cairo_image_surface_get_width(reused.get()) == width
            && cairo_image_surface_get_height(reused.get()) == height) {
            surface = std::move(reused);
            cairo_surface_flush(surface.get());
            unsigned char* data = cairo_image_surface_get_data(surface.get());
            const int stride = cairo_image_surface_get_stride(surface.get());
            for (const SDL_Rect& r : drawn)
                for (int y = r.y; y < r.y + r.h; ++y)
                    std::memset(data + std::ptrdiff_t(y) * stride + std::ptrdiff_t(r.x) * 4, 0, std::size_t(r.w) * 4);
            cairo_surface_mark_dirty(surface.get());
        } else {
            surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        }
        cairo = cairo_create(surface.get());
        cairo_scale(cairo, scale, scale);
        cairo_rectangle(cairo, 0, 0, size.width, size.height);
        cairo_clip(cairo);
    }
    ~PointCanvas()
    {
        if (cairo)
            cairo_destroy(cairo);
    }
    PointCanvas(const PointCanvas&) = delete;
    PointCanvas& operator=(const PointCanvas&) = delete;
    float widthPoints(float scale) const { return float(cairo_image_surface_get_width(surface.get())) / scale; }
    float heightPoints(float scale) const { return float(cairo_image_surface_get_height(surface.get())) / scale; }
};
} // namespace

namespace {
// A drawing made a band at a time: bands a whole number of squares high, 77 kB for a
// tape roll 612 pixels wide; drawings no more than a few bands high are drawn whole.
constexpr int bandRows = 2 * PictureSquares::side;
constexpr int fewestBands = 4;

// Where the squares found the band of rows from `top` not clear, in the band's rows.
std::vector<SDL_Rect> drawnInBand(const PictureSquares& squares, int top, int rows)
{
    constexpr int side = PictureSquares::side;
    std::vector<SDL_Rect> drawn = squares.drawn(top / side, (top + rows + side - 1) / side);
    for (SDL_Rect& r : drawn)
        r.y -= top;
    return drawn;
}
} // namespace

std::optional<TexturePtr> TextureFactory::drawnInBands(View& view, Use use, const TexturePtr& previous)
{
    const Size size = view.bounds().size();
    const int width = std::max(1, static_cast<int>(std::ceil(size.width * scale_ - 0.01f)));
    const int height = std::max(1, static_cast<int>(std::ceil(size.height * scale_ - 0.01f)));
    if (height <= fewestBands * bandRows)
        return std::nullopt;
    SurfacePtr band(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, bandRows));
    if (cairo_surface_status(band.get()) != CAIRO_STATUS_SUCCESS)
        return std::nullopt;
    unsigned char* data = cairo_image_surface_get_data(band.get());
    const int stride = cairo_image_surface_get_stride(band.get());
    // Where the band holds the last rows drawn; clear elsewhere.
    std::vector<SDL_Rect> drawn;
    // Draws the rows from `top` into the band: false when the view drew something that
    // may come out otherwise when drawn a band at a time.
    const auto drawBand = [&](int top) {
        cairo_surface_flush(band.get());
        for (const SDL_Rect& r : drawn)
            for (int y = r.y; y < r.y + r.h; ++y)
                std::memset(data + std::ptrdiff_t(y) * stride + std::ptrdiff_t(r.x) * 4, 0, std::size_t(r.w) * 4);
        cairo_surface_mark_dirty(band.get());
        cairo_surface_set_device_offset(band.get(), 0, -top);
        cairo_t* cairo = cairo_create(band.get());
        cairo_scale(cairo, scale_, scale_);
        cairo_rectangle(cairo, 0, 0, size.width, size.height);
        cairo_clip(cairo);
        bool pixelwise = false;
        {
            GraphicsContext context(cairo, GraphicsContext::Target::Clear);
            view.display(context);
            pixelwise = context.paintedPixelwise();
        }
        cairo_destroy(cairo);
        cairo_surface_flush(band.get());
        return pixelwise;
    };

    SquaresSurvey survey(width, height, use == Use::Upright);
    for (int top = 0; top < height; top += bandRows) {
        if (!drawBand(top))
            return std::nullopt;
        const int rows = std::min(bandRows, height - top);
        survey.addRows(reinterpret_cast<const Uint32*>(data), stride, rows);
        drawn = drawnInBand(survey.sofar(), top, rows);
    }
    const PictureSquares squares = survey.finish();
    if (previous && previous->contentDigest == squares.digest && previous->widthPixels == width
        && previous->heightPixels == height && serves(*previous, use))
        return previous;
    // The mixed squares' pixels, drawn again where there are any.
    const Bands bands = [&](const BandVisitor& visit) {
        for (int top = 0; top < height; top += bandRows) {
            const int rows = std::min(bandRows, height - top);
            bool mixed = false;
            for (int row = top / PictureSquares::side; row * PictureSquares::side < top + rows && !mixed; ++row)
                for (int column = 0; column < squares.across && !mixed; ++column)
                    mixed = squares.at(column, row).kind == PictureSquares::Kind::Mixed;
            if (!mixed)
                continue;
            drawBand(top);
            drawn = drawnInBand(squares, top, rows);
            visit(top, rows, reinterpret_cast<const Uint32*>(data), stride);
        }
    };
    TexturePtr made = inParts(squares, bands, float(width) / scale_, float(height) / scale_);
    if (!made)
        return std::nullopt;
    auto& texture = *std::const_pointer_cast<Texture>(made);
    texture.contentDigest = squares.digest;
    if (use == Use::Upright)
        texture.coverage = squares.coverage;
    return made;
}

TexturePtr TextureFactory::drawing(View& view, Use use, const TexturePtr& previous)
{
    const Size size = view.bounds().size();
    if (size.width <= 0 || size.height <= 0)
        return nullptr;
    // Drawn upright or at a fixed angle on a software renderer, a drawing that is mostly
    // clear or of one colour is kept in parts; one of rings is made without a picture of
    // its whole size.
    if (software_ && (use == Use::Upright || use == Use::Turned))
        if (std::optional<TexturePtr> made = drawnInBands(view, use, previous))
            return *made;
    // The spare picture is made clear where it was drawn, and a new one is clear: the
    // drawing needs no clearing first.
    PointCanvas canvas(size, scale_, std::move(spareCanvas_), spareCanvasDrawn_);
    GraphicsContext context(canvas.cairo, GraphicsContext::Target::Clear);
    view.display(context);
    cairo_surface_flush(canvas.surface.get());
    const int width = cairo_image_surface_get_width(canvas.surface.get());
    const int height = cairo_image_surface_get_height(canvas.surface.get());
    // What the drawing is made of, in one look: what tells it from the last one, its
    // squares for keeping it in parts, and where it is opaque for an upright one.
    const PictureSquares squares =
        surveySquares(reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(canvas.surface.get())), width, height,
                      cairo_image_surface_get_stride(canvas.surface.get()), software_ && use == Use::Upright);
    // Views drawn again together (the two tape rolls) are often the same size: the
    // next one draws into this picture's memory, within the frame.
    const auto keepCanvas = [&] {
        cairo_destroy(canvas.cairo);
        canvas.cairo = nullptr;
        spareCanvas_ = std::move(canvas.surface);
        spareCanvasDrawn_ = squares.drawn(0, squares.down);
    };
    if (previous && previous->contentDigest == squares.digest && previous->widthPixels == width
        && previous->heightPixels == height && serves(*previous, use)) {
        keepCanvas();
        return previous;
    }
    // Drawn upright or at a fixed angle on a software renderer, a drawing that is mostly
    // clear or of one colour is kept in parts.
    TexturePtr made = software_ && (use == Use::Upright || use == Use::Turned)
                          ? inParts(squares, wholePicture(canvas.surface.get()), canvas.widthPoints(scale_),
                                    canvas.heightPoints(scale_))
                          : nullptr;
    if (!made)
        made = fromCairo(canvas.surface.get(), canvas.widthPoints(scale_), canvas.heightPoints(scale_), use);
    if (made) {
        auto& texture = *std::const_pointer_cast<Texture>(made);
        texture.contentDigest = squares.digest;
        // Where it is opaque, for working out what covers what; a round one turns.
        if (software_ && use == Use::Upright && !texture.roundContent && !texture.opaque)
            texture.coverage = squares.coverage;
    }
    // A texture that keeps its pixels keeps this picture itself.
    if (!made || !made->pixels)
        keepCanvas();
    return made;
}

TexturePtr TextureFactory::inParts(cairo_surface_t* surface, float widthPoints, float heightPoints)
{
    cairo_surface_flush(surface);
    const auto* data = reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(surface));
    if (!data)
        return nullptr;
    const int stride = cairo_image_surface_get_stride(surface);
    const PictureSquares squares = surveySquares(data, cairo_image_surface_get_width(surface),
                                                 cairo_image_surface_get_height(surface), stride, false);
    return inParts(squares, wholePicture(surface), widthPoints, heightPoints);
}

TextureFactory::Bands TextureFactory::wholePicture(cairo_surface_t* surface)
{
    return [surface](const BandVisitor& visit) {
        visit(0, cairo_image_surface_get_height(surface),
              reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(surface)), cairo_image_surface_get_stride(surface));
    };
}

TexturePtr TextureFactory::inParts(const PictureSquares& squares, const Bands& bands, float widthPoints,
                                   float heightPoints)
{
    const int width = squares.width, height = squares.height;
    if (width <= 0 || height <= 0)
        return nullptr;
    constexpr int side = PictureSquares::side;
    const int across = squares.across, down = squares.down;
    using Kind = PictureSquares::Kind;
    using Square = PictureSquares::Square;
    const auto squareRect = [&](int column, int row) { return squares.rect(column, row); };
    const long mixedPixels = squares.mixedPixels;
    // Kept whole unless the parts save more than half of it.
    if (mixedPixels * 2 > long(width) * height)
        return nullptr;

    // Runs of like squares along each row.
    std::vector<Texture::Part> parts;
    struct Mixed {
        SDL_Rect at;
        SDL_Point source;
    };
    std::vector<Mixed> mixed;
    for (int row = 0; row < down; ++row) {
        for (int column = 0; column < across;) {
            const Square& square = squares.at(column, row);
            int end = column + 1;
            const auto like = [&](const Square& other) {
                return other.kind == square.kind && (square.kind != Kind::Filled || other.colour == square.colour);
            };
            while (end < across && like(squares.at(end, row)))
                ++end;
            const SDL_Rect at = unite(squareRect(column, row), squareRect(end - 1, row));
            if (square.kind == Kind::Mixed) {
                mixed.push_back({at, {}});
            } else if (square.kind == Kind::Filled) {
                const SDL_Color colour{Uint8(square.colour >> 16), Uint8(square.colour >> 8), Uint8(square.colour), 255};
                // A run like one in the row above lengthens that one.
                const auto above = std::find_if(parts.begin(), parts.end(), [&](const Texture::Part& p) {
                    return p.filled && p.at.x == at.x && p.at.w == at.w && p.at.y + p.at.h == at.y
                           && p.colour.r == colour.r && p.colour.g == colour.g && p.colour.b == colour.b;
                });
                if (above != parts.end())
                    above->at.h += at.h;
                else
                    parts.push_back({at, {}, true, colour});
            }
            column = end;
        }
    }
    // The mixed runs side by side in one picture, on shelves a square high, each as wide
    // as the widest run or as the side of a square holding them all, whichever is more:
    // a ring or a window, mixed only along its edge, fills it with little to spare.
    int shelf = static_cast<int>(std::ceil(std::sqrt(double(mixedPixels))));
    for (const Mixed& m : mixed)
        shelf = std::max(shelf, m.at.w);
    int atlasWidth = 0, atlasHeight = 0;
    for (int x = 0, y = 0; Mixed& m : mixed) {
        if (x > 0 && x + m.at.w > shelf) {
            x = 0;
            y += side;
        }
        m.source = {x, y};
        x += m.at.w;
        atlasWidth = std::max(atlasWidth, x);
        atlasHeight = y + side;
    }
    std::shared_ptr<Texture> texture;
    if (mixed.empty()) {
        texture = std::make_shared<Texture>();
    } else {
        texture = filled(atlasWidth, atlasHeight, SDL_PIXELFORMAT_ARGB8888, SDL_BLENDMODE_BLEND,
                         [&](Uint32* pixels, int pitch) {
                             // Each run lies in one row of squares, and so in one band.
                             bands([&](int top, int rows, const Uint32* band, int bandPitch) {
                                 for (const Mixed& m : mixed) {
                                     if (m.at.y < top || m.at.y >= top + rows)
                                         continue;
                                     for (int y = 0; y < m.at.h; ++y) {
                                         const Uint32* from =
                                             reinterpret_cast<const Uint32*>(reinterpret_cast<const unsigned char*>(band)
                                                                             + std::ptrdiff_t(m.at.y - top + y) * bandPitch)
                                             + m.at.x;
                                         auto* to = reinterpret_cast<Uint32*>(reinterpret_cast<unsigned char*>(pixels)
                                                                              + std::ptrdiff_t(m.source.y + y) * pitch)
                                                    + m.source.x;
                                         for (int x = 0; x < m.at.w; ++x) {
                                             const Uint32 p = from[x];
                                             const Uint32 alpha = p >> 24;
                                             to[x] = alpha == 255 ? p : alpha == 0 ? 0 : straightPixel(p);
                                         }
                                     }
                                 }
                             });
                             return true;
                         });
        if (!texture)
            return nullptr;
        texture->partsPixels = std::size_t(atlasWidth) * std::size_t(atlasHeight);
        for (const Mixed& m : mixed)
            parts.push_back({m.at, m.source, false, {}});
    }
    texture->widthPixels = width;
    texture->heightPixels = height;
    texture->widthPoints = widthPoints;
    texture->heightPoints = heightPoints;
    texture->parts = std::move(parts);
    if (texture->parts.empty())   // nothing drawn at all: one clear part keeps it in parts
        texture->parts.push_back({{0, 0, 0, 0}, {}, true, {0, 0, 0, 0}});
    return texture;
}

TexturePtr TextureFactory::glow()
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
    glow_ = fromCairo(canvas.surface.get(), canvas.widthPoints(scale_), canvas.heightPoints(scale_), Use::Upright);
    return glow_;
}

} // namespace platform::sdl
