// The game executable run by tests: a store and shots in a folder of the test's own, frames read back as
// pixels, the board read back from the pieces' colours, the store read back from its property list.
#pragma once
#include <png.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Classes/BoardRules.h"
#include "LocalServer.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/Value.h"
#include "support/TemporaryFolder.h"

namespace stargrid::test {

namespace fs = std::filesystem;

constexpr float kScale = 640.0f / 480.0f;  // iphone5 pixels per design point
constexpr float kDesignHeight = 852.0f;
// Where a cell is read (design points from its centre, y down): three points clear of the piece's star and
// highlight; the colour most of them show wins, so a passing spark does not change the reading.
constexpr int kReadPoints = 3;
constexpr float kReadOffsets[kReadPoints][2] = {{10, 10}, {-10, 10}, {10, -10}};

struct Shot {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

inline std::optional<Shot> readPNG(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return std::nullopt;
    png.format = PNG_FORMAT_RGBA;
    Shot shot{png.width, png.height, std::vector<unsigned char>(PNG_IMAGE_SIZE(png))};
    if (!png_image_finish_read(&png, nullptr, shot.rgba.data(), 0, nullptr)) return std::nullopt;
    return shot;
}

using Colour = std::array<int, 3>;

// Each piece's colour at each reading point, from the piece pictures the board draws.
inline std::array<std::array<Colour, kReadPoints>, board::kColourCount> pieceColours() {
    static const char* const kNames[board::kColourCount] = {"green", "red", "yellow", "purple", "blue"};
    std::array<std::array<Colour, kReadPoints>, board::kColourCount> colours{};
    for (int colour = 0; colour < board::kColourCount; ++colour) {
        std::optional<Shot> piece =
            readPNG(std::string(STARGRID_SOURCE_DIR "/Resources/Star/star_") + kNames[colour] + ".png");
        if (!piece) continue;
        for (int point = 0; point < kReadPoints; ++point) {
            const auto x = static_cast<std::size_t>(24 + kReadOffsets[point][0]);
            const auto y = static_cast<std::size_t>(24 + kReadOffsets[point][1]);
            const unsigned char* p = &piece->rgba[(y * piece->width + x) * 4];
            colours[colour][point] = {p[0], p[1], p[2]};
        }
    }
    return colours;
}

// A cell's centre in window pixels, from the top left; with an offset, a reading point of it.
inline std::array<int, 2> cellPixel(int index, float dx = 0, float dy = 0) {
    const float x = board::columnOf(index) * 48.0f + 24.0f + dx;
    const float y = (board::kRows - board::rowOf(index)) * 48.0f - 24.0f - dy;
    return {static_cast<int>(x * kScale), static_cast<int>((kDesignHeight - y) * kScale)};
}

// The board read back from the colours of its cells: an empty cell shows the dark night sky, a piece its
// colour; -2 for anything else.
inline board::Cells boardInShot(const Shot& shot) {
    static const auto colours = pieceColours();
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index) {
        std::array<int, board::kColourCount + 2> votes{};  // empty, unknown, then the colours
        for (int point = 0; point < kReadPoints; ++point) {
            const auto [x, y] = cellPixel(index, kReadOffsets[point][0], kReadOffsets[point][1]);
            const unsigned char* p = &shot.rgba[(static_cast<std::size_t>(y) * shot.width + x) * 4];
            auto near = [p](const Colour& c) {
                return std::abs(p[0] - c[0]) < 24 && std::abs(p[1] - c[1]) < 24 && std::abs(p[2] - c[2]) < 24;
            };
            int vote = std::max({p[0], p[1], p[2]}) < 120 ? 0 : 1;
            for (int colour = 0; colour < board::kColourCount; ++colour)
                if (near(colours[colour][point])) vote = 2 + colour;
            ++votes[static_cast<std::size_t>(vote)];
        }
        const auto most = std::max_element(votes.begin(), votes.end()) - votes.begin();
        cells[index] = votes[static_cast<std::size_t>(most)] < 2 ? -2
                       : most == 0                               ? board::kEmpty
                       : most == 1                               ? -2
                                                                 : static_cast<int>(most) - 2;
    }
    return cells;
}

// Writes the preferences of a stored game to resume on the cells, the tutorial seen: level 1,
// 0 points, full props and 20 diamonds, with the given values (property-list fragments by key) on top.
inline void writeStoredGame(const fs::path& path, const board::Cells& cells,
                            const std::map<std::string, std::string>& changed) {
    std::map<std::string, std::string> values = {{"playerStatus", "<integer>1</integer>"},
                                                 {"guideStatus", "<integer>1</integer>"},
                                                 {"musicOnOff", "<true/>"},
                                                 {"soundOnOff", "<true/>"},
                                                 {"voiceOnOff", "<true/>"},
                                                 {"isAlive", "<true/>"},
                                                 {"currentLevel", "<integer>0</integer>"},
                                                 {"currentScore", "<integer>0</integer>"},
                                                 {"propBombCount", "<integer>3</integer>"},
                                                 {"propPaintCount", "<integer>3</integer>"},
                                                 {"propResetCount", "<integer>3</integer>"},
                                                 {"diamond", "<integer>20</integer>"}};
    for (const auto& [key, value] : changed) values[key] = value;
    for (int index = 0; index < board::kCellCount; ++index)
        values["colorKey" + std::to_string(index)] = "<integer>" + std::to_string(cells[index]) + "</integer>";
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, value] : values) text += "<key>" + key + "</key>" + value + "\n";
    text += "</dict>\n</plist>\n";
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

struct Saved {
    board::Cells cells{};
    int score = -1;
    int level = -1;
    std::string history;
    kite::ValueMap values;  // every key
    // A stored number or switch; -9 when the key is missing.
    int integer(const std::string& key) const {
        auto found = values.find(key);
        return found == values.end() ? -9 : found->second.asInt();
    }
};

inline std::optional<Saved> readStore(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    kite::Value root;
    if (text.empty() || !kite::PropertyList::parse(text.data(), text.size(), root) ||
        root.getType() != kite::Value::Type::MAP)
        return std::nullopt;
    Saved saved;
    saved.values = root.asValueMap();
    for (int index = 0; index < board::kCellCount; ++index)
        saved.cells[index] = saved.integer("colorKey" + std::to_string(index));
    saved.score = saved.integer("currentScore");
    saved.level = saved.integer("currentLevel");
    auto history = saved.values.find("gameScore");
    if (history != saved.values.end()) saved.history = history->second.asString();
    return saved;
}

// The game opens on its menu: start is tapped, then "not now" on the prompt to bind an account.
// Pixels of iphone5: the start button at design (240, 185), the prompt's left button at (165, 341).
inline const std::string kStartFromMenu = "tap 90 320 889\ntap 130 220 681\n";
// The play scene runs from this frame on.
constexpr int kGameStarts = 132;

class StargridRunTest : public ::testing::Test {
protected:
    explicit StargridRunTest(const char* name = "stargrid-run") : folder(name) {}
    kite::test::TemporaryFolder folder;
    // A folder of its own, so runs of the same test in other build trees never share a store.
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        dir = folder.path();
        fs::create_directories(dir / "xdg");
        // It is the runtime folder too, which must be closed to others.
        fs::permissions(dir / "xdg", fs::perms::owner_all);
    }

    // No game server answers (the bootstrap page's port refuses at once), so the menu is free at once.
    std::string environment() const {
        const std::string xdg = (dir / "xdg").string();
        return "SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null STARGRID_SEED=7 XDG_CONFIG_HOME=" + xdg +
               "/config XDG_DATA_HOME=" + xdg + "/data XDG_CACHE_HOME=" + xdg + "/cache XDG_RUNTIME_DIR=" + xdg +
               " STARGRID_NETWORK=up STARGRID_BOOTSTRAP_URL=http://127.0.0.1:9/bus_ser_ios.html ";
    }
    // The same as separate variables, with the bootstrap page of a server that answers.
    std::vector<std::string> environmentWith(const std::string& bootstrapUrl) const {
        const std::string xdg = (dir / "xdg").string();
        return {"SDL_VIDEODRIVER=offscreen",
                "ALSOFT_DRIVERS=null",
                "STARGRID_SEED=7",
                "XDG_CONFIG_HOME=" + xdg + "/config",
                "XDG_DATA_HOME=" + xdg + "/data",
                "XDG_CACHE_HOME=" + xdg + "/cache",
                "XDG_RUNTIME_DIR=" + xdg,
                "STARGRID_NETWORK=up",
                "STARGRID_BOOTSTRAP_URL=" + bootstrapUrl};
    }
    // Runs the game from its menu into play: frame numbers in the arguments ("--frames N", "--shot F:PATH")
    // and in scripts count from the first frame of the play scene.
    int run(const std::string& args) const {
        std::istringstream words(args);
        std::string shifted;
        bool scripted = false;
        for (std::string word, previous; words >> word; previous = word) {
            if (previous == "--frames") word = std::to_string(std::stoi(word) + kGameStarts);
            if (previous == "--shot")
                word = std::to_string(std::stoi(word) + kGameStarts) + word.substr(word.find(':'));
            scripted = scripted || previous == "--script";
            shifted += word + " ";
        }
        if (!scripted) shifted += "--script " + script("menu.script", "");
        const std::string command = environment() + STARGRID_EXECUTABLE + " --fixed-step " + shifted + " >" +
                                    (dir / "out.txt").string() + " 2>&1";
        return std::system(command.c_str());
    }
    // The steps of a script, after the taps that start a game from the menu.
    std::string script(const std::string& name, const std::string& text) const {
        std::ofstream out(dir / name);
        out << kStartFromMenu;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string verb, frame;
            if (words >> verb >> frame && verb[0] != '#' && !frame.empty() && std::isdigit(frame[0])) {
                std::string rest;
                std::getline(words, rest);
                out << verb << " " << std::stoi(frame) + kGameStarts << rest << "\n";
            } else {
                out << line << "\n";
            }
        }
        return (dir / name).string();
    }
    fs::path storePath() const { return dir / "xdg" / "config" / "stargrid" / "UserDefaults.plist"; }

    // A stored game to resume on the cells, the tutorial seen: level 1, 0 points, full props and 20
    // diamonds, with the given values (property-list fragments by key) on top.
    void storeGame(const board::Cells& cells, const std::map<std::string, std::string>& changed) const {
        writeStoredGame(storePath(), cells, changed);
    }
    static std::string integerValue(int value) { return "<integer>" + std::to_string(value) + "</integer>"; }

    fs::path dir;
};

// A run against the local game server, started in this process for each test.
class StargridServedRunTest : public StargridRunTest {
protected:
    using StargridRunTest::StargridRunTest;

    void SetUp() override {
        StargridRunTest::SetUp();
        std::string error;
        server = startLocalServer(&error);
        ASSERT_TRUE(server) << error;
    }

    std::vector<std::string> environment() const { return environmentWith(server->url("/bus_ser_ios.html")); }

    std::unique_ptr<stargrid_server::GameServer> server;
};

}  // namespace stargrid::test
