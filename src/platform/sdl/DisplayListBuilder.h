#pragma once
// Walks the view tree at a frame's moment and records its display list: one
// textured (or filled) quad per piece of content, placed in pixels, turned about
// its centre, with its alpha and clip. Each view describes its own pieces
// (View::describeContent); its drawRect drawing becomes a texture only when its
// content version moves, pictures once per name.
//
// Push transitions: when a layer starts a new transition, the part of the previous
// frame's list that its view produced is kept as the snapshot of the old content,
// and both slide across the view until the transition ends.

#include "platform/Clock.h"
#include "platform/Geometry.h"
#include "platform/sdl/DisplayList.h"

#include <SDL.h>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace platform {
class View;
class Window;
} // namespace platform

namespace platform::sdl {

class TextureFactory;

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

class DisplayListBuilder {
public:
    explicit DisplayListBuilder(TextureFactory& textures) : textures_(textures) {}

    // Records the window as it shows at the moment into `list`; the 320 × 480-point
    // screen lies at `offset` at the factory's scale, and nothing is drawn outside
    // `screen`. `previous` is the list built the time before (transitions keep
    // pieces of it). Runs drawRect of views whose content changed, and forgets
    // views no longer in the tree.
    void build(Window& window, Nanoseconds now, SDL_FPoint offset, const SDL_Rect& screen, const DisplayList& previous,
               DisplayList& list);
    const FrameTiming& timing() const noexcept { return timing_; }
    // Forgets every view's drawing (they are made again at the next build).
    void forgetDrawings() { views_.clear(); }
    // Bytes held by the views' drawings.
    std::size_t drawingBytes() const noexcept;

private:
    struct Placement;
    // What the builder remembers of one view between frames.
    struct ViewCache {
        unsigned long contentVersion = ~0UL;
        float scale = 0;
        TexturePtr drawing;
        // What the drawing was made of: the view's drawing key and size then.
        std::optional<std::uint64_t> drawingKey;
        Size drawnSize{};
        // Where the view's pieces lie in the frame last built, and which frame that was.
        std::size_t rangeBegin = 0, rangeEnd = 0;
        unsigned long frame = 0;
        // The transition being played and the old content it pushes out.
        std::optional<Nanoseconds> transitionBegin;
        std::vector<DrawCommand> snapshot;
    };
    class Recorder;

    void composeView(View& view, const Placement& parent, float parentAlpha, const SDL_Rect& clip);
    void composeContent(View& view, ViewCache& cache, const Placement& placement, float alpha, const SDL_Rect& clip);
    // Whether the layer's own rotation is changing at the moment.
    bool noteAnimations(const View& view);
    void pushQuad(const TexturePtr& texture, Rect inBounds, const Placement& placement, SDL_Color color,
                  SDL_BlendMode blend, const SDL_Rect& clip, std::uint64_t key);

    TextureFactory& textures_;
    std::unordered_map<std::uint64_t, ViewCache> views_;
    FrameTiming timing_;
    unsigned long frameNumber_ = 0;
    Nanoseconds now_ = 0;
    const DisplayList* previous_ = nullptr;
    DisplayList* list_ = nullptr;
};

} // namespace platform::sdl
