#include "kite/platform/KTDirectorCaller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Scheduler.h"
#include "kite/platform/Application.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"
#include "platform/Clock.h"
#include "platform/DeviceProfile.h"
#include "platform/HostLoop.h"
#include "platform/UrlOpener.h"
#include "support/SchemeHandlers.h"

namespace kite {
namespace {

using ::testing::FloatEq;

// A delegate as the game's: stops and starts the animation on background and foreground.
class TestApp : public Application {
public:
    bool launches = true;
    int launched = 0;
    bool didFinishLaunching() override {
        ++launched;
        if (!launches) return false;
        Director::getInstance()->setAnimationInterval(1.0 / 60);
        Director::getInstance()->runWithScene(Scene::create());
        return true;
    }
    void didEnterBackground() override { Director::getInstance()->stopAnimation(); }
    void willEnterForeground() override { Director::getInstance()->startAnimation(); }
};

// A view whose end does what the GL view's does: stop the frames and let go.
class EndingView : public GLView {
public:
    bool init() {
        setFrameSize(640.0f, 1136.0f);
        return true;
    }
    bool isOpenGLReady() override { return false; }
    void makeCurrent() override { ++madeCurrent; }
    void swapBuffers() override {}
    void setIMEKeyboardState(bool) override {}
    void end() override {
        KTDirectorCaller::destroy();
        *ended = true;
        release();
    }
    int madeCurrent = 0;
    bool* ended = nullptr;
};

class KTDirectorCallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::setFixed(50.0);
        loop.reset();
        loop.setFixedStep(true);
        app = std::make_unique<TestApp>();
        platform::HostLoop::Handlers handlers;
        handlers.background = [this] { app->didEnterBackground(); };
        handlers.foreground = [this] { app->willEnterForeground(); };
        loop.setHandlers(handlers);
    }
    void TearDown() override {
        Director::getInstance()->end();
        Director::getInstance()->mainLoop();
        KTDirectorCaller::destroy();
        loop.reset();
        app.reset();
        platform::Clock::useRealTime();
    }
    void passes(int n) {
        for (int i = 0; i < n; ++i) loop.runOnce();
    }
    unsigned frames() { return Director::getInstance()->getTotalFrames(); }

    platform::HostLoop& loop = platform::HostLoop::main();
    std::unique_ptr<TestApp> app;
};

TEST(KTDirectorCallerInterval, IsSecondsTimesSixtyTruncatedAndAtLeastOne) {
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(0.25), 15);
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(1.0 / 60), 1);
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(1.0 / 30), 2);
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(0.03), 1);  // 1.8 ticks
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(0.0), 1);
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(-1.0), 1);
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(std::nan("")), 1);
    EXPECT_EQ(KTDirectorCaller::frameIntervalFor(1.0 / 0.0), 3600 * 60);
}

TEST_F(KTDirectorCallerTest, RunStartsFramesEveryTickAtOneSixtiethOfASecond) {
    EXPECT_EQ(app->run(), 0);
    EXPECT_EQ(KTDirectorCaller::sharedDirectorCaller()->getInterval(), 1);
    passes(60);
    EXPECT_EQ(frames(), 60u);
    EXPECT_THAT(Director::getInstance()->getDeltaTime(), FloatEq(1.0f / 60));
}

TEST_F(KTDirectorCallerTest, TheFirstFrameFollowsTheLaunchWithoutWaitingForATick) {
    loop.setFixedStep(false);
    app->run();
    loop.runOnce();  // the clock stands still: no tick has come
    EXPECT_EQ(frames(), 1u);
    loop.runOnce();
    EXPECT_EQ(frames(), 1u);
    platform::Clock::advance(1.0 / 60);
    loop.runOnce();
    EXPECT_EQ(frames(), 2u);
}

TEST_F(KTDirectorCallerTest, QuarterSecondIntervalFiresEveryFifteenthTick) {
    app->run();
    passes(1);
    Director::getInstance()->setAnimationInterval(0.25);
    EXPECT_EQ(KTDirectorCaller::sharedDirectorCaller()->getInterval(), 15);
    passes(60);
    EXPECT_EQ(frames(), 1u + 4u);
    EXPECT_THAT(Director::getInstance()->getDeltaTime(), FloatEq(0.25f));
}

TEST_F(KTDirectorCallerTest, PausedDirectorDrawsFourFramesASecond) {
    app->run();
    passes(1);
    Director::getInstance()->pause();
    passes(60);
    EXPECT_EQ(frames(), 1u + 4u);
    Director::getInstance()->resume();
    passes(60);
    EXPECT_EQ(frames(), 1u + 4u + 60u);
}

TEST_F(KTDirectorCallerTest, StartingTwiceLeavesOneLink) {
    KTDirectorCaller* caller = KTDirectorCaller::sharedDirectorCaller();
    caller->startMainLoop();
    caller->startMainLoop();
    EXPECT_EQ(loop.linkCount(), 1u);
    caller->setAnimationInterval(1.0 / 30);
    Director::getInstance()->startAnimation();  // rebuilds the link through the application
    EXPECT_EQ(loop.linkCount(), 1u);
    caller->stopMainLoop();
    EXPECT_EQ(loop.linkCount(), 0u);
    EXPECT_FALSE(caller->hasDisplayLink());
}

TEST_F(KTDirectorCallerTest, FailedLaunchStartsNoFrames) {
    app->launches = false;
    EXPECT_EQ(app->run(), 0);
    EXPECT_EQ(app->launched, 1);
    EXPECT_EQ(loop.linkCount(), 0u);
    passes(10);
    EXPECT_EQ(frames(), 0u);
}

TEST_F(KTDirectorCallerTest, BackgroundStopsFramesAndForegroundResumesWithZeroDelta) {
    app->run();
    passes(10);
    EXPECT_EQ(frames(), 10u);
    loop.enterBackground();
    passes(30);
    EXPECT_EQ(frames(), 10u);
    loop.enterForeground();
    passes(1);
    EXPECT_EQ(frames(), 11u);
    EXPECT_EQ(Director::getInstance()->getDeltaTime(), 0.0f);
    passes(1);
    EXPECT_THAT(Director::getInstance()->getDeltaTime(), FloatEq(1.0f / 60));
}

TEST_F(KTDirectorCallerTest, EachFiringMakesTheViewCurrentAndShutdownFromAFrameIsSafe) {
    bool ended = false;
    auto* view = createAutoreleased<EndingView>();
    view->ended = &ended;
    Director::getInstance()->setGLView(view);
    app->run();
    passes(3);
    EXPECT_EQ(view->madeCurrent, 3);
    Director::getInstance()->getScheduler()->performFunctionInMainThread([] { Director::getInstance()->end(); });
    passes(3);  // the frame that ends, then the pass that shuts down and destroys the caller
    EXPECT_TRUE(ended);
    EXPECT_EQ(loop.linkCount(), 0u);
    EXPECT_EQ(Director::getInstance()->getTotalFrames(), 0u);  // a fresh director
}

TEST(Application, LanguageComesFromTheLocaleSettings) {
    struct App : Application {
        bool didFinishLaunching() override { return true; }
        void didEnterBackground() override {}
        void willEnterForeground() override {}
    } app;
    EXPECT_EQ(Application::getInstance(), &app);
    const char* saved = std::getenv("LANGUAGE");
    std::string savedValue = saved ? saved : "";

    setenv("LANGUAGE", "pt_BR.UTF-8", 1);
    EXPECT_STREQ(app.getCurrentLanguageCode(), "pt");
    EXPECT_EQ(app.getCurrentLanguage(), LanguageType::PORTUGUESE);
    setenv("LANGUAGE", "zh-Hans:en", 1);
    EXPECT_STREQ(app.getCurrentLanguageCode(), "zh");
    EXPECT_EQ(app.getCurrentLanguage(), LanguageType::CHINESE);
    setenv("LANGUAGE", "sv_SE", 1);
    EXPECT_STREQ(app.getCurrentLanguageCode(), "sv");
    EXPECT_EQ(app.getCurrentLanguage(), LanguageType::ENGLISH);
    setenv("LANGUAGE", "C", 1);
    EXPECT_STREQ(app.getCurrentLanguageCode(), "en");

    if (saved)
        setenv("LANGUAGE", savedValue.c_str(), 1);
    else
        unsetenv("LANGUAGE");
}

TEST(Application, TargetPlatformFollowsTheDeviceProfile) {
    struct App : Application {
        bool didFinishLaunching() override { return true; }
        void didEnterBackground() override {}
        void willEnterForeground() override {}
    };
    {
        App app;
        platform::setCurrentDeviceProfile(*platform::deviceProfileNamed("ipad"));
        EXPECT_EQ(app.getTargetPlatform(), ApplicationProtocol::Platform::OS_IPAD);
        platform::setCurrentDeviceProfile(*platform::deviceProfileNamed("iphone4"));
        EXPECT_EQ(app.getTargetPlatform(), ApplicationProtocol::Platform::OS_IPHONE);
        platform::setCurrentDeviceProfile(*platform::deviceProfileNamed("iphone5"));
    }
    EXPECT_EQ(Application::getInstance(), nullptr);
}

TEST(Application, OpenURLHandsTheUrlToItsSchemesHandler) {
    struct App : Application {
        bool didFinishLaunching() override { return true; }
        void didEnterBackground() override {}
        void willEnterForeground() override {}
    };
    test::SchemeHandlers& handlers = test::SchemeHandlers::instance();
    test::RecordPipe record(handlers.path() + "/application-opened");
    handlers.registerHandler("stargridapp", STARGRID_URL_RECORDER " " + record.path());
    ASSERT_TRUE(test::SchemeHandlers::waitUntil([] { return platform::canOpenUrl("stargridapp://"); }));
    App app;
    const std::string url = "stargridapp://share?title=%E6%98%9F";
    ASSERT_TRUE(app.openURL(url));
    EXPECT_EQ(record.read(std::chrono::seconds(20)), url);
    // No handler for the scheme: the platform says no, and so does the application.
    EXPECT_FALSE(app.openURL("stargridnobody://anything"));
}

}  // namespace
}  // namespace kite
