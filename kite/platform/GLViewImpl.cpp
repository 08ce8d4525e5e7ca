#include "kite/platform/GLViewImpl.h"

#include <new>

#include "kite/platform/KTDirectorCaller.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/platform/KTES2Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/IMEDispatcher.h"
#include "platform/DeviceProfile.h"

namespace kite {

namespace {
std::string& pixelFormat() {
    static std::string format = KTEAGLView::COLOR_FORMAT_RGB565;
    return format;
}
unsigned int depthFormat = KTES2Renderer::DEPTH_COMPONENT16;
}  // namespace

void GLViewImpl::convertContextAttributes() {
    const GLContextAttributes& a = getContextAttributes();
    if (a.redBits == 8 && a.greenBits == 8 && a.blueBits == 8 && a.alphaBits == 8)
        pixelFormat() = KTEAGLView::COLOR_FORMAT_RGBA8;
    if (a.depthBits == 24 && a.stencilBits == 8) depthFormat = KTES2Renderer::DEPTH24_STENCIL8;
}

const std::string& GLViewImpl::getPixelFormat() { return pixelFormat(); }

unsigned int GLViewImpl::getDepthFormat() { return depthFormat; }

GLViewImpl::GLViewImpl() = default;

GLViewImpl::~GLViewImpl() = default;

GLViewImpl* GLViewImpl::createWithEAGLView(std::unique_ptr<KTEAGLView> view) {
    auto* glView = new (std::nothrow) GLViewImpl();
    if (glView && glView->initWithEAGLView(std::move(view))) {
        glView->autorelease();
        return glView;
    }
    delete glView;
    return nullptr;
}

GLViewImpl* GLViewImpl::create(const std::string&) {
    auto* glView = new (std::nothrow) GLViewImpl();
    const platform::DeviceProfile& device = platform::currentDeviceProfile();
    if (glView &&
        glView->initWithRect(Rect(0, 0, static_cast<float>(device.width), static_cast<float>(device.height)))) {
        glView->autorelease();
        return glView;
    }
    delete glView;
    return nullptr;
}

// Typed text and the keyboard's coming and going reach the engine's input dispatcher. The keyboard
// takes no room on a desktop, so its frames are empty.
void GLViewImpl::connectTextInput(KTEAGLView& view) {
    KTEAGLView::setTextInputSink({[](const char* text, std::size_t length) {
                                      IMEDispatcher::sharedDispatcher()->dispatchInsertText(text, length);
                                  },
                                  [] { IMEDispatcher::sharedDispatcher()->dispatchDeleteBackward(); }});
    view.setKeyboardSink([](KTEAGLView::KeyboardChange change) {
        IMEDispatcher* dispatcher = IMEDispatcher::sharedDispatcher();
        IMEKeyboardNotificationInfo info;
        switch (change) {
            case KTEAGLView::KeyboardChange::WILL_SHOW: dispatcher->dispatchKeyboardWillShow(info); break;
            case KTEAGLView::KeyboardChange::DID_SHOW: dispatcher->dispatchKeyboardDidShow(info); break;
            case KTEAGLView::KeyboardChange::WILL_HIDE: dispatcher->dispatchKeyboardWillHide(info); break;
            case KTEAGLView::KeyboardChange::DID_HIDE: dispatcher->dispatchKeyboardDidHide(info); break;
        }
    });
}

bool GLViewImpl::initWithEAGLView(std::unique_ptr<KTEAGLView> view) {
    if (!view) return false;
    eaglview_ = std::move(view);
    // The host view lives inside this view, so it may call back into it.
    eaglview_->setTouchSink([this](KTEAGLView::TouchPhase phase, int count, intptr_t ids[], float xs[], float ys[]) {
        switch (phase) {
            case KTEAGLView::TouchPhase::BEGAN: handleTouchesBegin(count, ids, xs, ys); break;
            case KTEAGLView::TouchPhase::MOVED: handleTouchesMove(count, ids, xs, ys); break;
            case KTEAGLView::TouchPhase::ENDED: handleTouchesEnd(count, ids, xs, ys); break;
            case KTEAGLView::TouchPhase::CANCELLED: handleTouchesCancel(count, ids, xs, ys); break;
        }
    });
    eaglview_->setLayoutSink([this] { hostViewDidLayout(); });
    connectTextInput(*eaglview_);
    setFrameSize(static_cast<float>(eaglview_->getWidth()), static_cast<float>(eaglview_->getHeight()));
    updateSurfaceScale();
    return true;
}

void GLViewImpl::updateSurfaceScale() {
    // The viewport is scaled to the drawable when the window is smaller than the frame.
    if (eaglview_ && eaglview_->getWidth() > 0)
        setSurfaceScale(static_cast<float>(eaglview_->getSurfaceWidth()) / static_cast<float>(eaglview_->getWidth()));
}

void GLViewImpl::hostViewDidLayout() {
    const Size frame(static_cast<float>(eaglview_->getWidth()), static_cast<float>(eaglview_->getHeight()));
    updateSurfaceScale();
    if (frame.width <= 0.0f || frame.height <= 0.0f) return;
    if (frame != frameSize_) {
        if (resolutionPolicy_ == ResolutionPolicy::UNKNOWN) {
            setFrameSize(frame.width, frame.height);
        } else {
            frameSize_ = frame;
            updateDesignResolutionSize();
        }
    }
    // A new size is shown at once, running or not, drawn with the game's context (a web page's
    // toolkit may have made its own current since the last frame).
    Director* director = Director::getInstance();
    if (director->getOpenGLView() != this) return;
    eaglview_->makeCurrent();
    director->drawScene();
}

bool GLViewImpl::initWithRect(const Rect& rect) {
    convertContextAttributes();
    std::unique_ptr<KTEAGLView> view = KTEAGLView::viewWithFrame(rect, pixelFormat(), depthFormat, false, false, 0);
    if (!view) return false;
    view->setMultipleTouchEnabled(true);
    return initWithEAGLView(std::move(view));
}

void GLViewImpl::end() {
    KTDirectorCaller::destroy();
    releaseAllTouches();
    eaglview_.reset();  // the window closes now
    release();
}

void GLViewImpl::swapBuffers() {
    if (eaglview_) eaglview_->swapBuffers();
}

void GLViewImpl::makeCurrent() {
    if (eaglview_) eaglview_->makeCurrent();
}

void GLViewImpl::setIMEKeyboardState(bool open) {
    if (!eaglview_) return;
    if (open)
        eaglview_->becomeFirstResponder();
    else
        eaglview_->resignFirstResponder();
}

bool GLViewImpl::setContentScaleFactor(float contentScaleFactor) {
    scaleX_ = scaleY_ = contentScaleFactor;
    if (eaglview_) eaglview_->layoutSubviews();
    return true;
}

float GLViewImpl::getContentScaleFactor() const { return eaglview_ ? eaglview_->getContentScaleFactor() : 1.0f; }

}  // namespace kite
