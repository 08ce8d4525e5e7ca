#include "kite/platform/KTEAGLView.h"

#include <GLES2/gl2.h>
#include <SDL2/SDL.h>
#include <png.h>

#include <algorithm>
#include <cstdio>

#include "kite/foundation/Log.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/IMEDispatcher.h"
#include "platform/GLExtensions.h"

namespace kite {

namespace {

KTEAGLView::TextInputSink& textInputSink() {
    static KTEAGLView::TextInputSink sink;
    return sink;
}

// Typed text goes to the engine's input dispatcher unless another sink was put in its place.
void sinkInsertText(const std::string& text) {
    if (textInputSink().insertText) {
        textInputSink().insertText(text.c_str(), text.size());
    } else {
        IMEDispatcher::sharedDispatcher()->dispatchInsertText(text.c_str(), text.size());
    }
}

void sinkDeleteBackward() {
    if (textInputSink().deleteBackward) {
        textInputSink().deleteBackward();
    } else {
        IMEDispatcher::sharedDispatcher()->dispatchDeleteBackward();
    }
}

// Top-row-first RGBA rows to an 8-bit RGB PNG: the window is composited opaque, so the
// shot drops alpha and shows what a person sees.
bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        kite::log("KTEAGLView: cannot write the frame to %s", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows' fourth byte is skipped
        for (int row = 0; row < height; ++row)
            png_write_row(png, const_cast<png_bytep>(&rgba[static_cast<std::size_t>(row) * width * 4]));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) kite::log("KTEAGLView: cannot write the frame to %s", path.c_str());
    return ok;
}

GLView* directorGLView() { return Director::getInstance()->getOpenGLView(); }

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
    if (SDL_IsTextInputActive()) SDL_StopTextInput();
    renderer_.reset();
}

bool KTEAGLView::setupSurface(const platform::WindowOptions& window) {
    // One input reaches the game once: no touches made from the mouse, nor the reverse.
    SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
    SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
    renderer_ = KTES2Renderer::create(depthFormat_, convertPixelFormat(pixelformat_), multiSampling_,
                                      requestedSamples_, window);
    if (!renderer_) return false;
    int w = 0, h = 0;
    SDL_GetWindowSize(renderer_->getContext()->window(), &w, &h);
    bounds_ = Rect(0.0f, 0.0f, static_cast<float>(w), static_cast<float>(h));
    discardFramebufferSupported_ = true;
    KTES2Renderer::checkGLError("KTEAGLView::setupSurface", __LINE__);
    return true;
}

unsigned int KTEAGLView::convertPixelFormat(const std::string& pixelFormat) {
    return pixelFormat == COLOR_FORMAT_RGB565 ? KTES2Renderer::RGB565 : KTES2Renderer::RGBA8;
}

int KTEAGLView::getWidth() const {
    return static_cast<int>(contentScaleFactor_ * static_cast<int>(bounds_.size.width) + 0.5f);
}

int KTEAGLView::getHeight() const {
    return static_cast<int>(contentScaleFactor_ * static_cast<int>(bounds_.size.height) + 0.5f);
}

unsigned int KTEAGLView::getWindowID() const {
    platform::GLContext* context = getContext();
    return context ? SDL_GetWindowID(context->window()) : 0;
}

void KTEAGLView::layoutSubviews() {
    if (!renderer_) return;
    renderer_->resizeFromLayer();
    surfaceWidth_ = renderer_->getBackingWidth();
    surfaceHeight_ = renderer_->getBackingHeight();
    // The GL view scales its viewport to the drawable when the window is smaller than the frame.
    if (GLView* glView = directorGLView(); glView && glView->getEAGLView() == this && getWidth() > 0)
        glView->setSurfaceScale(static_cast<float>(surfaceWidth_) / static_cast<float>(getWidth()));
}

void KTEAGLView::makeCurrent() {
    if (platform::GLContext* context = getContext()) context->makeCurrent();
}

void KTEAGLView::swapBuffers() {
    platform::GLContext* context = getContext();
    if (!context) return;
    if (!capturePaths_.empty()) {
        std::vector<std::string> paths;
        paths.swap(capturePaths_);
        std::vector<std::uint8_t> pixels = context->readPixels(0, 0, surfaceWidth_, surfaceHeight_);
        lastCaptureOk_ = true;
        for (const std::string& path : paths) {
            bool ok = writePng(path, surfaceWidth_, surfaceHeight_, pixels);
            if (ok) kite::log("KTEAGLView: frame %u saved to %s", Director::getInstance()->getTotalFrames(), path.c_str());
            lastCaptureOk_ = lastCaptureOk_ && ok;
        }
    }
    // The depth of a presented frame is never read again.
    if (discardFramebufferSupported_ && depthFormat_ != 0) {
        const GLenum attachments[] = {GL_DEPTH_ATTACHMENT, GL_STENCIL_ATTACHMENT};
        platform::glDiscardFramebufferEXT(GL_FRAMEBUFFER, depthFormat_ == KTES2Renderer::DEPTH24_STENCIL8 ? 2 : 1,
                                          attachments);
    }
    context->swapBuffers();
}

void KTEAGLView::captureNextFrame(const std::string& path) { capturePaths_.push_back(path); }

// Touches.

void KTEAGLView::handleTouchesAfterKeyboardShow() {
    if (resignTextField_) resignTextField_();
}

void KTEAGLView::touchesBegan(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                              const std::vector<float>& ys) {
    if (isKeyboardShown_) handleTouchesAfterKeyboardShow();
    TouchArrays t(ids, xs, ys, contentScaleFactor_);
    if (GLView* glView = directorGLView(); glView && t.count > 0) glView->handleTouchesBegin(t.count, t.ids, t.xs, t.ys);
}

void KTEAGLView::touchesMoved(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                              const std::vector<float>& ys) {
    TouchArrays t(ids, xs, ys, contentScaleFactor_);
    if (GLView* glView = directorGLView(); glView && t.count > 0) glView->handleTouchesMove(t.count, t.ids, t.xs, t.ys);
}

void KTEAGLView::touchesEnded(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                              const std::vector<float>& ys) {
    TouchArrays t(ids, xs, ys, contentScaleFactor_);
    if (GLView* glView = directorGLView(); glView && t.count > 0) glView->handleTouchesEnd(t.count, t.ids, t.xs, t.ys);
}

void KTEAGLView::touchesCancelled(const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                                  const std::vector<float>& ys) {
    TouchArrays t(ids, xs, ys, contentScaleFactor_);
    if (GLView* glView = directorGLView(); glView && t.count > 0)
        glView->handleTouchesCancel(t.count, t.ids, t.xs, t.ys);
}

void KTEAGLView::cancelAllTouches() {
    if (mouseDown_) {
        mouseDown_ = false;
        touchesCancelled({MOUSE_TOUCH_ID}, {mouseX_}, {mouseY_});
    }
    if (!fingers_.empty()) {
        std::vector<intptr_t> ids;
        std::vector<float> xs, ys;
        for (const Finger& f : fingers_) {
            ids.push_back(f.id);
            xs.push_back(f.x);
            ys.push_back(f.y);
        }
        fingers_.clear();
        touchesCancelled(ids, xs, ys);
    }
}

bool KTEAGLView::handleEvent(const SDL_Event& event) {
    const unsigned int windowID = getWindowID();
    switch (event.type) {
        case SDL_MOUSEBUTTONDOWN: {
            if (event.button.windowID != windowID || event.button.button != SDL_BUTTON_LEFT) return false;
            if (mouseDown_ || (!multipleTouchEnabled_ && !fingers_.empty())) return true;
            mouseDown_ = true;
            mouseX_ = static_cast<float>(event.button.x);
            mouseY_ = static_cast<float>(event.button.y);
            touchesBegan({MOUSE_TOUCH_ID}, {mouseX_}, {mouseY_});
            return true;
        }
        case SDL_MOUSEMOTION: {
            if (event.motion.windowID != windowID || !mouseDown_) return false;
            mouseX_ = static_cast<float>(event.motion.x);
            mouseY_ = static_cast<float>(event.motion.y);
            touchesMoved({MOUSE_TOUCH_ID}, {mouseX_}, {mouseY_});
            return true;
        }
        case SDL_MOUSEBUTTONUP: {
            if (event.button.windowID != windowID || event.button.button != SDL_BUTTON_LEFT || !mouseDown_)
                return false;
            mouseDown_ = false;
            mouseX_ = static_cast<float>(event.button.x);
            mouseY_ = static_cast<float>(event.button.y);
            touchesEnded({MOUSE_TOUCH_ID}, {mouseX_}, {mouseY_});
            return true;
        }
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
        case SDL_FINGERUP: {
            const intptr_t id = static_cast<intptr_t>(event.tfinger.fingerId);
            const float x = event.tfinger.x * bounds_.size.width;
            const float y = event.tfinger.y * bounds_.size.height;
            auto finger = std::find_if(fingers_.begin(), fingers_.end(), [id](const Finger& f) { return f.id == id; });
            if (event.type == SDL_FINGERDOWN) {
                if (finger != fingers_.end()) return true;
                if (!multipleTouchEnabled_ && (mouseDown_ || !fingers_.empty())) return true;
                fingers_.push_back({id, x, y});
                touchesBegan({id}, {x}, {y});
            } else if (finger == fingers_.end()) {
                return true;  // a finger that was ignored when it went down
            } else if (event.type == SDL_FINGERMOTION) {
                finger->x = x;
                finger->y = y;
                touchesMoved({id}, {x}, {y});
            } else {
                fingers_.erase(finger);
                touchesEnded({id}, {x}, {y});
            }
            return true;
        }
        case SDL_WINDOWEVENT:
            if (event.window.windowID != windowID) return false;
            if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                cancelAllTouches();
                return true;
            }
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                layoutSubviews();
                return true;
            }
            return false;
        case SDL_TEXTINPUT:
            if (isUseUITextField_) return false;
            insertText(event.text.text);
            return true;
        case SDL_TEXTEDITING:
            if (isUseUITextField_) return false;
            setMarkedText(event.edit.text);
            return true;
        case SDL_KEYDOWN:
            return !isUseUITextField_ && handleTextKey(event.key.keysym.sym);
        default: return false;
    }
}

// Text input.

void KTEAGLView::setTextInputSink(TextInputSink sink) { textInputSink() = std::move(sink); }

bool KTEAGLView::canBecomeFirstResponder() {
    markedText_.clear();
    return !isUseUITextField_;
}

// There is no on-screen keyboard: its notifications carry empty frames.
bool KTEAGLView::becomeFirstResponder() {
    isUseUITextField_ = false;
    SDL_StartTextInput();
    IMEKeyboardNotificationInfo info;
    IMEDispatcher::sharedDispatcher()->dispatchKeyboardWillShow(info);
    IMEDispatcher::sharedDispatcher()->dispatchKeyboardDidShow(info);
    isKeyboardShown_ = true;
    return true;
}

bool KTEAGLView::resignFirstResponder() {
    const bool wasShown = isKeyboardShown_;
    isUseUITextField_ = true;
    markedText_.clear();
    SDL_StopTextInput();
    isKeyboardShown_ = false;
    if (wasShown) {
        IMEKeyboardNotificationInfo info;
        IMEDispatcher::sharedDispatcher()->dispatchKeyboardWillHide(info);
        IMEDispatcher::sharedDispatcher()->dispatchKeyboardDidHide(info);
    }
    return true;
}

// Backspace deletes a character and Return ends the entry; while a composition is open the input
// method has both keys.
bool KTEAGLView::handleTextKey(int key) {
    if (!markedText_.empty()) return false;
    if (key == SDLK_BACKSPACE) {
        deleteBackward();
        return true;
    }
    if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
        insertText("\n");
        return true;
    }
    return false;
}

void KTEAGLView::insertText(const std::string& text) {
    markedText_.clear();
    sinkInsertText(text);
}

void KTEAGLView::deleteBackward() {
    markedText_.clear();
    sinkDeleteBackward();
}

void KTEAGLView::setMarkedText(const std::string& text) {
    // Nothing reaches the engine while the text is being composed.
    if (text != markedText_) markedText_ = text;
}

void KTEAGLView::unmarkText() {
    if (markedText_.empty()) return;
    std::string text;
    text.swap(markedText_);
    sinkInsertText(text);
}

}  // namespace kite
