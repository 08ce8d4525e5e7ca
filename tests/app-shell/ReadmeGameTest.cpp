// The README's scripted first game, taken from README.md itself and run as written through scripts/play (the
// real game and the real local server, in a scratch tree and scratch folders): its shot shows the full board,
// with no tutorial over it and no alert.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "StargridRun.h"
#include "support/TemporaryFolder.h"

namespace {

using namespace stargrid::test;

// The fenced shell blocks of a Markdown page, in order.
std::vector<std::string> shellBlocks(const std::string& page) {
    std::vector<std::string> blocks;
    std::istringstream lines(page);
    std::string line, block;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (!inside && line == "```sh") {
            inside = true;
            block.clear();
        } else if (inside && line == "```") {
            inside = false;
            blocks.push_back(block);
        } else if (inside) {
            block += line + "\n";
        }
    }
    return blocks;
}

// The README's block that plays a script, with its /tmp/ paths moved into the scratch folder.
std::string readmeGameBlock(const std::string& scratch) {
    std::string found;
    for (const std::string& block : shellBlocks(kite::test::readWholeFile(STARGRID_SOURCE_DIR "/README.md"))) {
        if (block.find("scripts/play") == std::string::npos || block.find("--script") == std::string::npos) continue;
        EXPECT_TRUE(found.empty()) << "two blocks of README.md play a script";
        found = std::regex_replace(block, std::regex("/tmp/"), scratch + "/tmp/");
    }
    return found;
}

class ReadmeGame : public ::testing::Test {
protected:
    kite::test::TemporaryFolder folder{"readme-game"};

    void SetUp() override {
        ASSERT_TRUE(folder.made());
        scratch = folder.path();
        for (const char* made : {"/tmp", "/home", "/run"}) fs::create_directories(scratch + made);
        fs::permissions(scratch + "/run", fs::perms::owner_all);
        // scripts/play with stand-ins for what would build or install, and the real game and server.
        const std::string tree =
            "bash -c 'source \"$0\" && make_play_tree \"$1\" \"$2\" \"$3\" && chmod +x "
            "\"$1\"/scripts/*' " STARGRID_SOURCE_DIR "/tests/scripts/PlayTree.sh " +
            scratch + "/tree " STARGRID_SOURCE_DIR " " STARGRID_CLAIM_PROGRAM;
        ASSERT_EQ(std::system(tree.c_str()), 0);
        fs::create_symlink(STARGRID_EXECUTABLE, scratch + "/tree/build/stargrid");
        fs::create_symlink(STARGRID_SERVER_EXECUTABLE, scratch + "/tree/build/tools/stargrid-server");
    }

    // Runs the block from the tree, as a newcomer would from the source folder, on a machine whose network is
    // up or down, with the variables given (NAME=VALUE words) besides; the shot it names, read back. The
    // player's folders stay from one run to the next, as a player's would; mktemp makes its folders in the
    // scratch folder.
    std::optional<Shot> playTheBlock(const char* network, const std::string& variables = "") {
        const std::string block = readmeGameBlock(scratch);
        std::smatch shot;
        if (!std::regex_search(block, shot, std::regex("--shot [0-9]+:(\\S+)")) ||
            shot[1].str().rfind(scratch + "/", 0) != 0) {
            ADD_FAILURE() << "README.md has no scripted game with a shot under /tmp:\n" << block;
            return std::nullopt;
        }
        // A shot left by an earlier run is not this run's.
        fs::remove(shot[1].str());
        const std::string script = folder.put("readme-game.sh", block);
        const std::string command =
            "cd " + scratch + "/tree && env -u DISPLAY -u WAYLAND_DISPLAY -u STARGRID_DEVICE HOME=" + scratch +
            "/home XDG_DATA_HOME=" + scratch + "/data XDG_CONFIG_HOME=" + scratch +
            "/config XDG_CACHE_HOME=" + scratch + "/cache XDG_RUNTIME_DIR=" + scratch +
            "/run TMPDIR=" + scratch + "/tmp SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null " + "STARGRID_NETWORK=" +
            network + " " + variables + " timeout -k 10 600 bash -e " + script + " >" + scratch + "/out.txt 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_EQ(status, 0) << kite::test::readWholeFile(scratch + "/out.txt");
        return readPNG(shot[1].str());
    }

    // The cells that do not show a piece, as "row,column" words: empty when the whole board shows.
    static std::string cellsWithoutAPiece(const Shot& shot) {
        const board::Cells cells = boardInShot(shot);
        std::string hidden;
        for (int index = 0; index < board::kCellCount; ++index)
            if (!board::isColour(cells[index]))
                hidden += std::to_string(board::rowOf(index)) + "," + std::to_string(board::columnOf(index)) + " ";
        return hidden;
    }

    // The pixels two shots differ in (all of them when their sizes do).
    static std::size_t pixelsApart(const Shot& a, const Shot& b) {
        if (a.width != b.width || a.height != b.height) return std::max(a.rgba.size(), b.rgba.size()) / 4;
        std::size_t apart = 0;
        for (std::size_t at = 0; at < a.rgba.size(); at += 4)
            if (!std::equal(a.rgba.begin() + at, a.rgba.begin() + at + 4, b.rgba.begin() + at)) ++apart;
        return apart;
    }

    std::string scratch;
};

// The tutorial's shade darkens every cell and its panel covers the upper half of the board; an alert covers
// the board's top rows: either leaves cells that show no piece.
TEST_F(ReadmeGame, ItsShotShowsTheFullBoardWithNoTutorialOrAlert) {
    std::optional<Shot> shot = playTheBlock("up");
    ASSERT_TRUE(shot) << kite::test::readWholeFile(scratch + "/out.txt");
    EXPECT_EQ(cellsWithoutAPiece(*shot), "") << kite::test::readWholeFile(scratch + "/out.txt");
}

// Without a network the game opens with an alert that says so, which the block closes too.
TEST_F(ReadmeGame, ItsShotShowsTheFullBoardWithoutANetworkToo) {
    std::optional<Shot> shot = playTheBlock("down");
    ASSERT_TRUE(shot) << kite::test::readWholeFile(scratch + "/out.txt");
    EXPECT_EQ(cellsWithoutAPiece(*shot), "") << kite::test::readWholeFile(scratch + "/out.txt");
}

// Run again as printed where the last run's game was kept, the block plays a new player's game in folders of its
// own again, not that game resumed (with a prop and diamonds spent on it), its random numbers seeded alike: its
// shot is the same every time, pixel for pixel.
TEST_F(ReadmeGame, RunAgainItShowsTheSameBoard) {
    std::optional<Shot> first = playTheBlock("up");
    ASSERT_TRUE(first) << kite::test::readWholeFile(scratch + "/out.txt");
    EXPECT_EQ(cellsWithoutAPiece(*first), "") << kite::test::readWholeFile(scratch + "/out.txt");
    for (int run = 2; run <= 3; ++run) {
        std::optional<Shot> again = playTheBlock("up");
        ASSERT_TRUE(again) << "run " << run << ": " << kite::test::readWholeFile(scratch + "/out.txt");
        EXPECT_EQ(pixelsApart(*first, *again), 0u)
            << "run " << run << ", cells without a piece: [" << cellsWithoutAPiece(*again) << "]: "
            << kite::test::readWholeFile(scratch + "/out.txt");
    }
}

}  // namespace
