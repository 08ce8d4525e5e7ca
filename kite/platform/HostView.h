// The host window as the director's frame view: an SDL window with an OpenGL ES 2.0 context.
#pragma once
#include <memory>
#include <string>

#include "kite/platform/FrameView.h"
#include "platform/GLContext.h"

namespace kite {

class HostView : public FrameView {
public:
    // A window showing a frame of the given pixel size (scaled down on a smaller
    // screen), with the current context attributes. Null with a log line on failure.
    static HostView* create(const std::string& title, int frameWidth, int frameHeight);
    bool init(const std::string& title, int frameWidth, int frameHeight);

    void makeCurrent() override;
    void swapBuffers() override;
    void end() override;
    bool hasGLContext() const override { return context_ != nullptr; }
    int getFrameWidth() const override { return frameWidth_; }
    int getFrameHeight() const override { return frameHeight_; }

    platform::GLContext* getContext() const { return context_.get(); }

private:
    std::unique_ptr<platform::GLContext> context_;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
};

}  // namespace kite
