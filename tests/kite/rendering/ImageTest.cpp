#include "kite/rendering/Image.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ImageTestFixture.h"
#include "kite/foundation/FileUtils.h"
#include "support/TestImages.h"

namespace kite {
namespace {

using namespace testdata;

// ---- detection -------------------------------------------------------------------------

TEST_F(ImageTest, DetectsEachKindFromItsFirstBytes) {
    const Bytes rgba(4 * 4, 200);
    EXPECT_EQ(Image::detectFormat(encodePng(2, 2, rgba, {}).data(), 100), Image::Format::PNG);
    const Bytes jpeg = encodeJpeg(8, 8, 1, Bytes(64, 90));
    EXPECT_EQ(Image::detectFormat(jpeg.data(), jpeg.size()), Image::Format::JPG);
    const Bytes tiffLE = encodeTiff(2, 2, rgba, false), tiffBE = encodeTiff(2, 2, rgba, true);
    EXPECT_EQ(Image::detectFormat(tiffLE.data(), tiffLE.size()), Image::Format::TIFF);
    EXPECT_EQ(Image::detectFormat(tiffBE.data(), tiffBE.size()), Image::Format::TIFF);
    const Bytes webp = encodeWebpLossless(2, 2, rgba);
    EXPECT_EQ(Image::detectFormat(webp.data(), webp.size()), Image::Format::WEBP);
    const Bytes pvr2 = makePvr2(2, 2, 0x12, 32, rgba, 1), pvr3 = makePvr3(2, 2, 0, 0, 1, Bytes(32, 0));
    EXPECT_EQ(Image::detectFormat(pvr2.data(), pvr2.size()), Image::Format::PVR);
    EXPECT_EQ(Image::detectFormat(pvr3.data(), pvr3.size()), Image::Format::PVR);
    const Bytes pkm = makePkm(4, 4, Bytes(8, 0));
    EXPECT_EQ(Image::detectFormat(pkm.data(), pkm.size()), Image::Format::ETC);
    const Bytes dds = makeDds(4, 4, "DXT1", 1, Bytes(8, 0));
    EXPECT_EQ(Image::detectFormat(dds.data(), dds.size()), Image::Format::S3TC);
    const Bytes ktx = makeKtx(4, 4, 0x8C92, {Bytes(8, 0)});
    EXPECT_EQ(Image::detectFormat(ktx.data(), ktx.size()), Image::Format::ATITC);
    const Bytes tga = makeTga(2, 1, 1, 24, 0, {1, 2, 3});
    EXPECT_EQ(Image::detectFormat(tga.data(), tga.size()), Image::Format::UNKNOWN);
}

TEST_F(ImageTest, SignaturesNeedTheirMinimumLength) {
    const Bytes signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(Image::detectFormat(signature.data(), 8), Image::Format::UNKNOWN);
    EXPECT_FALSE(decode(signature));  // handed to the TGA reader, which refuses it
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
    EXPECT_EQ(Image::detectFormat(jpeg.data(), 4), Image::Format::UNKNOWN);
    EXPECT_FALSE(decode(jpeg));
    EXPECT_FALSE(decode({}));
}

// ---- PNG -------------------------------------------------------------------------------

TEST_F(ImageTest, RgbaPngIsPremultiplied) {
    const Bytes rgba = {255, 128, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0, 255, 255, 255, 255};
    auto image = decode(encodePng(2, 2, rgba, {}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::PNG);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    EXPECT_TRUE(image->hasPremultipliedAlpha());
    EXPECT_EQ(image->getWidth(), 2);
    EXPECT_EQ(image->getHeight(), 2);
    EXPECT_EQ(pixelsOf(*image), (Bytes{128, 64, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0, 255, 255, 255, 255}));
}

TEST_F(ImageTest, InterlacedPngDecodesEveryPixel) {
    Bytes rgb(9 * 7 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7);
    PngOptions interlaced{2, 8, {}, {}, true};
    auto image = decode(encodePng(9, 7, rgb, interlaced));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    EXPECT_EQ(pixelsOf(*image), rgb);
}

TEST_F(ImageTest, PngColourTypesMapToTheirFormats) {
    PngOptions rgb{2, 8, {}, {}};
    auto image = decode(encodePng(2, 1, {1, 2, 3, 4, 5, 6}, rgb));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    EXPECT_FALSE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), (Bytes{1, 2, 3, 4, 5, 6}));

    PngOptions grey{0, 8, {}, {}};
    image = decode(encodePng(3, 1, {0, 100, 255}, grey));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::I8);
    EXPECT_EQ(pixelsOf(*image), (Bytes{0, 100, 255}));

    PngOptions greyAlpha{4, 8, {}, {}};
    image = decode(encodePng(1, 1, {100, 50}, greyAlpha));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::AI88);
    EXPECT_FALSE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), (Bytes{100, 50}));
}

TEST_F(ImageTest, LowDepthGreyExpandsToEightBits) {
    PngOptions oneBit{0, 1, {}, {}};
    auto image = decode(encodePng(8, 1, {0xA5}, oneBit));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::I8);
    EXPECT_EQ(pixelsOf(*image), (Bytes{255, 0, 255, 0, 0, 255, 0, 255}));
    PngOptions twoBit{0, 2, {}, {}};
    image = decode(encodePng(4, 1, {0x1B}, twoBit));  // 0, 1, 2, 3
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelsOf(*image), (Bytes{0, 85, 170, 255}));
    PngOptions fourBit{0, 4, {}, {}};
    image = decode(encodePng(2, 1, {0xF1}, fourBit));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelsOf(*image), (Bytes{255, 17}));
}

TEST_F(ImageTest, GreyPngWithTransparencyBecomesGreyAlphaUnpremultiplied) {
    PngOptions grey{0, 8, {}, {0, 100}};
    auto image = decode(encodePng(2, 1, {100, 200}, grey));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::AI88);
    EXPECT_FALSE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), (Bytes{100, 0, 200, 255}));
}

TEST_F(ImageTest, PalettePngsExpandToRgbOrPremultipliedRgba) {
    const Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    PngOptions eightBit{3, 8, palette, {}};
    auto image = decode(encodePng(3, 1, {0, 1, 2}, eightBit));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    EXPECT_EQ(pixelsOf(*image), (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255}));

    PngOptions twoBit{3, 2, palette, {}};
    image = decode(encodePng(4, 1, {0x1B}, twoBit));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelsOf(*image), (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}));

    PngOptions transparent{3, 4, palette, {128, 255}};
    image = decode(encodePng(2, 1, {0x01}, transparent));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    EXPECT_TRUE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), (Bytes{128, 0, 0, 128, 0, 255, 0, 255}));
}

TEST_F(ImageTest, SixteenBitPngsAreStrippedAndRgbTransparencyAddsAlpha) {
    PngOptions deep{2, 16, {}, {}};
    auto image = decode(encodePng(1, 1, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, deep));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    EXPECT_EQ(pixelsOf(*image), (Bytes{0x12, 0x56, 0x9A}));

    PngOptions keyed{2, 8, {}, {0, 1, 0, 2, 0, 3}};
    image = decode(encodePng(2, 1, {1, 2, 3, 9, 9, 9}, keyed));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    EXPECT_EQ(pixelsOf(*image), (Bytes{0, 0, 0, 0, 9, 9, 9, 255}));
}

// ---- JPEG, TIFF, WebP ------------------------------------------------------------------

TEST_F(ImageTest, GreyJpegDecodesToI8) {
    Bytes grey(16 * 8);
    for (int i = 0; i < 16 * 8; ++i) grey[i] = i < 64 ? 40 : 220;
    auto image = decode(encodeJpeg(16, 8, 1, grey));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::JPG);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::I8);
    EXPECT_FALSE(image->hasPremultipliedAlpha());
    ASSERT_EQ(image->getDataLen(), 16 * 8);
    EXPECT_NEAR(image->getData()[0], 40, 3);
    EXPECT_NEAR(image->getData()[16 * 8 - 1], 220, 3);
}

TEST_F(ImageTest, JpegWithStrayBytesBeforeAMarkerStillDecodes) {
    Bytes jpeg = encodeJpeg(16, 8, 1, Bytes(16 * 8, 120));
    // Stray bytes after the first segment that follows the start-of-image marker.
    const std::size_t afterFirstSegment = 4 + ((jpeg[4] << 8) | jpeg[5]);
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(afterFirstSegment), {0x11, 0x22, 0x33});
    ::testing::internal::CaptureStdout();
    auto image = decode(jpeg);
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(image) << out;
    EXPECT_NE(out.find("extraneous bytes"), std::string::npos) << out;
    EXPECT_NEAR(image->getData()[0], 120, 3);
}

TEST_F(ImageTest, ColourJpegDecodesToRgb888) {
    Bytes rgb(16 * 16 * 3);
    for (int i = 0; i < 16 * 16; ++i) {
        rgb[3 * i] = 200;
        rgb[3 * i + 1] = 30;
        rgb[3 * i + 2] = 90;
    }
    auto image = decode(encodeJpeg(16, 16, 3, rgb));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    ASSERT_EQ(image->getDataLen(), 16 * 16 * 3);
    EXPECT_NEAR(image->getData()[0], 200, 4);
    EXPECT_NEAR(image->getData()[1], 30, 4);
    EXPECT_NEAR(image->getData()[2], 90, 4);
}

TEST_F(ImageTest, TiffDecodesInBothByteOrders) {
    const Bytes rgba = {255, 0, 0, 255, 0, 128, 0, 128, 0, 0, 255, 255, 10, 20, 30, 40, 1, 2, 3, 255, 0, 0, 0, 0};
    for (bool bigEndian : {false, true}) {
        auto image = decode(encodeTiff(3, 2, rgba, bigEndian));
        ASSERT_TRUE(image) << bigEndian;
        EXPECT_EQ(image->getFileType(), Image::Format::TIFF);
        EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
        EXPECT_TRUE(image->hasPremultipliedAlpha());
        EXPECT_EQ(image->getWidth(), 3);
        EXPECT_EQ(pixelsOf(*image), rgba);
    }
}

TEST_F(ImageTest, TiffWhosePixelsCannotBeReadFails) {
    // The directory stays intact, but its strip offset points past the end of the data.
    Bytes tiff = encodeTiff(3, 2, Bytes(3 * 2 * 4, 7), false);
    auto le16 = [&](std::size_t at) { return tiff[at] | (tiff[at + 1] << 8); };
    const std::size_t directory = tiff[4] | (tiff[5] << 8) | (tiff[6] << 16) | (std::size_t(tiff[7]) << 24);
    bool moved = false;
    for (int i = 0; i < le16(directory); ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        if (le16(entry) == 273) {  // strip offsets, one strip: the value sits in the entry
            tiff[entry + 8] = 0xF0;
            tiff[entry + 9] = 0xFF;
            tiff[entry + 10] = 0xFF;
            tiff[entry + 11] = 0x0F;
            moved = true;
        }
    }
    ASSERT_TRUE(moved);
    EXPECT_FALSE(decode(tiff));
}

TEST_F(ImageTest, LosslessWebpDecodesExactly) {
    Bytes rgba(5 * 3 * 4);
    Lcg random(7);
    for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = random.byte();
    for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    auto image = decode(encodeWebpLossless(5, 3, rgba));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::WEBP);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    EXPECT_FALSE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), rgba);
}

// ---- TGA, containers, raw data, files --------------------------------------------------

TEST_F(ImageTest, TgaFormatsFollowTypeAndDepth) {
    auto image = decode(makeTga(2, 1, 1, 24, 0, {1, 2, 3}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::TGA);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    EXPECT_FALSE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), (Bytes{3, 2, 1}));
    image = decode(makeTga(10, 1, 1, 32, 8, {0x80, 1, 2, 3, 4}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    image = decode(makeTga(2, 1, 1, 16, 1, {0, 0x80}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB5A1);
    image = decode(makeTga(3, 2, 1, 8, 0, {7, 8}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::I8);
    EXPECT_FALSE(decode(makeTga(3, 1, 1, 16, 0, {7, 8})));
}

TEST_F(ImageTest, TgaLargerThanAnyTextureIsRefusedBeforeDecoding) {
    // A few run-length packets announcing 30000 x 30000 pixels.
    Bytes runs;
    for (int i = 0; i < 64; ++i) runs.insert(runs.end(), {0xFF, 1, 2, 3});
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(decode(makeTga(10, 30000, 30000, 24, 0, runs)));
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("TGA: unsupported size 30000 x 30000"), std::string::npos);
}

TEST_F(ImageTest, GzipAndKtzContainersAreUnpackedFirst) {
    const Bytes tga = makeTga(2, 2, 1, 24, 0, {1, 2, 3, 4, 5, 6});
    auto image = decode(gzip(tga));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelsOf(*image), (Bytes{3, 2, 1, 6, 5, 4}));
    image = decode(ktz(encodePng(1, 1, {9, 8, 7, 255}, {})));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelsOf(*image), (Bytes{9, 8, 7, 255}));
    Bytes broken = gzip(tga);
    broken.resize(broken.size() / 2);
    EXPECT_FALSE(decode(broken));
}

TEST_F(ImageTest, RawDataIsCopiedAsRgba) {
    RefPtr<Image> image(new Image());
    image->release();
    const Bytes rgba(2 * 2 * 4, 77);
    EXPECT_FALSE(image->initWithRawData(rgba.data(), rgba.size(), 0, 2, 8));
    ASSERT_TRUE(image->initWithRawData(rgba.data(), rgba.size(), 2, 2, 8, true));
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    EXPECT_TRUE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), rgba);
}

TEST_F(ImageTest, LoadsFromAFileAndFailsForAMissingOne) {
    char path[] = "/tmp/stargrid-image-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const Bytes png = encodePng(1, 1, {1, 2, 3, 255}, {});
    ASSERT_EQ(write(fd, png.data(), png.size()), static_cast<ssize_t>(png.size()));
    close(fd);
    RefPtr<Image> image(new Image());
    image->release();
    EXPECT_TRUE(image->initWithImageFile(path));
    EXPECT_EQ(image->getFilePath(), path);
    EXPECT_EQ(pixelsOf(*image), (Bytes{1, 2, 3, 255}));

    // A relative name is resolved over the search paths.
    const std::string full(path);
    const std::string folder = full.substr(0, full.rfind('/') + 1);
    FileUtils* files = FileUtils::getInstance();
    const std::vector<std::string> savedPaths = files->getSearchPaths();
    files->setSearchPaths({folder});
    RefPtr<Image> relative(new Image());
    relative->release();
    EXPECT_TRUE(relative->initWithImageFile(full.substr(folder.size())));
    EXPECT_EQ(relative->getFilePath(), full);
    files->setSearchPaths(savedPaths);
    files->purgeCachedEntries();

    std::remove(path);
    RefPtr<Image> missing(new Image());
    missing->release();
    EXPECT_FALSE(missing->initWithImageFileThreadSafe(path));
}

}  // namespace
}  // namespace kite
