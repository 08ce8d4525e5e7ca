// The GL view bound to the host view: creation, presenting, keyboard and content scale.
#pragma once
#include <memory>
#include <string>

#include "kite/scene/GLView.h"

namespace kite {

class KTEAGLView;

class GLViewImpl : public GLView {
public:
    // Wraps a host view (the GL view owns it from now on): frame size and design
    // resolution become the host view's surface size. Null when given no view.
    static GLViewImpl* createWithEAGLView(std::unique_ptr<KTEAGLView> view);
    // Opens its own host view for the device's screen, with multiple touch on. The name is not stored.
    static GLViewImpl* create(const std::string& viewName);

    // The surface formats the context attributes ask for: RGBA8 for 8-bit colour
    // (RGB565 otherwise) and packed depth-stencil for 24/8 (16-bit depth otherwise).
    static void convertContextAttributes();
    static const std::string& getPixelFormat();
    static unsigned int getDepthFormat();

    bool initWithEAGLView(std::unique_ptr<KTEAGLView> view);
    bool initWithRect(const Rect& rect);

    // Stops the display link, closes the window and releases this view.
    void end() override;
    bool isOpenGLReady() override { return eaglview_ != nullptr; }
    void swapBuffers() override;
    void makeCurrent() override;
    bool hasGLContext() const override { return eaglview_ != nullptr; }
    void setIMEKeyboardState(bool open) override;

    bool setContentScaleFactor(float contentScaleFactor) override;
    float getContentScaleFactor() const override;
    bool isRetinaDisplay() const override { return getContentScaleFactor() == 2.0f; }
    void* getEAGLView() const override { return eaglview_.get(); }
    KTEAGLView* getHostView() const { return eaglview_.get(); }

    GLViewImpl();
    ~GLViewImpl() override;

private:
    // The host view followed its window's size: frame, policy and surface scale follow, and a frame is drawn.
    void hostViewDidLayout();
    void updateSurfaceScale();
    static void connectTextInput(KTEAGLView& view);

    std::unique_ptr<KTEAGLView> eaglview_;
};

}  // namespace kite
