#pragma once
// Software renderers only. SDL's software renderer turns a texture by resampling
// all of it into a new surface at every draw, even when only a corner of it is to
// be redrawn, and slowly. Here cairo turns it instead. A picture standing at a
// fixed angle (a tilted band, a turned label) is turned once and the copy kept
// while it is used; a turning picture (a reel) is turned at every frame, so that no
// copy per angle is kept: straight onto the target, in one pass that samples and
// blends only the pixels that are redrawn, when the target's pixels are at hand
// (turnOnto), otherwise into a buffer of its own.

#include "platform/Clock.h"
#include "platform/sdl/DisplayList.h"

#include <SDL.h>

#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace platform::sdl {

class TextureFactory;

// Whether the turning command can be turned while it is drawn (turnOnto): a picture
// with its pixels, blended, neither tinted nor faded.
bool canTurnOnto(const DrawCommand& command) noexcept;
// Whether turnOnto can draw into the surface: 32-bit pixels, red, green and blue in
// the low three bytes.
bool canTurnOnto(const SDL_Surface* surface) noexcept;
// Draws the turning command, turned, over what the surface shows, inside the region
// (in the surface's pixels, which are the renderer's). The renderer drawing into the
// surface must have flushed what it was asked to draw before.
// `lanes`: as many pixels at once as the processor takes (four with AVX2), or two at a
// time everywhere; both give the same pixels.
enum class TurnLanes { Widest, Pairs };
void turnOnto(SDL_Surface* surface, const DrawCommand& command, const SDL_Rect& region,
              TurnLanes lanes = TurnLanes::Widest);

class TurnedPictures {
public:
    TurnedPictures(SDL_Renderer* renderer, TextureFactory& textures) : renderer_(renderer), textures_(textures) {}

    // Turning pieces are drawn with turnOnto, so they need no buffer to be turned into.
    void setTurningOntoTarget(bool onto) noexcept { turnsOntoTarget_ = onto; }

    // Gives each turned command of the frame its upright, already turned texture
    // (DrawCommand::prepared), unless it has one.
    void prepare(DisplayList& list, unsigned long frame, Nanoseconds now);
    // After a frame: drops what was not used for a while.
    void endFrame(unsigned long frame, Nanoseconds now);
    void clear();
    // Bytes held by copies turned by a fixed angle, and by the buffers of turning pieces.
    std::size_t turnedBytes() const noexcept;
    std::size_t bufferBytes() const noexcept;

private:
    // `showing`: for a piece at a fixed angle, the part of its turned area to turn and keep,
    // from the area's corner.
    void prepare(DrawCommand& command, const SDL_Rect* showing, unsigned long frame, Nanoseconds now);
    // The part of the command's `area` that can show (showingPart), worked out again only
    // when the pieces above it are not as in a recent frame.
    SDL_Rect showingPart(const std::vector<DrawCommand>& commands, std::size_t index, const SDL_Rect& area,
                         unsigned long frame);

    SDL_Renderer* renderer_;
    TextureFactory& textures_;
    bool turnsOntoTarget_ = false;
    // Copies turned by a fixed angle, of the part that can show, by texture, angle, the
    // centre's place in the copy, the size and the copy's size; dropped a while after
    // their last use, or after the last frame that used them for a sliding piece.
    struct Turned {
        TexturePtr texture;
        Nanoseconds lastUsed = 0;
        unsigned long frame = 0;
        bool sliding = false;
        std::uint64_t piece = 0;   // the key of the command that used it last
    };
    std::map<std::tuple<std::uint64_t, double, float, float, float, float, int, int>, Turned> turned_;
    // What showed above each piece at a fixed angle (by key) in recent frames, and so
    // which part of it could show: a tilted tape band comes back to each of its tilts,
    // under its tape roll in one of two places, every few frames.
    struct Showing {
        SDL_Rect region{};
        std::vector<ShownPiece> above;
        SDL_Rect part{};
        unsigned long frame = 0;
    };
    std::unordered_map<std::uint64_t, std::vector<Showing>> showing_;
    // Pieces that turn at every frame (the reels) are resampled into a streaming
    // texture per piece, reused from frame to frame.
    struct TurnBuffer {
        std::shared_ptr<Texture> texture;
        unsigned long frame = 0;
    };
    std::unordered_map<std::uint64_t, TurnBuffer> turnBuffers_;
};

} // namespace platform::sdl
