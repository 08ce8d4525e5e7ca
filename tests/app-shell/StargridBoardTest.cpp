// The game executable plays the board: a scripted tap pops a group, the frame shows the saved layout, and a
// game killed between moves resumes where its last settled move left it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Classes/BoardRules.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/Value.h"
#include "support/TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;

// What the generator gives each piece colour, and the board's background.
constexpr std::array<std::array<int, 3>, board::kColourCount> kStarColours = {
    {{46, 204, 64}, {230, 38, 60}, {255, 214, 0}, {150, 60, 230}, {30, 120, 255}}};
constexpr std::array<int, 3> kBackground = {18, 22, 44};
constexpr float kScale = 640.0f / 480.0f;  // iphone5 pixels per design point
constexpr float kDesignHeight = 852.0f;

struct Shot {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

std::optional<Shot> readPNG(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return std::nullopt;
    png.format = PNG_FORMAT_RGBA;
    Shot shot{png.width, png.height, std::vector<unsigned char>(PNG_IMAGE_SIZE(png))};
    if (!png_image_finish_read(&png, nullptr, shot.rgba.data(), 0, nullptr)) return std::nullopt;
    return shot;
}

// A cell's centre in window pixels, from the top left.
std::array<int, 2> cellPixel(int index) {
    const float x = board::columnOf(index) * 48.0f + 24.0f;
    const float y = (board::kRows - board::rowOf(index)) * 48.0f - 24.0f;
    return {static_cast<int>(x * kScale), static_cast<int>((kDesignHeight - y) * kScale)};
}

// The board read back from the colours at the cell centres; -2 for a colour that is neither piece nor background.
board::Cells boardInShot(const Shot& shot) {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index) {
        const auto [x, y] = cellPixel(index);
        const unsigned char* p = &shot.rgba[(static_cast<std::size_t>(y) * shot.width + x) * 4];
        auto near = [p](const std::array<int, 3>& c) {
            return std::abs(p[0] - c[0]) < 24 && std::abs(p[1] - c[1]) < 24 && std::abs(p[2] - c[2]) < 24;
        };
        cells[index] = near(kBackground) ? board::kEmpty : -2;
        for (int colour = 0; colour < board::kColourCount; ++colour)
            if (near(kStarColours[colour])) cells[index] = colour;
    }
    return cells;
}

struct Saved {
    board::Cells cells{};
    int score = -1;
    int level = -1;
    std::string history;
};

std::optional<Saved> readStore(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    kite::Value root;
    if (text.empty() || !kite::PropertyList::parse(text.data(), text.size(), root) ||
        root.getType() != kite::Value::Type::MAP)
        return std::nullopt;
    const kite::ValueMap& map = root.asValueMap();
    auto integer = [&map](const std::string& key) {
        auto found = map.find(key);
        return found == map.end() ? -9 : found->second.asInt();
    };
    Saved saved;
    for (int index = 0; index < board::kCellCount; ++index) saved.cells[index] = integer("colorKey" + std::to_string(index));
    saved.score = integer("currentScore");
    saved.level = integer("currentLevel");
    auto history = map.find("gameScore");
    if (history != map.end()) saved.history = history->second.asString();
    return saved;
}

class StargridBoard : public ::testing::Test {
protected:
    kite::test::TemporaryFolder folder{"stargrid-board"};
    // A folder of its own, so runs of the same test in other build trees never share a store.
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        dir = folder.path();
        fs::create_directories(dir / "xdg");
    }

    std::string environment() const {
        const std::string xdg = (dir / "xdg").string();
        return "SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null STARGRID_SEED=7 XDG_CONFIG_HOME=" + xdg +
               "/config XDG_DATA_HOME=" + xdg + "/data XDG_CACHE_HOME=" + xdg + "/cache XDG_RUNTIME_DIR=" + xdg +
               " STARGRID_NETWORK=up STARGRID_BOOTSTRAP_URL=http://127.0.0.1:9/bus_ser_ios.html ";
    }
    int run(const std::string& args) const {
        const std::string command =
            environment() + STARGRID_EXECUTABLE + " --fixed-step " + args + " >" + (dir / "out.txt").string() + " 2>&1";
        return std::system(command.c_str());
    }
    std::string script(const std::string& name, const std::string& text) const {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    fs::path storePath() const { return dir / "xdg" / "config" / "stargrid" / "UserDefaults.plist"; }

    fs::path dir;
};

// The game opens on its menu: start is tapped, then "not now" on the prompt to bind an account.
// Pixels of iphone5: the start button at design (240, 185), the prompt's left button at (165, 376).
const std::string kMenuSteps = "tap 90 320 889\ntap 130 220 635\n";
// The play scene runs from this frame on.
constexpr int kGameStarts = 132;
// The board has dropped into place by this frame: 2.25 s of level start and 13 frames of fall.
constexpr int kBoardShown = kGameStarts + 160;

TEST_F(StargridBoard, TapPopsTheGroupAndTheFrameShowsTheSavedLayout) {
    const std::string first = (dir / "first.png").string();
    ASSERT_EQ(run("--frames " + std::to_string(kBoardShown + 10) + " --script " + script("menu.script", kMenuSteps) +
                  " --shot " + std::to_string(kBoardShown) + ":" + first),
              0);
    std::optional<Saved> before = readStore(storePath());
    ASSERT_TRUE(before);
    std::optional<Shot> shot = readPNG(first);
    ASSERT_TRUE(shot);
    ASSERT_EQ(boardInShot(*shot), before->cells);
    ASSERT_EQ(board::pieceCount(before->cells), 100);

    // The largest group, tapped in a second run that resumes the stored board.
    int tapped = 0;
    std::size_t size = 0;
    for (int index = 0; index < board::kCellCount; ++index)
        if (board::collectGroup(before->cells, index).size() > size) {
            size = board::collectGroup(before->cells, index).size();
            tapped = index;
        }
    board::Cells expected = before->cells;
    for (int index : board::collectGroup(expected, tapped)) expected[index] = board::kEmpty;
    board::settle(expected);

    const auto [x, y] = cellPixel(tapped);
    const std::string after = (dir / "after.png").string();
    const int tapFrame = kBoardShown + 10;
    const std::string steps = kMenuSteps + "tap " + std::to_string(tapFrame) + " " + std::to_string(x) + " " +
                              std::to_string(y) + "\nshot " + std::to_string(tapFrame + 360) + " " + after +
                              "\nquit " + std::to_string(tapFrame + 362) + "\n";  // once the bursts have gone
    ASSERT_EQ(run("--script " + script("tap.script", steps)), 0);
    std::optional<Saved> saved = readStore(storePath());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->cells, expected);
    EXPECT_EQ(saved->score, board::groupScore(static_cast<int>(size)));
    EXPECT_EQ(saved->history, std::to_string(size));
    shot = readPNG(after);
    ASSERT_TRUE(shot);
    EXPECT_EQ(boardInShot(*shot), saved->cells);
}

// The board after a settled move: no piece above a gap, no empty column left of a filled one.
bool isSettled(const board::Cells& cells) {
    board::Cells settled = cells;
    return board::settle(settled).empty();
}

TEST_F(StargridBoard, KilledBetweenMovesResumesTheLastSettledMove) {
    // Taps along the bottom rows, one every half second, until the game is killed.
    std::string steps = kMenuSteps;
    for (int k = 0; k < 200; ++k) {
        const auto [x, y] = cellPixel(board::cellIndex(9 - k % 3, (k * 7) % board::kColumns));
        steps += "tap " + std::to_string(kBoardShown + 10 + 30 * k) + " " + std::to_string(x) + " " +
                 std::to_string(y) + "\n";
    }
    const std::string command = environment() + "exec " + STARGRID_EXECUTABLE + " --fixed-step --script " +
                                script("taps.script", steps) + " >" + (dir / "killed.txt").string() + " 2>&1";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Kill it once two moves are saved, wherever the third one is.
    std::optional<Saved> saved;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        saved = readStore(storePath());
        if (saved && std::count(saved->history.begin(), saved->history.end(), '|') >= 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    saved = readStore(storePath());
    ASSERT_TRUE(saved);
    ASSERT_FALSE(saved->history.empty()) << "no move was made before the deadline";
    EXPECT_TRUE(isSettled(saved->cells));
    EXPECT_FALSE(board::noPairLeft(saved->cells));
    EXPECT_EQ(saved->level, 0);
    // The stored score and layout belong to the same settled move as its history (the
    // history may be one move ahead: it is written when a group pops, the board after it settles).
    const int piecesPopped = board::kCellCount - board::pieceCount(saved->cells);
    int historyPieces = 0;
    std::stringstream in(saved->history);
    std::vector<int> groups;
    for (std::string entry; std::getline(in, entry, '|');) groups.push_back(std::stoi(entry));
    for (int n : groups) historyPieces += n;
    if (historyPieces != piecesPopped) {
        historyPieces -= groups.back();
        groups.pop_back();
    }
    EXPECT_EQ(historyPieces, piecesPopped);
    int expectedScore = 0;
    for (int n : groups) expectedScore += board::groupScore(n);
    EXPECT_EQ(saved->score, expectedScore);

    const std::string resumed = (dir / "resumed.png").string();
    ASSERT_EQ(run("--frames " + std::to_string(kBoardShown + 10) + " --script " + script("menu.script", kMenuSteps) +
                  " --shot " + std::to_string(kBoardShown) + ":" + resumed),
              0);
    std::optional<Shot> shot = readPNG(resumed);
    ASSERT_TRUE(shot);
    EXPECT_EQ(boardInShot(*shot), saved->cells);
    std::optional<Saved> again = readStore(storePath());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->cells, saved->cells);
    EXPECT_EQ(again->score, saved->score);
    EXPECT_EQ(again->level, saved->level);
}

}  // namespace
