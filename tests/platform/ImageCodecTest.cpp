#include "platform/ImageCodec.h"
#include "platform/PngFile.h"

#include <gtest/gtest.h>

TEST(ImageCodec, JpegOfAnImageDecodesAndDamagedBytesDoNot) {
    platform::RgbaImage image;
    image.width = 16;
    image.height = 8;
    for (int i = 0; i < image.width * image.height; ++i) {
        image.pixels.insert(image.pixels.end(), {std::uint8_t(i), std::uint8_t(255 - i), 40, 255});
    }
    const auto jpeg = platform::encodeJpeg(image, 0.6f);
    ASSERT_TRUE(jpeg);
    EXPECT_TRUE(platform::isDecodableImage(jpeg->data(), jpeg->size()));

    std::vector<std::uint8_t> cut(jpeg->begin(), jpeg->begin() + long(jpeg->size() / 3));
    EXPECT_FALSE(platform::isDecodableImage(cut.data(), cut.size()));
    const std::uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    EXPECT_FALSE(platform::isDecodableImage(png, sizeof png));
    const std::uint8_t text[] = "plain text";
    EXPECT_FALSE(platform::isDecodableImage(text, sizeof text));

    platform::RgbaImage inconsistent;
    inconsistent.width = 4;
    inconsistent.height = 4;
    EXPECT_FALSE(platform::encodeJpeg(inconsistent, 0.6f));
}

TEST(ImageCodec, PngAndJpegDecodeToRgbaOfTheirSize) {
    platform::RgbaImage image;
    image.width = 12;
    image.height = 6;
    image.pixels.assign(12 * 6 * 4, 0);
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        image.pixels[i] = 200;
        image.pixels[i + 3] = 255;
    }
    const auto jpeg = platform::encodeJpeg(image, 0.9f);
    ASSERT_TRUE(jpeg);
    const auto fromJpeg = platform::decodeImage(jpeg->data(), jpeg->size());
    ASSERT_TRUE(fromJpeg);
    EXPECT_EQ(fromJpeg->width, 12);
    EXPECT_EQ(fromJpeg->height, 6);
    ASSERT_EQ(fromJpeg->pixels.size(), image.pixels.size());
    EXPECT_NEAR(fromJpeg->pixels[0], 200, 8);
    EXPECT_EQ(fromJpeg->pixels[3], 255);

    const auto png = platform::encodePng(image.width, image.height, image.pixels);
    const auto fromPng = platform::decodeImage(png.data(), png.size());
    ASSERT_TRUE(fromPng);
    EXPECT_EQ(fromPng->pixels, image.pixels);

    std::vector<std::uint8_t> cut(jpeg->begin(), jpeg->begin() + long(jpeg->size() / 2));
    EXPECT_FALSE(platform::decodeImage(cut.data(), cut.size()));
    const std::uint8_t text[] = "plain text";
    EXPECT_FALSE(platform::decodeImage(text, sizeof text));
}
