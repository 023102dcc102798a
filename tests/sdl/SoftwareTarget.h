#pragma once
// A surface in memory and SDL's software renderer drawing into it, for tests. Texture
// factories made after it go before it.

#include <SDL.h>

struct SoftwareTarget {
    explicit SoftwareTarget(int width = 64, int height = 64, Uint32 format = SDL_PIXELFORMAT_ARGB8888)
        : surface(SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, format)),
          renderer(surface ? SDL_CreateSoftwareRenderer(surface) : nullptr)
    {
    }
    ~SoftwareTarget()
    {
        if (renderer)
            SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
    SoftwareTarget(const SoftwareTarget&) = delete;
    SoftwareTarget& operator=(const SoftwareTarget&) = delete;

    SDL_Surface* surface;
    SDL_Renderer* renderer;
};
