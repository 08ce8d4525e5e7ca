// The play screen in a test: a game scene stepped frame by frame, the sound service's calls recorded,
// the screen's dialogs found by type.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "BoardTestSupport.h"
#include "Classes/GameLayer.h"
#include "Classes/GameScene.h"
#include "Classes/QKSound.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/GLView.h"
#include "kite/scene/SceneDrawSupport.h"
#include "kite/scene/Touch.h"

namespace game::test {

// Every call the sound service passed to the audio engine, as "what file".
class SoundLog {
public:
    SoundLog() {
        QKSound::getInstance()->setListener(
            [this](const std::string& what, const std::string& file) { calls.push_back(what + " " + file); });
    }
    ~SoundLog() { QKSound::getInstance()->setListener(nullptr); }
    int count(const std::string& call) const {
        int n = 0;
        for (const std::string& c : calls) n += c == call;
        return n;
    }
    std::vector<std::string> calls;
};

class PlayScreenTest : public GameGLTest {
protected:
    int frameWidth() const override { return 640; }
    int frameHeight() const override { return 1136; }

    void SetUp() override {
        GameGLTest::SetUp();
        useScreen(frameHeight());
        QKSingleton* state = QKSingleton::getInstance();
        state->setMusicOnOff(true);
        state->setSoundOnOff(true);
        state->setGuideStatus(1);
        state->networkReachable = false;
        data->setDiamond(20);
        data->newGame();
    }
    void TearDown() override {
        // A scene the director runs ends with the director.
        if (scene && !runByDirector_) {
            scene->onExit();
            scene->cleanup();
        }
        scene = nullptr;
        kite::PoolManager::getInstance()->getCurrentPool()->clear();
        GameGLTest::TearDown();
    }
    // The director's view: an iPhone's frame of this height (1136 or 960 pixels) on the design size the
    // game gives it, 480 points wide, as the shell sets it.
    void useScreen(int height) {
        kite::test::shutDownDirector();
        auto* view = kite::createAutoreleased<kite::test::FixtureView>(context(), 640, height);
        ASSERT_TRUE(view);
        const bool tall = height > 960;
        view->setDesignResolutionSize(480.0f, tall ? 852.0f : 720.0f, kite::ResolutionPolicy::EXACT_FIT);
        kite::Director::getInstance()->setGLView(view);
        QKSingleton::getInstance()->tallScreen = tall;
    }
    // A touch at a pixel of the frame (from the top left), placed as the view places a finger's.
    kite::Touch* touchAtPixel(float x, float y) {
        kite::GLView* view = kite::Director::getInstance()->getOpenGLView();
        touch_.setTouchInfo(0, x / view->getScaleX(), y / view->getScaleY());
        return &touch_;
    }

    void startScene() {
        scene = GameScene::create();
        ASSERT_NE(scene.get(), nullptr);
        scene->onEnter();
        layer = QKSingleton::getInstance()->getGameLayer();
        ASSERT_NE(layer, nullptr);
    }
    // The same, run by the director: a finger on the view reaches the screen's buttons.
    void startSceneOnDirector() {
        scene = GameScene::create();
        ASSERT_NE(scene.get(), nullptr);
        kite::Director* director = kite::Director::getInstance();
        director->runWithScene(scene.get());
        director->mainLoop();
        runByDirector_ = true;
        layer = QKSingleton::getInstance()->getGameLayer();
        ASSERT_NE(layer, nullptr);
    }
    // A finger down and up on the view at a design point (from the bottom left), as the host view hands it on.
    static void tapOnView(const kite::Vec2& point) {
        kite::GLView* view = kite::Director::getInstance()->getOpenGLView();
        intptr_t id = 9;
        float x = point.x * view->getScaleX();
        float y = (view->getDesignResolutionSize().height - point.y) * view->getScaleY();
        view->handleTouchesBegin(1, &id, &x, &y);
        view->handleTouchesEnd(1, &id, &x, &y);
    }
    void frame() { kite::Director::getInstance()->getScheduler()->update(kFrame); }
    void frames(int n) {
        for (int i = 0; i < n; ++i) frame();
    }
    void seconds(float s) { frames(static_cast<int>(s * 60 + 0.5f)); }
    // Until the first board is in place and still.
    StarMatrix* waitForBoard() {
        for (int i = 0; i < 600 && !(layer->getBoard() && !layer->getBoard()->isMoving()); ++i) frame();
        return layer->getBoard();
    }
    // Until the move in progress is over and every piece is in its cell.
    void settle(StarMatrix* board) {
        for (int i = 0; i < 2000 && (!board->isTouchEnabled() || board->isMoving()); ++i) frame();
    }

    GameData* data = GameData::getInstance();
    kite::RefPtr<GameScene> scene;
    GameLayer* layer = nullptr;

private:
    kite::Touch touch_;
    bool runByDirector_ = false;
};

}  // namespace game::test
