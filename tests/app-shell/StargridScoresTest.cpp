// Levels ended with a prop, played through the game executable against the local game server: the level's
// score reaches the server and the leaderboard shows it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Classes/GameHelpers.h"
#include "GameProcess.h"
#include "LocalServer.h"
#include "ScreenTour.h"
#include "StargridRun.h"
#include "support/GLTest.h"
#include "support/ScreenLayout.h"
#include "support/TemporaryFolder.h"

namespace {

using namespace stargrid::test;
namespace fs = std::filesystem;

const char* const kPhone = "13812345678";
const char* const kMaskedPhone = "138****5678";

// A full board on which no two neighbours share a colour (across, colours one apart; down, two apart), but
// for the pairs made in the top row: each pair's right piece takes its left one's colour.
board::Cells pairsInTheTopRow(const std::vector<int>& leftColumns) {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index)
        cells[index] = (2 * board::rowOf(index) + board::columnOf(index)) % board::kColourCount;
    for (int column : leftColumns) cells[board::cellIndex(0, column + 1)] = cells[board::cellIndex(0, column)];
    return cells;
}

class StargridScores : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(startWithLocalServer(folder, server));
        ASSERT_TRUE(server->store().seedAccount({kPhone, base64Encode("1234"), 0, 0, 0}));
        shots = kite::test::artifactsDirectory() + "/scores/" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(shots);
        fs::create_directories(shots);
    }

    // A bound player's game on the board with the score, at level 1 with the server's game tag; the count of
    // pieces left is the previous level's.
    void storePlayer(const board::Cells& cells, int score) const {
        writeStoredGame(folder.path() + "/config/stargrid/UserDefaults.plist", cells,
                        {{"cellphone", "<string>" + base64Encode(kPhone) + "</string>"},
                         {"password", "<string>" + base64Encode("1234") + "</string>"},
                         {"gametag", "<string>1</string>"},
                         {"gameID", "<string>{2B3C4D5E-0001-0002-0003-000400050006}</string>"},
                         {"remainStarCount", "<integer>7</integer>"},
                         {"currentScore", "<integer>" + std::to_string(score) + "</integer>"}});
    }

    // Runs the game on the script; true when it ended well.
    bool play(const std::string& run, TourScript& script) {
        const std::string file = shots + "/" + run + ".script";
        std::ofstream(file) << script.finish();
        const std::string home = folder.path();
        Game game({"--device", device.name, "--fixed-step", "--script", file},
                  {"SDL_VIDEODRIVER=offscreen", "ALSOFT_DRIVERS=null", "XDG_CONFIG_HOME=" + home + "/config",
                   "XDG_DATA_HOME=" + home + "/data", "XDG_CACHE_HOME=" + home + "/cache", "XDG_RUNTIME_DIR=" + home,
                   "STARGRID_NETWORK=up", "STARGRID_SEED=7",
                   "STARGRID_BOOTSTRAP_URL=" + server->url("/bus_ser_ios.html")});
        return game.started() && game.waitForExit(std::chrono::seconds(240)) == 0;
    }
    // From the menu into the resumed game, its board in place.
    TourScript startPlaying() const {
        TourScript script(device, shots);
        script.wait(20).network().wait(20).tap(at.start(), 200);
        return script;
    }
    // The level's end: the pieces left are cleared one by one, then the score goes to the server.
    static void finishLevel(TourScript& script) { script.wait(600).network(2).wait(10); }

    // The bodies of the scores the game submitted.
    std::vector<std::string> submittedScores() const {
        std::vector<std::string> bodies;
        for (const auto& entry : server->requestLog().since(0))
            if (entry.path == "/game/SubmitScore") bodies.push_back(entry.body);
        return bodies;
    }

    // A new launch that opens the leaderboard from the menu; the score on the player's own row.
    std::string leaderboardScore() {
        TourScript script(device, shots);
        script.wait(20).network().wait(20).tap(at.bottomRow(2), 4).network(3).wait(20).station("leaderboard");
        EXPECT_TRUE(play("leaderboard", script));
        const Screen shown = Screen::read(shots + "/leaderboard.txt");
        const ScreenNode* phone = nullptr;
        for (const ScreenNode& node : shown.nodes())
            if (node.kind == "label" && node.detail == kMaskedPhone) phone = &node;
        if (!phone) return "(no row of " + std::string(kMaskedPhone) + ")";
        // The score is the label under the phone number, in the same row.
        const auto middle = [](const ScreenNode& node) { return (node.top + node.bottom) / 2; };
        for (const ScreenNode& node : shown.nodes())
            if (node.kind == "label" && &node != phone && std::abs(node.left - phone->left) < 2 &&
                middle(node) < middle(*phone) && middle(node) > middle(*phone) - 60)
                return node.detail;
        return "(no score beside " + std::string(kMaskedPhone) + ")";
    }

    const Device& device = devices()[1];  // iphone5
    const Places at{device};
    kite::test::TemporaryFolder folder{"stargrid-scores"};
    std::unique_ptr<stargrid_server::GameServer> server;
    std::string shots;
};

TEST_F(StargridScores, ALevelEndedByABombReachesTheLeaderboard) {
    // The bomb takes the top-left piece of the only pair: 5 points pass the level, 99 pieces are left.
    storePlayer(pairsInTheTopRow({0}), 1000);
    TourScript script = startPlaying();
    script.tap(at.prop(0), 10).tap(Places::cell(0, 0), 10);
    finishLevel(script);
    ASSERT_TRUE(play("bomb", script));
    const std::vector<std::string> scores = submittedScores();
    ASSERT_EQ(scores.size(), 1u);
    EXPECT_NE(scores[0].find("\"remain\":\"99\",\"score\":\"1\""), std::string::npos) << scores[0];
    EXPECT_EQ(leaderboardScore(), "5");
}

TEST_F(StargridScores, ALevelEndedByPaintSubmitsThePiecesItLeft) {
    // A pair popped, then the other pair's right piece painted blue (the chooser's first colour): no pair is
    // left, and the 98 pieces are cleared at once.
    storePlayer(pairsInTheTopRow({0, 8}), 1000);
    TourScript script = startPlaying();
    const float firstColourX = 240 - 32 - (5 * 48 + 4 * 28) / 2.0f + 24;
    const float chooserY = 9 * 48 + 109;  // the box over the top row
    script.tap(Places::cell(0, 0), 40).tap(at.prop(1), 10).tap(Places::cell(0, 9), 12).tap({firstColourX, chooserY});
    finishLevel(script);
    ASSERT_TRUE(play("paint", script));
    const std::vector<std::string> scores = submittedScores();
    ASSERT_EQ(scores.size(), 1u) << "the level was not submitted";
    EXPECT_NE(scores[0].find("\"remain\":\"98\",\"score\":\"2\""), std::string::npos) << scores[0];
    EXPECT_EQ(leaderboardScore(), "20");
}

}  // namespace
