#include "tests/support/GLTest.h"

#include "platform/PngFile.h"

#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

class GLTestFixture : public test::GLTest {
protected:
    // Bottom half red, top half blue.
    void paintHalves() {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, frameWidth(), frameHeight() / 2);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(0, frameHeight() / 2, frameWidth(), frameHeight() / 2);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }
};

TEST_F(GLTestFixture, EachTestStartsOnAnOpaqueBlackFrame) {
    EXPECT_EQ(readPixel(0, 0), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(readPixel(63, 63), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(takeGLError(), static_cast<unsigned>(GL_NO_ERROR));
}

TEST_F(GLTestFixture, PixelsCountFromTheBottomAndFramesFromTheTop) {
    paintHalves();
    EXPECT_EQ(readPixel(10, 2), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(readPixel(10, 61), (Pixel{0, 0, 255, 255}));
    const std::vector<std::uint8_t> frame = readFrame();
    ASSERT_EQ(frame.size(), 64u * 64u * 4u);
    EXPECT_EQ(frame[2], 255);                 // top-left is blue
    EXPECT_EQ(frame[frame.size() - 4], 255);  // bottom-right is red
}

TEST_F(GLTestFixture, SavedFrameIsAPNGOfTheSamePixels) {
    paintHalves();
    const std::string path = saveFrame("-halves");
    EXPECT_EQ(std::filesystem::path(path).filename(), "GLTestFixture.SavedFrameIsAPNGOfTheSamePixels-halves.png");
    std::optional<platform::PngImage> png = platform::readPng(path);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->rgba, readFrame());
    EXPECT_EQ(png->width, 64);
    EXPECT_EQ(png->height, 64);
}

TEST_F(GLTestFixture, WritingIntoAMissingFolderFailsCleanly) {
    std::vector<std::uint8_t> pixels(4 * 4 * 4, 0);
    EXPECT_FALSE(test::writePNG("/nonexistent-folder/frame.png", 4, 4, pixels));
    EXPECT_FALSE(test::writePNG(test::artifactsDirectory() + "/short.png", 4, 4, std::vector<std::uint8_t>(3)));
}

class WideGLTestFixture : public test::GLTest {
protected:
    int frameWidth() const override { return 48; }
    int frameHeight() const override { return 24; }
};

TEST_F(WideGLTestFixture, SuiteChoosesItsFrameSize) {
    EXPECT_EQ(context()->drawableWidth(), 48);
    EXPECT_EQ(context()->drawableHeight(), 24);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_THAT(readPixel(47, 23), PixelNear(Pixel{0, 255, 0, 255}, 0));
    EXPECT_EQ(readFrame().size(), 48u * 24u * 4u);
}

// A phone-sized frame, larger than the other suites' frames, in any order.
class PhoneGLTestFixture : public test::GLTest {
protected:
    int frameWidth() const override { return 640; }
    int frameHeight() const override { return 1136; }
};

TEST_F(PhoneGLTestFixture, LargerFrameIsDrawnToTheCorner) {
    EXPECT_EQ(readPixel(639, 1135), (Pixel{0, 0, 0, 255}));
    glClearColor(1, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(readPixel(639, 1135), (Pixel{255, 255, 0, 255}));
    EXPECT_EQ(readPixel(0, 0), (Pixel{255, 255, 0, 255}));
}

}  // namespace
}  // namespace kite
