// The root view controller: a change of the window's size, the desktop's rotation, reaches the application
// as the screen's new size once the picture has followed it.
#include "app-shell/RootViewController.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "kite/platform/Application.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTEAGLView.h"
#include "platform/GLContext.h"
#include "platform/HostLoop.h"
#include "support/RunningScene.h"

namespace {

// The application's side: the sizes it heard of, with the picture's frame size when it heard.
class SizeListener : public kite::Application {
public:
    bool didFinishLaunching() override { return true; }
    void didEnterBackground() override {}
    void willEnterForeground() override {}
    void applicationScreenSizeChanged(int width, int height) override {
        heard.emplace_back(width, height);
        if (view) frames.push_back(view->getFrameSize());
    }
    kite::GLView* view = nullptr;
    std::vector<std::pair<int, int>> heard;
    std::vector<kite::Size> frames;
};

class RootViewControllerTest : public kite::test::RunningSceneTest {
protected:
    void SetUp() override {
        RunningSceneTest::SetUp();
        application.view = glView;
        // The window's events go through the controller, as the game's start-up hands them on.
        platform::HostLoop::Handlers handlers;
        handlers.input = [this](const platform::InputEvent& event) {
            RootViewController::handleWindowEvent(*hostView, event);
        };
        loop().setHandlers(handlers);
    }
    SizeListener application;
};

TEST_F(RootViewControllerTest, AResizedWindowTellsTheApplicationItsSizeAfterThePictureFollowed) {
    // The offscreen surface never grows, so the window shrinks.
    hostView->getContext()->setWindowSize(320, 568);
    loop().runOnce();
    ASSERT_EQ(application.heard, (std::vector<std::pair<int, int>>{{320, 568}}));
    EXPECT_EQ(application.frames, std::vector<kite::Size>{kite::Size(320.0f, 568.0f)});
    EXPECT_EQ(glView->getFrameSize(), kite::Size(320.0f, 568.0f));
}

TEST_F(RootViewControllerTest, ARotationTellsTheApplicationTheViewsWidthAndHeight) {
    RootViewController::didRotateFromInterfaceOrientation(1);
    EXPECT_EQ(application.heard, (std::vector<std::pair<int, int>>{{640, 1136}}));
}

}  // namespace
