// The game executable against the local game server, headless, as a player would start it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Classes/GameHelpers.h"
#include "GameProcess.h"
#include "GameSockets.h"
#include "LocalServer.h"
#include "platform/PngFile.h"
#include "platform/UrlHandover.h"
#include "support/TemporaryFolder.h"

namespace {

using stargrid::test::Game;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

class GameAgainstServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(stargrid::test::startWithLocalServer(folder, server));
    }

    // Waits (bounded) until the game on environment()'s folders takes launches at the pace of its frames, past
    // its first ones: what a launch that expects its answer relies on ("running on" comes before).
    bool takesLaunches() const {
        return stargrid::test::waitUntilTakingLaunches(
            stargrid::test::handoverSocket(folder.path(), folder.path() + "/data/stargrid"), stargrid::test::kGameWait);
    }

    std::vector<std::string> environment(const char* network = "up") const {
        const std::string root = folder.path();
        return {"SDL_VIDEODRIVER=offscreen",
                "ALSOFT_DRIVERS=null",
                "XDG_CONFIG_HOME=" + root + "/config",
                "XDG_DATA_HOME=" + root + "/data",
                "XDG_CACHE_HOME=" + root + "/cache",
                "XDG_RUNTIME_DIR=" + root,
                "STARGRID_NETWORK=" + std::string(network),
                "STARGRID_BOOTSTRAP_URL=" + server->url("/bus_ser_ios.html")};
    }

    // The preferences a player who bound this phone before would have.
    void boundPhone(const std::string& phone, const std::string& password) {
        ASSERT_TRUE(server->store().seedAccount({phone, base64Encode(password), 0, 0, 2}));
        folder.put("config/stargrid/UserDefaults.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>cellphone</key><string>" +
                       base64Encode(phone) +
                       "</string>"
                       "<key>password</key><string>" +
                       base64Encode(password) +
                       "</string>"
                       "<key>playerStatus</key><integer>1</integer></dict></plist>\n");
    }

    std::vector<std::string> requestedPaths() const {
        std::vector<std::string> paths;
        for (const auto& entry : server->requestLog().since(0)) paths.push_back(entry.path);
        return paths;
    }

    static std::optional<Rgb> pixel(const std::string& path, unsigned x, unsigned y) {
        std::optional<platform::PngImage> png = platform::readPng(path);
        if (!png || x >= static_cast<unsigned>(png->width) || y >= static_cast<unsigned>(png->height))
            return std::nullopt;
        const std::uint8_t* p = &png->rgba[(static_cast<std::size_t>(y) * png->width + x) * 4];
        return Rgb{p[0], p[1], p[2]};
    }

    kite::test::TemporaryFolder folder{"stargrid-e2e"};
    std::unique_ptr<stargrid_server::GameServer> server;
};

TEST_F(GameAgainstServer, WithABoundPhoneTheStartupChainLogsInAndCountsRedPackets) {
    boundPhone("13812345678", "1234");
    Game game({"--frames", "120"}, environment());
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(std::chrono::seconds(60)), 0);
    EXPECT_THAT(requestedPaths(),
                ElementsAre("/bus_ser_ios.html", "/game/BindAccount", "/game/RedbagCount", "/game/Version"));
}

TEST_F(GameAgainstServer, WithoutAPhoneTheChainIsTheBootstrapPageAndTheVersion) {
    Game game({"--frames", "120"}, environment());
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(std::chrono::seconds(60)), 0);
    EXPECT_THAT(requestedPaths(), ElementsAre("/bus_ser_ios.html", "/game/Version"));
    EXPECT_THAT(game.lines(), Contains("当前网路环境：WiFi"));
}

TEST_F(GameAgainstServer, WithoutANetworkTheGameSaysSoOverTheMenu) {
    const std::string down = folder.path() + "/down.png";
    Game offline({"--frames", "40", "--fixed-step", "--shot", "35:" + down}, environment("down"));
    ASSERT_EQ(offline.waitForExit(std::chrono::seconds(60)), 0);
    EXPECT_THAT(offline.lines(), Contains("当前网路环境：无网络"));
    EXPECT_THAT(offline.lines(), Contains("AlertView: 提示 / 当前无网络！系统将不会上传您的成绩到排行榜！ [确认]"));
    // The shade dims the menu's background beside the alert: design point (60, 600), iphone5 pixel (80, 336),
    // is darker than the background image there (a wait box would dim it too, but not cover the middle).
    const auto beside = pixel(down, 80, 336);
    const auto background = pixel(STARGRID_SOURCE_DIR "/Resources/Menu/bg_menuscene.png", 60, 252);
    ASSERT_TRUE(beside && background);
    // The shade is black at about half: what shows through is well under three quarters of the picture.
    EXPECT_LT(4 * (beside->r + beside->g + beside->b), 3 * (background->r + background->g + background->b));
    // The alert's box is centred: its left part covers design point (90, 400), iphone5 pixel (120, 603).
    const auto box = pixel(down, 120, 603);
    const auto boxImage = pixel(STARGRID_SOURCE_DIR "/Resources/Common/pop_alert.png", 30, 136);
    ASSERT_TRUE(box && boxImage);
    EXPECT_NEAR(box->r, boxImage->r, 24);
    EXPECT_NEAR(box->g, boxImage->g, 24);
    EXPECT_NEAR(box->b, boxImage->b, 24);
}

TEST_F(GameAgainstServer, WithTheNetworkThereIsNoAlert) {
    Game online({"--frames", "10", "--fixed-step"}, environment("up"));
    ASSERT_EQ(online.waitForExit(std::chrono::seconds(60)), 0);
    EXPECT_THAT(online.lines(), Not(Contains(HasSubstr("AlertView"))));
}

TEST_F(GameAgainstServer, ASecondLaunchHandsItsUrlToTheRunningGameAndEndsAtOnce) {
    Game running({"--frames", "100000"}, environment());
    ASSERT_TRUE(running.waitForLine("running on", std::chrono::seconds(60)));
    ASSERT_TRUE(takesLaunches());
    const std::string url = "pg5e18c0a7d94b2f63://platformId=pigeon&ret=0";
    Game second({url}, environment());
    EXPECT_EQ(second.waitForExit(std::chrono::seconds(20)), 0);
    EXPECT_THAT(second.lines(), Not(Contains(HasSubstr("running on"))));
    EXPECT_TRUE(running.waitForLine("AppController: open URL " + url, std::chrono::seconds(20)));
    running.signal(SIGTERM);
    EXPECT_EQ(running.waitForExit(std::chrono::seconds(30)), 0);
}

TEST_F(GameAgainstServer, AFirstLaunchWithAUrlOpensItItself) {
    const std::string url = "pg5e18c0a7d94b2f63://platformId=pigeon&ret=0";
    Game game({"--frames", "5", url}, environment());
    EXPECT_EQ(game.waitForExit(std::chrono::seconds(60)), 0);
    EXPECT_THAT(game.lines(), Contains("AppController: open URL " + url));
}

TEST_F(GameAgainstServer, ADeeplyNestedReplyIsAMalformedOneAndTheGamePlaysOn) {
    stargrid_server::ReplyOverride deep;
    deep.path = "/bus_ser_ios.html";
    ASSERT_TRUE(deep.applyKind("deep"));
    server->overrides().push(deep);
    Game game({"--frames", "120"}, environment());
    EXPECT_EQ(game.waitForExit(std::chrono::seconds(60)), 0);
    EXPECT_THAT(game.lines(),
                Contains("ServerReply: the reply to WebSer is not a JSON object: nested deeper than 64 levels"));
    // The chain ended there, as for any malformed reply.
    EXPECT_THAT(requestedPaths(), ElementsAre("/bus_ser_ios.html"));
}

// Hands a URL to the running game through its socket, as a second launch does, confirming it when it was
// accepted; the game's answer line ("accepted" or "refused: <reason>"), empty when none came.
std::string handOver(const std::string& socket, const std::string& url) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    const std::string line = url + "\n";
    const bool sent = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    timeval patience{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    std::string answer;
    char buffer[256];
    for (ssize_t n; sent && answer.find('\n') == std::string::npos && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<std::size_t>(n));
    answer = answer.substr(0, answer.find('\n'));
    if (answer == "accepted") send(fd, "ok\n", 3, MSG_NOSIGNAL);
    close(fd);
    return answer;
}

TEST_F(GameAgainstServer, ADeeplyNestedCardListHandedOverIsAnEmptyOne) {
    Game running({"--frames", "100000"}, environment());
    ASSERT_TRUE(running.waitForLine("running on", std::chrono::seconds(60)));
    ASSERT_TRUE(takesLaunches());
    // 1.2 KB that aborted the game.
    const std::string url = "pg5e18c0a7d94b2f63://cardPackage/x?addCardInfo=" + std::string(1100, '[');
    Game second({url}, environment());
    EXPECT_EQ(second.waitForExit(std::chrono::seconds(20)), 0);
    EXPECT_TRUE(running.waitForLine("AlertView: add card resp /  [确定]", std::chrono::seconds(20)));
    running.signal(SIGTERM);
    EXPECT_EQ(running.waitForExit(std::chrono::seconds(30)), 0);
}

TEST_F(GameAgainstServer, AFloodOfHandedOverUrlsIsPacedAndBounded) {
    Game running({"--frames", "100000"}, environment());
    ASSERT_TRUE(running.waitForLine("running on", std::chrono::seconds(60)));
    ASSERT_TRUE(takesLaunches());
    const std::string socket = stargrid::test::handoverSocket(folder.path(), folder.path() + "/data/stargrid");
    const auto started = std::chrono::steady_clock::now();
    long accepted = 0;
    for (int i = 0; i < 150; ++i) {
        const std::string card = "%5B%7B%22card_id%22%3A%22" + std::to_string(i) + "%22%7D%5D";
        const std::string answer = handOver(socket, "pg5e18c0a7d94b2f63://cardPackage/x?addCardInfo=" + card);
        if (answer != "accepted") {
            ASSERT_EQ(answer, "refused: 16 URLs wait already") << i;
        } else {
            ++accepted;
        }
    }
    running.signal(SIGTERM);
    EXPECT_EQ(running.waitForExit(std::chrono::seconds(30)), 0);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // At most four a second were opened, each with its alert, and those still waiting at once when the
    // game quit: every one whose sender heard it taken; the rest were refused.
    const long opened = std::count_if(running.lines().begin(), running.lines().end(), [](const std::string& line) {
        return line.rfind("AppController: open URL", 0) == 0;
    });
    EXPECT_EQ(opened, accepted);
    EXPECT_LE(opened, static_cast<long>(elapsed * 4) + 2 + static_cast<long>(platform::UrlHandover::kMostWaiting));
}

}  // namespace

namespace {

// scripts/play as a new player runs it, in a login session's usual mask (new files readable by everyone), in a
// home of its own; its exit status. It builds into <source>/build, so it is tried only from that build.
bool playScriptRunsHere() {
    const std::filesystem::path executable(STARGRID_EXECUTABLE);
    return executable.parent_path() == std::filesystem::path(STARGRID_SOURCE_DIR) / "build";
}
int runPlayScript(const kite::test::TemporaryFolder& home, const std::string& args) {
    const std::string command = "cd " + home.path() + " && umask 022 && HOME=" + home.path() +
                                " XDG_DATA_HOME=" + home.path() + "/data XDG_CONFIG_HOME=" + home.path() +
                                "/config XDG_CACHE_HOME=" + home.path() + "/cache XDG_RUNTIME_DIR=" + home.path() +
                                " SDL_VIDEODRIVER=offscreen STARGRID_NETWORK=up " STARGRID_SOURCE_DIR "/scripts/play " +
                                args + " >" + home.path() + "/play.log 2>&1";
    return std::system(command.c_str());
}

TEST(PlayScript, StartsTheLocalServerAndTheGameOnItsMenuAndEndsWithTheGame) {
    if (!playScriptRunsHere()) GTEST_SKIP() << "scripts/play builds into the source's build/ folder, not this one";
    kite::test::TemporaryFolder home("stargrid-play");
    ASSERT_TRUE(home.made());
    const std::string shot = home.path() + "/menu.png";
    ASSERT_EQ(runPlayScript(home, "--frames 90 --shot 80:" + shot), 0);
    std::ifstream log(home.path() + "/cache/stargrid/server.log");
    std::vector<std::string> requests;
    int statisticsReports = 0;
    for (std::string line; std::getline(log, line);) {
        if (line.find(" -> ") == std::string::npos) continue;
        const std::string request = line.substr(0, line.find(" -> "));
        // Registration with the messenger starts statistics, which report on their own schedule.
        if (request == "stargrid-server: POST /mstat/report") {
            ++statisticsReports;
        } else {
            requests.push_back(request);
        }
    }
    EXPECT_GT(statisticsReports, 0);
    EXPECT_THAT(requests,
                ElementsAre("stargrid-server: GET /bus_ser_ios.html",
                            "stargrid-server: GET /game/Version?devicetype=1&version=1&apptype=1&channel=8888"));
    std::ifstream desktop(home.path() + "/data/applications/stargrid.desktop");
    std::string entry((std::istreambuf_iterator<char>(desktop)), std::istreambuf_iterator<char>());
    EXPECT_THAT(entry, HasSubstr("MimeType=x-scheme-handler/pg5e18c0a7d94b2f63;"));
    // The menu's background shows beside the buttons (design point (60, 600), iphone5 pixel (80, 336)).
    std::optional<platform::PngImage> frame = platform::readPng(shot);
    std::optional<platform::PngImage> background =
        platform::readPng(STARGRID_SOURCE_DIR "/Resources/Menu/bg_menuscene.png");
    ASSERT_TRUE(frame && background);
    const std::uint8_t* seen = &frame->rgba[(336u * frame->width + 80u) * 4];
    const std::uint8_t* drawn = &background->rgba[(252u * background->width + 60u) * 4];
    for (int channel = 0; channel < 3; ++channel) EXPECT_NEAR(seen[channel], drawn[channel], 24);
}

// The file mode of a path; -1 when it is not there.
int modeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

TEST(PlayScript, KeepsTheLocalServersDatabaseAndLogToTheirOwner) {
    if (!playScriptRunsHere()) GTEST_SKIP() << "scripts/play builds into the source's build/ folder, not this one";
    kite::test::TemporaryFolder home("stargrid-play");
    ASSERT_TRUE(home.made());
    // A cache folder an older version left open to others is narrowed.
    std::filesystem::create_directories(home.path() + "/cache/stargrid");
    ASSERT_EQ(::chmod((home.path() + "/cache/stargrid").c_str(), 0755), 0);
    ASSERT_EQ(runPlayScript(home, "--frames 30"), 0);
    EXPECT_EQ(modeOf(home.path() + "/data/stargrid"), 0700);
    EXPECT_EQ(modeOf(home.path() + "/cache/stargrid"), 0700);
    EXPECT_EQ(modeOf(home.path() + "/data/stargrid/server.db"), 0600);
    EXPECT_EQ(modeOf(home.path() + "/cache/stargrid/server.log"), 0600);
}

}  // namespace
