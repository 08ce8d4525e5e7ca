#include "kite/platform/KTES2Renderer.h"

#include <GLES2/gl2.h>

#include <cstdio>

#include "kite/foundation/Log.h"

namespace kite {

platform::GLContextAttributes KTES2Renderer::attributesFor(unsigned int depthFormat, unsigned int pixelFormat) {
    platform::GLContextAttributes a;
    if (pixelFormat == RGB565) {
        a.red = 5;
        a.green = 6;
        a.blue = 5;
        a.alpha = 0;
    } else {
        a.red = a.green = a.blue = a.alpha = 8;
    }
    a.depth = 0;
    a.stencil = 0;
    if (depthFormat == DEPTH_COMPONENT16) {
        a.depth = 16;
    } else if (depthFormat == DEPTH24_STENCIL8) {
        a.depth = 24;
        a.stencil = 8;
    }
    return a;
}

void KTES2Renderer::checkGLError(const char* function, int line) {
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        std::printf("OpenGL error 0x%04X in %s %d\n", error, function, line);
        std::fflush(stdout);
    }
}

std::unique_ptr<KTES2Renderer> KTES2Renderer::create(unsigned int depthFormat, unsigned int pixelFormat,
                                                     bool multiSampling, unsigned int requestedSamples,
                                                     const platform::WindowOptions& window) {
    std::unique_ptr<KTES2Renderer> renderer(new KTES2Renderer());
    renderer->depthFormat_ = depthFormat;
    renderer->pixelFormat_ = pixelFormat;
    renderer->multiSampling_ = multiSampling;

    platform::WindowOptions options = window;
    options.attributes = attributesFor(depthFormat, pixelFormat);
    // With multisampling, fewer samples are tried until the driver grants a context.
    unsigned int samples = multiSampling ? requestedSamples : 0;
    for (;;) {
        options.attributes.multisamples = static_cast<int>(samples);
        renderer->context_ = platform::GLContext::create(options);
        if (renderer->context_ || samples == 0) break;
        samples /= 2;
    }
    if (!renderer->context_) return nullptr;
    renderer->context_->makeCurrent();
    if (!renderer->context_->isCurrent()) return nullptr;

    if (multiSampling) renderer->samplesToUse_ = static_cast<unsigned int>(renderer->context_->grantedSamples());
    // The window's framebuffer is bound: drawing goes there.
    glBindFramebuffer(GL_FRAMEBUFFER, renderer->defaultFramebuffer_);
    checkGLError("KTES2Renderer::create", __LINE__);
    return renderer;
}

KTES2Renderer::~KTES2Renderer() {
    if (context_) context_->releaseCurrent();
    context_.reset();
}

bool KTES2Renderer::resizeFromLayer() {
    if (!context_) return false;
    backingWidth_ = context_->drawableWidth();
    backingHeight_ = context_->drawableHeight();
    checkGLError("KTES2Renderer::resizeFromLayer", __LINE__);
    glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer_);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

std::string KTES2Renderer::description() const {
    char text[96];
    std::snprintf(text, sizeof text, "<KTES2Renderer = %08X | size = %ix%i>",
                  static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(this)), backingWidth_, backingHeight_);
    return text;
}

}  // namespace kite
