#include "platform/GLContext.h"

#include <EGL/egl.h>
#include <GLES2/gl2.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/PrintableText.h"
#include "platform/ShaderCache.h"
#include "platform/X11Display.h"

namespace platform {

bool prepareVideoDriver() {
    if (const char* driver = std::getenv("SDL_VIDEODRIVER"); driver && *driver)
        return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 && *x11) || (wayland && *wayland)) return false;
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    return true;
}

void fitWithin(int& width, int& height, int areaWidth, int areaHeight) {
    if (width <= 0 || height <= 0 || areaWidth <= 0 || areaHeight <= 0) return;
    double scale = std::min({1.0, static_cast<double>(areaWidth) / width, static_cast<double>(areaHeight) / height});
    width = std::max(1, static_cast<int>(width * scale));
    height = std::max(1, static_cast<int>(height * scale));
}

namespace {

// The GLES library's exports reach the context: under X11 SDL makes it through GLX, which is the
// faster way to present there; where the exports do not reach a GLX context, EGL is forced.
bool directCallsReachAnESContext() {
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return version && std::strncmp(version, "OpenGL ES", 9) == 0;
}

// SDL's error, with what SDL leaves out: its X11 driver says only that it is not available.
std::string sdlVideoError() {
    std::string error = printableText(SDL_GetError());
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && std::strcmp(driver, "x11") == 0) {
        const std::string why = whyNoX11Display();
        if (!why.empty()) error += " (" + why + ")";
    }
    return error;
}

// SDL's error, and the X error the driver met on the way when there was one.
std::string glError(const X11ErrorTrap& trap) {
    std::string error = printableText(SDL_GetError());
    if (!trap.firstError().empty()) error += " (X error: " + printableText(trap.firstError()) + ")";
    return error;
}

}  // namespace

std::unique_ptr<GLContext> GLContext::create(const WindowOptions& options) {
    std::unique_ptr<GLContext> context = createWithDriver(options);
    const char* forced = std::getenv("SDL_VIDEO_X11_FORCE_EGL");
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
    const bool eglForced = forced && std::strcmp(forced, "1") == 0;
    if (!context || !driver || std::strcmp(driver, "x11") != 0 || eglForced) return context;
    if (directCallsReachAnESContext()) return context;
    std::fprintf(stderr, "platform: the GLX context does not take OpenGL ES calls; using EGL\n");
    context.reset();
    setenv("SDL_VIDEO_X11_FORCE_EGL", "1", 1);
    return createWithDriver(options);
}

std::unique_ptr<GLContext> GLContext::createWithDriver(const WindowOptions& options) {
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    const bool driverChosen = chosen && *chosen;
    bool headless = prepareVideoDriver();
    // Before the driver loads: it reads its cache settings once.
    prepareShaderCache();
    // A GL driver failing under X11 makes X errors, which Xlib would end the process on.
    const X11ErrorTrap trap;
    // One input reaches the game once: no touches made from the mouse, nor the reverse.
    SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
    SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        // A display that is named but unreachable (a stale DISPLAY) is no display:
        // run headless, unless the user asked for a driver.
        if (headless || driverChosen) {
            std::fprintf(stderr, "platform: SDL video failed: %s\n", sdlVideoError().c_str());
            return nullptr;
        }
        std::fprintf(stderr, "platform: no display reachable (%s), running headless\n",
                     printableText(SDL_GetError()).c_str());
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        headless = true;
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            std::fprintf(stderr, "platform: SDL video failed: %s\n", printableText(SDL_GetError()).c_str());
            return nullptr;
        }
    }
    // SDL may itself have fallen back to a headless driver.
    if (const char* driver = SDL_GetCurrentVideoDriver())
        headless = std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
    const GLContextAttributes& a = options.attributes;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, a.red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, a.green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, a.blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, a.alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, a.depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, a.stencil);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, a.multisamples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, a.multisamples);

    int width = options.width, height = options.height;
    SDL_Rect usable;
    if (!headless && options.fitToDisplay && SDL_GetDisplayUsableBounds(0, &usable) == 0)
        fitWithin(width, height, usable.w, usable.h);

    Uint32 flags = SDL_WINDOW_OPENGL | (options.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
    std::unique_ptr<GLContext> context(new GLContext());
    context->headless_ = headless;
    context->window_ =
        SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (!context->window_) {
        std::fprintf(stderr, "platform: cannot create the window: %s\n", glError(trap).c_str());
        return nullptr;
    }
    context->context_ = SDL_GL_CreateContext(context->window_);
    if (!context->context_) {
        std::fprintf(stderr, "platform: cannot create an OpenGL ES 2.0 context: %s\n", glError(trap).c_str());
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(context->window_, context->context_) != 0) {
        std::fprintf(stderr, "platform: the OpenGL ES 2.0 context cannot be made current: %s\n", glError(trap).c_str());
        return nullptr;
    }
    context->lookUpCurrentContext();
    SDL_GL_SetSwapInterval(0);  // the host paces frames itself
    // The X server ending now runs the game's background step before the process ends.
    watchDisplayLoss();
    context->framesInFlight_ = std::make_unique<FramesInFlight>();
    return context;
}

GLContext::~GLContext() {
    if (framesInFlight_ && context_) {
        makeCurrent();  // its fences belong to this context
        framesInFlight_.reset();
    }
    stopTextInput();
    releaseCurrent();
    if (context_) SDL_GL_DeleteContext(context_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void GLContext::lookUpCurrentContext() {
    // SDL's context is the EGL one where SDL draws through EGL, else a GLX one.
    if (eglGetCurrentContext() == context_) {
        currentContext_ = reinterpret_cast<void* (*)()>(&eglGetCurrentContext);
    } else {
        currentContext_ = reinterpret_cast<void* (*)()>(SDL_GL_GetProcAddress("glXGetCurrentContext"));
    }
}

bool GLContext::boundToThisThread() const { return !currentContext_ || currentContext_() == context_; }

void GLContext::makeCurrent() {
    if (!context_) return;
    if (SDL_GL_GetCurrentContext() == context_) {
        if (boundToThisThread()) return;
        // Another toolkit (GTK, WebKit) made a context of its own current, or none: SDL does not know and
        // would keep the call from reaching the driver.
        SDL_GL_MakeCurrent(window_, nullptr);
    }
    const bool made = SDL_GL_MakeCurrent(window_, context_) == 0;
    if (!made && !makeCurrentFailed_)
        std::fprintf(stderr, "platform: the OpenGL ES 2.0 context cannot be made current: %s\n",
                     printableText(SDL_GetError()).c_str());
    makeCurrentFailed_ = !made;
}

bool GLContext::isCurrent() const { return context_ && SDL_GL_GetCurrentContext() == context_ && boundToThisThread(); }

void GLContext::releaseCurrent() {
    if (context_ && SDL_GL_GetCurrentContext() == context_) SDL_GL_MakeCurrent(nullptr, nullptr);
}

void GLContext::swapBuffers() {
    SDL_GL_SwapWindow(window_);
    if (framesInFlight_) framesInFlight_->framePresented();
}

std::uint32_t GLContext::windowId() const { return SDL_GetWindowID(window_); }

void GLContext::windowPosition(int& x, int& y) const { SDL_GetWindowPosition(window_, &x, &y); }

int GLContext::windowWidth() const {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    return w;
}

int GLContext::windowHeight() const {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    return h;
}

void GLContext::setWindowSize(int width, int height) { SDL_SetWindowSize(window_, width, height); }

void GLContext::bringForward() {
    if (headless_) return;
    if (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window_);
    SDL_RaiseWindow(window_);
}

int GLContext::grantedSamples() const {
    int granted = 0;
    if (SDL_GL_GetAttribute(SDL_GL_MULTISAMPLESAMPLES, &granted) != 0) return 0;
    return granted > 0 ? granted : 0;
}

void GLContext::startTextInput() { SDL_StartTextInput(); }

void GLContext::stopTextInput() {
    if (SDL_IsTextInputActive()) SDL_StopTextInput();
}

int GLContext::drawableWidth() const {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    return w;
}

int GLContext::drawableHeight() const {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    return h;
}

std::vector<std::uint8_t> GLContext::readPixels(int x, int y, int width, int height) const {
    std::vector<std::uint8_t> bottomUp(static_cast<std::size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<std::uint8_t> topDown(bottomUp.size());
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    for (int r = 0; r < height; ++r) std::memcpy(&topDown[r * row], &bottomUp[(height - 1 - r) * row], row);
    return topDown;
}

}  // namespace platform
