#include "kite/rendering/Image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "support/TestImages.h"
#include "kite/foundation/FileUtils.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/decoders/ETC1.h"
#include "kite/rendering/decoders/PVRTC.h"
#include "kite/rendering/decoders/S3TC.h"

namespace kite {
namespace {

using namespace testdata;

// Each test starts from a configuration that has gathered nothing: no compressed format,
// no BGRA8888, only power-of-two sizes.
class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { Configuration::destroyInstance(); }
    void TearDown() override {
        Configuration::destroyInstance();
        Image::setPVRImagesHavePremultipliedAlpha(false);
    }

    // As if the GL context advertised these extensions (any size is then allowed).
    static void setSupport(bool pvrtc, bool s3tc, bool atitc, bool bgra = false) {
        std::string extensions;
        if (pvrtc) extensions += "GL_IMG_texture_compression_pvrtc ";
        if (s3tc) extensions += "GL_EXT_texture_compression_s3tc ";
        if (atitc) extensions += "GL_AMD_compressed_ATC_texture ";
        if (bgra) extensions += "GL_IMG_texture_format_BGRA8888 ";
        Configuration::getInstance()->updateExtensionSupport(extensions.c_str());
    }
};

Bytes dxt1LevelsForThreads() { return Bytes(32 + 8 + 8, 0x11); }

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

// ---- PVR -------------------------------------------------------------------------------

TEST_F(ImageTest, PvrVersion2KeepsUncompressedLevels) {
    Bytes levels(4 * 2 * 4 + 2 * 1 * 4 + 1 * 1 * 4);  // 4x2, 2x1 and 1x1: only their own pixels
    for (std::size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<std::uint8_t>(i);
    auto image = decode(makePvr2(4, 2, 0x12, 32, levels, 3));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::PVR);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    EXPECT_FALSE(image->hasPremultipliedAlpha());
    ASSERT_EQ(image->getNumberOfMipmaps(), 3);
    EXPECT_EQ(image->getMipmaps()[0].len, 32);
    EXPECT_EQ(image->getMipmaps()[1].len, 8);
    EXPECT_EQ(image->getMipmaps()[2].len, 4);
    EXPECT_EQ(image->getMipmaps()[1].address[0], 32);
    EXPECT_EQ(image->getMipmaps()[2].address[0], 40);
}

TEST_F(ImageTest, PvrVersion3NonSquareUncompressedChainsLoadEveryLevel) {
    const std::uint64_t rgba8888 = 'r' | ('g' << 8) | ('b' << 16) | (std::uint64_t('a') << 24) | (0x08080808ull << 32);
    auto image = decode(makePvr3(8, 2, rgba8888, 0, 4, Bytes((16 + 4 + 2 + 1) * 4, 7)));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->getNumberOfMipmaps(), 4);
    EXPECT_EQ(image->getMipmaps()[3].len, 4);
    const std::uint64_t i8 = 'l' | (8ull << 32);
    image = decode(makePvr3(16, 4, i8, 0, 5, Bytes(64 + 16 + 4 + 2 + 1, 7)));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->getNumberOfMipmaps(), 5);
    EXPECT_EQ(image->getMipmaps()[1].address - image->getMipmaps()[0].address, 64);
    EXPECT_EQ(image->getMipmaps()[4].address - image->getMipmaps()[0].address, 86);
}

TEST_F(ImageTest, PvrWithoutLevelsIsRefusedAndACountOfZeroMeansOne) {
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(decode(makePvr2(2, 2, 0x12, 32, Bytes(), 1)));
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("no levels"), std::string::npos);
    const std::uint64_t i8 = 'l' | (8ull << 32);
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(decode(makePvr3(2, 2, i8, 0, 0, Bytes())));
    ::testing::internal::GetCapturedStdout();
    auto image = decode(makePvr3(2, 2, i8, 0, 0, Bytes(4, 9)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getNumberOfMipmaps(), 1);
    EXPECT_EQ(pixelsOf(*image), Bytes(4, 9));
}

TEST_F(ImageTest, PvrVersion2TakesTheClassWidePremultipliedFlag) {
    Image::setPVRImagesHavePremultipliedAlpha(true);
    auto image = decode(makePvr2(2, 2, 0x12, 32, Bytes(16, 1), 1));
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->hasPremultipliedAlpha());
}

TEST_F(ImageTest, PvrtcWithoutGpuSupportIsDecodedToRgba) {
    const std::uint32_t redBlue = 0x801F0000u | 0xFC00u;
    Bytes blocks;
    for (int i = 0; i < 4; ++i) {
        for (std::uint32_t word : {0u, redBlue})
            for (int b = 0; b < 4; ++b) blocks.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
    }
    auto image = decode(makePvr2(8, 8, 0x19, 4, blocks, 1));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    ASSERT_EQ(image->getNumberOfMipmaps(), 1);
    EXPECT_EQ(image->getDataLen(), 8 * 8 * 4);
    EXPECT_EQ(image->getMipmaps()[0].len, 8 * 8 * 4);
    EXPECT_EQ(Bytes(image->getData(), image->getData() + 4), (Bytes{255, 0, 0, 255}));

    setSupport(true, false, false);
    image = decode(makePvr2(8, 8, 0x19, 4, blocks, 1));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::PVRTC4A);
    EXPECT_TRUE(image->isCompressed());
    EXPECT_EQ(image->getMipmaps()[0].len, 32);
}

TEST_F(ImageTest, PvrVersion2RefusesWhatTheGpuCannotSample) {
    EXPECT_FALSE(decode(makePvr2(2, 2, 0x1A, 32, Bytes(16, 0), 1)));  // BGRA8888
    EXPECT_FALSE(decode(makePvr2(3, 2, 0x12, 32, Bytes(24, 0), 1)));  // not a power of two
    EXPECT_FALSE(decode(makePvr2(2, 2, 0x20, 32, Bytes(16, 0), 1)));  // unknown pixel type
    setSupport(false, false, false, true);
    EXPECT_TRUE(decode(makePvr2(2, 2, 0x1A, 32, Bytes(16, 0), 1)));
    EXPECT_TRUE(decode(makePvr2(3, 2, 0x12, 32, Bytes(24, 0), 1)));
}

TEST_F(ImageTest, PvrVersion3ReadsChannelFormatsAfterTheMetadata) {
    const std::uint64_t rgba8888 = 'r' | ('g' << 8) | ('b' << 16) | (std::uint64_t('a') << 24) | (0x08080808ull << 32);
    Bytes pixels(2 * 2 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(100 + i);
    auto image = decode(makePvr3(2, 2, rgba8888, 0, 1, pixels, 12));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    EXPECT_TRUE(image->hasPremultipliedAlpha());  // the construction default
    ASSERT_EQ(image->getNumberOfMipmaps(), 1);
    EXPECT_EQ(Bytes(image->getMipmaps()[0].address, image->getMipmaps()[0].address + 16), pixels);

    const std::uint64_t i8 = 'l' | (8ull << 32);
    image = decode(makePvr3(2, 2, i8, 2, 1, Bytes(4, 9)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::I8);
}

TEST_F(ImageTest, PvrVersion3EtcIsDecodedToRgb) {
    // A solid block: individual mode, both bases (136, 136, 136), table 0, all pixels +2.
    Bytes block = {0x88, 0x88, 0x88, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes blocks;
    for (int i = 0; i < 4; ++i) blocks.insert(blocks.end(), block.begin(), block.end());
    auto image = decode(makePvr3(8, 8, 6, 0, 1, blocks));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    EXPECT_EQ(image->getDataLen(), 8 * 8 * 3);
    EXPECT_EQ(pixelsOf(*image), Bytes(8 * 8 * 3, 138));
}

TEST_F(ImageTest, PvrVersion3EtcCoversSizesRoundedUpToWholeBlocks) {
    Bytes block = {0x88, 0x88, 0x88, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes blocks;
    for (int i = 0; i < 3 * 4; ++i) blocks.insert(blocks.end(), block.begin(), block.end());
    auto image = decode(makePvr3(9, 13, 6, 0, 1, blocks));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelsOf(*image), Bytes(9 * 13 * 3, 138));

    // 4x4, 2x2 and 1x1: one block each.
    blocks.resize(3 * block.size());
    image = decode(makePvr3(4, 4, 6, 0, 3, blocks));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->getNumberOfMipmaps(), 3);
    EXPECT_EQ(image->getMipmaps()[2].len, 3);
    EXPECT_EQ(image->getMipmaps()[2].address[0], 138);
}

TEST_F(ImageTest, PvrVersion3RefusesDxtAndBgraWithoutSupport) {
    EXPECT_FALSE(decode(makePvr3(4, 4, 7, 0, 1, Bytes(8, 0))));
    const std::uint64_t bgra = 'b' | ('g' << 8) | ('r' << 16) | (std::uint64_t('a') << 24) | (0x08080808ull << 32);
    EXPECT_FALSE(decode(makePvr3(2, 2, bgra, 0, 1, Bytes(16, 0))));
    EXPECT_FALSE(decode(makePvr3(2, 2, 99, 0, 1, Bytes(16, 0))));
}

TEST_F(ImageTest, PvrVersion3PremultipliedFlagIsHonoured) {
    const std::uint64_t rgba8888 = 'r' | ('g' << 8) | ('b' << 16) | (std::uint64_t('a') << 24) | (0x08080808ull << 32);
    Image::setPVRImagesHavePremultipliedAlpha(false);
    auto image = decode(makePvr3(2, 2, rgba8888, 2, 1, Bytes(16, 5)));
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->hasPremultipliedAlpha());
}

TEST_F(ImageTest, MipmapTablesHoldAtMostSixteenLevels) {
    // Version 2 walks levels while data remains: twenty 2 x 2 levels keep the first sixteen.
    auto image = decode(makePvr2(2, 2, 0x12, 32, Bytes(20 * 16, 3), 20));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getNumberOfMipmaps(), Image::MIPMAP_MAX);
    // Containers that announce more levels than an image holds are refused.
    const std::uint64_t i8 = 'l' | (8ull << 32);
    EXPECT_FALSE(decode(makePvr3(2, 2, i8, 0, 17, Bytes(17 * 4, 0))));
    EXPECT_FALSE(decode(makeDds(4, 4, "DXT1", 17, Bytes(17 * 8, 0))));
    EXPECT_FALSE(decode(makeKtx(4, 4, 0x8C92, std::vector<Bytes>(17, Bytes(8, 0)))));
}

TEST_F(ImageTest, ContainersTooShortForTheirHeadersOrMetadataFail) {
    Bytes pvr3 = makePvr3(2, 2, 'l' | (8ull << 32), 0, 1, Bytes(4, 0), 8);
    pvr3.resize(52 + 6);  // the metadata runs past the end
    EXPECT_FALSE(decode(pvr3));
    Bytes pvr2 = makePvr2(2, 2, 0x12, 32, Bytes(16, 0), 1);
    pvr2.resize(pvr2.size() - 1);  // fewer bytes than announced
    EXPECT_FALSE(decode(pvr2));
    Bytes ktx = makeKtx(4, 4, 0x8C92, {Bytes(8, 0)}, 64);
    ktx.resize(64 + 10);  // the key/value data runs past the end
    EXPECT_FALSE(decode(ktx));
    EXPECT_FALSE(decode(makeDds(20000, 4, "DXT1", 1, Bytes(8, 0))));  // larger than any texture
}

TEST_F(ImageTest, DecodesOnSeveralThreadsAtOnce) {
    Lcg random(5);
    const Bytes png = encodePng(16, 16, random.bytes(16 * 16 * 4), {});
    const Bytes dds = makeDds(8, 8, "DXT1", 3, dxt1LevelsForThreads());
    Configuration::getInstance();  // made on the main thread first, as the director does
    std::atomic<int> decoded{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                if (decode(png)) ++decoded;
                if (decode(dds)) ++decoded;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(decoded, 4 * 20 * 2);
}

// ---- PKM, DDS, KTX ---------------------------------------------------------------------

TEST_F(ImageTest, PkmIsDecodedToRgb888) {
    Bytes block = {0x88, 0x88, 0x88, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes blocks;
    for (int i = 0; i < 4; ++i) blocks.insert(blocks.end(), block.begin(), block.end());
    auto image = decode(makePkm(5, 6, blocks));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::ETC);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGB888);
    EXPECT_TRUE(image->hasPremultipliedAlpha());
    EXPECT_EQ(pixelsOf(*image), Bytes(5 * 6 * 3, 138));
    EXPECT_FALSE(decode(makePkm(5, 6, Bytes(blocks.begin(), blocks.end() - 1))));
}

Bytes dxt1Levels() {
    // 8x8 red, 4x4 green, 2x2 blue.
    Bytes levels;
    auto add = [&](int blocks, std::uint16_t colour) {
        for (int i = 0; i < blocks; ++i) {
            levels.insert(levels.end(), {std::uint8_t(colour), std::uint8_t(colour >> 8), std::uint8_t(colour),
                                         std::uint8_t(colour >> 8), 0, 0, 0, 0});
        }
    };
    add(4, 0xF800);
    add(1, 0x07E0);
    add(1, 0x001F);
    return levels;
}

TEST_F(ImageTest, DdsWithoutS3tcSupportIsDecodedLevelByLevel) {
    auto image = decode(makeDds(8, 8, "DXT1", 3, dxt1Levels()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::S3TC);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    ASSERT_EQ(image->getNumberOfMipmaps(), 3);
    EXPECT_EQ(image->getDataLen(), (64 + 16 + 4) * 4);
    EXPECT_EQ(image->getMipmaps()[1].address, image->getData() + 256);
    EXPECT_EQ(Bytes(image->getMipmaps()[0].address, image->getMipmaps()[0].address + 4), (Bytes{248, 0, 0, 255}));
    EXPECT_EQ(Bytes(image->getMipmaps()[1].address, image->getMipmaps()[1].address + 4), (Bytes{0, 255, 0, 255}));
    // The 2 x 2 level is decoded too, clipped from its one block.
    EXPECT_EQ(Bytes(image->getMipmaps()[2].address, image->getMipmaps()[2].address + 16),
              (Bytes{0, 0, 248, 255, 0, 0, 248, 255, 0, 0, 248, 255, 0, 0, 248, 255}));
}

TEST_F(ImageTest, DdsIsDecodedEvenWithS3tcSupportWhileTexturesCannotBeMadeOfS3tc) {
    // The texture table has no S3TC rows: keeping the blocks would give an image no texture takes.
    setSupport(false, true, false);
    auto image = decode(makeDds(8, 8, "DXT1", 3, dxt1Levels()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    ASSERT_EQ(image->getNumberOfMipmaps(), 3);
    EXPECT_EQ(image->getDataLen(), (64 + 16 + 4) * 4);
    EXPECT_EQ(Bytes(image->getMipmaps()[1].address, image->getMipmaps()[1].address + 4), (Bytes{0, 255, 0, 255}));
    auto dxt5 = decode(makeDds(4, 4, "DXT5", 1, Bytes(16, 0)));
    ASSERT_TRUE(dxt5);
    EXPECT_EQ(dxt5->getRenderFormat(), PixelFormat::RGBA8888);
}

TEST_F(ImageTest, DdsMipmapCountZeroMeansOneLevel) {
    auto image = decode(makeDds(8, 8, "DXT1", 0, dxt1Levels()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getNumberOfMipmaps(), 1);
    EXPECT_EQ(image->getDataLen(), 8 * 8 * 4);
}

TEST_F(ImageTest, DdsRefusesUnknownCodesAndTruncatedLevels) {
    EXPECT_FALSE(decode(makeDds(8, 8, "ATI2", 1, Bytes(64, 0))));
    Bytes levels = dxt1Levels();
    levels.resize(levels.size() - 1);
    EXPECT_FALSE(decode(makeDds(8, 8, "DXT1", 3, levels)));
    EXPECT_FALSE(decode(Bytes{'D', 'D', 'S', ' ', 0}));
}

TEST_F(ImageTest, KtxAtcIsDecodedWithOrWithoutGpuSupport) {
    const Bytes red = {0x00, 0x7C, 0x00, 0x7C, 0, 0, 0, 0};  // c0 = c1 = red
    auto image = decode(makeKtx(4, 4, 0x8C92, {red}, 8));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getFileType(), Image::Format::ATITC);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    ASSERT_EQ(image->getNumberOfMipmaps(), 1);
    EXPECT_EQ(Bytes(image->getData(), image->getData() + 4), (Bytes{248, 0, 0, 255}));

    // With ATC support the blocks are still decoded: the texture table has no ATC rows.
    setSupport(false, false, true);
    Bytes alphaLevel(16, 0);
    image = decode(makeKtx(4, 4, 0x87EE, {alphaLevel, alphaLevel, alphaLevel}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getRenderFormat(), PixelFormat::RGBA8888);
    ASSERT_EQ(image->getNumberOfMipmaps(), 3);
    EXPECT_EQ(image->getMipmaps()[1].address, image->getData() + 4 * 4 * 4);
    EXPECT_FALSE(decode(makeKtx(4, 4, 0x1234, {red})));
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
