#pragma once
// Makes the compositor's textures: pictures loaded by name (kept while asked
// for), a view's drawRect drawing, the glow of a touch, and any cairo surface.
// Cairo keeps premultiplied pixels; SDL's blending (and its software renderer,
// which knows no custom blend modes) wants straight alpha, so pixels are turned
// to straight alpha on the way.

#include "platform/Clock.h"
#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/DisplayList.h"

#include <SDL.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {
class View;
}

namespace platform::sdl {

struct PictureSquares;

// Rows of a picture, in steps of a 32nd of its height from the top.
struct PictureRows {
    static constexpr int steps = 32;
    int top = 0, bottom = steps;
    bool whole() const noexcept { return top <= 0 && bottom >= steps; }
};

// Where the premultiplied picture is opaque, and in which one colour; none when it is
// opaque nowhere.
std::shared_ptr<const Coverage> coverageOf(cairo_surface_t* surface);

class TextureFactory {
public:
    TextureFactory(SDL_Renderer* renderer, std::filesystem::path resourceFolder);

    bool software() const noexcept { return software_; }
    // Pixels per point of the textures made from now on; a new scale forgets the
    // pictures made for the old one.
    void setScale(float pixelsPerPoint);
    float scale() const noexcept { return scale_; }

    // The moment of the frame being built, for keeping pictures while they are used.
    // A new frame: the picture a drawing was made in during the last one goes.
    void beginFrame(Nanoseconds now) noexcept
    {
        now_ = spares_->now = now;
        spareCanvas_.reset();
        spareCanvasDrawn_.clear();
    }
    // Forgets pictures not asked for in the last second. Returns whether any went.
    bool forgetUnusedPictures();

    // How a piece is shown. On a software renderer a piece at a fixed angle (Turned) is
    // turned once from the renderer's own copy of its pixels; one turned anew at every
    // frame (Turning, a reel) keeps only its premultiplied pixels (Texture::pixels), to be
    // turned from at each draw; a drawing but for a turning one may be kept in parts. A
    // picture shown both upright and turning at once keeps both (Every).
    enum class Use { Upright, Turned, Turning, Every };
    // Whether a texture made for one use serves another.
    bool serves(const Texture& texture, Use use) const noexcept
    {
        if (!software_)
            return true;
        switch (use) {
        case Use::Upright:
            return texture.handle || !texture.parts.empty();
        case Use::Turned:
            return !texture.parts.empty() || texture.handle || texture.pixels;
        case Use::Turning:
            return texture.parts.empty() && texture.pixels;
        case Use::Every:
            break;
        }
        return texture.handle && texture.pixels;
    }
    using Rows = PictureRows;
    // The picture of the resource folder with that name, loaded once and kept while it
    // is asked for; none (and a message, once) when it cannot be loaded. With `rows`, only
    // those rows (widened to whole points), for a picture of which the rest never shows:
    // the texture tells which part of the picture's height it holds (Texture::partTop).
    TexturePtr picture(const std::string& name, Use use, Rows rows = {});
    // What the view's drawRect draws over its bounds.
    // A drawing that comes out exactly as `previous` did gives `previous` back, so that
    // what was kept of the frames it showed in stays good.
    TexturePtr drawing(View& view, Use use, const TexturePtr& previous = nullptr);
    TexturePtr glow();
    // Diameter of the glow of a touched control, in points.
    static constexpr float glowDiameterPoints = 44;

    // A texture of the cairo image surface, which shows `widthPoints` × `heightPoints`.
    TexturePtr fromCairo(cairo_surface_t* surface, float widthPoints, float heightPoints, Use use);
    // An upright texture of what `paint` draws, as cairo draws, into a clear ARGB32 picture
    // of width × height pixels, which shows `widthPoints` × `heightPoints`: drawn straight
    // into the texture's memory on a software renderer, without a picture on the side, and
    // kept in parts when most of it is clear or of one opaque colour.
    TexturePtr painted(int width, int height, float widthPoints, float heightPoints,
                       const std::function<void(cairo_surface_t*)>& paint);
    // The premultiplied picture kept in parts (Texture::parts) when most of it is clear
    // or of one opaque colour, as a tape roll's ring is; none otherwise.
    TexturePtr inParts(cairo_surface_t* surface, float widthPoints, float heightPoints);
    // A static texture of 32-bit pixels; none when SDL cannot make one.
    std::shared_ptr<Texture> fromPixels(const Uint32* pixels, int width, int height, Uint32 format,
                                        SDL_BlendMode blend);
    // A texture whose pixels `fill` writes (rows `pitch` bytes apart), returning
    // whether it could; none when it could not or SDL cannot make one.
    std::shared_ptr<Texture> filled(int width, int height, Uint32 format, SDL_BlendMode blend,
                                    const std::function<bool(Uint32* pixels, int pitch)>& fill);
    // For textures made elsewhere (streaming, target), so that the count stays whole.
    void countMade() noexcept { ++texturesMade_; }
    // Every texture made, ever.
    unsigned long texturesMade() const noexcept { return texturesMade_; }
    // Whether the texture is one of the pictures currently loaded.
    bool isLoadedPicture(std::uint64_t textureId) const noexcept;
    // Bytes of pixels held by the pictures (textures and kept pixels).
    std::size_t pictureBytes() const noexcept;

private:
    // A picture's rows, a band at a time from the top, each band a whole number of squares
    // high: handed to the visitor with the first row's number, how many rows, and their
    // pixels (premultiplied ARGB, `pitch` bytes a row).
    using BandVisitor = std::function<void(int top, int rows, const Uint32* pixels, int pitch)>;
    using Bands = std::function<void(const BandVisitor&)>;
    static Bands wholePicture(cairo_surface_t* surface);
    // The picture kept in parts, as its squares were found to be.
    TexturePtr inParts(const PictureSquares& squares, const Bands& bands, float widthPoints, float heightPoints);
    // A drawing made a band of rows at a time, in little memory, when the view draws only
    // what such bands give exactly (rings) and it is kept in parts; none otherwise.
    std::optional<TexturePtr> drawnInBands(View& view, Use use, const TexturePtr& previous);
    // The texture made for a picture, with what its pixels were found to be; none (and a
    // message) when it could not be made.
    static TexturePtr finished(std::shared_ptr<Texture> texture, int width, int height, float widthPoints,
                               float heightPoints, bool opaque, bool round);

    SDL_Renderer* renderer_;
    bool software_ = false;
    std::filesystem::path resourceFolder_;
    float scale_ = 2;
    // The picture the last drawing of the frame was made in, and where it drew on it.
    support::SurfacePtr spareCanvas_;
    std::vector<SDL_Rect> spareCanvasDrawn_;
    struct Picture {
        TexturePtr texture;
        Nanoseconds lastUsed = 0;
    };
    std::unordered_map<std::string, Picture> pictures_;
    std::string cutKey_;   // the key of a picture cut to some of its rows, written anew each time
    Nanoseconds now_ = 0;
    // Software textures let go of lately, kept a moment to be filled again: a tape roll
    // drawn anew, or a layer read back again, at the same size, then costs no fresh
    // memory (which the system hands out page by page, each zeroed, and SDL zeroes again).
    struct Spares {
        struct Spare {
            SDL_Texture* handle;
            int width, height;
            Uint32 format;
            Nanoseconds since;
        };
        std::vector<Spare> textures;
        Nanoseconds now = 0;
        ~Spares();
        void forgetOlderThan(Nanoseconds age);
    };
    std::shared_ptr<Spares> spares_ = std::make_shared<Spares>();
    TexturePtr glow_;
    unsigned long texturesMade_ = 0;
};

} // namespace platform::sdl
