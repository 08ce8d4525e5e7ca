// The game executable showing a real web page (WebKitGTK on a virtual display) against the local game
// server: the lifecycle signals keep their meaning once WebKit is loaded.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ConsoleClient.h"
#include "GameProcess.h"
#include "LocalServer.h"
#include "support/TemporaryFolder.h"

namespace {

using stargrid::test::freeLoopbackPort;
using stargrid::test::Game;
using stargrid::test::sendToConsole;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// The activity button of the menu on iphone5, in window pixels from the top left (design point (418, 60)).
constexpr int kActivityX = 558, kActivityY = 1056;

// Real pages: run by the virtual-display test entry (xvfb-run), skipped elsewhere.
class StargridOnADisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
        ASSERT_NO_FATAL_FAILURE(stargrid::test::startWithLocalServer(folder, server));
    }

    std::vector<std::string> environment(int consolePort) const {
        const std::string root = folder.path();
        return {"SDL_VIDEODRIVER=offscreen",
                "ALSOFT_DRIVERS=null",
                "WAYLAND_DISPLAY",
                "STARGRID_DEVICE=iphone5",
                "XDG_CONFIG_HOME=" + root + "/config",
                "XDG_DATA_HOME=" + root + "/data",
                "XDG_CACHE_HOME=" + root + "/cache",
                "XDG_RUNTIME_DIR=" + root,
                "STARGRID_NETWORK=up",
                "STARGRID_BOOTSTRAP_URL=" + server->url("/bus_ser_ios.html"),
                "STARGRID_CONSOLE_PORT=" + std::to_string(consolePort)};
    }

    // Waits, at most 60 s, until the server has served the path.
    bool servedWithin60s(const std::string& path) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            for (const auto& entry : server->requestLog().since(0))
                if (entry.path == path) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    kite::test::TemporaryFolder folder{"stargrid-webpage"};
    std::unique_ptr<stargrid_server::GameServer> server;
};

// A user's collector signal that means something else (SIGCHLD, which WebKit's spawns end with) is replaced
// too, so no library takes a lifecycle signal to begin with.
TEST_F(StargridOnADisplay, UserSignalsKeepTheirMeaningOnceTheActivityPageWasShown) {
    const int port = freeLoopbackPort();
    ASSERT_GT(port, 0);
    std::vector<std::string> env = environment(port);
    env.push_back("JSC_SIGNAL_FOR_GC=17");
    Game game({}, env, true);
    ASSERT_TRUE(game.started());
    // The start-up chain ends with the version: its wait box is gone, the menu takes taps.
    ASSERT_TRUE(game.waitForLine("Completed Tag : Version", std::chrono::seconds(60)));
    ASSERT_TRUE(
        sendToConsole(port, "touch tap " + std::to_string(kActivityX) + " " + std::to_string(kActivityY) + "\n"));
    ASSERT_TRUE(servedWithin60s("/pages/activity.html")) << "the page was never shown";

    game.signal(SIGUSR1);
    ASSERT_TRUE(game.waitForLine("stargrid: entering the background"));
    game.signal(SIGUSR2);
    ASSERT_TRUE(game.waitForLine("stargrid: entering the foreground"));
    game.signal(SIGTERM);
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre(HasSubstr("running on iphone5"), "stargrid: entering the background",
                                               "stargrid: entering the foreground", "stargrid: entering the background",
                                               "stargrid: quit"));
    EXPECT_THAT(game.lines(), Contains("Signals: JSC_SIGNAL_FOR_GC \"17\" is not a signal WebKit may take; it takes " +
                                       std::to_string(SIGRTMIN + 1)));
    EXPECT_THAT(game.lines(), Not(Contains(HasSubstr("Signals: a library"))));
}

}  // namespace
