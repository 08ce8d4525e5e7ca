// The host view: the game's window with its render surface; presents frames and turns mouse and fingers into touches.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kite/foundation/math/Rect.h"
#include "kite/platform/KTES2Renderer.h"
#include "platform/InputEvent.h"

namespace kite {

class KTEAGLView {
public:
    static constexpr const char* COLOR_FORMAT_RGB565 = "EAGLColorFormat565";
    static constexpr const char* COLOR_FORMAT_RGBA8 = "EAGLColorFormatRGBA8";
    // Touches handed to the GL view per call.
    static constexpr int MAX_TOUCHES_PER_CALL = 10;
    // The identity of the mouse's touch: outside the non-negative finger ids touchscreens report,
    // so a finger never ends or moves the mouse's touch.
    static constexpr intptr_t MOUSE_TOUCH_ID = platform::InputEvent::MOUSE_TOUCH_ID;

    // A window for a frame of frame.size pixels (scaled down to fit a smaller screen),
    // with the given surface formats. Null, after the log line "OpenGL ES 2.O is required.",
    // when no ES 2.0 context can be had.
    static std::unique_ptr<KTEAGLView> viewWithFrame(const Rect& frame,
                                                     const std::string& pixelFormat = COLOR_FORMAT_RGB565,
                                                     unsigned int depthFormat = 0, bool preserveBackbuffer = false,
                                                     bool multiSampling = false, unsigned int numberOfSamples = 0,
                                                     const std::string& title = "stargrid");
    ~KTEAGLView();
    KTEAGLView(const KTEAGLView&) = delete;
    KTEAGLView& operator=(const KTEAGLView&) = delete;

    // The GL enum of a colour format name: RGB565 for "EAGLColorFormat565", RGBA8 otherwise.
    static unsigned int convertPixelFormat(const std::string& pixelFormat);

    // The surface size in pixels: content scale factor x the window's size in points.
    int getWidth() const;
    int getHeight() const;
    // A point or rectangle of the window (points) on the surface (pixels), as the last layout left them.
    Vec2 convertPointFromViewToSurface(const Vec2& point) const;
    Rect convertRectFromViewToSurface(const Rect& rect) const;
    // Surface pixels per window point (above 1 when the window was scaled down to fit).
    float getContentScaleFactor() const { return contentScaleFactor_; }
    void setContentScaleFactor(float factor) { contentScaleFactor_ = factor > 0.0f ? factor : 1.0f; }
    // The window's size in points.
    const Rect& getBounds() const { return bounds_; }
    // The drawable's size in pixels after the last layout.
    int getSurfaceWidth() const { return surfaceWidth_; }
    int getSurfaceHeight() const { return surfaceHeight_; }

    const std::string& getPixelFormat() const { return pixelformat_; }
    unsigned int getDepthFormat() const { return depthFormat_; }
    bool isMultiSampling() const { return multiSampling_; }
    KTES2Renderer* getRenderer() const { return renderer_.get(); }
    platform::GLContext* getContext() const { return renderer_ ? renderer_->getContext() : nullptr; }
    std::uint32_t getWindowID() const;

    // The surface follows the window's size; then the layout sink hears of it.
    void layoutSubviews();
    // Presents the frame (after a pending capture has read it).
    void swapBuffers();
    void makeCurrent();

    // With multiple touch off, further fingers are ignored while one touch is down.
    void setMultipleTouchEnabled(bool enabled) { multipleTouchEnabled_ = enabled; }
    bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }

    // Where touches go, at most 10 per call, in surface pixels (the GL view that owns this view).
    enum class TouchPhase { BEGAN, MOVED, ENDED, CANCELLED };
    using TouchSink = std::function<void(TouchPhase phase, int count, intptr_t ids[], float xs[], float ys[])>;
    void setTouchSink(TouchSink sink) { touchSink_ = std::move(sink); }
    // Told after the surface followed a change of the window's size.
    void setLayoutSink(std::function<void()> sink) { layoutSink_ = std::move(sink); }

    // Touches in window points.
    void touchesBegan(const std::vector<intptr_t>& ids, const std::vector<float>& xs, const std::vector<float>& ys);
    void touchesMoved(const std::vector<intptr_t>& ids, const std::vector<float>& xs, const std::vector<float>& ys);
    void touchesEnded(const std::vector<intptr_t>& ids, const std::vector<float>& xs, const std::vector<float>& ys);
    void touchesCancelled(const std::vector<intptr_t>& ids, const std::vector<float>& xs, const std::vector<float>& ys);

    // Touch, focus, size, text and key events of this window; true when the event was used.
    bool handleInput(const platform::InputEvent& event);

    // Text input: the view is the client while it is first responder.
    bool canBecomeFirstResponder();
    bool becomeFirstResponder();
    bool resignFirstResponder();
    bool isFirstResponder() const { return !isUseUITextField_; }
    void insertText(const std::string& text);
    void deleteBackward();
    void setMarkedText(const std::string& text);
    void unmarkText();
    const std::string& getMarkedText() const { return markedText_; }
    bool isKeyboardShown() const { return isKeyboardShown_; }
    // Where typed text and deletions go (the engine's input dispatcher, installed by the GL view).
    struct TextInputSink {
        std::function<void(const char* text, std::size_t length)> insertText;
        std::function<void()> deleteBackward;
    };
    static void setTextInputSink(TextInputSink sink);
    // Told when the keyboard shows or hides. There is no on-screen keyboard: it shows while the view
    // is first responder, and takes no room.
    enum class KeyboardChange { WILL_SHOW, DID_SHOW, WILL_HIDE, DID_HIDE };
    void setKeyboardSink(std::function<void(KeyboardChange)> sink) { keyboardSink_ = std::move(sink); }
    // The text field of the game that holds the keyboard, and how it resigns: a touch that begins while
    // the keyboard shows makes it resign first, unless contains (given a surface pixel) says the touch
    // is on the field itself, which keeps editing. A field clears only its own registration, so one that
    // ends after another took over leaves that one's alone.
    void setFirstResponderTextField(const void* field, std::function<void()> resign,
                                    std::function<bool(const Vec2&)> contains = nullptr);
    void clearFirstResponderTextField(const void* field);
    // A field that begins editing while the keyboard shows: the keyboard's will-show notice goes out
    // again (when one was given), so the new field can make room for it.
    void doAnimationWhenAnotherEditBeClicked();

    // The next presented frame is read back first and saved as a PNG at path (each path
    // asked for before that frame gets a copy).
    void captureNextFrame(const std::string& path);
    bool hasPendingCapture() const { return !capturePaths_.empty(); }
    // The last capture's outcome.
    bool lastCaptureSucceeded() const { return lastCaptureOk_; }
    // The paths of the captures that could not be written since the last call, in the order they were taken.
    std::vector<std::string> takeFailedCaptures() { return std::exchange(failedCaptures_, {}); }
    // Frames presented so far: the number of the frame drawn last.
    std::uint64_t getPresentedFrames() const { return presentedFrames_; }

private:
    KTEAGLView() = default;
    bool setupSurface(const platform::WindowOptions& window);
    void handleTouchesAfterKeyboardShow();
    bool touchesOnTextField(const std::vector<float>& xs, const std::vector<float>& ys) const;
    bool handleKeyDown(platform::Key key);
    void tellKeyboard(KeyboardChange change) {
        if (keyboardSink_) keyboardSink_(change);
    }
    // The window's point to surface pixels.
    float toSurface(float points) const { return points * contentScaleFactor_; }
    void cancelAllTouches();
    bool handleTouch(const platform::InputEvent& event);
    void sendTouches(TouchPhase phase, const std::vector<intptr_t>& ids, const std::vector<float>& xs,
                     const std::vector<float>& ys);
    void discardDepthAndStencil();

    std::unique_ptr<KTES2Renderer> renderer_;
    std::string pixelformat_ = COLOR_FORMAT_RGB565;
    unsigned int depthFormat_ = 0;
    bool preserveBackbuffer_ = false;
    int surfaceWidth_ = 0;
    int surfaceHeight_ = 0;
    bool discardFramebufferSupported_ = false;
    unsigned int requestedSamples_ = 0;
    bool isUseUITextField_ = true;
    std::string markedText_;
    Rect caretRect_;
    Rect originalRect_;
    bool isKeyboardShown_ = false;
    bool multiSampling_ = false;

    Rect bounds_;  // the window, in points
    float contentScaleFactor_ = 1.0f;
    bool multipleTouchEnabled_ = false;
    struct ActiveTouch {
        intptr_t id;
        float x, y;  // last position, points
    };
    std::vector<ActiveTouch> touches_;  // the mouse's and the fingers that are down
    TouchSink touchSink_;
    std::function<void()> layoutSink_;
    std::function<void(KeyboardChange)> keyboardSink_;
    const void* textField_ = nullptr;
    std::function<void()> resignTextField_;
    std::function<bool(const Vec2&)> textFieldContains_;
    bool keyboardShowNotice_ = false;  // a will-show was given
    std::vector<std::string> capturePaths_;
    std::vector<std::string> failedCaptures_;
    bool lastCaptureOk_ = false;
    std::uint64_t presentedFrames_ = 0;
};

}  // namespace kite
