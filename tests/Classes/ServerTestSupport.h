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
#include "kite/http/HttpTestSupport.h"
#include "kite/scene/Scene.h"
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
        scene->onEnter();
    }
    void TearDown() override {
        ServerExchange::destroyClient(true);
        QKSingleton::getInstance()->removePopup();
        scene->onExit();
        scene->cleanup();
        scene = nullptr;
        unsetenv("STARGRID_BOOTSTRAP_URL");
        server.reset();
        GameGLTest::TearDown();
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
    bool settle() { return kite::test::stepFramesUntil([] { return ServerExchange::waitingCount() == 0; }); }

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

}  // namespace game::test
