#pragma once
// Puts a platform::Window on an SDL_Renderer.
//
// A frame is built in two steps. compose() records the window's display list at
// the frame's moment (DisplayListBuilder) and works out where it differs from the
// previous frame (damageBetween). draw() then replays the list, either whole or
// only inside the damaged rectangles, so a software renderer that keeps its pixels
// (a window surface) redraws only the turning reels between ticks.
// A software renderer also gets pictures turned in advance (TurnedPictures) and
// kept layers above and below the turning reels (KeptLayers): without a graphics
// chip every blended pixel counts.
//
// Main thread only. The renderer must outlive the compositor.

#include "platform/Clock.h"
#include "platform/sdl/DisplayList.h"
#include "platform/sdl/DisplayListBuilder.h"
#include "platform/sdl/KeptLayers.h"
#include "platform/sdl/TextureFactory.h"
#include "platform/sdl/TurnedPictures.h"

#include <SDL.h>

#include <filesystem>
#include <vector>

namespace platform {
class Window;
}

namespace platform::sdl {

// Where pictures are looked up: $SPOOLORA_RESOURCE_DIR when set, else
// ../share/spoolora/resources from the program's own folder when that exists (an
// installed program), else the folder the build put them in.
std::filesystem::path resourceDirectory();

// What the compositor's caches hold, in bytes of pixels.
struct CacheUse {
    std::size_t pictures = 0;       // pictures loaded by name
    std::size_t drawings = 0;       // views' drawRect drawings and label texts
    std::size_t turned = 0;         // copies turned by a fixed angle (software)
    std::size_t turnBuffers = 0;    // buffers turning pieces are turned into (software)
    std::size_t keptTop = 0;        // the unchanged top of the screen (software)
    std::size_t keptBelow = 0;      // layers kept below turning reels (software)
};

class Compositor {
public:
    // Pictures are loaded from the folder by name.
    Compositor(SDL_Renderer* renderer, std::filesystem::path resourceFolder);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // The pixel format of the renderer's target, for textures that are copied onto it
    // without blending (a software renderer copies bytes when the formats agree and
    // converts every pixel when they do not). ARGB8888 unless told.
    void setTargetFormat(Uint32 pixelFormat) noexcept { keptLayers_.setTargetFormat(pixelFormat); }
    // The surface a software renderer draws into: its format, as above, and its pixels,
    // onto which turning reels are then turned directly as they are drawn.
    void setTargetSurface(SDL_Surface* surface) noexcept;

    // The 320 × 480-point screen goes to the pixel rectangle at (offsetX, offsetY)
    // of the given scale. A new scale drops every texture made for the old one.
    void setViewport(float pixelsPerPoint, float offsetXPixels, float offsetYPixels);
    float scale() const noexcept { return textures_.scale(); }
    SDL_Rect screenRectPixels() const noexcept;

    // Records the window as it shows at the moment. Makes the textures it needs,
    // runs drawRect of views that asked for it, and forgets finished transitions.
    const DisplayList& compose(Window& window, Nanoseconds now);
    const FrameTiming& timing() const noexcept { return builder_.timing(); }
    // The frame last composed.
    const DisplayList& displayList() const noexcept { return current_; }

    // The pixel rectangles where the frame just composed differs from the one
    // before it (the whole screen for the first frame or after a new viewport).
    const std::vector<SDL_Rect>& damage() const noexcept { return damage_; }

    // Draws the composed frame: everything, or only inside the rectangles, which must
    // cover at least damage() and rely on the target keeping the previous frame.
    void draw();
    void draw(const std::vector<SDL_Rect>& regions);

    // Counts every texture made, ever.
    unsigned long texturesMade() const noexcept { return textures_.texturesMade(); }
    CacheUse cacheUse() const noexcept;

private:
    void drawRegions(const std::vector<SDL_Rect>& regions, bool everything);

    SDL_Renderer* renderer_;
    TextureFactory textures_;
    DisplayListBuilder builder_;
    TurnedPictures turnedPictures_;
    KeptLayers keptLayers_;
    float offsetX_ = 0, offsetY_ = 0;
    bool viewportChanged_ = true;
    unsigned long frameNumber_ = 0;

    DisplayList current_;
    DisplayList previous_;
    std::vector<SDL_Rect> damage_;
    CoveredDamageMemo coveredDamage_;
};

} // namespace platform::sdl
