// The director's statistics display read back, cell by cell, from a frame drawn one design point per pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/StatsDigitsImage.h"
#include "platform/Clock.h"
#include "platform/PngFile.h"
#include "support/GLTest.h"
#include "support/RunningScene.h"

namespace kite {
namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 852;

class DirectorStatsTest : public test::RunningSceneTest {
protected:
    Size frameSize() const override { return Size(kWidth, kHeight); }
    Size designSize() const override { return Size(kWidth, kHeight); }

    // Draws the next frame and keeps it.
    std::optional<platform::PngImage> drawFrame(const std::string& name) {
        const std::string path = test::artifactsDirectory() + "/director-stats-" + name + ".png";
        hostView->captureNextFrame(path);
        Director::getInstance()->mainLoop();
        return platform::readPng(path);
    }
};

bool whiteAt(const platform::PngImage& png, int x, int row) {
    if (x < 0 || row < 0 || x >= png.width || row >= png.height) return false;
    const std::uint8_t* p = &png.rgba[static_cast<std::size_t>((row * png.width + x) * 4)];
    return p[0] > 200 && p[1] > 200 && p[2] > 200;
}

// The glyphs are 5 x 7 dots of 2 x 2 pixels from (1, 9) of their cell. A dot is lit when a pixel of it is:
// a drawing off by part of a pixel blurs its edges, never its middle.
char readCell(const platform::PngImage& png, int left, int top) {
    auto lit = [&](int x, int y) {
        return whiteAt(png, left + x, top + y) || whiteAt(png, left + x + 1, top + y) ||
               whiteAt(png, left + x, top + y + 1) || whiteAt(png, left + x + 1, top + y + 1);
    };
    for (const char* c = " ./0123456789"; *c; ++c) {
        int mismatches = 0;
        for (int y = 9; y < 23; y += 2)
            for (int x = 1; x < 11; x += 2) mismatches += lit(x, y) != statsGlyphCovers(*c, x, y);
        if (mismatches == 0) return *c;
    }
    return '?';
}

// The display's lowest line (the frame rate), read at the rows where it reads best: the labels may sit
// a pixel or two off their cells.
std::string readFrameRateLine(const platform::PngImage& png, int cells) {
    std::string best;
    for (int shift = -3; shift <= 3; ++shift) {
        std::string text;
        for (int cell = 0; cell < cells; ++cell)
            text += readCell(png, cell * kStatsCellWidth, kHeight - kStatsCellHeight + shift);
        if (best.empty() || std::count(text.begin(), text.end(), '?') < std::count(best.begin(), best.end(), '?'))
            best = text;
    }
    return best;
}

TEST_F(DirectorStatsTest, SecondsPerFrameReadsOneUntilAFrameWasMeasured) {
    Director* director = Director::getInstance();
    director->mainLoop();
    director->setDisplayStats(true);
    // A frame of 0.2 s renews the text at once: 1 / (0.2 x 0.1 + 0.016 x 0.9) frames a second.
    platform::Clock::advance(0.2);
    const std::optional<platform::PngImage> frame = drawFrame("first");
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->width, kWidth);
    EXPECT_EQ(readFrameRateLine(*frame, 12), "29.1 / 1.000");
}

}  // namespace
}  // namespace kite
