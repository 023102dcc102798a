#pragma once
// Software renderers only: kept pictures that spare blending. A software renderer
// pays for every blended pixel, and a playing cassette redraws its two reels at
// every frame and both tape bands at every tick. Two kinds of kept pictures save
// most of it:
//  - the top of the display list that did not change since the last frame (the
//    skin, the labels, the toolbar) is kept as one picture with a map of where it
//    is opaque; below its opaque parts nothing needs drawing at all;
//  - what lies below a turning reel, in the reel's square, is drawn once into a
//    picture of its own and copied in the following frames, into whichever parts of
//    the square are redrawn.

#include "platform/sdl/DisplayList.h"

#include <SDL.h>

#include <memory>
#include <vector>

namespace platform::sdl {

class TextureFactory;

// Draws the piece inside the rectangle (on the screen) straight into the target, whose
// pixel (0, 0) lies at `origin` on the screen, exactly as the software renderer would
// draw it: an opaque fill on whole pixels, or an upright picture at its own size,
// blended. False, with nothing drawn, for any other piece or target.
bool drawStraight(SDL_Renderer* renderer, SDL_Surface* target, const DrawCommand& piece, const SDL_Rect& rect,
                  SDL_Point origin);

class KeptLayers {
public:
    KeptLayers(SDL_Renderer* renderer, TextureFactory& textures) : renderer_(renderer), textures_(textures) {}

    // The pixel format of the renderer's target, which layers read back keep.
    void setTargetFormat(Uint32 pixelFormat)
    {
        if (pixelFormat != targetFormat_)
            clear();
        targetFormat_ = pixelFormat;
    }
    // The surface the renderer draws into, when turning pieces are turned straight onto
    // it (turnOnto); none otherwise.
    void setTargetSurface(SDL_Surface* surface) noexcept { surface_ = surface; }
    // Draws the current frame inside the regions (the whole screen when
    // `everything`), keeping and using the layers above; `previous` is the frame
    // drawn before, and `frame` counts frames.
    void draw(const DisplayList& current, const DisplayList& previous, const std::vector<SDL_Rect>& regions,
              bool everything, const SDL_Rect& screen, unsigned long frame);
    void clear();
    // Bytes held by the kept top and by the layers kept below reels.
    std::size_t topBytes() const noexcept;
    std::size_t belowBytes() const noexcept;

private:
    void drawRegion(const SDL_Rect& region, bool everything);
    void drawPieces(const SDL_Rect& rect, const std::vector<const DrawCommand*>& pieces);
    void drawPiece(const DrawCommand& piece, const SDL_Rect& rect);
    // The pieces of the frame below the turning piece that show in its square, when the
    // lowest of them covers the square; none otherwise.
    std::vector<const DrawCommand*> piecesBelow(const DrawCommand& turning, const SDL_Rect& square) const;
    // What lies below the turning piece in its square, kept; none while it has not
    // shown the same in two frames.
    const Texture* keptBelow(const DrawCommand& turning, const SDL_Rect& square);
    TexturePtr drawnApart(const SDL_Rect& square, const std::vector<const DrawCommand*>& pieces, TexturePtr reused);
    // Rows of the kept picture from `from` on into the target surface at `to`, within the surface.
    void copyKept(const Texture& kept, SDL_Point from, const SDL_Rect& to);
    // Draws the kept top inside the area straight into the target surface, when it can.
    bool drawTopDirectly(const SDL_Rect& area);
    void updateTopStack();
    void forgetUnusedKeptLayers();
    // Rectangles covering the tiles of the region whose flag is set.
    std::vector<SDL_Rect> openRects(const SDL_Rect& region, const std::vector<bool>& tiles) const;
    // The tiles where the kept top must be drawn again after the rectangles were drawn below it.
    std::vector<bool> topTilesToRedraw(const std::vector<SDL_Rect>& drawnBelow) const;

    SDL_Renderer* renderer_;
    TextureFactory& textures_;
    Uint32 targetFormat_ = SDL_PIXELFORMAT_ARGB8888;
    SDL_Surface* surface_ = nullptr;
    // The frame being drawn.
    const DisplayList* current_ = nullptr;
    const DisplayList* previous_ = nullptr;
    SDL_Rect screen_{};
    unsigned long frame_ = 0;

    // The unchanged top of the display list, kept as one picture, with the tiles
    // where it is not opaque.
    struct TopStack {
        std::size_t first = 0;            // where it starts in the current display list
        unsigned long builtInFrame = 0;
        std::vector<DrawCommand> pieces;
        TexturePtr texture;               // the rectangle `kept`, straight alpha, maybe in parts
        SDL_Rect kept{};                  // around the tiles where it is not opaque
        SDL_Point origin{};
        int tilesAcross = 0, tilesDown = 0;
        std::vector<bool> open;      // tiles where it is not opaque
        std::vector<bool> painted;   // open tiles where it paints something
        // The texture's parts by their top edge, to find those in a rectangle quickly.
        std::vector<std::size_t> partsByTop;
        int tallestPart = 0;
    };
    std::unique_ptr<TopStack> topStack_;
    // What lies below a turning reel in its square. The wobble poses the tape four ways
    // in turn, so each reel has a few of these.
    struct KeptBelow {
        SDL_Rect rect{};               // the reel's square
        std::uint64_t turningKey = 0;  // the reel's piece
        unsigned long frame = 0;       // last used or seen
        TexturePtr texture;            // none while seen only once
        std::vector<ShownPiece> pieces;
        // The pieces' pictures: once one is gone, this can never show again.
        std::vector<std::weak_ptr<const Texture>> pictures;
        bool showsGonePictures() const noexcept;
    };
    // What keptBelow found for each turning piece in this frame: it is asked once for
    // every rectangle drawn over a reel.
    struct FoundBelow {
        std::uint64_t turningKey = 0;
        SDL_Rect square{};
        const Texture* kept = nullptr;
    };
    std::vector<FoundBelow> foundBelow_;
    const Texture* findKeptBelow(const DrawCommand& turning, const SDL_Rect& square);
    std::vector<KeptBelow> keptBelow_;
};

} // namespace platform::sdl
