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
// A software renderer also gets pictures turned in advance, the unchanged top of
// the screen kept as one picture, and the layer under a turning reel kept
// (SoftwareCompositing.cpp): without a graphics chip every blended pixel counts.
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
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace platform {
class View;
class Label;
class Toolbar;
} // namespace platform

namespace platform::sdl {

// Where pictures are looked up: $SPOOLORA_RESOURCE_DIR when set, else
// ../share/spoolora/resources from the program's own folder when that exists (an
// installed program), else the folder the build put them in.
std::filesystem::path resourceDirectory();

// A texture made by the compositor; immutable once made, so that a snapshot can
// keep showing it after the view has moved on.
struct Texture {
    // Unique for the life of the process: caches key on it, not on the address,
    // which a later texture may reuse.
    const std::uint64_t id = nextId();
    SDL_Texture* handle = nullptr;
    int widthPixels = 0;
    int heightPixels = 0;
    float widthPoints = 0;    // the natural size of a picture, in points
    float heightPoints = 0;
    bool opaque = false;      // every pixel has full alpha
    // Nothing is drawn outside the circle inscribed in the square texture (a reel), so
    // turning it never reaches past its upright square.
    bool roundContent = false;
    // The pixels (premultiplied), kept on software renderers so that a turned copy
    // can be made once instead of turning the texture at every frame.
    std::shared_ptr<cairo_surface_t> pixels;
    Texture() = default;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    ~Texture();

private:
    static std::uint64_t nextId() noexcept;
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
    // On a software renderer, the texture already turned, to be drawn upright at
    // preparedDestination instead. Not part of what the command shows.
    TexturePtr prepared;
    SDL_FRect preparedDestination{};
    // The turn changes at every frame (a turning reel).
    bool turning = false;

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
    // Of that, a transition or a modal screen slides across (not only reels turning).
    bool sliding = false;
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

    // The pixel format of the renderer's target, for textures that are copied onto it
    // without blending (a software renderer copies bytes when the formats agree and
    // converts every pixel when they do not). ARGB8888 unless told.
    void setTargetFormat(Uint32 pixelFormat) noexcept { targetFormat_ = pixelFormat; }

    // The 320 × 480-point screen goes to the pixel rectangle at (offsetX, offsetY)
    // of the given scale. A new scale drops every texture made for the old one.
    void setViewport(float pixelsPerPoint, float offsetXPixels, float offsetYPixels);
    float scale() const noexcept { return scale_; }
    SDL_Rect screenRectPixels() const noexcept;

    // Records the window as it shows at the moment. Makes the textures it needs,
    // runs drawRect of views that asked for it, and forgets finished transitions.
    const DisplayList& compose(Window& window, Nanoseconds now);
    const FrameTiming& timing() const noexcept { return timing_; }

    // The pixel rectangles where the frame just composed differs from the one
    // before it (the whole screen for the first frame or after a new viewport).
    const std::vector<SDL_Rect>& damage() const noexcept { return damage_; }

    // Draws the composed frame: everything, or only inside the rectangles, which must
    // cover at least damage() and rely on the target keeping the previous frame.
    void draw();
    void draw(const std::vector<SDL_Rect>& regions);

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
    // Whether the layer's own rotation is changing at the moment.
    bool noteAnimations(const View& view, Nanoseconds now);
    void prepareTurn(DrawCommand& command, bool turning);
    std::vector<SDL_Rect> computeDamage() const;
    bool covers(const DrawCommand& command, const SDL_Rect& region) const noexcept;
    void drawRegions(const std::vector<SDL_Rect>& regions, bool everything);
    void drawRegion(const SDL_Rect& region, bool everything);
    void drawPieces(const SDL_Rect& rect, const std::vector<const DrawCommand*>& pieces);
    void updateTopStack();
    void forgetUnusedKeptLayers();
    // Rectangles covering the tiles of the region whose flag is set.
    std::vector<SDL_Rect> openRects(const SDL_Rect& region, const std::vector<bool>& tiles) const;
    // The tiles where the kept top must be drawn again after the rectangles were drawn below it.
    std::vector<bool> topTilesToRedraw(const std::vector<SDL_Rect>& drawnBelow) const;
    TexturePtr readBack(const SDL_Rect& rect);
    // A static texture of 32-bit pixels, counted; none when SDL cannot make one.
    std::shared_ptr<Texture> staticTexture(const Uint32* pixels, int width, int height, Uint32 format,
                                           SDL_BlendMode blend);

    TexturePtr picture(const std::string& name);
    TexturePtr labelTexture(const Label& label);
    TexturePtr drawnTexture(View& view);
    TexturePtr glowTexture();
    TexturePtr textureFromCairo(void* cairoSurface, float widthPoints, float heightPoints);
    // Draws the part inside the region into a target whose top left corner is the
    // renderer pixel `origin`.
    void drawCommand(const DrawCommand& command, const SDL_Rect& region, SDL_Point origin) const;

    SDL_Renderer* renderer_;
    bool software_ = false;
    Uint32 targetFormat_ = SDL_PIXELFORMAT_ARGB8888;
    std::filesystem::path resourceFolder_;
    float scale_ = 2;
    float offsetX_ = 0, offsetY_ = 0;
    bool viewportChanged_ = true;

    std::unordered_map<std::string, TexturePtr> pictures_;
    std::unordered_map<std::uint64_t, ViewCache> views_;
    TexturePtr glow_;
    // Turned copies of textures, by texture, angle, the centre's place in the copy and
    // the size; dropped a while after their last use.
    struct Turned {
        TexturePtr texture;
        Nanoseconds lastUsed = 0;
        bool turning = false;
    };
    std::map<std::tuple<std::uint64_t, double, float, float, float, float>, Turned> turned_;
    // Pictures that turn at every frame (the reels) are resampled by cairo into a
    // streaming texture per piece, reused from frame to frame.
    struct TurnBuffer {
        std::shared_ptr<Texture> texture;
        unsigned long frame = 0;
    };
    std::unordered_map<std::uint64_t, TurnBuffer> turnBuffers_;
    // The turn that maps a turning picture onto itself (0: none), found once per picture.
    std::unordered_map<std::uint64_t, double> symmetryPeriods_;
    // Software renderers: the unchanged top of the display list, kept as one picture,
    // with the tiles where it is not opaque.
    struct TopStack {
        std::size_t first = 0;            // where it starts in the current display list
        unsigned long builtInFrame = 0;
        std::vector<DrawCommand> pieces;
        TexturePtr texture;               // the screen's rectangle, straight alpha
        SDL_Point origin{};
        int tilesAcross = 0, tilesDown = 0;
        std::vector<bool> open;      // tiles where it is not opaque
        std::vector<bool> painted;   // open tiles where it paints something
    };
    std::unique_ptr<TopStack> topStack_;
    // Software renderers: what lies below a turning reel in a rectangle redrawn at every frame.
    struct KeptBelow {
        SDL_Rect rect{};
        unsigned long frame = 0;
        TexturePtr texture;
        std::vector<DrawCommand> pieces;
    };
    std::vector<KeptBelow> keptBelow_;
    Nanoseconds frameTime_ = 0;
    Nanoseconds lastEviction_ = 0;
    unsigned long texturesMade_ = 0;
    unsigned long frameNumber_ = 0;

    DisplayList current_;
    DisplayList previous_;
    FrameTiming timing_;
    std::vector<SDL_Rect> damage_;
};

} // namespace platform::sdl
