#pragma once
// Makes the compositor's textures: pictures loaded by name (kept while asked
// for), a view's drawRect drawing, the glow of a touch, and any cairo surface.
// Cairo keeps premultiplied pixels; SDL's blending (and its software renderer,
// which knows no custom blend modes) wants straight alpha, so pixels are turned
// to straight alpha on the way.

#include "platform/sdl/DisplayList.h"

#include <SDL.h>

#include <filesystem>
#include <string>
#include <unordered_map>

namespace platform {
class View;
}

namespace platform::sdl {

class TextureFactory {
public:
    TextureFactory(SDL_Renderer* renderer, std::filesystem::path resourceFolder);

    bool software() const noexcept { return software_; }
    // Pixels per point of the textures made from now on; a new scale forgets the
    // pictures made for the old one.
    void setScale(float pixelsPerPoint);
    float scale() const noexcept { return scale_; }

    // The picture of the resource folder with that name, made once; none (and a
    // message, once) when it cannot be loaded.
    TexturePtr picture(const std::string& name);
    // What the view's drawRect draws over its bounds.
    TexturePtr drawing(View& view);
    TexturePtr glow();
    // Diameter of the glow of a touched control, in points.
    static constexpr float glowDiameterPoints = 44;

    // A texture of the cairo image surface, which shows `widthPoints` × `heightPoints`.
    TexturePtr fromCairo(cairo_surface_t* surface, float widthPoints, float heightPoints);
    // A static texture of 32-bit pixels; none when SDL cannot make one.
    std::shared_ptr<Texture> fromPixels(const Uint32* pixels, int width, int height, Uint32 format,
                                        SDL_BlendMode blend);
    // For textures made elsewhere (streaming, target), so that the count stays whole.
    void countMade() noexcept { ++texturesMade_; }
    // Every texture made, ever.
    unsigned long texturesMade() const noexcept { return texturesMade_; }
    // Whether the texture is one of the pictures currently loaded.
    bool isLoadedPicture(std::uint64_t textureId) const noexcept;

private:
    SDL_Renderer* renderer_;
    bool software_ = false;
    std::filesystem::path resourceFolder_;
    float scale_ = 2;
    std::unordered_map<std::string, TexturePtr> pictures_;
    TexturePtr glow_;
    unsigned long texturesMade_ = 0;
};

} // namespace platform::sdl
