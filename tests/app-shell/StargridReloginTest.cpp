// The executable against the local game server: a game whose level target was reached goes to the
// background, and the re-login on its return brings a new game from the server. The player starts it
// from the menu and reaches its first target: its stage-clear picture shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Classes/GameHelpers.h"
#include "GameProcess.h"
#include "LocalServer.h"
#include "StargridRun.h"
#include "support/GLTest.h"
#include "tools/server/GameServer.h"

namespace {

using namespace stargrid::test;

constexpr char kPhone[] = "13812345678";
constexpr char kPassword[] = "1234";

// Pairs down every column.
board::Cells stripes() {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index)
        cells[index] = (board::columnOf(index) + board::rowOf(index) / 2) % board::kColourCount;
    return cells;
}

// The largest group's first cell (top-left-most of equals); -1 when no pair is left.
int largestGroupCell(const board::Cells& cells) {
    int best = -1;
    std::size_t bestSize = 1;
    for (int index = 0; index < board::kCellCount; ++index) {
        if (cells[index] == board::kEmpty) continue;
        const std::size_t size = board::collectGroup(cells, index).size();
        if (size > bestSize) {
            best = index;
            bestSize = size;
        }
    }
    return best;
}

std::string tapAt(int frame, int index) {
    const auto [x, y] = cellPixel(index);
    return "tap " + std::to_string(frame) + " " + std::to_string(x) + " " + std::to_string(y) + "\n";
}

class StargridRelogin : public StargridServedRunTest {
protected:
    StargridRelogin() : StargridServedRunTest("stargrid-relogin") {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StargridServedRunTest::SetUp());
        ASSERT_TRUE(server->store().seedAccount({kPhone, base64Encode(kPassword), 0, 0, 0}));
    }

    // A bound player's game to resume, 10 points short of the first target, under the game tag "1".
    void storeBoundGame(const board::Cells& cells) {
        storeGame(cells, {{"cellphone", "<string>" + base64Encode(kPhone) + "</string>"},
                          {"password", "<string>" + base64Encode(kPassword) + "</string>"},
                          {"gametag", "<string>1</string>"},
                          {"currentScore", integerValue(990)}});
    }

    // The next login reply names this game tag.
    void nextLoginTag(const std::string& tag) {
        stargrid_server::ReplyOverride login;
        login.path = "/game/BindAccount";
        login.body =
            "{\"code\":\"0000\",\"bodymessage\":{\"score\":\"0\",\"diamond\":\"0\",\"gametag\":\"" + tag + "\"}}";
        server->overrides().push(login);
    }
};

TEST_F(StargridRelogin, ANewGameFromTheReloginShowsItsOwnFirstStageClear) {
    storeBoundGame(stripes());
    nextLoginTag("1");  // the menu's login at start: the stored game goes on
    nextLoginTag("2");  // the re-login on return: a new game
    nextLoginTag("2");  // the menu's login after it
    // Frame 90: start; the stored board is in place by about 240, and its first pair reaches the target.
    // Frames 280 to 289 in the background; the re-login sends the player to the menu, whose start-up chain
    // is over well before the new game starts at 400. STARGRID_SEED=7: the resumed board took 7, the new
    // game's id takes 8, its board 9, in place by about 550.
    std::string steps = "tap 90 320 889\n" + tapAt(250, board::cellIndex(9, 0)) + "background 280\nforeground 290\n" +
                        "tap 400 320 889\n";
    board::Cells cells;
    std::srand(9);
    for (int& colour : cells) colour = std::rand() % board::kColourCount;
    // The largest group each time until the new game's first target, one move settled before the next.
    int frame = 560, score = 0;
    while (score < 1000) {
        const int cell = largestGroupCell(cells);
        ASSERT_GE(cell, 0) << "the new board runs out of pairs below the target";
        const std::vector<int> group = board::collectGroup(cells, cell);
        steps += tapAt(frame, cell);
        score += static_cast<int>(group.size() * group.size() * 5);
        for (int index : group) cells[index] = board::kEmpty;
        board::settle(cells);
        frame += static_cast<int>(group.size()) * 4 + 12;
    }
    // The picture blinks for a second, then settles at (50, h - 156) at 0.6 of its size.
    const std::string shotPath = kite::test::artifactsDirectory() + "/StargridRelogin.second-stage-clear.png";
    steps += "shot " + std::to_string(frame + 80) + " " + shotPath + "\nquit " + std::to_string(frame + 82) + "\n";
    std::ofstream(dir / "relogin.script") << steps;

    Game game({"--fixed-step", "--script", (dir / "relogin.script").string()}, environment());
    ASSERT_TRUE(game.started());
    ASSERT_EQ(game.waitForExit(std::chrono::seconds(120)), 0);
    std::optional<Saved> saved = readStore(storePath());
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->values["gametag"].asString(), "2") << "the new game did not start";
    ASSERT_GE(saved->score, 1000);

    std::optional<Shot> shot = readPNG(shotPath);
    std::optional<Shot> picture = readPNG(STARGRID_SOURCE_DIR "/Resources/Effect/stage_clear.png");
    ASSERT_TRUE(shot && picture);
    const unsigned char* drawn =
        &picture->rgba[(static_cast<std::size_t>(picture->height / 2) * picture->width + picture->width / 2) * 4];
    const int x = static_cast<int>(50 * kScale), y = static_cast<int>(156 * kScale);
    const unsigned char* seen = &shot->rgba[(static_cast<std::size_t>(y) * shot->width + x) * 4];
    for (int channel = 0; channel < 3; ++channel)
        EXPECT_NEAR(seen[channel], drawn[channel], 32) << "no stage-clear picture, channel " << channel;
}

}  // namespace
