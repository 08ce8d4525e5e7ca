// The director's view over a test's GL context: frames are drawn into it and read back before any swap.
#pragma once
#include "kite/scene/GLView.h"
#include "platform/GLContext.h"

namespace kite {
namespace test {

class FrameView : public GLView {
public:
    // Frame and design size are the context's frame size in pixels.
    bool init(platform::GLContext* context, int width, int height) {
        context_ = context;
        setFrameSize(static_cast<float>(width), static_cast<float>(height));
        return context != nullptr;
    }
    bool isOpenGLReady() override { return true; }
    void makeCurrent() override { context_->makeCurrent(); }
    // The frame is read back before any swap.
    void swapBuffers() override {}
    void setIMEKeyboardState(bool) override {}
    void end() override { release(); }
    bool hasGLContext() const override { return true; }

private:
    platform::GLContext* context_ = nullptr;
};

}  // namespace test
}  // namespace kite
