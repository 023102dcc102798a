#pragma once
// Software renderers only. SDL's software renderer turns a texture by resampling
// all of it into a new surface at every draw, even when only a corner of it is to
// be redrawn, and slowly. Here cairo turns it instead, and the result is kept: a
// picture standing at a fixed angle (a tilted band, a turned label) is turned
// once. A turning picture with spokes repeats itself every period, so its turns
// are kept per couple of degrees within one period and a turning reel costs one
// blit per frame; other turning pictures are resampled into a reused buffer at
// every frame.

#include "platform/Clock.h"
#include "platform/sdl/DisplayList.h"

#include <SDL.h>

#include <map>
#include <tuple>
#include <unordered_map>

namespace platform::sdl {

class TextureFactory;

class TurnedPictures {
public:
    TurnedPictures(SDL_Renderer* renderer, TextureFactory& textures) : renderer_(renderer), textures_(textures) {}

    // Gives a turned command of the frame its upright, already turned texture
    // (DrawCommand::prepared), unless it has one.
    void prepare(DrawCommand& command, unsigned long frame, Nanoseconds now);
    // After a frame: drops what was not used for a while.
    void endFrame(unsigned long frame, Nanoseconds now);
    void clear();

private:
    SDL_Renderer* renderer_;
    TextureFactory& textures_;
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
    Nanoseconds lastEviction_ = 0;
};

} // namespace platform::sdl
