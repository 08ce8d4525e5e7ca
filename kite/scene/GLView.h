// The engine's view onto the GL surface: frame size, design resolution and policy, viewport, touches.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Rect.h"
#include "kite/foundation/math/Size.h"
#include "kite/foundation/math/Vec2.h"
#include "kite/scene/EventTouch.h"

namespace kite {

enum class ResolutionPolicy {
    EXACT_FIT = 0,  // both axes stretched to the frame
    NO_BORDER = 1,  // fills the frame, cutting one axis
    SHOW_ALL = 2,   // all of the design area, bordered on one axis
    FIXED_HEIGHT = 3,
    FIXED_WIDTH = 4,
    UNKNOWN = 5,
};

// Bits of colour, depth and stencil the host view's context is made with; the game sets its own.
struct GLContextAttributes {
    int redBits = 5;
    int greenBits = 6;
    int blueBits = 5;
    int alphaBits = 0;
    int depthBits = 16;
    int stencilBits = 0;
};

// The director's view: it draws the frames (making its context current, presenting
// them, ending with the director) and maps the design resolution onto the frame.
class GLView : public Ref {
public:
    // At most this many touches are tracked at once; more are ignored.
    static constexpr int MAX_TOUCHES = 15;

    ~GLView() override;

    // The attributes host views are created with from now on; one process-wide copy.
    static void setContextAttributes(const GLContextAttributes& attributes);
    static GLContextAttributes getContextAttributes();

    // Called by the director's shutdown: the view stops the frames and releases itself.
    virtual void end() = 0;
    virtual bool isOpenGLReady() = 0;
    // Before each frame: the view's GL context becomes current.
    virtual void makeCurrent() {}
    // True when the view carries a GL context that makeCurrent selects.
    virtual bool hasGLContext() const { return false; }
    // End of each drawn frame.
    virtual void swapBuffers() = 0;
    virtual void setIMEKeyboardState(bool open) = 0;
    virtual bool windowShouldClose() { return false; }
    // Start of each frame; events arrive through the host loop on this platform.
    virtual void pollEvents() {}

    virtual const Size& getFrameSize() const { return frameSize_; }
    // Frame and design resolution both become (width, height).
    virtual void setFrameSize(float width, float height);

    virtual bool setContentScaleFactor(float) { return false; }
    virtual float getContentScaleFactor() const { return 1.0f; }
    virtual bool isRetinaDisplay() const { return false; }
    // The platform view behind this one, when there is one.
    virtual void* getEAGLView() const { return nullptr; }

    virtual Size getVisibleSize() const;
    virtual Vec2 getVisibleOrigin() const;
    virtual Rect getVisibleRect() const;

    // A width or height of 0 is ignored; otherwise the scales and the viewport follow the policy.
    // The director's window size follows when this is the director's view.
    virtual void setDesignResolutionSize(float width, float height, ResolutionPolicy resolutionPolicy);
    virtual const Size& getDesignResolutionSize() const { return designResolutionSize_; }
    ResolutionPolicy getResolutionPolicy() const { return resolutionPolicy_; }
    // The viewport, in surface pixels, that a design resolution with the policy would take on this frame;
    // zero for an empty frame or design.
    Size getViewPortSizeFor(const Size& design, ResolutionPolicy policy) const;

    // Design points to the GL viewport and scissor box in surface pixels.
    virtual void setViewPortInPoints(float x, float y, float w, float h);
    virtual void setScissorInPoints(float x, float y, float w, float h);
    virtual bool isScissorEnabled();
    virtual Rect getScissorRect();

    virtual void setViewName(const std::string& viewName) { viewName_ = viewName; }
    const std::string& getViewName() const { return viewName_; }

    // Platform touches in surface pixels; ids are the platform's own, any pointer-sized value.
    virtual void handleTouchesBegin(int num, intptr_t ids[], float xs[], float ys[]);
    virtual void handleTouchesMove(int num, intptr_t ids[], float xs[], float ys[]);
    virtual void handleTouchesEnd(int num, intptr_t ids[], float xs[], float ys[]);
    virtual void handleTouchesCancel(int num, intptr_t ids[], float xs[], float ys[]);

    const Rect& getViewPortRect() const { return viewPortRect_; }
    float getScaleX() const { return scaleX_; }
    float getScaleY() const { return scaleY_; }

    // Real drawable pixels per surface pixel: below 1 when the window was scaled down to
    // fit a smaller screen. The viewport and scissor are scaled by it.
    void setSurfaceScale(float scale) { surfaceScale_ = scale > 0.0f ? scale : 1.0f; }
    float getSurfaceScale() const { return surfaceScale_; }

    // Touch slots in use now (bit i = slot i), for inspection.
    static unsigned int getTouchSlotMask();
    // Ends every tracked touch without dispatching (the view is going away).
    static void releaseAllTouches();

protected:
    GLView() = default;

    void updateDesignResolutionSize();
    void handleTouchesOfEndOrCancel(int eventCode, int num, intptr_t ids[], float xs[], float ys[]);
    // Sets the touch's slot and its position in design units from view pixels.
    void placeTouch(Touch* touch, int slot, float x, float y) const;
    // Sends the touches as one event with the code; nothing when there are none.
    void dispatchTouchList(const std::vector<Touch*>& touches, EventTouch::EventCode code);

    Size frameSize_;
    Size designResolutionSize_;
    Rect viewPortRect_;
    std::string viewName_;
    float scaleX_ = 1.0f;
    float scaleY_ = 1.0f;
    ResolutionPolicy resolutionPolicy_ = ResolutionPolicy::UNKNOWN;
    float surfaceScale_ = 1.0f;
};

}  // namespace kite
