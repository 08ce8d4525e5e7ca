// What the director and the display link need of the view that shows the frames.
#pragma once
#include "kite/foundation/Ref.h"
#include "platform/GLContext.h"

namespace kite {

// The GL view takes over this role once it exists (with its resolution policies,
// touches and viewport); until then the host window (HostView) fills it.
class FrameView : public Ref {
public:
    // Before each frame: the view's GL context becomes current.
    virtual void makeCurrent() = 0;
    // Start of each frame; events arrive through the host loop on this platform.
    virtual void pollEvents() {}
    // End of each drawn frame.
    virtual void swapBuffers() = 0;
    // Called by the director's shutdown: the view stops the frames and releases itself.
    virtual void end() = 0;

    // True when the view carries a GL context that makeCurrent selects.
    virtual bool hasGLContext() const { return false; }

    // The device's screen in pixels (the window itself may be scaled down to fit).
    virtual int getFrameWidth() const = 0;
    virtual int getFrameHeight() const = 0;

    // The GL view adds its resolution policies (scales and viewport) to this.
    // The director's window size follows when this is the director's view.
    virtual void setDesignResolutionSize(float width, float height, int policy);
    float getDesignWidth() const { return designWidth_; }
    float getDesignHeight() const { return designHeight_; }
    int getResolutionPolicy() const { return resolutionPolicy_; }

    // The attributes of the GL context of views created from now on.
    static void setContextAttributes(const platform::GLContextAttributes& attributes);
    static const platform::GLContextAttributes& getContextAttributes();

private:
    float designWidth_ = 0.0f;
    float designHeight_ = 0.0f;
    int resolutionPolicy_ = -1;  // unset
};

}  // namespace kite
