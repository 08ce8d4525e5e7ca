// The render surface: the window's OpenGL ES 2.0 context, its default framebuffer and backing size.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/GLContext.h"

namespace kite {

// The window system provides the default framebuffer (0) with its colour and, when
// asked for, depth, stencil and multisample storage; the driver resolves multisampling
// on present. So the framebuffer names here are all 0 and nothing is generated.
class KTES2Renderer {
public:
    static constexpr unsigned int DEPTH_NONE = 0;
    static constexpr unsigned int DEPTH_COMPONENT16 = 0x81A5;
    static constexpr unsigned int DEPTH24_STENCIL8 = 0x88F0;
    static constexpr unsigned int RGB565 = 0x8D62;
    static constexpr unsigned int RGBA8 = 0x8058;

    // Opens the window with a context for these formats; null when no ES 2.0 context
    // can be made current. Requested samples above what the driver grants are lowered.
    static std::unique_ptr<KTES2Renderer> create(unsigned int depthFormat, unsigned int pixelFormat, bool multiSampling,
                                                 unsigned int requestedSamples, const platform::WindowOptions& window);
    ~KTES2Renderer();
    KTES2Renderer(const KTES2Renderer&) = delete;
    KTES2Renderer& operator=(const KTES2Renderer&) = delete;

    // Reads the drawable's size into the backing size; true when the framebuffer is complete.
    bool resizeFromLayer();
    int getBackingWidth() const { return backingWidth_; }
    int getBackingHeight() const { return backingHeight_; }

    platform::GLContext* getContext() const { return context_.get(); }
    unsigned int getDefaultFrameBuffer() const { return defaultFramebuffer_; }
    unsigned int getColorRenderBuffer() const { return colorRenderbuffer_; }
    unsigned int getMsaaFrameBuffer() const { return msaaFramebuffer_; }
    unsigned int getMsaaColorBuffer() const { return msaaColorbuffer_; }
    unsigned int getDepthFormat() const { return depthFormat_; }
    unsigned int getPixelFormat() const { return pixelFormat_; }
    bool isMultiSampling() const { return multiSampling_; }
    unsigned int getSamplesToUse() const { return samplesToUse_; }
    // "<KTES2Renderer = ADDRESS | size = WxH>"
    std::string description() const;

    // The context attributes for a colour and depth format.
    static platform::GLContextAttributes attributesFor(unsigned int depthFormat, unsigned int pixelFormat);
    // Prints "OpenGL error 0x%04X in %s %d" when GL reports an error.
    static void checkGLError(const char* function, int line);

private:
    KTES2Renderer() = default;

    int backingWidth_ = 0;
    int backingHeight_ = 0;
    unsigned int samplesToUse_ = 0;
    bool multiSampling_ = false;
    unsigned int depthFormat_ = 0;
    unsigned int pixelFormat_ = 0;
    unsigned int defaultFramebuffer_ = 0;
    unsigned int colorRenderbuffer_ = 0;
    [[maybe_unused]] unsigned int depthBuffer_ = 0;  // the context brings the depth buffer; none of our own
    unsigned int msaaFramebuffer_ = 0;
    unsigned int msaaColorbuffer_ = 0;
    std::unique_ptr<platform::GLContext> context_;
};

}  // namespace kite
