#include "kite/platform/KTEAGLView.h"

#include <GLES2/gl2.h>
#include <SDL2/SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTES2Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/TextFieldTTF.h"
#include "kite/scene/Touch.h"
#include "support/DirectorShutdown.h"

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::FloatNear;

TEST(KTES2Renderer, FormatsMapToContextAttributes) {
    platform::GLContextAttributes a = KTES2Renderer::attributesFor(KTES2Renderer::DEPTH24_STENCIL8, KTES2Renderer::RGBA8);
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
            std::exit(view ? 0 : 3);
        },
        ::testing::ExitedWithCode(3), "");
}

// A headless window of the iphone5 frame, wrapped in the director's GL view.
class KTEAGLViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        GLView::setContextAttributes(GLContextAttributes{8, 8, 8, 8, 24, 8});
        GLViewImpl::convertContextAttributes();
        auto host = KTEAGLView::viewWithFrame(Rect(0, 0, 640, 1136), GLViewImpl::getPixelFormat(),
                                              GLViewImpl::getDepthFormat());
        ASSERT_NE(host, nullptr);
        view = host.get();
        glView = GLViewImpl::createWithEAGLView(std::move(host));
        ASSERT_NE(glView, nullptr);
        Director::getInstance()->setGLView(glView);
        glView->setDesignResolutionSize(480.0f, 852.0f, ResolutionPolicy::EXACT_FIT);

        auto* listener = EventListenerTouchAllAtOnce::create();
        auto record = [this](const char* phase) {
            return [this, phase](const std::vector<Touch*>& touches, Event*) {
                for (Touch* t : touches) {
                    log.push_back(std::string(phase) + std::to_string(t->getId()));
                    last = t->getLocationInView();
                }
            };
        };
        listener->onTouchesBegan = record("began");
        listener->onTouchesMoved = record("moved");
        listener->onTouchesEnded = record("ended");
        listener->onTouchesCancelled = record("cancelled");
        Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(listener, 1);
    }
    void TearDown() override {
        test::shutDownDirector();
    }

    SDL_Event mouse(Uint32 type, int x, int y) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_MOUSEMOTION) {
            e.motion.windowID = view->getWindowID();
            e.motion.x = x;
            e.motion.y = y;
            e.motion.state = SDL_BUTTON_LMASK;
        } else {
            e.button.windowID = view->getWindowID();
            e.button.button = SDL_BUTTON_LEFT;
            e.button.x = x;
            e.button.y = y;
        }
        return e;
    }
    SDL_Event finger(Uint32 type, SDL_FingerID id, float x, float y) {
        SDL_Event e{};
        e.type = type;
        e.tfinger.fingerId = id;
        e.tfinger.x = x;
        e.tfinger.y = y;
        return e;
    }

    KTEAGLView* view = nullptr;
    GLViewImpl* glView = nullptr;
    std::vector<std::string> log;
    Vec2 last;
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
    EXPECT_THAT(view->getRenderer()->description(), ::testing::MatchesRegex("<KTES2Renderer = [0-9A-F]+ \\| size = 640x1136>"));
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

TEST_F(KTEAGLViewTest, MouseIsOneTouchInDesignUnits) {
    view->handleEvent(mouse(SDL_MOUSEBUTTONDOWN, 320, 568));
    EXPECT_THAT(last.x, FloatNear(240.0f, 1e-3f));
    EXPECT_THAT(last.y, FloatNear(426.0f, 1e-3f));
    view->handleEvent(mouse(SDL_MOUSEMOTION, 400, 568));
    view->handleEvent(mouse(SDL_MOUSEBUTTONUP, 400, 600));
    view->handleEvent(mouse(SDL_MOUSEMOTION, 10, 10));  // not held: no touch
    EXPECT_THAT(log, ElementsAre("began0", "moved0", "ended0"));
    EXPECT_THAT(last.x, FloatNear(300.0f, 1e-3f));
}

TEST_F(KTEAGLViewTest, LosingFocusWhileHeldCancels) {
    view->handleEvent(mouse(SDL_MOUSEBUTTONDOWN, 10, 10));
    SDL_Event focus{};
    focus.type = SDL_WINDOWEVENT;
    focus.window.windowID = view->getWindowID();
    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    view->handleEvent(focus);
    view->handleEvent(mouse(SDL_MOUSEBUTTONUP, 10, 10));
    EXPECT_THAT(log, ElementsAre("began0", "cancelled0"));
    EXPECT_EQ(GLView::getTouchSlotMask(), 0u);
}

TEST_F(KTEAGLViewTest, WithMultipleTouchOffFurtherFingersAreIgnored) {
    view->handleEvent(finger(SDL_FINGERDOWN, 7, 0.5f, 0.5f));
    view->handleEvent(finger(SDL_FINGERDOWN, 8, 0.1f, 0.1f));
    view->handleEvent(mouse(SDL_MOUSEBUTTONDOWN, 10, 10));
    view->handleEvent(finger(SDL_FINGERMOTION, 8, 0.2f, 0.2f));
    view->handleEvent(finger(SDL_FINGERUP, 8, 0.2f, 0.2f));
    view->handleEvent(finger(SDL_FINGERUP, 7, 0.5f, 0.25f));
    EXPECT_THAT(log, ElementsAre("began0", "ended0"));
    EXPECT_THAT(last.y, FloatNear(213.0f, 1e-2f));
}

TEST_F(KTEAGLViewTest, WithMultipleTouchOnFingersKeepTheirIdsAndTenPassPerCall) {
    view->setMultipleTouchEnabled(true);
    view->handleEvent(finger(SDL_FINGERDOWN, 7, 0.5f, 0.5f));
    view->handleEvent(finger(SDL_FINGERDOWN, 8, 0.1f, 0.1f));
    view->handleEvent(finger(SDL_FINGERUP, 7, 0.5f, 0.5f));
    EXPECT_THAT(log, ElementsAre("began0", "began1", "ended0"));

    log.clear();
    std::vector<intptr_t> ids;
    std::vector<float> xs, ys;
    for (int i = 0; i < 12; ++i) {
        ids.push_back(100 + i);
        xs.push_back(1.0f);
        ys.push_back(1.0f);
    }
    view->touchesBegan(ids, xs, ys);
    EXPECT_EQ(log.size(), 10u);
    view->touchesCancelled(ids, xs, ys);
}

TEST_F(KTEAGLViewTest, FingerNeverTakesOverTheMousesTouch) {
    // Touchscreens number their fingers from small integers; none of them is the mouse.
    view->setMultipleTouchEnabled(true);
    view->handleEvent(mouse(SDL_MOUSEBUTTONDOWN, 10, 10));
    for (SDL_FingerID id : {0, 1, 2}) view->handleEvent(finger(SDL_FINGERDOWN, id, 0.5f, 0.5f));
    for (SDL_FingerID id : {0, 1, 2}) view->handleEvent(finger(SDL_FINGERUP, id, 0.5f, 0.5f));
    view->handleEvent(mouse(SDL_MOUSEBUTTONUP, 10, 10));
    EXPECT_THAT(log, ElementsAre("began0", "began1", "began2", "began3", "ended1", "ended2", "ended3", "ended0"));
    EXPECT_EQ(GLView::getTouchSlotMask(), 0u);
}

TEST_F(KTEAGLViewTest, ComposedTextReachesTheEngineOnlyWhenCommitted) {
    std::vector<std::string> typed;
    int deletions = 0;
    KTEAGLView::setTextInputSink({[&](const char* text, std::size_t n) { typed.emplace_back(text, n); },
                                  [&] { ++deletions; }});
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

SDL_Event textEvent(Uint32 type, const char* text) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_TEXTINPUT) {
        std::snprintf(e.text.text, sizeof(e.text.text), "%s", text);
    } else {
        std::snprintf(e.edit.text, sizeof(e.edit.text), "%s", text);
    }
    return e;
}

SDL_Event keyDown(SDL_Keycode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    return e;
}

TEST_F(KTEAGLViewTest, TypedTextReachesTheTextFieldThatOwnsTheKeyboard) {
    TextFieldTTF* field = TextFieldTTF::textFieldWithPlaceHolder("name", "Helvetica Neue", 20);
    ASSERT_NE(field, nullptr);
    // Text typed while nothing is attached goes nowhere.
    EXPECT_FALSE(view->handleEvent(textEvent(SDL_TEXTINPUT, "x")));
    ASSERT_TRUE(field->attachWithIME());
    EXPECT_TRUE(view->isFirstResponder());
    EXPECT_TRUE(view->isKeyboardShown());
    EXPECT_TRUE(SDL_IsTextInputActive());

    EXPECT_TRUE(view->handleEvent(textEvent(SDL_TEXTINPUT, "我")));
    // Composition stays in the view until the input method commits it.
    EXPECT_TRUE(view->handleEvent(textEvent(SDL_TEXTEDITING, "hao")));
    EXPECT_EQ(field->getString(), "我");
    // While composing, Backspace belongs to the input method.
    EXPECT_FALSE(view->handleEvent(keyDown(SDLK_BACKSPACE)));
    EXPECT_TRUE(view->handleEvent(textEvent(SDL_TEXTEDITING, "")));
    EXPECT_TRUE(view->handleEvent(textEvent(SDL_TEXTINPUT, "好a")));
    EXPECT_EQ(field->getString(), "我好a");
    EXPECT_EQ(field->getCharCount(), 3);

    EXPECT_TRUE(view->handleEvent(keyDown(SDLK_BACKSPACE)));
    EXPECT_TRUE(view->handleEvent(keyDown(SDLK_BACKSPACE)));
    EXPECT_EQ(field->getString(), "我");
    // Return ends the entry: the field gives the keyboard up.
    EXPECT_TRUE(view->handleEvent(keyDown(SDLK_RETURN)));
    EXPECT_EQ(field->getString(), "我");
    EXPECT_FALSE(view->isFirstResponder());
    EXPECT_FALSE(view->isKeyboardShown());
    EXPECT_FALSE(SDL_IsTextInputActive());
    EXPECT_FALSE(view->handleEvent(textEvent(SDL_TEXTINPUT, "y")));
    EXPECT_EQ(field->getString(), "我");
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

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    EXPECT_THAT(std::vector<unsigned char>(rgba.begin(), rgba.begin() + 4), ElementsAre(255, 0, 0, 255));
    EXPECT_THAT(std::vector<unsigned char>(rgba.end() - 4, rgba.end()), ElementsAre(255, 0, 0, 255));
}

}  // namespace
}  // namespace kite
