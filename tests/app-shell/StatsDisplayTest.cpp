// The statistics display of a running game: its three lines read back, cell by cell, from a saved frame.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kite/scene/StatsDigitsImage.h"
#include "platform/PngFile.h"
#include "support/TemporaryFolder.h"

namespace {

using ::testing::MatchesRegex;

// The iPad screen and the game's design size on it.
constexpr int kScreenWidth = 768;
constexpr int kScreenHeight = 1024;
constexpr float kScaleX = kScreenWidth / 480.0f;
constexpr float kScaleY = kScreenHeight / 720.0f;
constexpr const char* kCharacters = "./0123456789:GLacelrstv";

struct Frame {
    std::vector<std::uint8_t> rgba;
    bool whiteAtDesign(float x, float y) const {
        const int px = static_cast<int>(x * kScaleX);
        const int py = kScreenHeight - 1 - static_cast<int>(y * kScaleY);
        // The line search looks a little below the frame's bottom edge: nothing is lit there.
        if (px < 0 || px >= kScreenWidth || py < 0 || py >= kScreenHeight) return false;
        const std::uint8_t* p = &rgba[static_cast<std::size_t>((py * kScreenWidth + px) * 4)];
        return p[0] > 200 && p[1] > 200 && p[2] > 200;
    }
};

bool readFrame(const std::string& path, Frame& frame) {
    std::optional<platform::PngImage> png = platform::readPng(path);
    if (!png || png->width != kScreenWidth || png->height != kScreenHeight) return false;
    frame.rgba = std::move(png->rgba);
    return true;
}

// The character whose glyph best matches the 35 dots of the cell at (left, bottom) in design points (a few
// dots may blur at the screen's scale); ' ' for an empty cell, '?' when nothing comes close.
char readCell(const Frame& frame, float left, float bottom) {
    const float top = bottom + kite::kStatsCellHeight;
    // Each dot of the glyph is 2 x 2 points from an odd corner: its centre is one point in.
    auto lit = [&](int x, int y) { return frame.whiteAtDesign(left + x + 1.0f, top - y - 1.0f); };
    // Lines are closer than cells are high: the top of the line below may reach into a cell's blank
    // bottom rows, so only rows that some glyph inks are compared.
    auto inked = [](int y) {
        for (const char* c = kCharacters; *c; ++c)
            for (int x = 1; x < kite::kStatsCellWidth; x += 2)
                if (kite::statsGlyphCovers(*c, x, y)) return true;
        return false;
    };
    auto mismatches = [&](char c) {
        int count = 0;
        for (int y = 1; y < kite::kStatsCellHeight; y += 2)
            if (inked(y))
                for (int x = 1; x < kite::kStatsCellWidth; x += 2)
                    count += lit(x, y) != kite::statsGlyphCovers(c, x, y);
        return count;
    };
    char best = ' ';
    int fewest = mismatches(' ');
    for (const char* c = kCharacters; *c; ++c) {
        const int count = mismatches(*c);
        if (count < fewest) best = *c, fewest = count;
    }
    return fewest <= 3 ? best : '?';
}

// The line whose bottom is near `bottom`: scaling rounds the screen rows, so a small vertical shift is
// searched for, and the reading with the fewest unknown cells wins.
std::string readLine(const Frame& frame, float bottom) {
    std::string best;
    std::size_t bestUnknown = ~std::size_t{0};
    for (float shift = -2.0f; shift <= 2.0f; shift += 0.5f) {
        std::string text;
        for (int cell = 0; cell < 16; ++cell) text += readCell(frame, cell * kite::kStatsCellWidth, bottom + shift);
        text = text.substr(0, text.find_last_not_of(' ') + 1);
        const auto unknown = static_cast<std::size_t>(std::count(text.begin(), text.end(), '?'));
        if (!text.empty() && unknown < bestUnknown) {
            best = text;
            bestUnknown = unknown;
        }
    }
    return best;
}

// Keeps only what the display adds: pixels equal in the frame drawn without it go black, so the
// screen behind (the menu) cannot pass for lit dots.
void keepOnlyDifferences(Frame& withStats, const Frame& without) {
    for (std::size_t i = 0; i + 3 < withStats.rgba.size() && i + 3 < without.rgba.size(); i += 4) {
        bool same = true;
        for (std::size_t c = 0; c < 3; ++c) same = same && std::abs(withStats.rgba[i + c] - without.rgba[i + c]) < 16;
        if (same) withStats.rgba[i] = withStats.rgba[i + 1] = withStats.rgba[i + 2] = 0;
    }
}

TEST(StatsDisplay, ShowsFrameRateDrawCallsAndVerticesInTheLowerLeftCorner) {
    const kite::test::TemporaryFolder dir("stargrid-stats");
    ASSERT_TRUE(dir.made());
    const std::string environment = " XDG_CONFIG_HOME=" + dir.path() + "/config XDG_DATA_HOME=" + dir.path() +
                                    "/data XDG_CACHE_HOME=" + dir.path() + "/cache XDG_RUNTIME_DIR=" + dir.path() +
                                    " STARGRID_NETWORK=up STARGRID_BOOTSTRAP_URL=http://127.0.0.1:9/ ";
    auto shoot = [&](const std::string& name, const char* options) {
        const std::string shot = dir.path() + "/" + name;
        const std::string command = std::string("SDL_VIDEODRIVER=offscreen") + environment + STARGRID_EXECUTABLE +
                                    " --fixed-step --device ipad --frames 20 --shot 18:" + shot + options +
                                    " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0 ? shot : std::string();
    };
    const std::string withStats = shoot("stats.png", " --stats");
    const std::string without = shoot("plain.png", "");
    ASSERT_FALSE(withStats.empty());
    ASSERT_FALSE(without.empty());
    Frame frame;
    Frame plain;
    ASSERT_TRUE(readFrame(withStats, frame));
    ASSERT_TRUE(readFrame(without, plain));
    keepOnlyDifferences(frame, plain);
    // Lines every 22 points from the bottom: frame rate, draw calls, vertices.
    EXPECT_THAT(readLine(frame, 0), MatchesRegex("[0-9]+\\.[0-9] / [0-9]\\.[0-9][0-9][0-9]"));
    EXPECT_THAT(readLine(frame, 22), MatchesRegex("(GL calls: *)?[0-9]+"));
    EXPECT_THAT(readLine(frame, 44), MatchesRegex("(GL verts: *)?[0-9]+"));
}

}  // namespace
