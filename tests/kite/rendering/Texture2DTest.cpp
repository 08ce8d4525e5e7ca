#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DrawTestSupport.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "support/GLTest.h"
#include "support/TestImages.h"

namespace kite {
namespace {

using PF = Texture2D::PixelFormat;
using test::Pixel;
using test::PixelNear;

class Texture2DTest : public test::RendererFixture {
protected:
    // Draws the texture over the whole frame without blending: texel (i, j) of a
    // 2 x 2 texture lands in the frame quarter at column i, row j from the top.
    void drawFullFrame(Texture2D* texture) {
        texture->setAliasTexParameters();
        PosColorTexQuad q = test::quadAt(0, 0, static_cast<float>(frameWidth()), static_cast<float>(frameHeight()));
        QuadCommand command;
        command.init(0.0f, texture->getName(), test::stateNamed(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP),
                     BlendFunc::DISABLE, &q, 1, Mat4::IDENTITY, 0);
        renderer_->addCommand(&command);
        renderer_->render();
    }
    Pixel texel(int column, int rowFromTop) {
        return readPixel(16 + 32 * column, frameHeight() - 16 - 32 * rowFromTop);
    }

    RefPtr<Texture2D> upload(const std::vector<std::uint8_t>& bytes, PF format, int w, int h) {
        RefPtr<Texture2D> texture(Texture2D::create());
        EXPECT_TRUE(texture->initWithData(bytes.data(), static_cast<ssize_t>(bytes.size()), format, w, h));
        return texture;
    }

    static GLint unpackAlignment() {
        GLint value = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
        return value;
    }
};

TEST_F(Texture2DTest, RGBA8888ReadsBackTexelForTexel) {
    auto texture = upload({255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 40}, PF::RGBA8888, 2, 2);
    EXPECT_EQ(texture->getPixelFormat(), PF::RGBA8888);
    EXPECT_EQ(texture->getPixelsWide(), 2);
    EXPECT_FLOAT_EQ(texture->getMaxS(), 1.0f);
    EXPECT_FALSE(texture->hasPremultipliedAlpha());
    ASSERT_NE(texture->getGLProgram(), nullptr);
    drawFullFrame(texture.get());
    EXPECT_EQ(texel(0, 0), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(texel(1, 0), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(texel(0, 1), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(texel(1, 1), (Pixel{10, 20, 30, 40}));
}

TEST_F(Texture2DTest, RGB565ReadsBackItsExpandedChannels) {
    // Little-endian 5-6-5 words: pure red, pure green, pure blue, and (16, 32, 8).
    const std::uint16_t words[4] = {0xF800, 0x07E0, 0x001F, (16u << 11) | (32u << 5) | 8u};
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : words) bytes.insert(bytes.end(), {std::uint8_t(w & 0xFF), std::uint8_t(w >> 8)});
    auto texture = upload(bytes, PF::RGB565, 2, 2);
    drawFullFrame(texture.get());
    EXPECT_THAT(texel(0, 0), PixelNear(Pixel{255, 0, 0, 255}, 1));
    EXPECT_THAT(texel(1, 0), PixelNear(Pixel{0, 255, 0, 255}, 1));
    EXPECT_THAT(texel(0, 1), PixelNear(Pixel{0, 0, 255, 255}, 1));
    EXPECT_THAT(texel(1, 1), PixelNear(Pixel{132, 130, 66, 255}, 2));
}

TEST_F(Texture2DTest, A8I8AndAI88ReadBackAsAlphaAndIntensity) {
    auto a8 = upload({0, 64, 128, 255}, PF::A8, 2, 2);
    drawFullFrame(a8.get());
    EXPECT_EQ(texel(0, 0), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(texel(1, 0), (Pixel{0, 0, 0, 64}));
    EXPECT_EQ(texel(1, 1), (Pixel{0, 0, 0, 255}));

    auto i8 = upload({0, 64, 128, 255}, PF::I8, 2, 2);
    drawFullFrame(i8.get());
    EXPECT_EQ(texel(1, 0), (Pixel{64, 64, 64, 255}));
    EXPECT_EQ(texel(0, 1), (Pixel{128, 128, 128, 255}));

    auto ai88 = upload({10, 20, 30, 40, 50, 60, 70, 80}, PF::AI88, 2, 2);
    drawFullFrame(ai88.get());
    EXPECT_EQ(texel(0, 0), (Pixel{10, 10, 10, 20}));
    EXPECT_EQ(texel(1, 1), (Pixel{70, 70, 70, 80}));
}

TEST_F(Texture2DTest, UnpackAlignmentFollowsTheRowLength) {
    std::vector<std::uint8_t> bytes(64, 0x7F);
    upload(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 9), PF::RGB888, 3, 1);
    EXPECT_EQ(unpackAlignment(), 1);
    upload(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 16), PF::RGBA8888, 4, 1);
    EXPECT_EQ(unpackAlignment(), 8);
    upload(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4), PF::RGB565, 2, 1);
    EXPECT_EQ(unpackAlignment(), 4);
    upload(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 2), PF::RGB565, 1, 1);
    EXPECT_EQ(unpackAlignment(), 2);
}

TEST_F(Texture2DTest, TwoMipmapLevelsUploadAndPickAMipmapFilter) {
    std::vector<std::uint8_t> level0(16, 200), level1(8, 100);
    MipmapInfo levels[2];
    levels[0].address = level0.data();
    levels[0].len = 16;
    levels[1].address = level1.data();
    levels[1].len = 8;
    RefPtr<Texture2D> texture(Texture2D::create());
    ASSERT_TRUE(texture->initWithMipmaps(levels, 2, PF::RGBA8888, 4, 1));
    EXPECT_TRUE(texture->hasMipmaps());
    GLint minFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
    texture->setAliasTexParameters();
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_NEAREST_MIPMAP_NEAREST);
}

TEST_F(Texture2DTest, AliasParametersAreSetOnlyOnAChange) {
    auto texture = upload(std::vector<std::uint8_t>(16, 1), PF::RGBA8888, 2, 2);
    texture->setAliasTexParameters();
    GLint magFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(magFilter, GL_NEAREST);
    // Set the filter behind the texture's back: a second alias call must not touch GL.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    texture->setAliasTexParameters();
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(magFilter, GL_LINEAR);
    texture->setAntiAliasTexParameters();
    EXPECT_TRUE(texture->isAntialiased());
}

TEST_F(Texture2DTest, UploadsThatCannotWorkReportFailure) {
    std::vector<std::uint8_t> bytes(64, 0);
    RefPtr<Texture2D> texture(Texture2D::create());
    EXPECT_FALSE(texture->initWithData(bytes.data(), 64, PF::ETC, 4, 4));    // no table row
    EXPECT_FALSE(texture->initWithData(bytes.data(), 64, PF::AUTO, 4, 4));   // no table row
    EXPECT_FALSE(texture->initWithMipmaps(nullptr, 0, PF::RGBA8888, 4, 4));  // no level
    if (!Configuration::getInstance()->supportsPVRTC() && !Configuration::getInstance()->supportsS3TC() &&
        !Configuration::getInstance()->supportsATITC()) {
        EXPECT_FALSE(texture->initWithData(bytes.data(), 64, PF::PVRTC4, 4, 4));  // compressed, unsupported
    }
    EXPECT_EQ(texture->getName(), 0u);
}

TEST_F(Texture2DTest, LevelShorterThanItsPixelsIsRefused) {
    std::vector<std::uint8_t> bytes(2 * 2 * 4 - 1, 0);
    RefPtr<Texture2D> texture(Texture2D::create());
    EXPECT_FALSE(texture->initWithData(bytes.data(), static_cast<ssize_t>(bytes.size()), PF::RGBA8888, 2, 2));
    MipmapInfo levels[2] = {{bytes.data(), 12}, {bytes.data(), 1}};  // a 2x1 level of RGB565, then 1x1 short
    EXPECT_FALSE(texture->initWithMipmaps(levels, 2, PF::RGB565, 2, 1));
    EXPECT_EQ(texture->getPixelsWide(), 0);
}

TEST_F(Texture2DTest, GLErrorDuringTheUploadReportsFailure) {
    const int tooWide = Configuration::getInstance()->getMaxTextureSize() * 2;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(tooWide) * 4, 0);
    RefPtr<Texture2D> texture(Texture2D::create());
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(texture->initWithData(bytes.data(), static_cast<ssize_t>(bytes.size()), PF::RGBA8888, tooWide, 1));
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), ::testing::HasSubstr("failed"));
    EXPECT_EQ(texture->getPixelsWide(), 0);
}

TEST_F(Texture2DTest, UpdateWithDataReplacesARectangle) {
    auto texture = upload(std::vector<std::uint8_t>(16, 0), PF::RGBA8888, 2, 2);
    const std::uint8_t green[4] = {0, 255, 0, 255};
    EXPECT_TRUE(texture->updateWithData(green, 1, 0, 1, 1));
    drawFullFrame(texture.get());
    EXPECT_EQ(texel(1, 0), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(texel(0, 0), (Pixel{0, 0, 0, 0}));
    RefPtr<Texture2D> empty(Texture2D::create());
    EXPECT_FALSE(empty->updateWithData(green, 0, 0, 1, 1));
}

TEST_F(Texture2DTest, ContentSizeInPointsDividesByTheContentScale) {
    auto texture = upload(std::vector<std::uint8_t>(4 * 4 * 2, 0), PF::RGBA8888, 4, 2);
    services_->setContentScale(2.0f);
    EXPECT_FLOAT_EQ(texture->getContentSize().width, 2.0f);
    EXPECT_FLOAT_EQ(texture->getContentSize().height, 1.0f);
    EXPECT_FLOAT_EQ(texture->getContentSizeInPixels().width, 4.0f);
}

TEST_F(Texture2DTest, ImageUploadsInItsOwnFormatOrConvertsToTheWantedOne) {
    const std::uint8_t rgba[16] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 10, 20, 30, 40};
    RefPtr<Image> image(new Image());
    image->release();  // the holder keeps the only reference
    ASSERT_TRUE(image->initWithRawData(rgba, 16, 2, 2, 8, true));

    RefPtr<Texture2D> asIs(Texture2D::create());
    ASSERT_TRUE(asIs->initWithImage(image.get(), PF::AUTO));
    EXPECT_EQ(asIs->getPixelFormat(), PF::RGBA8888);
    EXPECT_TRUE(asIs->hasPremultipliedAlpha());
    drawFullFrame(asIs.get());
    EXPECT_EQ(texel(1, 0), (Pixel{0, 255, 0, 128}));

    RefPtr<Texture2D> alphaOnly(Texture2D::create());
    ASSERT_TRUE(alphaOnly->initWithImage(image.get(), PF::A8));
    EXPECT_EQ(alphaOnly->getPixelFormat(), PF::A8);
    drawFullFrame(alphaOnly.get());
    EXPECT_EQ(texel(1, 0), (Pixel{0, 0, 0, 128}));
    EXPECT_EQ(texel(1, 1), (Pixel{0, 0, 0, 40}));

    Texture2D::setDefaultAlphaPixelFormat(PF::RGB565);
    RefPtr<Texture2D> byDefault(Texture2D::create());
    ASSERT_TRUE(byDefault->initWithImage(image.get()));
    EXPECT_EQ(byDefault->getPixelFormat(), PF::RGB565);
    Texture2D::setDefaultAlphaPixelFormat(PF::AUTO);

    EXPECT_FALSE(byDefault->initWithImage(nullptr));
}

TEST_F(Texture2DTest, DdsImageBecomesATextureWhateverTheGpuAdvertises) {
    // One 4x4 DXT1 tile, all red: this GPU's own compressed formats do not matter.
    const testdata::Bytes red = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    RefPtr<Image> image = testdata::decode(testdata::makeDds(4, 4, "DXT1", 1, red));
    ASSERT_TRUE(image);
    RefPtr<Texture2D> texture(Texture2D::create());
    ASSERT_TRUE(texture->initWithImage(image.get()));
    drawFullFrame(texture.get());
    EXPECT_EQ(texel(0, 0), (Pixel{248, 0, 0, 255}));
}

TEST_F(Texture2DTest, ImageLargerThanTheGPUAllowsIsRefused) {
    const int side = Configuration::getInstance()->getMaxTextureSize() + 1;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(side) * 4, 255);
    RefPtr<Image> image(new Image());
    image->release();
    ASSERT_TRUE(image->initWithRawData(rgba.data(), static_cast<std::int64_t>(rgba.size()), side, 1, 8));
    RefPtr<Texture2D> texture(Texture2D::create());
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(texture->initWithImage(image.get(), PF::AUTO));
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), ::testing::HasSubstr("larger than"));
}

TEST_F(Texture2DTest, ImageBeforeTheGpuLimitsWereGatheredUploads) {
    Configuration::destroyInstance();  // as before the director starts
    ASSERT_EQ(Configuration::getInstance()->getMaxTextureSize(), 0);
    const std::vector<std::uint8_t> green = {0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255};
    RefPtr<Image> image(new Image());
    image->release();
    ASSERT_TRUE(image->initWithRawData(green.data(), static_cast<std::int64_t>(green.size()), 2, 2, 8));
    RefPtr<Texture2D> texture(Texture2D::create());
    const bool uploaded = texture->initWithImage(image.get(), PF::AUTO);
    Configuration::getInstance()->gatherGPUInfo();  // what the renderer of this fixture was made with
    ASSERT_TRUE(uploaded);
    drawFullFrame(texture.get());
    EXPECT_EQ(texel(1, 1), (Pixel{0, 255, 0, 255}));
}

TEST(Texture2D, FormatTableHoldsThirteenRows) {
    const auto& map = Texture2D::getPixelFormatInfoMap();
    EXPECT_EQ(map.size(), 13u);
    EXPECT_EQ(Texture2D::getBitsPerPixelForFormat(PF::ETC), 0u);
    EXPECT_EQ(Texture2D::getBitsPerPixelForFormat(PF::AUTO), 0u);
    EXPECT_EQ(Texture2D::getBitsPerPixelForFormat(PF::RGB888), 24u);
    EXPECT_EQ(Texture2D::getBitsPerPixelForFormat(PF::PVRTC2A), 2u);
    EXPECT_FALSE(map.at(PF::A8).alpha);
    EXPECT_TRUE(map.at(PF::AI88).alpha);
    EXPECT_TRUE(map.at(PF::PVRTC4).compressed);
    EXPECT_EQ(map.count(PF::S3TC_DXT1), 0u);
}

TEST(Texture2D, DescriptionAndDefaults) {
    RefPtr<Texture2D> texture(Texture2D::create());
    EXPECT_EQ(texture->description(), "<Texture2D | Name = 0 | Dimensions = 0 x 0 | Coordinates = (0.00, 0.00)>");
    EXPECT_TRUE(texture->isAntialiased());
    EXPECT_EQ(texture->getPixelFormat(), PF::AUTO);
    EXPECT_EQ(Texture2D::getDefaultAlphaPixelFormat(), PF::AUTO);
    Texture2D::setDefaultAlphaPixelFormat(PF::RGBA4444);
    EXPECT_EQ(Texture2D::getDefaultAlphaPixelFormat(), PF::RGBA4444);
    Texture2D::setDefaultAlphaPixelFormat(PF::AUTO);
}

}  // namespace
}  // namespace kite
