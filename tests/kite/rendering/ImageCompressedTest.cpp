// Image tests of the compressed kinds: PVR (versions 2 and 3), PKM, DDS and KTX.
#include "kite/rendering/Image.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ImageTestFixture.h"
#include "support/TestImages.h"

namespace kite {
namespace {

using namespace testdata;

Bytes dxt1LevelsForThreads() { return Bytes(32 + 8 + 8, 0x11); }

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

}  // namespace
}  // namespace kite
