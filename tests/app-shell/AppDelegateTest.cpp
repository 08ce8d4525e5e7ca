#include "app-shell/AppDelegate.h"

#include <gtest/gtest.h>

#include <memory>

#include "kite/audio/linux/SimpleAudioEngine.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTDirectorCaller.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "platform/Clock.h"
#include "platform/DeviceProfile.h"
#include "platform/HostLoop.h"
#include "NowhereView.h"

namespace {

using stargrid::test::NowhereView;

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::setFixed(10.0);
        platform::HostLoop::main().reset();
        platform::HostLoop::main().setFixedStep(true);
    }
    void TearDown() override {
        kite::Director::getInstance()->end();
        kite::Director::getInstance()->mainLoop();
        kite::audio::SimpleAudioEngine::end();  // the game's sounds leave no device open at exit
        app.reset();
        platform::HostLoop::main().reset();
        platform::setCurrentDeviceProfile(*platform::deviceProfileNamed("iphone5"));
        platform::Clock::useRealTime();
    }
    // Launches on the given device with a view of its frame height.
    kite::Director* launch(const char* device) {
        auto profile = *platform::deviceProfileNamed(device);
        platform::setCurrentDeviceProfile(profile);
        app = std::make_unique<AppDelegate>();
        kite::Director* director = kite::Director::getInstance();
        director->setDisplayStats(true);
        director->setGLView(kite::createAutoreleased<NowhereView>(profile.height));
        EXPECT_EQ(app->run(), 0);
        return director;
    }

    std::unique_ptr<AppDelegate> app;
};

TEST_F(AppDelegateTest, TallIphoneGetsA480By852DesignAndRunsAFirstScene) {
    kite::Director* director = launch("iphone5");
    EXPECT_EQ(director->getWinSize(), kite::Size(480.0f, 852.0f));
    EXPECT_EQ(director->getOpenGLView()->getResolutionPolicy(), kite::ResolutionPolicy::EXACT_FIT);
    EXPECT_FALSE(director->isDisplayStats());
    EXPECT_DOUBLE_EQ(director->getAnimationInterval(), 1.0 / 60);
    EXPECT_EQ(platform::HostLoop::main().linkCount(), 1u);
    platform::HostLoop::main().runOnce();
    EXPECT_NE(director->getRunningScene(), nullptr);
    EXPECT_EQ(director->getTotalFrames(), 1u);
}

TEST_F(AppDelegateTest, WithoutAViewTheDelegateOpensAFullScreenGLView) {
    platform::setCurrentDeviceProfile(*platform::deviceProfileNamed("iphone5"));
    app = std::make_unique<AppDelegate>();
    kite::Director* director = kite::Director::getInstance();
    ASSERT_EQ(director->getOpenGLView(), nullptr);
    EXPECT_EQ(app->run(), 0);
    auto* view = dynamic_cast<kite::GLViewImpl*>(director->getOpenGLView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->getFrameSize(), kite::Size(640.0f, 1136.0f));
    EXPECT_EQ(director->getWinSize(), kite::Size(480.0f, 852.0f));
}

TEST_F(AppDelegateTest, ShortIphoneGets720High) {
    EXPECT_EQ(launch("iphone4")->getWinSize(), kite::Size(480.0f, 720.0f));
}

TEST_F(AppDelegateTest, IpadGets720HighThoughItsFrameIsTaller) {
    EXPECT_EQ(launch("ipad")->getWinSize(), kite::Size(480.0f, 720.0f));
}

TEST_F(AppDelegateTest, BackgroundStopsAndForegroundRestartsTheFrames) {
    kite::Director* director = launch("iphone5");
    auto& loop = platform::HostLoop::main();
    loop.runOnce();
    app->didEnterBackground();
    for (int i = 0; i < 5; ++i) loop.runOnce();
    EXPECT_EQ(director->getTotalFrames(), 1u);
    app->willEnterForeground();
    loop.runOnce();
    EXPECT_EQ(director->getTotalFrames(), 2u);
    EXPECT_EQ(director->getDeltaTime(), 0.0f);
}

TEST(AppDelegate, AsksForAnRgba8ContextWithDepthAndStencil) {
    AppDelegate app;
    app.initGLContextAttributes();
    const kite::GLContextAttributes a = kite::GLView::getContextAttributes();
    EXPECT_EQ(a.redBits, 8);
    EXPECT_EQ(a.greenBits, 8);
    EXPECT_EQ(a.blueBits, 8);
    EXPECT_EQ(a.alphaBits, 8);
    EXPECT_EQ(a.depthBits, 24);
    EXPECT_EQ(a.stencilBits, 8);
}

}  // namespace
