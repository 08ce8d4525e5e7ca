#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "DrawTestSupport.h"
#include "kite/rendering/BatchCommand.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/TextureAtlas.h"
#include "support/GLTest.h"

namespace kite {
namespace {

using test::Pixel;

const Pixel kRed{255, 0, 0, 255};
const Pixel kBlack{0, 0, 0, 255};

// Quads told apart by their x position.
PosColorTexQuad quadNumbered(float n) { return test::quadAt(n, 0, n + 1, 1); }

class TextureAtlasTest : public test::RendererFixture {
protected:
    void SetUp() override {
        test::GLTest::SetUp();
        start();
    }
    void start() {
        startRenderer();
        texture_ = test::solidTexture(255, 0, 0);
    }

    RefPtr<TextureAtlas> atlas(ssize_t capacity) {
        return RefPtr<TextureAtlas>(TextureAtlas::createWithTexture(texture_.get(), capacity));
    }

    // Draws the atlas with the program the sprite batch uses.
    void draw(TextureAtlas* atlas) {
        GLProgram* program = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR);
        program->use();
        program->setUniformsForBuiltins(Mat4());
        atlas->drawQuads();
    }

    RefPtr<Texture2D> texture_;
};

TEST_F(TextureAtlasTest, UpdateBeyondTheEndGrowsTheTotal) {
    auto a = atlas(10);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->getCapacity(), 10);
    EXPECT_EQ(a->getTotalQuads(), 0);
    PosColorTexQuad q = quadNumbered(5);
    a->updateQuad(&q, 5);
    EXPECT_EQ(a->getTotalQuads(), 6);
    EXPECT_EQ(a->description(), "<TextureAtlas | totalQuads = 6>");
}

TEST_F(TextureAtlasTest, InsertAndRemoveShiftTheQuads) {
    auto a = atlas(8);
    for (int i = 0; i < 3; ++i) {
        PosColorTexQuad q = quadNumbered(static_cast<float>(i + 1));
        a->updateQuad(&q, i);
    }
    PosColorTexQuad zero = quadNumbered(0);
    a->insertQuad(&zero, 0);
    ASSERT_EQ(a->getTotalQuads(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(a->getQuads()[i].bl.vertices.x, static_cast<float>(i));
    a->removeQuadAtIndex(1);
    ASSERT_EQ(a->getTotalQuads(), 3);
    EXPECT_FLOAT_EQ(a->getQuads()[0].bl.vertices.x, 0.0f);
    EXPECT_FLOAT_EQ(a->getQuads()[1].bl.vertices.x, 2.0f);
    EXPECT_FLOAT_EQ(a->getQuads()[2].bl.vertices.x, 3.0f);
    a->removeAllQuads();
    EXPECT_EQ(a->getTotalQuads(), 0);
}

TEST_F(TextureAtlasTest, InsertIntoAFullAtlasIsRefused) {
    auto a = atlas(2);
    PosColorTexQuad q = quadNumbered(1);
    a->insertQuad(&q, 0);
    a->insertQuad(&q, 0);
    a->insertQuad(&q, 0);
    EXPECT_EQ(a->getTotalQuads(), 2);
}

TEST_F(TextureAtlasTest, ResizeKeepsQuadsAndClipsTheTotal) {
    auto a = atlas(4);
    for (int i = 0; i < 4; ++i) {
        PosColorTexQuad q = quadNumbered(static_cast<float>(i));
        a->updateQuad(&q, i);
    }
    ASSERT_TRUE(a->resizeCapacity(2));
    EXPECT_EQ(a->getCapacity(), 2);
    EXPECT_EQ(a->getTotalQuads(), 2);
    ASSERT_TRUE(a->resizeCapacity(100));
    EXPECT_EQ(a->getTotalQuads(), 2);
    EXPECT_FLOAT_EQ(a->getQuads()[1].bl.vertices.x, 1.0f);
    EXPECT_FLOAT_EQ(a->getQuads()[99].bl.vertices.x, 0.0f);  // grown slots are zero
    EXPECT_TRUE(a->resizeCapacity(100));
}

TEST_F(TextureAtlasTest, CapacityBeyondSixteenBitIndicesIsRefused) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(TextureAtlas::createWithTexture(texture_.get(), TextureAtlas::MAX_CAPACITY + 1), nullptr);
    auto a = atlas(4);
    EXPECT_FALSE(a->resizeCapacity(TextureAtlas::MAX_CAPACITY + 1));
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), ::testing::HasSubstr("16-bit"));
    EXPECT_EQ(a->getCapacity(), 4);
    EXPECT_TRUE(atlas(TextureAtlas::MAX_CAPACITY));
}

TEST_F(TextureAtlasTest, DrawsItsQuadsInOneCallAndCountsIt) {
    auto a = atlas(4);
    PosColorTexQuad left = test::quadAt(0, 0, 32, 64), right = test::quadAt(32, 32, 64, 64);
    a->updateQuad(&left, 0);
    a->updateQuad(&right, 1);
    renderer_->clearDrawStats();
    draw(a.get());
    EXPECT_EQ(renderer_->getDrawnBatches(), 1);
    EXPECT_EQ(renderer_->getDrawnVertices(), 12);
    EXPECT_EQ(readPixel(10, 10), kRed);
    EXPECT_EQ(readPixel(50, 50), kRed);
    EXPECT_EQ(readPixel(50, 10), kBlack);
    a->drawNumberOfQuads(0, 0);
    EXPECT_EQ(renderer_->getDrawnBatches(), 1);
}

// Runs the dirty-upload check with the current extension switches.
void expectDirtyAtlasUploadsOnce(TextureAtlasTest* self, TextureAtlas* a,
                                 const std::function<void(TextureAtlas*)>& draw,
                                 const std::function<Pixel(int, int)>& pixel) {
    PosColorTexQuad left = test::quadAt(0, 0, 32, 64);
    a->updateQuad(&left, 0);
    EXPECT_TRUE(a->isDirty());
    draw(a);
    EXPECT_FALSE(a->isDirty());
    EXPECT_EQ(pixel(10, 10), kRed);
    // Edit the quad but claim it clean: the next draw must not upload it.
    a->getQuads()[0] = test::quadAt(32, 0, 64, 64);
    a->setDirty(false);
    glClear(GL_COLOR_BUFFER_BIT);
    draw(a);
    EXPECT_EQ(pixel(10, 10), kRed);
    EXPECT_EQ(pixel(50, 10), kBlack);
    (void)self;
}

TEST_F(TextureAtlasTest, CleanAtlasIsNotUploadedAgain) {
    auto a = atlas(4);
    expectDirtyAtlasUploadsOnce(
        this, a.get(), [this](TextureAtlas* t) { draw(t); }, [this](int x, int y) { return readPixel(x, y); });
}

TEST_F(TextureAtlasTest, CleanAtlasIsNotUploadedAgainWithoutVertexArrayObjects) {
    setGLExtensionsEnabled(false);
    start();
    auto a = atlas(4);
    expectDirtyAtlasUploadsOnce(
        this, a.get(), [this](TextureAtlas* t) { draw(t); }, [this](int x, int y) { return readPixel(x, y); });
    EXPECT_EQ(takeGLError(), static_cast<unsigned int>(GL_NO_ERROR));
}

TEST_F(TextureAtlasTest, ResizedAtlasDrawsWhatWasAddedAfter) {
    auto a = atlas(1);
    PosColorTexQuad left = test::quadAt(0, 0, 32, 64), right = test::quadAt(32, 0, 64, 64);
    a->updateQuad(&left, 0);
    ASSERT_TRUE(a->resizeCapacity(2));
    a->updateQuad(&right, 1);
    draw(a.get());
    EXPECT_EQ(readPixel(10, 10), kRed);
    EXPECT_EQ(readPixel(50, 10), kRed);
}

TEST_F(TextureAtlasTest, SettingTheTextureRetainsTheNewOne) {
    auto a = atlas(1);
    auto other = test::solidTexture(0, 0, 255);
    const auto before = other->getReferenceCount();
    a->setTexture(other.get());
    EXPECT_EQ(a->getTexture(), other.get());
    EXPECT_EQ(other->getReferenceCount(), before + 1);
}

}  // namespace
}  // namespace kite
