#pragma once
// Pictures of the screen without a display: the compositor on SDL's software
// renderer, drawing into a surface in memory.

#include "platform/Clock.h"
#include "platform/Window.h"
#include "platform/sdl/Compositor.h"

#include <SDL.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace platform::sdl {

// A frame buffer in memory with its own compositor. Successive frames of the same
// window share textures, and a push transition started between two frames slides
// out what the earlier frame showed. Main thread only.
class OffscreenRenderer {
public:
    // Throws std::runtime_error when SDL cannot make the surface or the renderer.
    explicit OffscreenRenderer(int widthPixels = 640, int heightPixels = 960,
                               std::filesystem::path resourceFolder = resourceDirectory());
    ~OffscreenRenderer();
    OffscreenRenderer(const OffscreenRenderer&) = delete;
    OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

    // Composes the window as it shows at the moment and draws it whole.
    void render(Window& window, Nanoseconds now);
    // Draws only where the frame differs from the previous one, as the window does.
    void renderChanges(Window& window, Nanoseconds now);

    // The pixel as 0xAARRGGBB; 0 outside the surface.
    std::uint32_t pixel(int x, int y) const noexcept;
    int width() const noexcept { return surface_->w; }
    int height() const noexcept { return surface_->h; }
    // Writes the frame as a PNG. Returns false (after a line on stderr) when it cannot.
    bool writePng(const std::string& path) const;

    Compositor& compositor() noexcept { return *compositor_; }

private:
    SDL_Surface* surface_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    std::unique_ptr<Compositor> compositor_;
};

// Renders the window at the clock's present moment, 640 × 960 pixels, to a PNG.
// Consecutive screenshots of one window are frames of one sequence (see above).
// Returns false, with a line on stderr, when the picture cannot be made or written.
bool renderScreenshot(Window& window, const Clock& clock, const std::string& path);

} // namespace platform::sdl
