#include "platform/sdl/Compositor.h"

#include "platform/Window.h"

#include <malloc.h>

#include <cmath>

namespace platform::sdl {

Compositor::Compositor(SDL_Renderer* renderer, std::filesystem::path resourceFolder)
    : renderer_(renderer),
      textures_(renderer, std::move(resourceFolder)),
      builder_(textures_),
      turnedPictures_(renderer, textures_),
      keptLayers_(renderer, textures_)
{
}

Compositor::~Compositor() = default;

void Compositor::setTargetSurface(SDL_Surface* surface) noexcept
{
    keptLayers_.setTargetFormat(surface->format->format);
    const bool onto = textures_.software() && canTurnOnto(surface);
    keptLayers_.setTargetSurface(onto ? surface : nullptr);
    turnedPictures_.setTurningOntoTarget(onto);
}

void Compositor::setViewport(float pixelsPerPoint, float offsetXPixels, float offsetYPixels)
{
    if (!(pixelsPerPoint > 0))
        pixelsPerPoint = 1;
    if (pixelsPerPoint != textures_.scale()) {
        textures_.setScale(pixelsPerPoint);
        builder_.forgetDrawings();
        turnedPictures_.clear();
        viewportChanged_ = true;
    }
    if (offsetXPixels != offsetX_ || offsetYPixels != offsetY_)
        viewportChanged_ = true;
    offsetX_ = offsetXPixels;
    offsetY_ = offsetYPixels;
}

SDL_Rect Compositor::screenRectPixels() const noexcept
{
    const float scale = textures_.scale();
    const int left = static_cast<int>(std::lround(offsetX_));
    const int top = static_cast<int>(std::lround(offsetY_));
    const int right = static_cast<int>(std::lround(offsetX_ + Window::widthPoints * scale));
    const int bottom = static_cast<int>(std::lround(offsetY_ + Window::heightPoints * scale));
    return {left, top, right - left, bottom - top};
}

const DisplayList& Compositor::compose(Window& window, Nanoseconds now)
{
    ++frameNumber_;
    std::swap(previous_, current_);
    const SDL_Rect screen = screenRectPixels();
    builder_.build(window, now, {offsetX_, offsetY_}, screen, previous_, current_);
    if (textures_.software()) {
        turnedPictures_.prepare(current_, frameNumber_, now);
        turnedPictures_.endFrame(frameNumber_, now);
    }
    // Pictures that left the screen go; the freed memory goes back to the system.
    if (textures_.forgetUnusedPictures())
        malloc_trim(0);
    if (viewportChanged_ || frameNumber_ <= 1)
        damage_ = {screen};
    else
        damage_ = damageBetween(previous_, current_, screen, textures_.software(), &coveredDamage_);
    viewportChanged_ = false;
    return current_;
}

CacheUse Compositor::cacheUse() const noexcept
{
    return {textures_.pictureBytes(),     builder_.drawingBytes(),   turnedPictures_.turnedBytes(),
            turnedPictures_.bufferBytes(), keptLayers_.topBytes(), keptLayers_.belowBytes()};
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
    if (textures_.software()) {
        keptLayers_.draw(current_, previous_, regions, everything, screenRectPixels(), frameNumber_);
        return;
    }
    std::vector<const DrawCommand*> all;
    all.reserve(current_.commands.size());
    for (const DrawCommand& command : current_.commands)
        all.push_back(&command);
    for (const SDL_Rect& region : regions)
        for (const DrawCommand* piece : piecesShowingIn(all, region))
            drawCommand(renderer_, *piece, region, {0, 0});
    SDL_RenderSetClipRect(renderer_, nullptr);
}

} // namespace platform::sdl
