// An SDL window with an OpenGL ES 2.0 context drawing into framebuffer 0.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FramesInFlight.h"

struct SDL_Window;

namespace platform {

struct GLContextAttributes {
    int red = 8, green = 8, blue = 8, alpha = 8;
    int depth = 24, stencil = 8;
    int multisamples = 0;
};

struct WindowOptions {
    std::string title = "stargrid";
    int width = 640;  // pixels
    int height = 1136;
    bool visible = true;
    // On a screen smaller than the window, scale the window down to fit (keeping
    // its aspect). Headless windows always keep their size.
    bool fitToDisplay = false;
    GLContextAttributes attributes;
};

// Scales width x height down uniformly to fit within the area; never up.
void fitWithin(int& width, int& height, int areaWidth, int areaHeight);

// Chooses the video driver before SDL starts: headless (offscreen) when no
// display is reachable and SDL_VIDEODRIVER is not set. Returns true when headless.
bool prepareVideoDriver();

class GLContext {
public:
    // Null with a log line when SDL or the ES 2.0 context cannot be had.
    static std::unique_ptr<GLContext> create(const WindowOptions& options);
    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    // Also when another toolkit made its own context current since (GTK and WebKit do), which SDL does
    // not see. A failure is said once, until the context could be made current again.
    void makeCurrent();
    // Whether this context is the current one of the calling thread, as the driver has it.
    bool isCurrent() const;
    // No context is current afterwards, when this one was.
    void releaseCurrent();
    // Presents the frame; returns once at most FramesInFlight::kDefaultLimit frames are left for
    // the driver to finish, so frames made faster than drawn do not pile up.
    void swapBuffers();
    bool isHeadless() const { return headless_; }
    // The window's identity in input events.
    std::uint32_t windowId() const;
    // Where the window's top-left corner is on the screen.
    void windowPosition(int& x, int& y) const;
    // The window's size in its own units (points) and the drawable's in pixels.
    int windowWidth() const;
    int windowHeight() const;
    int drawableWidth() const;
    int drawableHeight() const;
    void setWindowSize(int width, int height);
    // Restores the window when it was minimised and raises it over the others (nothing headless).
    void bringForward();
    // Samples per pixel the driver granted (0 without multisampling).
    int grantedSamples() const;

    // Committed and composed text arrive as input events only between these.
    void startTextInput();
    void stopTextInput();

    // Framebuffer 0 as RGBA rows, top row first.
    std::vector<std::uint8_t> readPixels(int x, int y, int width, int height) const;

private:
    GLContext() = default;
    static std::unique_ptr<GLContext> createWithDriver(const WindowOptions& options);
    void lookUpCurrentContext();
    bool boundToThisThread() const;

    SDL_Window* window_ = nullptr;
    void* context_ = nullptr;
    // The driver's own current context of the calling thread (EGL's or GLX's); null when it cannot be asked.
    void* (*currentContext_)() = nullptr;
    bool makeCurrentFailed_ = false;
    std::unique_ptr<FramesInFlight> framesInFlight_;
    bool headless_ = false;
};

}  // namespace platform
