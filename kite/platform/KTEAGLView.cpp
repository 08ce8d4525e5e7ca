#include "kite/platform/KTEAGLView.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <algorithm>
#include <cstdio>

#include "kite/foundation/FrameCosts.h"
#include "kite/foundation/Log.h"
#include "platform/GLExtensions.h"
#include "platform/PngFile.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

KTEAGLView::TextInputSink& textInputSink() {
    static KTEAGLView::TextInputSink sink;
    return sink;
}

// Cuts the lists to the first 10 touches and scales them to surface pixels.
struct TouchArrays {
    int count = 0;
    intptr_t ids[KTEAGLView::MAX_TOUCHES_PER_CALL] = {};
    float xs[KTEAGLView::MAX_TOUCHES_PER_CALL] = {};
    float ys[KTEAGLView::MAX_TOUCHES_PER_CALL] = {};

    TouchArrays(const std::vector<intptr_t>& i, const std::vector<float>& x, const std::vector<float>& y, float scale) {
        const std::size_t n = std::min({i.size(), x.size(), y.size(), std::size_t(KTEAGLView::MAX_TOUCHES_PER_CALL)});
        for (std::size_t k = 0; k < n; ++k) {
            ids[k] = i[k];
            xs[k] = x[k] * scale;
            ys[k] = y[k] * scale;
        }
        count = static_cast<int>(n);
    }
};

}  // namespace

std::unique_ptr<KTEAGLView> KTEAGLView::viewWithFrame(const Rect& frame, const std::string& pixelFormat,
                                                      unsigned int depthFormat, bool preserveBackbuffer,
                                                      bool multiSampling, unsigned int numberOfSamples,
                                                      const std::string& title) {
    std::unique_ptr<KTEAGLView> view(new KTEAGLView());
    view->pixelformat_ = pixelFormat;
    view->depthFormat_ = depthFormat;
    view->multiSampling_ = multiSampling;
    view->requestedSamples_ = numberOfSamples;
    view->preserveBackbuffer_ = preserveBackbuffer;
    view->isUseUITextField_ = true;

    platform::WindowOptions window;
    window.title = title;
    window.width = static_cast<int>(frame.size.width);
    window.height = static_cast<int>(frame.size.height);
    window.fitToDisplay = true;
    if (!view->setupSurface(window)) {
        kite::log("OpenGL ES 2.O is required.");
        return nullptr;
    }
    view->originalRect_ = view->bounds_;
    // The surface keeps the frame's full pixel size whatever the window's size on screen.
    if (view->bounds_.size.width > 0) view->contentScaleFactor_ = frame.size.width / view->bounds_.size.width;
    view->layoutSubviews();
    return view;
}

KTEAGLView::~KTEAGLView() {
    if (platform::GLContext* context = getContext()) context->stopTextInput();
    renderer_.reset();
}

bool KTEAGLView::setupSurface(const platform::WindowOptions& window) {
    renderer_ = KTES2Renderer::create(depthFormat_, convertPixelFormat(pixelformat_), multiSampling_, requestedSamples_,
                                      window);
    if (!renderer_) return false;
    platform::GLContext* context = renderer_->getContext();
    bounds_ = Rect(0.0f, 0.0f, static_cast<float>(context->windowWidth()), static_cast<float>(context->windowHeight()));
    discardFramebufferSupported_ = true;
    KTES2Renderer::checkGLError("KTEAGLView::setupSurface", __LINE__);
    return true;
}

unsigned int KTEAGLView::convertPixelFormat(const std::string& pixelFormat) {
    return pixelFormat == COLOR_FORMAT_RGB565 ? KTES2Renderer::RGB565 : KTES2Renderer::RGBA8;
}

Vec2 KTEAGLView::convertPointFromViewToSurface(const Vec2& point) const {
    if (bounds_.size.width <= 0.0f || bounds_.size.height <= 0.0f) return Vec2::ZERO;
    return Vec2((point.x - bounds_.origin.x) / bounds_.size.width * static_cast<float>(surfaceWidth_),
                (point.y - bounds_.origin.y) / bounds_.size.height * static_cast<float>(surfaceHeight_));
}

Rect KTEAGLView::convertRectFromViewToSurface(const Rect& rect) const {
    if (bounds_.size.width <= 0.0f || bounds_.size.height <= 0.0f) return Rect::ZERO;
    const Vec2 origin = convertPointFromViewToSurface(rect.origin);
    return Rect(origin.x, origin.y, rect.size.width * static_cast<float>(surfaceWidth_) / bounds_.size.width,
                rect.size.height * static_cast<float>(surfaceHeight_) / bounds_.size.height);
}

int KTEAGLView::getWidth() const {
    return static_cast<int>(contentScaleFactor_ * static_cast<int>(bounds_.size.width) + 0.5f);
}

int KTEAGLView::getHeight() const {
    return static_cast<int>(contentScaleFactor_ * static_cast<int>(bounds_.size.height) + 0.5f);
}

std::uint32_t KTEAGLView::getWindowID() const {
    platform::GLContext* context = getContext();
    return context ? context->windowId() : 0;
}

void KTEAGLView::layoutSubviews() {
    if (!renderer_) return;
    renderer_->resizeFromLayer();
    surfaceWidth_ = renderer_->getBackingWidth();
    surfaceHeight_ = renderer_->getBackingHeight();
    if (layoutSink_) layoutSink_();
}

void KTEAGLView::makeCurrent() {
    if (platform::GLContext* context = getContext()) context->makeCurrent();
}

void KTEAGLView::swapBuffers() {
    platform::GLContext* context = getContext();
    if (!context) return;
    ++presentedFrames_;
    if (!capturePaths_.empty()) {
        std::vector<std::string> paths;
        paths.swap(capturePaths_);
        std::vector<std::uint8_t> pixels = context->readPixels(0, 0, surfaceWidth_, surfaceHeight_);
        lastCaptureOk_ = true;
        for (const std::string& path : paths) {
            // The window is composited opaque: the shot drops alpha and shows what a person sees.
            std::string why;
            const bool ok = platform::writePng(path, surfaceWidth_, surfaceHeight_, pixels, true, &why);
            if (ok) {
                kite::log("KTEAGLView: frame %llu saved to %s", static_cast<unsigned long long>(presentedFrames_),
                          platform::printableText(path).c_str());
            } else {
                kite::log("KTEAGLView: cannot write the frame to %s: %s", platform::printableText(path).c_str(),
                          why.c_str());
                failedCaptures_.push_back(path);
            }
            lastCaptureOk_ = lastCaptureOk_ && ok;
        }
    }
    discardDepthAndStencil();
    context->swapBuffers();
}

void KTEAGLView::discardDepthAndStencil() {
    // The depth of a presented frame is never read again. The window's own framebuffer
    // names its buffers, not attachment points.
    if (!discardFramebufferSupported_ || depthFormat_ == 0) return;
    const GLenum buffers[] = {GL_DEPTH_EXT, GL_STENCIL_EXT};
    platform::glDiscardFramebufferEXT(GL_FRAMEBUFFER, depthFormat_ == KTES2Renderer::DEPTH24_STENCIL8 ? 2 : 1, buffers);
}

void KTEAGLView::captureNextFrame(const std::string& path) { capturePaths_.push_back(path); }

// Touches.

void KTEAGLView::setFirstResponderTextField(const void* field, std::function<void()> resign,
                                            std::function<bool(const Vec2&)> contains) {
    textField_ = field;
    resignTextField_ = std::move(resign);
    textFieldContains_ = std::move(contains);
}

void KTEAGLView::clearFirstResponderTextField(const void* field) {
    if (field != textField_) return;
    textField_ = nullptr;
    resignTextField_ = nullptr;
    textFieldContains_ = nullptr;
}

void KTEAGLView::handleTouchesAfterKeyboardShow() {
    // Taken out first: the field clears its registration while it resigns.
    std::function<void()> resign;
    resign.swap(resignTextField_);
    textField_ = nullptr;
    textFieldContains_ = nullptr;
    if (resign) resign();
}

// A touch on the field being edited belongs to the field, as it would to a native one: it keeps editing.
bool KTEAGLView::touchesOnTextField(const std::vector<float>& xs, const std::vector<float>& ys) const {
    if (!textFieldContains_ || xs.empty() || xs.size() != ys.size()) return false;
    for (std::size_t i = 0; i < xs.size(); ++i)
        if (!textFieldContains_(Vec2(toSurface(xs[i]), toSurface(ys[i])))) return false;
    return true;
}

void KTEAGLView::sendTouches(TouchPhase phase, const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                             const std::vector<float>& ys) {
    TouchArrays t(ids, xs, ys, contentScaleFactor_);
    if (touchSink_ && t.count > 0) touchSink_(phase, t.count, t.ids, t.xs, t.ys);
}

void KTEAGLView::touchesBegan(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                              const std::vector<float>& ys) {
    if (isKeyboardShown_ && !touchesOnTextField(xs, ys)) handleTouchesAfterKeyboardShow();
    sendTouches(TouchPhase::BEGAN, ids, xs, ys);
}

void KTEAGLView::touchesMoved(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                              const std::vector<float>& ys) {
    sendTouches(TouchPhase::MOVED, ids, xs, ys);
}

void KTEAGLView::touchesEnded(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                              const std::vector<float>& ys) {
    sendTouches(TouchPhase::ENDED, ids, xs, ys);
}

void KTEAGLView::touchesCancelled(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                                  const std::vector<float>& ys) {
    sendTouches(TouchPhase::CANCELLED, ids, xs, ys);
}

void KTEAGLView::cancelAllTouches() {
    if (touches_.empty()) return;
    std::vector<intptr_t> ids;
    std::vector<float> xs, ys;
    for (const ActiveTouch& t : touches_) {
        ids.push_back(t.id);
        xs.push_back(t.x);
        ys.push_back(t.y);
    }
    touches_.clear();
    touchesCancelled(ids, xs, ys);
}

bool KTEAGLView::handleTouch(const platform::InputEvent& event) {
    using Type = platform::InputEvent::Type;
    const intptr_t id = event.touchId;
    auto touch = std::find_if(touches_.begin(), touches_.end(), [id](const ActiveTouch& t) { return t.id == id; });
    if (event.type == Type::TOUCH_BEGAN) {
        if (touch != touches_.end()) return true;
        if (!multipleTouchEnabled_ && !touches_.empty()) return true;
        touches_.push_back({id, event.x, event.y});
        touchesBegan({id}, {event.x}, {event.y});
        return true;
    }
    if (touch == touches_.end()) return false;  // never went down, or ignored when it did
    touch->x = event.x;
    touch->y = event.y;
    if (event.type == Type::TOUCH_MOVED) {
        touchesMoved({id}, {event.x}, {event.y});
        return true;
    }
    touches_.erase(touch);
    if (event.type == Type::TOUCH_ENDED)
        touchesEnded({id}, {event.x}, {event.y});
    else
        touchesCancelled({id}, {event.x}, {event.y});
    return true;
}

bool KTEAGLView::handleInput(const platform::InputEvent& event) {
    FrameCosts::Scope step("input");
    using Type = platform::InputEvent::Type;
    if (event.windowId != 0 && event.windowId != getWindowID()) return false;
    switch (event.type) {
        case Type::TOUCH_BEGAN:
        case Type::TOUCH_MOVED:
        case Type::TOUCH_ENDED:
        case Type::TOUCH_CANCELLED: return handleTouch(event);
        case Type::FOCUS_LOST: cancelAllTouches(); return true;
        case Type::WINDOW_RESIZED:
            if (event.width <= 0 || event.height <= 0) return false;
            bounds_ = Rect(0.0f, 0.0f, static_cast<float>(event.width), static_cast<float>(event.height));
            layoutSubviews();
            return true;
        case Type::TEXT_INPUT:
            if (isUseUITextField_) return false;
            insertText(event.text);
            return true;
        case Type::TEXT_EDITING:
            if (isUseUITextField_) return false;
            setMarkedText(event.text);
            return true;
        case Type::KEY_DOWN: return !isUseUITextField_ && handleKeyDown(event.key);
        default: return false;
    }
}

// Text input.

void KTEAGLView::setTextInputSink(TextInputSink sink) { textInputSink() = std::move(sink); }

bool KTEAGLView::canBecomeFirstResponder() {
    markedText_.clear();
    return !isUseUITextField_;
}

bool KTEAGLView::becomeFirstResponder() {
    isUseUITextField_ = false;
    if (platform::GLContext* context = getContext()) context->startTextInput();
    if (!isKeyboardShown_) {
        keyboardShowNotice_ = true;
        tellKeyboard(KeyboardChange::WILL_SHOW);
        tellKeyboard(KeyboardChange::DID_SHOW);
        isKeyboardShown_ = true;
    }
    return true;
}

bool KTEAGLView::resignFirstResponder() {
    isUseUITextField_ = true;
    markedText_.clear();
    if (platform::GLContext* context = getContext()) context->stopTextInput();
    if (isKeyboardShown_) {
        isKeyboardShown_ = false;
        tellKeyboard(KeyboardChange::WILL_HIDE);
        tellKeyboard(KeyboardChange::DID_HIDE);
    }
    return true;
}

void KTEAGLView::doAnimationWhenAnotherEditBeClicked() {
    if (keyboardShowNotice_) tellKeyboard(KeyboardChange::WILL_SHOW);
}

// Backspace deletes a character and Return ends the entry; while a composition is open the input
// method has both keys.
bool KTEAGLView::handleKeyDown(platform::Key key) {
    if (!markedText_.empty()) return false;
    if (key == platform::Key::BACKSPACE) {
        deleteBackward();
        return true;
    }
    if (key == platform::Key::ENTER) {
        insertText("\n");
        return true;
    }
    return false;
}

void KTEAGLView::insertText(const std::string& text) {
    markedText_.clear();
    if (textInputSink().insertText) textInputSink().insertText(text.c_str(), text.size());
}

void KTEAGLView::deleteBackward() {
    markedText_.clear();
    if (textInputSink().deleteBackward) textInputSink().deleteBackward();
}

void KTEAGLView::setMarkedText(const std::string& text) {
    // Nothing reaches the engine while the text is being composed.
    if (text != markedText_) markedText_ = text;
}

void KTEAGLView::unmarkText() {
    if (markedText_.empty()) return;
    std::string text;
    text.swap(markedText_);
    if (textInputSink().insertText) textInputSink().insertText(text.c_str(), text.size());
}

}  // namespace kite
