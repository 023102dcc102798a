#include "platform/sdl/Screenshot.h"

#include <cairo.h>

#include <cstdio>
#include <stdexcept>

namespace platform::sdl {

OffscreenRenderer::OffscreenRenderer(int widthPixels, int heightPixels, std::filesystem::path resourceFolder)
{
    surface_ = SDL_CreateRGBSurfaceWithFormat(0, widthPixels, heightPixels, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface_)
        throw std::runtime_error(std::string("cannot make a picture in memory: ") + SDL_GetError());
    renderer_ = SDL_CreateSoftwareRenderer(surface_);
    if (!renderer_) {
        SDL_FreeSurface(surface_);
        throw std::runtime_error(std::string("cannot make a software renderer: ") + SDL_GetError());
    }
    compositor_ = std::make_unique<Compositor>(renderer_, std::move(resourceFolder));
    compositor_->setTargetSurface(surface_);
    // The screen fills the picture as far as its aspect allows, centred.
    const float scale = std::min(float(widthPixels) / Window::widthPoints, float(heightPixels) / Window::heightPoints);
    compositor_->setViewport(scale, (float(widthPixels) - Window::widthPoints * scale) / 2,
                             (float(heightPixels) - Window::heightPoints * scale) / 2);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
}

OffscreenRenderer::~OffscreenRenderer()
{
    // Textures belong to the renderer: they go first.
    compositor_.reset();
    SDL_DestroyRenderer(renderer_);
    SDL_FreeSurface(surface_);
}

void OffscreenRenderer::render(Window& window, Nanoseconds now)
{
    compositor_->compose(window, now);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    compositor_->draw();
    SDL_RenderPresent(renderer_);
}

void OffscreenRenderer::renderChanges(Window& window, Nanoseconds now)
{
    compositor_->compose(window, now);
    const auto& regions = compositor_->damage();
    if (regions.empty())
        return;
    compositor_->draw(regions);
    SDL_RenderPresent(renderer_);
}

std::uint32_t OffscreenRenderer::pixel(int x, int y) const noexcept
{
    if (x < 0 || y < 0 || x >= surface_->w || y >= surface_->h)
        return 0;
    const auto* row = static_cast<const unsigned char*>(surface_->pixels) + static_cast<std::ptrdiff_t>(y) * surface_->pitch;
    return reinterpret_cast<const std::uint32_t*>(row)[x];
}

bool OffscreenRenderer::writePng(const std::string& path) const
{
    // The surface is ARGB8888 in native byte order, which is cairo's RGB24 layout.
    cairo_surface_t* image = cairo_image_surface_create_for_data(static_cast<unsigned char*>(surface_->pixels),
                                                                 CAIRO_FORMAT_RGB24, surface_->w, surface_->h,
                                                                 surface_->pitch);
    const cairo_status_t status = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS
                                      ? cairo_surface_write_to_png(image, path.c_str())
                                      : cairo_surface_status(image);
    cairo_surface_destroy(image);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "spoolora: cannot write screenshot \"%s\": %s\n", path.c_str(),
                     cairo_status_to_string(status));
        return false;
    }
    return true;
}

bool renderScreenshot(Window& window, const Clock& clock, const std::string& path)
{
    // One renderer per window, kept between screenshots, so that a later screenshot
    // mid-transition shows what the earlier one showed sliding out.
    static std::unique_ptr<OffscreenRenderer> renderer;
    static std::uint64_t windowSerial = 0;
    try {
        const std::uint64_t serial = window.contentView().serialNumber();
        if (!renderer || serial != windowSerial) {
            renderer = std::make_unique<OffscreenRenderer>();
            windowSerial = serial;
        }
        renderer->render(window, clock.now());
        return renderer->writePng(path);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spoolora: cannot take a screenshot: %s\n", error.what());
        return false;
    }
}

} // namespace platform::sdl
