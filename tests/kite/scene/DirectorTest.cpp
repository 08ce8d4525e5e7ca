#include "kite/scene/Director.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/UserDefault.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"
#include "support/GLTest.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::FloatEq;
using ::testing::IsEmpty;

// A scene that logs its lifecycle calls as "name:call".
class LoggingScene : public Scene {
public:
    static LoggingScene* create(const std::string& name, std::vector<std::string>* log) {
        auto* scene = createAutoreleased<LoggingScene>();
        scene->name_ = name;
        scene->log_ = log;
        return scene;
    }
    ~LoggingScene() override { add("destroyed"); }
    void onEnter() override {
        Scene::onEnter();
        add("enter");
    }
    void onEnterTransitionFinished() override { add("enterFinished"); }
    void onExitTransitionStarted() override { add("exitStarted"); }
    void onExit() override {
        Scene::onExit();
        add("exit");
    }
    void cleanup() override { add("cleanup"); }
    void render(Renderer*) override { add("render"); }

private:
    void add(const char* call) {
        if (log_) log_->push_back(name_ + ":" + call);
    }
    std::string name_;
    std::vector<std::string>* log_ = nullptr;
};

class RecordingView : public GLView {
public:
    bool init() {
        setFrameSize(640.0f, 1136.0f);
        return true;
    }
    bool isOpenGLReady() override { return false; }
    void swapBuffers() override { log->push_back("view:swap"); }
    void setIMEKeyboardState(bool) override {}
    void end() override {
        log->push_back("view:end");
        release();
    }
    std::vector<std::string>* log = nullptr;
};

class DirectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::setFixed(1000.0);
        director = Director::getInstance();
        ASSERT_NE(director, nullptr);
    }
    void TearDown() override {
        // Shut the director down the way the game does.
        test::shutDownDirector();
        platform::Clock::useRealTime();
    }
    void frame(double seconds) {
        platform::Clock::advance(seconds);
        director->mainLoop();
    }

    Director* director = nullptr;
    std::vector<std::string> log;
};

TEST_F(DirectorTest, FirstFrameAfterStartOrResumeHasZeroDelta) {
    director->runWithScene(Scene::create());
    frame(0.5);
    EXPECT_EQ(director->getDeltaTime(), 0.0f);
    frame(1.0 / 60);
    EXPECT_THAT(director->getDeltaTime(), FloatEq(1.0f / 60));

    director->pause();  // restarts the animation at four frames a second
    frame(0.25);
    EXPECT_EQ(director->getDeltaTime(), 0.0f);
    frame(0.25);
    EXPECT_THAT(director->getDeltaTime(), FloatEq(0.25f));
    director->resume();
    frame(0.25);
    EXPECT_EQ(director->getDeltaTime(), 0.0f);
    frame(0.1);
    EXPECT_THAT(director->getDeltaTime(), FloatEq(0.1f));

    director->stopAnimation();
    director->startAnimation();
    frame(3.0);
    EXPECT_EQ(director->getDeltaTime(), 0.0f);
}

TEST_F(DirectorTest, ClockSteppingBackGivesZeroDeltaNotANegativeOne) {
    director->runWithScene(Scene::create());
    frame(0.0);
    frame(-0.5);
    EXPECT_EQ(director->getDeltaTime(), 0.0f);
    frame(0.75);  // measured from the frame before, not from the earlier time
    EXPECT_THAT(director->getDeltaTime(), FloatEq(0.75f));
}

TEST_F(DirectorTest, PausedDirectorStillDrawsButDoesNotStepTheScheduler) {
    int updates = 0, posted = 0;
    director->getScheduler()->schedulePerFrame([&](float) { ++updates; }, &updates, 0, false);
    director->runWithScene(LoggingScene::create("a", &log));
    frame(0.0);
    EXPECT_EQ(updates, 1);

    director->pause();
    EXPECT_TRUE(director->isPaused());
    EXPECT_DOUBLE_EQ(director->getAnimationInterval(), 0.25);
    director->getScheduler()->performFunctionInMainThread([&] { ++posted; });
    const unsigned framesBefore = director->getTotalFrames();
    log.clear();
    for (int i = 0; i < 3; ++i) frame(0.25);
    EXPECT_EQ(director->getTotalFrames(), framesBefore + 3);
    EXPECT_THAT(log, ElementsAre("a:render", "a:render", "a:render"));
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(posted, 0);

    director->resume();
    EXPECT_DOUBLE_EQ(director->getAnimationInterval(), 1.0 / 60);
    frame(1.0 / 60);
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(posted, 1);
}

TEST_F(DirectorTest, SceneSwitchWaitsForTheStartOfTheNextFrame) {
    director->runWithScene(LoggingScene::create("a", &log));
    EXPECT_EQ(director->getRunningScene(), nullptr);
    frame(1.0 / 60);
    EXPECT_THAT(log, ElementsAre("a:enter", "a:enterFinished", "a:render"));

    log.clear();
    LoggingScene* b = LoggingScene::create("b", &log);
    director->replaceScene(b);
    EXPECT_NE(director->getRunningScene(), b);
    EXPECT_THAT(log, IsEmpty());
    frame(1.0 / 60);
    // The outgoing scene is cleaned up and, no longer held, destroyed at the switch.
    EXPECT_THAT(log, ElementsAre("a:exitStarted", "a:exit", "a:cleanup", "a:destroyed", "b:enter", "b:enterFinished",
                                 "b:render"));
    EXPECT_EQ(director->getRunningScene(), b);
}

TEST_F(DirectorTest, SceneReplacedDuringAnUpdateIsDrawnInTheSameFrame) {
    director->runWithScene(LoggingScene::create("a", &log));
    frame(1.0 / 60);
    LoggingScene* b = LoggingScene::create("b", &log);
    b->retain();
    int key = 0;
    director->getScheduler()->schedulePerFrame(
        [&](float) {
            director->replaceScene(b);
            director->getScheduler()->unscheduleUpdate(&key);
        },
        &key, 0, false);
    log.clear();
    frame(1.0 / 60);
    EXPECT_THAT(log, ElementsAre("a:exitStarted", "a:exit", "a:cleanup", "a:destroyed", "b:enter", "b:enterFinished",
                                 "b:render"));
    b->release();
}

TEST_F(DirectorTest, ReplacingThePendingSceneCleansItUpAndTheSameSceneChangesNothing) {
    director->runWithScene(LoggingScene::create("a", &log));
    frame(1.0 / 60);
    LoggingScene* b = LoggingScene::create("b", &log);
    b->retain();
    director->replaceScene(b);
    director->replaceScene(b);
    log.clear();
    director->replaceScene(LoggingScene::create("c", &log));
    EXPECT_THAT(log, ElementsAre("b:cleanup"));  // pending, never running: no exit
    frame(1.0 / 60);
    EXPECT_EQ(log.back(), "c:render");
    b->release();
}

TEST_F(DirectorTest, ReplaceBeforeAnySceneRunsStartsLikeRunWithScene) {
    director->stopAnimation();
    director->replaceScene(LoggingScene::create("a", &log));
    EXPECT_FALSE(static_cast<DisplayLinkDirector*>(director)->isInvalid());
    EXPECT_FALSE(director->isSendCleanupToScene());
    frame(1.0 / 60);
    EXPECT_THAT(log, ElementsAre("a:enter", "a:enterFinished", "a:render"));
}

TEST_F(DirectorTest, StoppedAnimationDrawsNothingUntilStartedAgain) {
    director->runWithScene(LoggingScene::create("a", &log));
    frame(1.0 / 60);
    director->stopAnimation();
    log.clear();
    frame(1.0 / 60);
    frame(1.0 / 60);
    EXPECT_THAT(log, IsEmpty());
    EXPECT_EQ(director->getTotalFrames(), 1u);
    director->startAnimation();
    frame(1.0);
    EXPECT_THAT(log, ElementsAre("a:render"));
    EXPECT_EQ(director->getDeltaTime(), 0.0f);
}

TEST_F(DirectorTest, EndShutsDownOnTheNextPassWithoutDrawing) {
    auto* view = createAutoreleased<RecordingView>();
    view->log = &log;
    director->setGLView(view);
    int updates = 0;
    director->getScheduler()->schedulePerFrame([&](float) { ++updates; }, &updates, 0, false);
    director->runWithScene(LoggingScene::create("a", &log));
    frame(1.0 / 60);
    EXPECT_THAT(log, ElementsAre("a:enter", "a:enterFinished", "a:render", "view:swap"));

    log.clear();
    director->end();
    frame(1.0 / 60);
    EXPECT_THAT(log, ElementsAre("a:exit", "a:cleanup", "a:destroyed", "view:end"));
    EXPECT_EQ(updates, 1);

    // The next use builds a fresh director.
    director = Director::getInstance();
    EXPECT_EQ(director->getTotalFrames(), 0u);
    EXPECT_EQ(director->getRunningScene(), nullptr);
}

TEST_F(DirectorTest, ASceneThatNeverRanIsCleanedUpAndFreedAtTheEnd) {
    auto* view = createAutoreleased<RecordingView>();
    view->log = &log;
    director->setGLView(view);
    director->runWithScene(LoggingScene::create("waiting", &log));
    director->end();
    frame(1.0 / 60);
    PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_THAT(log, ElementsAre("waiting:cleanup", "view:end", "waiting:destroyed"));
    director = Director::getInstance();
}

TEST_F(DirectorTest, AutoreleasedObjectsGoAtTheEndOfTheFrame) {
    std::vector<std::string> sceneLog;
    director->runWithScene(LoggingScene::create("a", &log));
    LoggingScene::create("temporary", &sceneLog);
    frame(1.0 / 60);
    EXPECT_THAT(sceneLog, ElementsAre("temporary:destroyed"));
}

TEST_F(DirectorTest, MatrixStacksKeepAnIdentityAtTheBottomAndFramesLeaveThemBalanced) {
    using Type = MATRIX_STACK_TYPE;
    for (Type type : {Type::MATRIX_STACK_MODELVIEW, Type::MATRIX_STACK_PROJECTION, Type::MATRIX_STACK_TEXTURE})
        EXPECT_TRUE(director->getMatrix(type).isIdentity());

    Mat4 translate = Mat4::IDENTITY;
    translate.m[12] = 5.0f;
    director->loadMatrix(Type::MATRIX_STACK_PROJECTION, translate);
    director->pushMatrix(Type::MATRIX_STACK_PROJECTION);
    director->multiplyMatrix(Type::MATRIX_STACK_PROJECTION, translate);
    EXPECT_EQ(director->getMatrix(Type::MATRIX_STACK_PROJECTION).m[12], 10.0f);
    director->popMatrix(Type::MATRIX_STACK_PROJECTION);
    EXPECT_EQ(director->getMatrix(Type::MATRIX_STACK_PROJECTION).m[12], 5.0f);
    director->popMatrix(Type::MATRIX_STACK_PROJECTION);  // the bottom matrix stays
    EXPECT_EQ(director->getMatrix(Type::MATRIX_STACK_PROJECTION).m[12], 5.0f);
    director->loadIdentityMatrix(Type::MATRIX_STACK_PROJECTION);
    EXPECT_TRUE(director->getMatrix(Type::MATRIX_STACK_PROJECTION).isIdentity());

    // A frame pushes and pops the model-view stack around the scene's visit.
    director->loadMatrix(Type::MATRIX_STACK_MODELVIEW, translate);
    director->runWithScene(Scene::create());
    frame(1.0 / 60);
    EXPECT_EQ(director->getMatrix(Type::MATRIX_STACK_MODELVIEW), translate);
}

TEST_F(DirectorTest, WindowSizeFollowsTheViewsDesignResolution) {
    auto* view = createAutoreleased<RecordingView>();
    view->log = &log;
    EXPECT_EQ(director->getWinSize(), Size(0.0f, 0.0f));
    // Until the game sets one, the view's design resolution is its frame size.
    director->setGLView(view);
    EXPECT_EQ(director->getWinSize(), Size(640.0f, 1136.0f));
    view->setDesignResolutionSize(480.0f, 852.0f, ResolutionPolicy::EXACT_FIT);
    EXPECT_EQ(director->getWinSize(), Size(480.0f, 852.0f));
    EXPECT_EQ(director->getWinSizeInPixels(), Size(480.0f, 852.0f));
}

TEST_F(DirectorTest, GLLayerReadsTheFrameServicesOfTheLivingDirector) {
    director->runWithScene(Scene::create());
    frame(1.0 / 60);
    frame(1.0 / 60);
    EXPECT_EQ(getDirectorTotalFrames(), 2u);
    Mat4 scale = Mat4::IDENTITY;
    scale.m[0] = 2.0f;
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE, scale);
    EXPECT_EQ(getDirectorMatrix(2), scale);
    resetDirectorMatrixStacks();
    EXPECT_TRUE(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE).isIdentity());
    director->end();
    frame(1.0 / 60);
    EXPECT_EQ(getDirectorFrameServices().getMatrix, nullptr);
}

// Settings the director reads when it starts, written before it exists.
TEST(DirectorSettings, ComeFromTheConfiguration) {
    Configuration::getInstance()->setValue("kite.fps", Value(30));
    Configuration::getInstance()->setValue("kite.display_fps", Value(true));
    Configuration::getInstance()->setValue("kite.gl.projection", Value("2d"));
    Configuration::getInstance()->setValue("kite.texture.pixel_format_for_png", Value("rgba4444"));
    Director* director = Director::getInstance();
    EXPECT_DOUBLE_EQ(director->getAnimationInterval(), 1.0 / 30);
    EXPECT_TRUE(director->isDisplayStats());
    EXPECT_EQ(director->getProjection(), Director::Projection::_2D);
    EXPECT_EQ(Texture2D::getDefaultAlphaPixelFormat(), Texture2D::PixelFormat::RGBA4444);
    director->end();
    director->mainLoop();

    Configuration::getInstance()->setValue("kite.fps", Value(0));
    Configuration::getInstance()->setValue("kite.gl.projection", Value("4d"));
    director = Director::getInstance();
    EXPECT_DOUBLE_EQ(director->getAnimationInterval(), 1.0 / 60);
    EXPECT_FALSE(director->isDisplayStats());  // the director's end dropped the old settings
    EXPECT_EQ(director->getProjection(), Director::Projection::_3D);
    EXPECT_EQ(Texture2D::getDefaultAlphaPixelFormat(), Texture2D::PixelFormat::RGBA8888);
    director->end();
    director->mainLoop();
}

// The director's texture cache, with a GL context for the uploads.
class DirectorTextureCacheTest : public test::GLTest {
protected:
    void SetUp() override {
        test::GLTest::SetUp();
        if (HasFatalFailure()) return;
        platform::Clock::setFixed(1000.0);
        ASSERT_TRUE(folder_.made());
        director = Director::getInstance();
        ASSERT_NE(director, nullptr);
    }
    void TearDown() override {
        // The cache's textures go while the context is still current.
        test::shutDownDirector();
        platform::Clock::useRealTime();
        test::GLTest::TearDown();
    }
    void frame(double seconds) {
        platform::Clock::advance(seconds);
        director->mainLoop();
    }
    std::string writeImage(const std::string& name, int width, int height) {
        const std::string path = folder_.path() + "/" + name;
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width * height * 4), 180);
        return test::writePNG(path, width, height, rgba) ? path : std::string();
    }
    bool completionScheduled(TextureCache* cache) const {
        return director->getScheduler()->isScheduled(schedule_selector(&TextureCache::addImageAsyncCallBack), cache);
    }

    Director* director = nullptr;
    test::TemporaryFolder folder_{"director-textures"};
};

TEST_F(DirectorTextureCacheTest, AsyncLoadCompletesThroughFramesOfTheMainLoop) {
    TextureCache* cache = director->getTextureCache();
    ASSERT_NE(cache, nullptr);
    const std::string path = writeImage("tile.png", 4, 2);
    ASSERT_FALSE(path.empty());
    director->runWithScene(Scene::create());
    frame(0.0);

    Texture2D* delivered = nullptr;
    bool called = false;
    cache->addImageAsync(path, [&](Texture2D* texture) {
        called = true;
        delivered = texture;
    });
    EXPECT_TRUE(completionScheduled(cache));
    // Frames on the fixed clock until the loading thread has decoded and a frame has uploaded.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!called && std::chrono::steady_clock::now() < deadline) {
        frame(1.0 / 60);
        std::this_thread::yield();
    }
    ASSERT_TRUE(called);
    ASSERT_NE(delivered, nullptr);
    EXPECT_EQ(delivered->getPixelsWide(), 4);
    EXPECT_EQ(delivered->getPixelsHigh(), 2);
    EXPECT_EQ(cache->getTextureForKey(path), delivered);
    EXPECT_FALSE(completionScheduled(cache));
}

TEST_F(DirectorTextureCacheTest, ShutdownStopsTheLoadingThreadAndReleasesTheCacheAndItsTextures) {
    RefPtr<TextureCache> cache(director->getTextureCache());
    ASSERT_NE(cache.get(), nullptr);
    const std::string shown = writeImage("shown.png", 2, 2);
    const std::string pending = writeImage("pending.png", 2, 2);
    RefPtr<Texture2D> texture(cache->addImage(shown));
    ASSERT_NE(texture.get(), nullptr);
    const unsigned textureRefs = texture->getReferenceCount();
    bool called = false;
    cache->addImageAsync(pending, [&](Texture2D*) { called = true; });
    EXPECT_TRUE(cache->isLoadingThreadRunning());

    director->end();
    frame(1.0 / 60);
    EXPECT_FALSE(cache->isLoadingThreadRunning());
    EXPECT_FALSE(called);                       // a request still pending at shutdown never calls back
    EXPECT_EQ(cache->getReferenceCount(), 1u);  // only this test holds it now

    // The next director has a cache of its own.
    director = Director::getInstance();
    ASSERT_NE(director->getTextureCache(), nullptr);
    EXPECT_NE(director->getTextureCache(), cache.get());
    EXPECT_EQ(director->getTextureCache()->getTextureForKey(shown), nullptr);

    cache.reset();  // the last reference: the old cache goes with its textures
    EXPECT_EQ(texture->getReferenceCount(), textureRefs - 1);
}

TEST_F(DirectorTest, PreferencesChangedDuringAFrameAreOnDiskAfterIt) {
    test::TemporaryFolder folder("director-prefs");
    ASSERT_TRUE(folder.made());
    const std::string& root = folder.path();
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);

    director->runWithScene(Scene::create());
    int key = 0;
    director->getScheduler()->schedulePerFrame(
        [&](float) { UserDefault::getInstance()->setIntegerForKey("diamonds", 20); }, &key, 0, false);
    frame(1.0 / 60);
    UserDefault::getInstance()->flush();  // waits for the writer thread the frame handed them to
    std::ifstream in(root + "/stargrid/UserDefaults.plist");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("diamonds"), std::string::npos);

    director->end();
    frame(1.0 / 60);  // the shutdown writes and drops the store
    if (saved)
        setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace kite
