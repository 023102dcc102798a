#include "platform/sdl/Presenter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// Sections: renderer choice · the presenter.

namespace platform::sdl {

namespace {

constexpr float defaultScale = 2;

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

// --- Renderer choice -------------------------------------------------------------------

bool isInvisibleDriver(const char* driver)
{
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

bool driverWasRequested(const char* driver)
{
    const char* requested = std::getenv("SDL_VIDEODRIVER");
    if (!requested || !driver)
        return false;
    const std::string list = requested;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (SDL_strcasecmp(list.substr(start, comma - start).c_str(), driver) == 0)
            return true;
        start = comma + 1;
    }
    return false;
}

namespace {

// Which drawing OpenGL offers, asked in this process: a hidden window with an OpenGL
// context says who draws for it.
Graphics askOpenGl()
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return Graphics::Unknown;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (isInvisibleDriver(driver) && !driverWasRequested(driver))
        return Graphics::Unknown;
    SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    if (!probe)
        return Graphics::Unknown;
    SDL_GLContext context = SDL_GL_CreateContext(probe);
    if (!context)
        return Graphics::Unknown;
    using GetString = const unsigned char* (*)(unsigned);
    constexpr unsigned glRenderer = 0x1F01;
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const auto* name = getString ? reinterpret_cast<const char*>(getString(glRenderer)) : nullptr;
    if (!name)
        return Graphics::Unknown;
    const std::string renderer = name;
    const bool software = renderer.find("llvmpipe") != std::string::npos
                          || renderer.find("softpipe") != std::string::npos
                          || renderer.find("swrast") != std::string::npos
                          || renderer.find("Software Rasterizer") != std::string::npos;
    return software ? Graphics::Software : Graphics::Hardware;
}

} // namespace

// Mesa's software rasterisers offer OpenGL without a graphics chip; drawing through
// them costs more processor time than SDL's own software renderer with redraws
// limited to what changed. Asking OpenGL loads its driver (with Mesa's, LLVM): tens
// of megabytes that stay mapped for the life of a process, whatever it then draws
// with. So a child process asks and tells the answer in one byte.
Graphics probeGraphics()
{
    if (const char* choice = std::getenv("SPOOLORA_RENDERER")) {
        if (std::strcmp(choice, "software") == 0)
            return Graphics::Software;
        if (std::strcmp(choice, "accelerated") == 0)
            return Graphics::Hardware;
    }
    int answer[2];
    if (pipe2(answer, O_CLOEXEC) != 0)
        return Graphics::Unknown;
    const pid_t child = fork();
    if (child == 0) {
        close(answer[0]);
        const char byte = static_cast<char>(askOpenGl());
        ssize_t written;
        do
            written = write(answer[1], &byte, 1);
        while (written < 0 && errno == EINTR);
        // Nothing of the parent's (buffers, handlers, SDL) is run or flushed here.
        _exit(0);
    }
    close(answer[1]);
    if (child < 0) {
        close(answer[0]);
        return Graphics::Unknown;
    }
    // A driver that hangs must not keep the window from opening.
    constexpr int patienceMs = 10'000;
    pollfd ready{answer[0], POLLIN, 0};
    int polled;
    do
        polled = poll(&ready, 1, patienceMs);
    while (polled < 0 && errno == EINTR);
    char byte = static_cast<char>(Graphics::Unknown);
    const bool heard = polled > 0 && read(answer[0], &byte, 1) == 1;
    close(answer[0]);
    if (!heard)
        kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!heard)
        return Graphics::Unknown;
    switch (static_cast<Graphics>(byte)) {
    case Graphics::Hardware: return Graphics::Hardware;
    case Graphics::Software: return Graphics::Software;
    default: return Graphics::Unknown;
    }
}

float fittingScale(SDL_Window* window)
{
    const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(display, &usable) != 0 || usable.w <= 0 || usable.h <= 0)
        return defaultScale;
    constexpr float frameAllowancePoints = 48;
    const float fit = std::min(float(usable.w) / Window::widthPoints,
                               (float(usable.h) - frameAllowancePoints) / Window::heightPoints);
    if (fit >= defaultScale)
        return defaultScale;
    return std::max(0.5f, std::floor(fit * 4) / 4);
}

// --- The presenter -----------------------------------------------------------------------

float screenScale(int widthPixels, int heightPixels, const ScreenFit& fit)
{
    // Small enough for any window; the compositor clips what lies outside.
    constexpr float smallestScale = 1.0f / 64;
    const float exact = std::min(float(widthPixels) / Window::widthPoints, float(heightPixels) / Window::heightPoints);
    float scale = exact;
    if (fit.requestedScale > 0)
        scale = std::min(fit.requestedScale, exact);
    else if (fit.wholeSteps && exact >= 1)
        scale = std::floor(exact);
    return std::max(smallestScale, scale);
}

Presenter::Presenter(SDL_Window* window, bool accelerated, ScreenFit fit) : window_(window), fit_(fit)
{
    if (accelerated) {
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
        if (renderer_) {
            SDL_RendererInfo info{};
            SDL_GetRendererInfo(renderer_, &info);
            vsync_ = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
        }
    }
    if (!renderer_)
        makeSoftwareRenderer();
    else
        compositor_ = std::make_unique<Compositor>(renderer_, resourceDirectory());
    fitScreen();
}

Presenter::~Presenter()
{
    dropCanvas();
    compositor_.reset();
    if (renderer_)
        SDL_DestroyRenderer(renderer_);
}

void Presenter::windowResized()
{
    if (isSoftware()) {
        compositor_.reset();
        SDL_DestroyRenderer(renderer_);
        renderer_ = nullptr;
        makeSoftwareRenderer();
    }
    dropCanvas();
    fitScreen();
    redrawAll_ = true;
}

void Presenter::canvasLost()
{
    dropCanvas();
    redrawAll_ = true;
}

void Presenter::texturesLost()
{
    dropCanvas();
    compositor_ = std::make_unique<Compositor>(renderer_, resourceDirectory());
    fitScreen();
    redrawAll_ = true;
}

bool Presenter::present(Window& window, Nanoseconds now)
{
    struct Account {
        bool timed;
        double started;
        double& total;
        ~Account()
        {
            if (timed)
                total += threadSeconds() - started;
        }
    } account{timed_, timed_ ? threadSeconds() : 0, stats_.drawingSeconds};
    compositor_->compose(window, now);
    const std::vector<SDL_Rect>& damage = compositor_->damage();
    if (!redrawAll_ && damage.empty())
        return false;
    ++stats_.frames;
    for (const SDL_Rect& r : damage)
        stats_.pixels += std::uint64_t(r.w) * std::uint64_t(r.h);
    if (isSoftware() && !redrawAll_) {
        compositor_->draw(damage);
        SDL_RenderPresent(renderer_);
        // X refuses (and ends the process for) an update that reaches past the window,
        // which the screen's damage does once the window is smaller than the screen.
        const SDL_Rect bounds{0, 0, surface_->w, surface_->h};
        sent_.clear();
        for (const SDL_Rect& r : damage)
            if (SDL_Rect inside{}; SDL_IntersectRect(&r, &bounds, &inside))
                sent_.push_back(inside);
        const double before = timed_ ? threadSeconds() : 0;
        if (!sent_.empty())
            SDL_UpdateWindowSurfaceRects(window_, sent_.data(), static_cast<int>(sent_.size()));
        if (timed_)
            stats_.uploadingSeconds += threadSeconds() - before;
        return true;
    }
    if (!isSoftware() && (canvas_ || makeCanvas())) {
        // Only what changed is drawn into the kept frame, on black (the bars around the
        // screen, and nothing left of the pieces before); the back buffer gets all of it.
        SDL_SetRenderTarget(renderer_, canvas_);
        SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        if (redrawAll_) {
            SDL_RenderSetClipRect(renderer_, nullptr);
            SDL_RenderClear(renderer_);
            compositor_->draw();
        } else {
            for (const SDL_Rect& r : damage) {
                SDL_RenderSetClipRect(renderer_, &r);
                SDL_RenderFillRect(renderer_, &r);
            }
            compositor_->draw(damage);
        }
        SDL_SetRenderTarget(renderer_, nullptr);
        SDL_RenderSetClipRect(renderer_, nullptr);
        SDL_RenderCopy(renderer_, canvas_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
        redrawAll_ = false;
        return true;
    }
    // The bars around the screen are black; an accelerated back buffer holds nothing
    // from the frame before, so everything is drawn.
    SDL_RenderSetClipRect(renderer_, nullptr);
    SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    compositor_->draw();
    SDL_RenderPresent(renderer_);
    if (isSoftware())
        SDL_UpdateWindowSurface(window_);
    redrawAll_ = false;
    return true;
}

Point Presenter::screenPoint(float windowX, float windowY) const
{
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
    const float pixelsX = windowWidth > 0 ? float(outputWidth_) / float(windowWidth) : 1;
    const float pixelsY = windowHeight > 0 ? float(outputHeight_) / float(windowHeight) : 1;
    return {(windowX * pixelsX - offsetX_) / scale_, (windowY * pixelsY - offsetY_) / scale_};
}

Point Presenter::screenPointFromTouch(float x, float y) const
{
    return {(x * float(outputWidth_) - offsetX_) / scale_, (y * float(outputHeight_) - offsetY_) / scale_};
}

void Presenter::makeSoftwareRenderer()
{
    // Otherwise SDL backs the window surface with an OpenGL texture, which is the
    // software rasteriser again when there is no graphics chip.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    surface_ = SDL_GetWindowSurface(window_);
    renderer_ = surface_ ? SDL_CreateSoftwareRenderer(surface_) : nullptr;
    if (!renderer_)
        throw std::runtime_error(std::string("cannot draw into the window: ") + SDL_GetError());
    vsync_ = false;
    compositor_ = std::make_unique<Compositor>(renderer_, resourceDirectory());
    compositor_->setTargetSurface(surface_);
}

bool Presenter::makeCanvas()
{
    int width = 0, height = 0;
    if (SDL_GetRendererOutputSize(renderer_, &width, &height) != 0 || width <= 0 || height <= 0
        || !SDL_RenderTargetSupported(renderer_))
        return false;
    canvas_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, width, height);
    if (!canvas_)
        return false;
    SDL_SetTextureBlendMode(canvas_, SDL_BLENDMODE_NONE);
    redrawAll_ = true;
    return true;
}

void Presenter::dropCanvas() noexcept
{
    if (canvas_)
        SDL_DestroyTexture(canvas_);
    canvas_ = nullptr;
}

void Presenter::fitScreen()
{
    if (isSoftware()) {
        outputWidth_ = surface_->w;
        outputHeight_ = surface_->h;
    } else {
        SDL_GetRendererOutputSize(renderer_, &outputWidth_, &outputHeight_);
    }
    // A requested scale is in window units; the renderer may have more pixels than that.
    ScreenFit fit = fit_;
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
    if (fit.requestedScale > 0 && windowWidth > 0)
        fit.requestedScale *= float(outputWidth_) / float(windowWidth);
    scale_ = screenScale(outputWidth_, outputHeight_, fit);
    // Whole pixels for the bars keep the picture's pixels on the display's pixels.
    offsetX_ = std::floor((float(outputWidth_) - Window::widthPoints * scale_) / 2);
    offsetY_ = std::floor((float(outputHeight_) - Window::heightPoints * scale_) / 2);
    compositor_->setViewport(scale_, offsetX_, offsetY_);
}

} // namespace platform::sdl
