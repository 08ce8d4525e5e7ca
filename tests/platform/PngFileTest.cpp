#include "platform/PngFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace platform {
namespace {

const std::vector<std::uint8_t> kTwoPixels = {255, 0, 0, 128, 0, 0, 255, 0};

TEST(PngFile, RGBARowsReadBackUnchangedAndOpaqueFilesDropAlpha) {
    const std::string path = ::testing::TempDir() + "png-file-rgba.png";
    ASSERT_TRUE(writePng(path, 2, 1, kTwoPixels));
    std::optional<PngImage> png = readPng(path);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 2);
    EXPECT_EQ(png->height, 1);
    EXPECT_EQ(png->rgba, kTwoPixels);

    ASSERT_TRUE(writePng(path, 2, 1, kTwoPixels, true));
    png = readPng(path);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->rgba, (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));
    std::remove(path.c_str());
}

TEST(PngFile, RowsThatDoNotFitOrAPathThatCannotBeWrittenFail) {
    EXPECT_TRUE(encodePng(2, 2, kTwoPixels).empty());
    EXPECT_TRUE(encodePng(0, 1, kTwoPixels).empty());
    EXPECT_FALSE(writePng("/nonexistent-folder/a.png", 2, 1, kTwoPixels));
    EXPECT_FALSE(readPng("/nonexistent-folder/a.png"));
    const std::string text = ::testing::TempDir() + "png-file-not-a.png";
    if (std::FILE* f = std::fopen(text.c_str(), "wb")) {
        std::fputs("not a png", f);
        std::fclose(f);
    }
    EXPECT_FALSE(readPng(text));
    std::remove(text.c_str());
}

TEST(PngFile, AFileThatCannotBeWrittenSaysWhy) {
    std::string why;
    EXPECT_FALSE(writePng("/nonexistent-folder/a.png", 2, 1, kTwoPixels, true, &why));
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_FALSE(writePng(::testing::TempDir() + "png-file-unfit.png", 2, 2, kTwoPixels, false, &why));
    EXPECT_EQ(why, "the pixels do not fit the size");
}

TEST(PngFile, PaletteGreyAndInterlacedLayoutsEncode) {
    PngFormat palette;
    palette.colorType = 3;
    palette.palette = {0, 0, 0, 10, 20, 30};
    palette.transparency = {255, 0};
    std::optional<PngImage> png;
    const std::string path = ::testing::TempDir() + "png-file-layouts.png";
    auto roundTrip = [&](int w, int h, const std::vector<std::uint8_t>& rows, const PngFormat& f) {
        std::vector<std::uint8_t> bytes = encodePng(w, h, rows, f);
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
        return readPng(path);
    };
    png = roundTrip(2, 1, {0, 1}, palette);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->rgba, (std::vector<std::uint8_t>{0, 0, 0, 255, 10, 20, 30, 0}));

    PngFormat grey;
    grey.colorType = 0;
    grey.interlaced = true;
    png = roundTrip(3, 3, {0, 50, 100, 150, 200, 250, 1, 2, 3}, grey);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->rgba[4 * 4], 200);  // the middle pixel
    std::remove(path.c_str());
}

}  // namespace
}  // namespace platform
