// Game tests that talk to the local game server, started in-process on a free loopback port,
// with a running scene for the screens and frames stepped until the replies have come.
#pragma once
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes/GameHelpers.h"
#include "Classes/QKSingleton.h"
#include "Classes/ServerExchange.h"
#include "GameTestSupport.h"
#include "kite/foundation/Create.h"
#include "kite/http/HttpTestSupport.h"
#include "kite/scene/IMEDispatcher.h"
#include "kite/scene/Scene.h"
#include "kite/scene/SceneDrawSupport.h"
#include "platform/Clock.h"
#include "support/LogCapture.h"
#include "support/QuietStdout.h"
#include "tools/server/GameServer.h"

namespace game::test {

class ServerGameTest : public GameGLTest {
protected:
    void SetUp() override {
        GameGLTest::SetUp();
        stargrid_server::GameServer::Options options;
        options.echo = false;
        std::string error;
        server = stargrid_server::GameServer::start(options, &error);
        ASSERT_TRUE(server) << error;
        setenv("STARGRID_BOOTSTRAP_URL", server->url("/bus_ser_ios.html").c_str(), 1);
        QKSingleton* state = QKSingleton::getInstance();
        state->networkReachable = true;
        state->redPacketCount = 0;
        state->bundleVersion = 1;
        state->setHttpRequestURL(server->url("/game"));
        scene = kite::Scene::create();
        enterScene();
    }
    void TearDown() override {
        ServerExchange::destroyClient(true);
        QKSingleton::getInstance()->removePopup();
        exitScene();
        scene = nullptr;
        unsetenv("STARGRID_BOOTSTRAP_URL");
        server.reset();
        GameGLTest::TearDown();
    }

    // The scene is on stage without a director's frames; a test that draws runs it instead.
    virtual void enterScene() { scene->onEnter(); }
    virtual void exitScene() {
        scene->onExit();
        scene->cleanup();
    }

    // Binds a phone on the server and on the device, as the binding screen leaves them.
    void bindAccount(const std::string& phone, const std::string& password, int redPackets = 0, int diamonds = 0) {
        ASSERT_TRUE(server->store().seedAccount({phone, base64Encode(password), 0, diamonds, redPackets}));
        QKSingleton::getInstance()->setCellphone(base64Encode(phone));
        QKSingleton::getInstance()->setPassword(base64Encode(password));
    }

    // The paths the server was asked for, in order.
    std::vector<std::string> requestedPaths() const {
        std::vector<std::string> paths;
        for (const auto& entry : server->requestLog().since(0)) paths.push_back(entry.path);
        return paths;
    }

    // Frames until every request sent has been answered (or the limit passes).
    bool settle() {
        return kite::test::stepFramesUntil([] { return ServerExchange::waitingCount() == 0; });
    }

    // Makes the server's next reply to the path (any path when empty) of this kind.
    void nextReply(const std::string& path, const std::string& kind) {
        stargrid_server::ReplyOverride override;
        override.path = path;
        ASSERT_TRUE(override.applyKind(kind));
        server->overrides().push(override);
    }
    void nextCode(const std::string& path, const std::string& code) {
        stargrid_server::ReplyOverride override;
        override.path = path;
        override.code = code;
        server->overrides().push(override);
    }

    std::unique_ptr<stargrid_server::GameServer> server;
    kite::RefPtr<kite::Scene> scene;
};

// The same, with the scene run by the director on a headless frame of the game's design size
// (an iPhone 5 at half its pixels), so a test can look at what a screen shows.
class DrawnServerGameTest : public ServerGameTest {
protected:
    int frameWidth() const override { return 480; }
    int frameHeight() const override { return 852; }

    void enterScene() override {
        platform::Clock::setFixed(10.0);
        kite::test::shutDownDirector();
        director = kite::Director::getInstance();
        auto* view = kite::createAutoreleased<kite::test::FixtureView>(context(), frameWidth(), frameHeight());
        ASSERT_TRUE(view);
        view->setDesignResolutionSize(frameWidth(), frameHeight(), kite::ResolutionPolicy::EXACT_FIT);
        director->setGLView(view);
        // Made again now that there is a window size, so its camera sees the frame.
        scene = kite::Scene::create();
        director->runWithScene(scene.get());
        frames(1);
    }
    void exitScene() override {
        kite::GLView::releaseAllTouches();
        kite::test::shutDownDirector();
        platform::Clock::useRealTime();
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            platform::Clock::advance(1.0 / 60.0);
            director->mainLoop();
        }
    }
    // Every reply in, then a quarter second of frames for the pop-in to settle.
    void settleAndDraw() {
        ASSERT_TRUE(settle());
        frames(15);
    }
    // The frame's pixel under a point of a node, in design points (one per frame pixel).
    kite::test::Pixel pixelAt(kite::Node* node, const kite::Vec2& local) const {
        const kite::Vec2 world = node->convertToWorldSpace(local);
        return readPixel(static_cast<int>(world.x), static_cast<int>(world.y));
    }

    // A finger down and up on a node, at a fraction of its size (the middle by default), after a
    // frame has placed it.
    void tap(kite::Node* node, const kite::Vec2& fraction = kite::Vec2(0.5f, 0.5f)) {
        const kite::Size size = node->getContentSize();
        const kite::Vec2 world =
            node->convertToWorldSpace(kite::Vec2(size.width * fraction.x, size.height * fraction.y));
        intptr_t id = 7;
        float x = world.x;
        float y = static_cast<float>(frameHeight()) - world.y;
        director->getOpenGLView()->handleTouchesBegin(1, &id, &x, &y);
        director->getOpenGLView()->handleTouchesEnd(1, &id, &x, &y);
    }
    static void type(const std::string& text) {
        kite::IMEDispatcher::sharedDispatcher()->dispatchInsertText(text.data(), text.size());
    }

    // What the log holds from its last alert on.
    static std::string lastAlert(const kite::test::LogCapture& log) {
        const std::string text = log.text();
        const std::size_t at = text.rfind("QKSingleton: alert");
        return at == std::string::npos ? "" : text.substr(at);
    }

    kite::Director* director = nullptr;
};

}  // namespace game::test
