// The shop and sale screens running headless with the game's store: scripted taps at design
// points, frames, shots, and the local store's state.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Classes/PlatformAlert.h"
#include "Classes/QKSingleton.h"
#include "GameTestSupport.h"
#include "kite/platform/Application.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/platform/ScriptPlayer.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"
#include "platform/HostLoop.h"
#include "platform/LocalStore.h"
#include "support/RunningScene.h"

namespace game::test {

class StoreScreenTest : public kite::test::RunningSceneTest {
protected:
    struct App : kite::Application {
        bool didFinishLaunching() override { return true; }
        void didEnterBackground() override { kite::Director::getInstance()->stopAnimation(); }
        void willEnterForeground() override { kite::Director::getInstance()->startAnimation(); }
    };

    void SetUp() override {
        RunningSceneTest::SetUp();
        environment = std::make_unique<GameEnvironment>();
        platform::LocalStore::shared().reset();
        unsetenv("STARGRID_STORE");
        GameData::getInstance()->setDiamond(20);
        // The shell's alert presenter draws; here each alert is kept as "title|message|button".
        platformAlert::setPresenter([this](const std::string& title, const std::string& message,
                                           const std::string& button) {
            alerts.push_back(title + "|" + message + "|" + button);
        });
        app.run();
    }
    void TearDown() override {
        QKSingleton::getInstance()->removePopup();
        QKSingleton::getInstance()->endPurchase();
        frames(2);
        platform::LocalStore::shared().reset();
        unsetenv("STARGRID_STORE");
        platformAlert::setPresenter(nullptr);
        player.reset();
        environment.reset();
        RunningSceneTest::TearDown();
    }

    // Taps at a design point (y up) F frames from now, by the input script, as a player's would.
    void tapAt(float x, float y) { play("tap 1 " + pixels(x, y) + "\n"); }
    void shot(const std::string& name) {
        const std::string folder = STARGRID_TEST_ARTIFACTS;
        std::filesystem::create_directories(folder);
        play("shot 1 " + folder + "/" + name + "\n");
    }
    // Runs the loop for n frames (each pass draws one in fixed steps).
    void frames(int n) {
        for (int i = 0; i < n; ++i) loop().runOnce();
    }
    static std::string pixels(float x, float y) {
        const float scale = 1136.0f / 852.0f;
        return std::to_string(static_cast<int>(x * scale)) + " " +
               std::to_string(static_cast<int>((852.0f - y) * scale));
    }
    void play(const std::string& text) {
        std::string error;
        auto script = platform::InputScript::parse(text, &error);
        ASSERT_TRUE(script) << error;
        player = std::make_unique<kite::ScriptPlayer>(*script, loop());
        player->setHostView(hostView);
        platform::HostLoop::Handlers handlers;
        handlers.input = [view = hostView](const platform::InputEvent& e) { view->handleInput(e); };
        handlers.afterPass = [this] { player->afterPass(); };
        loop().setHandlers(handlers);
        player->start();
        frames(3);
    }
    int diamonds() const { return GameData::getInstance()->getDiamond(); }
    std::size_t unfinished() const { return platform::LocalStore::shared().unfinishedTransactions().size(); }
    kite::UserDefault* store() { return kite::UserDefault::getInstance(); }

    App app;
    std::vector<std::string> alerts;  // the platform alerts shown
    std::unique_ptr<GameEnvironment> environment;
    std::unique_ptr<kite::ScriptPlayer> player;
};

}  // namespace game::test
