#include "kite/platform/KTEAGLView.h"

#include <GLES2/gl2.h>
#include <SDL2/SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTES2Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/IMEDispatcher.h"
#include "kite/scene/TextFieldTTF.h"
#include "platform/PngFile.h"
#include "support/RunningScene.h"
#include "support/TouchRecorder.h"

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::FloatNear;

TEST(KTES2Renderer, FormatsMapToContextAttributes) {
    platform::GLContextAttributes a =
        KTES2Renderer::attributesFor(KTES2Renderer::DEPTH24_STENCIL8, KTES2Renderer::RGBA8);
    EXPECT_EQ(a.red + a.green + a.blue + a.alpha, 32);
    EXPECT_EQ(a.depth, 24);
    EXPECT_EQ(a.stencil, 8);
    a = KTES2Renderer::attributesFor(KTES2Renderer::DEPTH_COMPONENT16, KTES2Renderer::RGB565);
    EXPECT_EQ(a.red, 5);
    EXPECT_EQ(a.green, 6);
    EXPECT_EQ(a.alpha, 0);
    EXPECT_EQ(a.depth, 16);
    EXPECT_EQ(a.stencil, 0);
    EXPECT_EQ(KTES2Renderer::attributesFor(0, KTES2Renderer::RGBA8).depth, 0);
    EXPECT_EQ(KTEAGLView::convertPixelFormat("EAGLColorFormat565"), 0x8D62u);
    EXPECT_EQ(KTEAGLView::convertPixelFormat("EAGLColorFormatRGBA8"), 0x8058u);
}

TEST(KTEAGLViewDeathTest, WithoutAnES2ContextTheViewIsNotMade) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // A video driver without GL, in place of the one the test run keeps loaded.
            SDL_GL_UnloadLibrary();
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            auto view = KTEAGLView::viewWithFrame(Rect(0, 0, 64, 64));
            // Ends without exit handlers: the leak check would see the GL library's memory,
            // unloaded above, as a leak of no known module.
            std::_Exit(view ? 0 : 3);
        },
        ::testing::ExitedWithCode(3), "");
}

TEST(GLContextAttributes, DefaultIsRGB565With16BitDepthAndTheGameSetsItsOwn) {
    const GLContextAttributes a;
    EXPECT_EQ(std::vector<int>({a.redBits, a.greenBits, a.blueBits, a.alphaBits, a.depthBits, a.stencilBits}),
              std::vector<int>({5, 6, 5, 0, 16, 0}));
    // The process-wide copy starts from it (this runs before any test here sets its own).
    const GLContextAttributes current = GLView::getContextAttributes();
    EXPECT_EQ(current.redBits, 5);
    EXPECT_EQ(current.depthBits, 16);
}

// A headless window of the iphone5 frame, wrapped in the director's GL view, its touches recorded.
class KTEAGLViewTest : public test::RunningSceneTest {
protected:
    void SetUp() override {
        RunningSceneTest::SetUp();
        view = hostView;
        touches = std::make_unique<test::TouchRecorder>();
    }
    void TearDown() override {
        touches.reset();
        RunningSceneTest::TearDown();
    }

    using Type = platform::InputEvent::Type;
    platform::InputEvent mouse(Type type, int x, int y) {
        return platform::InputEvent::touch(type, KTEAGLView::MOUSE_TOUCH_ID, static_cast<float>(x),
                                           static_cast<float>(y), view->getWindowID());
    }
    // Fingers at fractions of the window, as touchscreens give them.
    platform::InputEvent finger(Type type, intptr_t id, float x, float y) {
        return platform::InputEvent::touch(type, id, x * 640.0f, y * 1136.0f);
    }

    const std::vector<std::string>& log() const { return touches->log; }
    const Vec2& last() const { return touches->last; }

    KTEAGLView* view = nullptr;
    std::unique_ptr<test::TouchRecorder> touches;
};

TEST_F(KTEAGLViewTest, SurfaceHasTheFramesPixelSizeAndTheAskedFormats) {
    EXPECT_EQ(view->getWidth(), 640);
    EXPECT_EQ(view->getHeight(), 1136);
    EXPECT_EQ(glView->getFrameSize(), Size(640.0f, 1136.0f));
    EXPECT_EQ(view->getRenderer()->getBackingWidth(), 640);
    EXPECT_TRUE(glView->isOpenGLReady());
    GLint depth = 0, stencil = 0, alpha = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    EXPECT_GE(depth, 24);
    EXPECT_GE(stencil, 8);
    EXPECT_EQ(alpha, 8);
    EXPECT_THAT(view->getRenderer()->description(),
                ::testing::MatchesRegex("<KTES2Renderer = [0-9A-F]+ \\| size = 640x1136>"));
}

TEST_F(KTEAGLViewTest, ViewportAndScissorAreSetInDesignPoints) {
    view->makeCurrent();
    glView->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::SHOW_ALL);  // bars top and bottom
    GLint box[4] = {};
    glView->setViewPortInPoints(0.0f, 0.0f, 480.0f, 720.0f);
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_THAT(box, ElementsAre(0, 88, 640, 960));

    glEnable(GL_SCISSOR_TEST);
    EXPECT_TRUE(glView->isScissorEnabled());
    glView->setScissorInPoints(10.0f, 20.0f, 100.0f, 50.0f);
    const Rect scissor = glView->getScissorRect();
    EXPECT_THAT(scissor.origin.x, FloatNear(10.0f, 1.0f));
    EXPECT_THAT(scissor.origin.y, FloatNear(20.0f, 1.0f));
    EXPECT_THAT(scissor.size.width, FloatNear(100.0f, 1.0f));
    glDisable(GL_SCISSOR_TEST);

    // A window scaled down to half the frame gets the same picture at half the pixels.
    glView->setSurfaceScale(0.5f);
    glView->setViewPortInPoints(0.0f, 0.0f, 480.0f, 720.0f);
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_THAT(box, ElementsAre(0, 44, 320, 480));
    glView->setSurfaceScale(1.0f);
}

TEST_F(KTEAGLViewTest, PresentingWithDepthAndStencilLeavesNoGLErrorPending) {
    view->makeCurrent();
    while (glGetError() != GL_NO_ERROR) {}
    for (int frame = 0; frame < 3; ++frame) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glView->swapBuffers();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "frame " << frame;
    }
}

TEST_F(KTEAGLViewTest, ResizedWindowResizesTheFrameKeepsThePolicyAndDrawsAFrameAtOnce) {
    Director* director = Director::getInstance();
    director->stopAnimation();  // drawn even so
    const unsigned int framesBefore = director->getTotalFrames();
    glView->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::SHOW_ALL);
    // The offscreen surface never grows, so the window shrinks.
    view->getContext()->setWindowSize(320, 480);
    platform::InputEvent resized = platform::InputEvent::of(Type::WINDOW_RESIZED, view->getWindowID());
    resized.width = 320;
    resized.height = 480;
    EXPECT_TRUE(view->handleInput(resized));

    EXPECT_EQ(view->getWidth(), 320);
    EXPECT_EQ(glView->getFrameSize(), Size(320.0f, 480.0f));
    EXPECT_EQ(glView->getDesignResolutionSize(), Size(480.0f, 720.0f));
    EXPECT_EQ(glView->getResolutionPolicy(), ResolutionPolicy::SHOW_ALL);
    EXPECT_FLOAT_EQ(glView->getScaleX(), 320.0f / 480.0f);
    EXPECT_EQ(director->getTotalFrames(), framesBefore + 1);
    // Touches map onto the new size: the window's centre is the design area's centre.
    view->handleInput(mouse(Type::TOUCH_BEGAN, 160, 240));
    EXPECT_THAT(last().x, FloatNear(240.0f, 0.5f));
    EXPECT_THAT(last().y, FloatNear(360.0f, 0.5f));
    view->handleInput(mouse(Type::TOUCH_ENDED, 160, 240));
}

TEST_F(KTEAGLViewTest, MouseIsOneTouchInDesignUnits) {
    view->handleInput(mouse(Type::TOUCH_BEGAN, 320, 568));
    EXPECT_THAT(last().x, FloatNear(240.0f, 1e-3f));
    EXPECT_THAT(last().y, FloatNear(426.0f, 1e-3f));
    view->handleInput(mouse(Type::TOUCH_MOVED, 400, 568));
    view->handleInput(mouse(Type::TOUCH_ENDED, 400, 600));
    view->handleInput(mouse(Type::TOUCH_MOVED, 10, 10));  // not held: no touch
    EXPECT_THAT(log(), ElementsAre("began0", "moved0", "ended0"));
    EXPECT_THAT(last().x, FloatNear(300.0f, 1e-3f));
}

TEST_F(KTEAGLViewTest, LosingFocusWhileHeldCancels) {
    view->handleInput(mouse(Type::TOUCH_BEGAN, 10, 10));
    view->handleInput(platform::InputEvent::of(Type::FOCUS_LOST, view->getWindowID()));
    view->handleInput(mouse(Type::TOUCH_ENDED, 10, 10));
    EXPECT_THAT(log(), ElementsAre("began0", "cancelled0"));
    EXPECT_EQ(GLView::getTouchSlotMask(), 0u);
}

TEST_F(KTEAGLViewTest, WithMultipleTouchOffFurtherFingersAreIgnored) {
    view->handleInput(finger(Type::TOUCH_BEGAN, 7, 0.5f, 0.5f));
    view->handleInput(finger(Type::TOUCH_BEGAN, 8, 0.1f, 0.1f));
    view->handleInput(mouse(Type::TOUCH_BEGAN, 10, 10));
    view->handleInput(finger(Type::TOUCH_MOVED, 8, 0.2f, 0.2f));
    view->handleInput(finger(Type::TOUCH_ENDED, 8, 0.2f, 0.2f));
    view->handleInput(finger(Type::TOUCH_ENDED, 7, 0.5f, 0.25f));
    EXPECT_THAT(log(), ElementsAre("began0", "ended0"));
    EXPECT_THAT(last().y, FloatNear(213.0f, 1e-2f));
}

TEST_F(KTEAGLViewTest, WithMultipleTouchOnFingersKeepTheirIdsAndTenPassPerCall) {
    view->setMultipleTouchEnabled(true);
    view->handleInput(finger(Type::TOUCH_BEGAN, 7, 0.5f, 0.5f));
    view->handleInput(finger(Type::TOUCH_BEGAN, 8, 0.1f, 0.1f));
    view->handleInput(finger(Type::TOUCH_ENDED, 7, 0.5f, 0.5f));
    EXPECT_THAT(log(), ElementsAre("began0", "began1", "ended0"));

    touches->log.clear();
    std::vector<intptr_t> ids;
    std::vector<float> xs, ys;
    for (int i = 0; i < 12; ++i) {
        ids.push_back(100 + i);
        xs.push_back(1.0f);
        ys.push_back(1.0f);
    }
    view->touchesBegan(ids, xs, ys);
    EXPECT_EQ(log().size(), 10u);
    view->touchesCancelled(ids, xs, ys);
}

TEST_F(KTEAGLViewTest, FingerNeverTakesOverTheMousesTouch) {
    // Touchscreens number their fingers from small integers; none of them is the mouse.
    view->setMultipleTouchEnabled(true);
    view->handleInput(mouse(Type::TOUCH_BEGAN, 10, 10));
    for (intptr_t id : {0, 1, 2}) view->handleInput(finger(Type::TOUCH_BEGAN, id, 0.5f, 0.5f));
    for (intptr_t id : {0, 1, 2}) view->handleInput(finger(Type::TOUCH_ENDED, id, 0.5f, 0.5f));
    view->handleInput(mouse(Type::TOUCH_ENDED, 10, 10));
    EXPECT_THAT(log(), ElementsAre("began0", "began1", "began2", "began3", "ended1", "ended2", "ended3", "ended0"));
    EXPECT_EQ(GLView::getTouchSlotMask(), 0u);
}

TEST_F(KTEAGLViewTest, ComposedTextReachesTheEngineOnlyWhenCommitted) {
    std::vector<std::string> typed;
    int deletions = 0;
    KTEAGLView::setTextInputSink(
        {[&](const char* text, std::size_t n) { typed.emplace_back(text, n); }, [&] { ++deletions; }});
    glView->setIMEKeyboardState(true);
    EXPECT_TRUE(view->isFirstResponder());
    view->setMarkedText("ni");
    EXPECT_TRUE(typed.empty());
    view->unmarkText();
    view->insertText("好");
    view->deleteBackward();
    glView->setIMEKeyboardState(false);
    view->insertText("x");  // through the view directly still reaches the sink
    KTEAGLView::setTextInputSink({});
    EXPECT_THAT(typed, ElementsAre("ni", "好", "x"));
    EXPECT_EQ(deletions, 1);
    EXPECT_FALSE(view->isFirstResponder());
}

platform::InputEvent textEvent(platform::InputEvent::Type type, const std::string& text) {
    platform::InputEvent e = platform::InputEvent::of(type);
    e.text = text;
    return e;
}

platform::InputEvent keyDown(platform::Key key) {
    platform::InputEvent e = platform::InputEvent::of(platform::InputEvent::Type::KEY_DOWN);
    e.key = key;
    return e;
}

// Records the keyboard's notifications as the dispatcher hands them out.
class KeyboardWatcher : public IMEDelegate {
public:
    std::vector<std::string> heard;
    bool canAttachWithIME() override { return false; }
    bool canDetachWithIME() override { return true; }
    void insertText(const char*, std::size_t) override {}
    void deleteBackward() override {}
    const std::string& getContentText() override { return none_; }
    void keyboardDidShow(IMEKeyboardNotificationInfo& info) override {
        heard.push_back(info.end.equals(Rect::ZERO) ? "shown, empty" : "shown");
    }
    void keyboardDidHide(IMEKeyboardNotificationInfo&) override { heard.push_back("hidden"); }
    void keyboardWillShow(IMEKeyboardNotificationInfo&) override { ++willShow; }
    int willShow = 0;

private:
    std::string none_;
};

TEST_F(KTEAGLViewTest, TypedTextReachesTheTextFieldThatOwnsTheKeyboard) {
    using Type = platform::InputEvent::Type;
    KeyboardWatcher watcher;
    TextFieldTTF* field = TextFieldTTF::textFieldWithPlaceHolder("name", "Helvetica Neue", 20);
    ASSERT_NE(field, nullptr);
    // Text typed while nothing is attached goes nowhere.
    EXPECT_FALSE(view->handleInput(textEvent(Type::TEXT_INPUT, "x")));
    ASSERT_TRUE(field->attachWithIME());
    EXPECT_TRUE(view->isFirstResponder());
    EXPECT_TRUE(view->isKeyboardShown());

    EXPECT_TRUE(view->handleInput(textEvent(Type::TEXT_INPUT, "我")));
    // Composition stays in the view until the input method commits it.
    EXPECT_TRUE(view->handleInput(textEvent(Type::TEXT_EDITING, "hao")));
    EXPECT_EQ(field->getString(), "我");
    // While composing, Backspace and Return belong to the input method.
    EXPECT_FALSE(view->handleInput(keyDown(platform::Key::BACKSPACE)));
    EXPECT_FALSE(view->handleInput(keyDown(platform::Key::ENTER)));
    EXPECT_TRUE(view->handleInput(textEvent(Type::TEXT_EDITING, "")));
    EXPECT_TRUE(view->handleInput(textEvent(Type::TEXT_INPUT, "好a")));
    EXPECT_EQ(field->getString(), "我好a");
    EXPECT_EQ(field->getCharCount(), 3);

    EXPECT_TRUE(view->handleInput(keyDown(platform::Key::BACKSPACE)));
    EXPECT_TRUE(view->handleInput(keyDown(platform::Key::BACKSPACE)));
    EXPECT_EQ(field->getString(), "我");
    // Return ends the entry: the field gives the keyboard up.
    EXPECT_TRUE(view->handleInput(keyDown(platform::Key::ENTER)));
    EXPECT_EQ(field->getString(), "我");
    EXPECT_FALSE(view->isFirstResponder());
    EXPECT_FALSE(view->isKeyboardShown());
    EXPECT_FALSE(view->handleInput(textEvent(Type::TEXT_INPUT, "y")));
    EXPECT_EQ(field->getString(), "我");
    EXPECT_THAT(watcher.heard, ElementsAre("shown, empty", "hidden"));
}

TEST_F(KTEAGLViewTest, AnotherEditClickedHearsOfTheShownKeyboardAgain) {
    KeyboardWatcher watcher;
    view->doAnimationWhenAnotherEditBeClicked();  // the keyboard never showed: nothing to tell again
    EXPECT_EQ(watcher.willShow, 0);
    glView->setIMEKeyboardState(true);
    EXPECT_EQ(watcher.willShow, 1);
    view->doAnimationWhenAnotherEditBeClicked();
    EXPECT_EQ(watcher.willShow, 2);
    glView->setIMEKeyboardState(false);
    EXPECT_THAT(watcher.heard, ElementsAre("shown, empty", "hidden"));
}

TEST_F(KTEAGLViewTest, ATouchBeginningWhileTheKeyboardShowsMakesTheTextFieldResignFirst) {
    std::vector<std::string> order;
    int field = 0;
    int other = 0;
    view->setFirstResponderTextField(&field, [&] {
        order.push_back(log().empty() ? "resigned" : "resigned after the touch");
        view->clearFirstResponderTextField(&field);  // as the field does when its editing ends
        glView->setIMEKeyboardState(false);
    });
    view->clearFirstResponderTextField(&other);  // another field's end leaves this one's alone
    view->handleInput(mouse(Type::TOUCH_BEGAN, 10, 10));  // no keyboard yet
    view->handleInput(mouse(Type::TOUCH_ENDED, 10, 10));
    EXPECT_TRUE(order.empty());
    glView->setIMEKeyboardState(true);
    touches->log.clear();
    view->handleInput(mouse(Type::TOUCH_BEGAN, 10, 10));
    view->handleInput(mouse(Type::TOUCH_ENDED, 10, 10));
    EXPECT_THAT(order, ElementsAre("resigned"));
    EXPECT_THAT(log(), ElementsAre("began0", "ended0"));
    EXPECT_FALSE(view->isKeyboardShown());
}

TEST_F(KTEAGLViewTest, ViewPointsAndRectsConvertToSurfacePixels) {
    // A window of 320 x 568 points over the same 640 x 1136 drawable: two pixels a point, as on a 2x screen.
    platform::InputEvent resized = platform::InputEvent::of(Type::WINDOW_RESIZED, view->getWindowID());
    resized.width = 320;
    resized.height = 568;
    ASSERT_TRUE(view->handleInput(resized));
    ASSERT_EQ(view->getSurfaceWidth(), 640);
    ASSERT_EQ(view->getSurfaceHeight(), 1136);
    EXPECT_EQ(view->convertPointFromViewToSurface(Vec2(100.0f, 50.0f)), Vec2(200.0f, 100.0f));
    const Rect rect = view->convertRectFromViewToSurface(Rect(10.0f, 20.0f, 30.0f, 40.0f));
    EXPECT_TRUE(rect.equals(Rect(20.0f, 40.0f, 60.0f, 80.0f)));
}

TEST_F(KTEAGLViewTest, CapturedFrameIsSavedAsPNGBeforeItIsPresented) {
    const std::string path = ::testing::TempDir() + "kteaglview-capture.png";
    std::remove(path.c_str());
    view->makeCurrent();
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    view->captureNextFrame(path);
    glView->swapBuffers();
    EXPECT_TRUE(view->lastCaptureSucceeded());
    EXPECT_FALSE(view->hasPendingCapture());
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    unsigned char header[24] = {};
    EXPECT_EQ(std::fread(header, 1, sizeof header, file), sizeof header);
    std::fclose(file);
    EXPECT_EQ(header[1], 'P');
    const unsigned width = (header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19];
    EXPECT_EQ(width, 640u);
}

TEST_F(KTEAGLViewTest, CapturedFrameIsOpaqueAsTheWindowShowsIt) {
    // The window is composited opaque, so a frame cleared to transparent red shows red.
    const std::string path = ::testing::TempDir() + "kteaglview-opaque.png";
    std::remove(path.c_str());
    view->makeCurrent();
    glClearColor(1.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    view->captureNextFrame(path);
    glView->swapBuffers();
    ASSERT_TRUE(view->lastCaptureSucceeded());

    std::optional<platform::PngImage> png = platform::readPng(path);
    ASSERT_TRUE(png);
    const std::vector<std::uint8_t>& rgba = png->rgba;
    EXPECT_THAT(std::vector<unsigned char>(rgba.begin(), rgba.begin() + 4), ElementsAre(255, 0, 0, 255));
    EXPECT_THAT(std::vector<unsigned char>(rgba.end() - 4, rgba.end()), ElementsAre(255, 0, 0, 255));
}

}  // namespace
}  // namespace kite
