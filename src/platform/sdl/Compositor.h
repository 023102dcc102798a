#pragma once
// Puts a platform::Window on an SDL_Renderer.
//
// A frame is built in two steps. compose() walks the view tree at the frame's
// moment and records a display list: one textured (or filled) quad per piece of
// content, placed in pixels, turned about its centre, with its alpha and clip.
// Textures are made only when a view's content changes (pictures once per name,
// label text and drawn views when their content version moves). draw() then
// replays the list, either whole or only inside the damaged rectangles that the
// difference from the previous frame gives, so a software renderer that keeps its
// pixels (a window surface) redraws only the turning reels between ticks.
//
// Push transitions: when a layer starts a new transition, the part of the previous
// frame's list that its view produced is kept as the snapshot of the old content,
// and both slide across the view until the transition ends.
//
// Main thread only. The renderer must outlive the compositor.

#include "platform/Clock.h"
#include "platform/Geometry.h"
#include "platform/Window.h"

#include <SDL.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {
class View;
class Label;
class Toolbar;
} // namespace platform

namespace platform::sdl {

// Where pictures are looked up: $SPOOLORA_RESOURCE_DIR when set, else the folder
// the build put them in.
std::filesystem::path resourceDirectory();

// A texture made by the compositor; immutable once made, so that a snapshot can
// keep showing it after the view has moved on.
struct Texture {
    SDL_Texture* handle = nullptr;
    int widthPixels = 0;
    int heightPixels = 0;
    float widthPoints = 0;    // the natural size of a picture, in points
    float heightPoints = 0;
    bool opaque = false;      // every pixel has full alpha
    Texture() = default;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    ~Texture();
};
using TexturePtr = std::shared_ptr<const Texture>;

// One quad of the display list, in renderer pixels.
struct DrawCommand {
    TexturePtr texture;            // none: a filled rectangle in the colour
    SDL_FRect destination{};       // before the turn
    double angleDegrees = 0;       // about the destination's centre, clockwise
    SDL_Color color{255, 255, 255, 255};   // colour and alpha modulation
    SDL_BlendMode blendMode = SDL_BLENDMODE_BLEND;
    SDL_Rect clip{};               // never drawn outside
    std::uint64_t key = 0;         // which piece of which view, for frame differences

    // The upright pixel rectangle that the turned quad covers, cut to its clip.
    SDL_Rect bounds() const noexcept;
    bool sameAs(const DrawCommand& other) const noexcept;
};

struct DisplayList {
    std::vector<DrawCommand> commands;
};

// What the picture will do by time alone, for the main loop's sleep.
struct FrameTiming {
    // Something moves continuously (a reel turns, a transition or a modal slides):
    // draw again at the display's rate.
    bool animating = false;
    // Otherwise the next moment at which the picture changes without any event
    // (an animation or transition ending), if any.
    std::optional<Nanoseconds> nextChange;
};

class Compositor {
public:
    // Pictures are loaded from the folder by name.
    Compositor(SDL_Renderer* renderer, std::filesystem::path resourceFolder);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // The 320 × 480-point screen goes to the pixel rectangle at (offsetX, offsetY)
    // of the given scale. A new scale drops every texture made for the old one.
    void setViewport(float pixelsPerPoint, float offsetXPixels, float offsetYPixels);
    float scale() const noexcept { return scale_; }
    SDL_Rect screenRectPixels() const noexcept;

    // Records the window as it shows at the moment. Makes the textures it needs,
    // runs drawRect of views that asked for it, and forgets finished transitions.
    const DisplayList& compose(Window& window, Nanoseconds now);
    const DisplayList& currentFrame() const noexcept { return current_; }
    const FrameTiming& timing() const noexcept { return timing_; }

    // The pixel rectangles where the frame just composed differs from the one
    // before it (the whole screen for the first frame or after a new viewport).
    const std::vector<SDL_Rect>& damage() const noexcept { return damage_; }

    // Draws the composed frame: everything, or only inside the rectangles.
    void draw() const;
    void draw(const std::vector<SDL_Rect>& regions) const;

    // Textures currently cached (for tests: content is made once, not per frame).
    std::size_t cachedTextureCount() const noexcept;
    // Counts every texture made, ever.
    unsigned long texturesMade() const noexcept { return texturesMade_; }

private:
    // What the compositor remembers of one view between frames.
    struct ViewCache {
        unsigned long contentVersion = ~0UL;
        float scale = 0;
        TexturePtr content;
        // Where the view's pieces lie in the frame last composed, and which frame that was.
        std::size_t rangeBegin = 0, rangeEnd = 0;
        unsigned long frame = 0;
        // The transition being played and the old content it pushes out.
        std::optional<Nanoseconds> transitionBegin;
        std::vector<DrawCommand> snapshot;
    };
    struct Placement;

    void composeView(View& view, const Placement& parent, float parentAlpha, const SDL_Rect& clip, Nanoseconds now);
    void composeContent(View& view, ViewCache& cache, const Placement& placement, float alpha, const SDL_Rect& clip);
    void composeToolbar(Toolbar& toolbar, const Placement& placement, float alpha, const SDL_Rect& clip);
    void pushQuad(const TexturePtr& texture, Rect inBounds, const Placement& placement, SDL_Color color,
                  SDL_BlendMode blend, const SDL_Rect& clip, std::uint64_t key);
    void composeHighlight(View& view, const Placement& placement, float alpha, const SDL_Rect& clip);
    void noteAnimations(const View& view, Nanoseconds now);
    std::vector<SDL_Rect> computeDamage() const;

    TexturePtr picture(const std::string& name);
    TexturePtr labelTexture(const Label& label);
    TexturePtr drawnTexture(View& view);
    TexturePtr glowTexture();
    TexturePtr textureFromCairo(void* cairoSurface, float widthPoints, float heightPoints);
    void drawCommand(const DrawCommand& command, const SDL_Rect* region) const;

    SDL_Renderer* renderer_;
    std::filesystem::path resourceFolder_;
    float scale_ = 2;
    float offsetX_ = 0, offsetY_ = 0;
    bool viewportChanged_ = true;

    std::unordered_map<std::string, TexturePtr> pictures_;
    std::unordered_map<std::uint64_t, ViewCache> views_;
    TexturePtr glow_;
    unsigned long texturesMade_ = 0;
    unsigned long frameNumber_ = 0;

    DisplayList current_;
    DisplayList previous_;
    FrameTiming timing_;
    std::vector<SDL_Rect> damage_;
};

} // namespace platform::sdl
