// Sprites: creation, texture rectangles with rotation and trimming, colour, drawing and batch-mode bookkeeping.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SceneDrawSupport.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteBatchNode.h"
#include "kite/scene/SpriteFrame.h"

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

class SpriteTest : public test::SceneDrawTest {};

// Each texel has its own colour, so a probe tells which texel was drawn.
Pixel texel(int x, int y) {
    return Pixel{static_cast<std::uint8_t>(x * 8 + 4), static_cast<std::uint8_t>(y * 8 + 4), 200, 255};
}

TEST_F(SpriteTest, EmptySpriteShowsTheWhiteTextureWithNoSize) {
    Sprite* sprite = Sprite::create();
    ASSERT_NE(sprite, nullptr);
    ASSERT_NE(sprite->getTexture(), nullptr);
    EXPECT_EQ(sprite->getTexture()->getPixelsWide(), 2);
    EXPECT_EQ(sprite->getContentSize(), Size::ZERO);
    EXPECT_EQ(sprite->getBlendFunc(), BlendFunc::ALPHA_NON_PREMULTIPLIED);
    EXPECT_EQ(Sprite::create()->getTexture(), sprite->getTexture());  // one cached white texture
    EXPECT_EQ(Director::getInstance()->getTextureCache()->getTextureForKey("/kt_2x2_white_image"),
              sprite->getTexture());
    EXPECT_THAT(sprite->description(), ::testing::StartsWith("<Sprite | Tag = -1, TextureID = "));
}

TEST_F(SpriteTest, SpriteDrawsItsTextureCentredOnItsPosition) {
    auto texture = test::textureFrom(16, 8, texel);
    Sprite* sprite = Sprite::createWithTexture(texture.get());
    sprite->setPosition(32, 32);
    EXPECT_EQ(drawFrame(sprite), 1);
    // Left edge at x 24, bottom at y 28; the bottom frame row shows the texture's last row.
    EXPECT_THAT(readPixel(24, 28), PixelNear(texel(0, 7), 2));
    EXPECT_THAT(readPixel(39, 35), PixelNear(texel(15, 0), 2));
    EXPECT_THAT(readPixel(30, 31), PixelNear(texel(6, 4), 2));
    EXPECT_THAT(readPixel(23, 30), PixelNear(Pixel{0, 0, 0, 255}, 0));
    EXPECT_THAT(readPixel(40, 30), PixelNear(Pixel{0, 0, 0, 255}, 0));
}

// The quad command refers to the matrix until the frame is drawn, so a sprite drawn with a matrix
// of the caller's keeps it; the caller's own may be gone by then.
TEST_F(SpriteTest, SpriteDrawnWithTheCallersMatrixKeepsItUntilTheFrameIsDrawn) {
    auto texture = test::textureFrom(16, 8, texel);
    Sprite* sprite = Sprite::createWithTexture(texture.get());
    renderer_->clear();
    {
        Mat4 moved;
        Mat4::createTranslation(32, 32, 0, &moved);
        sprite->draw(renderer_.get(), moved, FLAGS_TRANSFORM_DIRTY);
        Mat4::createTranslation(-500, -500, 0, &moved);  // changed before the frame is drawn
    }
    renderer_->render();
    // The matrix is used as given: the quad's corner (0, 0) at (32, 32).
    EXPECT_THAT(readPixel(32, 32), PixelNear(texel(0, 7), 2));
    EXPECT_THAT(readPixel(47, 39), PixelNear(texel(15, 0), 2));
    EXPECT_THAT(readPixel(31, 33), PixelNear(Pixel{0, 0, 0, 255}, 0));
    EXPECT_EQ(sprite->getModelViewTransform().m[12], 32.0f);
}

TEST_F(SpriteTest, ColourAndOpacityTintTheTexture) {
    auto texture = test::textureFrom(8, 8, [](int, int) { return Pixel{255, 255, 255, 255}; });
    Sprite* sprite = Sprite::createWithTexture(texture.get());
    sprite->setAnchorPoint(Vec2::ZERO);
    sprite->setColor(Color3B(255, 0, 0));
    drawFrame(sprite);
    EXPECT_THAT(readPixel(4, 4), PixelNear(Pixel{255, 0, 0, 255}, 1));
    sprite->setOpacity(128);
    drawFrame(sprite);
    EXPECT_THAT(readPixel(4, 4), PixelNear(Pixel{128, 0, 0, 191}, 2));  // alpha blends with itself too
}

TEST_F(SpriteTest, SpriteOutsideTheWindowAddsNoCommand) {
    auto texture = test::textureFrom(8, 8, texel);
    Sprite* sprite = Sprite::createWithTexture(texture.get());
    sprite->setPosition(500, 500);
    EXPECT_EQ(drawFrame(sprite), 0);
}

TEST_F(SpriteTest, RotatedRectangleMapsItsCornersAcrossTheTexture) {
    auto texture = test::textureFrom(256, 256, [](int, int) { return Pixel{}; });
    Sprite* sprite = Sprite::createWithTexture(texture.get(), Rect(10, 20, 30, 40), true);
    const PosColorTexQuad& q = sprite->getQuad();
    EXPECT_FLOAT_EQ(q.bl.texCoords.u, 10 / 256.f);  // left
    EXPECT_FLOAT_EQ(q.tl.texCoords.u, 50 / 256.f);  // right = x + height
    EXPECT_FLOAT_EQ(q.bl.texCoords.v, 20 / 256.f);  // top
    EXPECT_FLOAT_EQ(q.br.texCoords.v, 50 / 256.f);  // bottom = y + width
    EXPECT_FLOAT_EQ(q.tr.texCoords.u, 50 / 256.f);
    EXPECT_FLOAT_EQ(q.tr.texCoords.v, 50 / 256.f);
}

TEST_F(SpriteTest, TrimmedFrameSitsAtItsOffsetInsideTheUntrimmedBox) {
    auto texture = test::textureFrom(64, 64, texel);
    SpriteFrame* frame =
        SpriteFrame::createWithTexture(texture.get(), Rect(0, 0, 50, 40), false, Vec2(2, -3), Size(60, 60));
    Sprite* sprite = Sprite::createWithSpriteFrame(frame);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->getOffsetPosition(), Vec2(7, 7));
    EXPECT_EQ(sprite->getContentSize(), Size(60, 60));
    EXPECT_TRUE(sprite->isFrameDisplayed(frame));
    SpriteFrame* now = sprite->getSpriteFrame();
    EXPECT_EQ(now->getRect(), Rect(0, 0, 50, 40));
    EXPECT_EQ(now->getOffset(), Vec2(2, -3));
    EXPECT_EQ(now->getOriginalSize(), Size(60, 60));
    EXPECT_EQ(Sprite::createWithSpriteFrame(nullptr), nullptr);
}

TEST_F(SpriteTest, SpriteHoldsTheFrameItShowsAndLetsItGoOnce) {
    auto texture = test::textureFrom(64, 64, texel);
    RefPtr<SpriteFrame> first(SpriteFrame::createWithTexture(texture.get(), Rect(0, 0, 8, 8)));
    RefPtr<SpriteFrame> second(
        SpriteFrame::createWithTexture(texture.get(), Rect(8, 8, 8, 8), false, Vec2(1, 1), Size(10, 10)));
    Sprite* sprite = Sprite::createWithSpriteFrame(first.get());
    sprite->retain();
    PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_EQ(first->getReferenceCount(), 2u);
    sprite->setSpriteFrame(second.get());
    EXPECT_EQ(first->getReferenceCount(), 1u);
    EXPECT_EQ(second->getReferenceCount(), 2u);
    EXPECT_TRUE(sprite->isFrameDisplayed(second.get()));
    EXPECT_FALSE(sprite->isFrameDisplayed(first.get()));
    sprite->release();
    EXPECT_EQ(second->getReferenceCount(), 1u);
}

TEST_F(SpriteTest, PremultipliedTextureBlendsAsPremultiplied) {
    auto texture = test::textureFrom(2, 2, texel);
    texture->setPremultipliedAlpha(true);
    Sprite* sprite = Sprite::createWithTexture(texture.get());
    EXPECT_EQ(sprite->getBlendFunc(), BlendFunc::ALPHA_PREMULTIPLIED);
    EXPECT_TRUE(sprite->isOpacityModifyRGB());
}

TEST_F(SpriteTest, MissingFileGivesNoSprite) {
    EXPECT_EQ(Sprite::create("no/such/image.png"), nullptr);
    EXPECT_EQ(Sprite::createWithSpriteFrameName("no-such-frame"), nullptr);
}

// Counts how often the sprite is marked dirty.
class CountingSprite : public Sprite {
public:
    void setDirty(bool dirty) override {
        if (dirty) ++marks;
        Sprite::setDirty(dirty);
    }
    int marks = 0;
};

TEST_F(SpriteTest, BatchedSpriteIsMarkedDirtyOnceUntilItsQuadIsRecomputed) {
    auto texture = test::textureFrom(8, 8, texel);
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture.get());
    auto* sprite = new CountingSprite();
    sprite->initWithTexture(texture.get());
    sprite->autorelease();
    batch->addChild(sprite);
    sprite->updateTransform();
    EXPECT_FALSE(sprite->isDirty());
    sprite->marks = 0;
    sprite->setPosition(3, 4);
    sprite->setPosition(5, 6);
    EXPECT_TRUE(sprite->isDirty());
    EXPECT_EQ(sprite->marks, 1);
    sprite->updateTransform();
    EXPECT_FALSE(sprite->isDirty());
    EXPECT_EQ(batch->getTextureAtlas()->getQuads()[0].bl.vertices, Vec3(1, 2, 0));
    sprite->setPosition(7, 8);
    EXPECT_EQ(sprite->marks, 2);
}

TEST_F(SpriteTest, InvisibleBatchedSpriteWritesADegenerateQuad) {
    auto texture = test::textureFrom(8, 8, texel);
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture.get());
    Sprite* sprite = Sprite::createWithTexture(texture.get());
    sprite->setPosition(20, 20);
    batch->addChild(sprite);
    sprite->setVisible(false);
    sprite->updateTransform();
    const PosColorTexQuad& q = batch->getTextureAtlas()->getQuads()[0];
    for (const PosColorTexVertex* v : {&q.bl, &q.br, &q.tl, &q.tr}) EXPECT_EQ(v->vertices, Vec3(0, 0, 0));
}

TEST_F(SpriteTest, LeavingTheBatchRebuildsTheOwnVertices) {
    auto texture = test::textureFrom(8, 8, texel);
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture.get());
    Sprite* sprite = Sprite::createWithTexture(texture.get());
    sprite->setPosition(20, 20);
    batch->addChild(sprite);
    sprite->updateTransform();
    EXPECT_EQ(sprite->getQuad().bl.vertices, Vec3(16, 16, 0));
    sprite->retain();
    batch->removeChild(sprite, true);
    EXPECT_EQ(sprite->getBatchNode(), nullptr);
    EXPECT_EQ(sprite->getAtlasIndex(), Sprite::INDEX_NOT_INITIALIZED);
    EXPECT_EQ(sprite->getQuad().bl.vertices, Vec3(0, 0, 0));
    EXPECT_EQ(sprite->getQuad().tr.vertices, Vec3(8, 8, 0));
    sprite->release();
}

TEST_F(SpriteTest, ContentScaleTurnsFramePixelsIntoPoints) {
    services_->setContentScale(2.0f);
    auto texture = test::textureFrom(64, 64, texel);
    SpriteFrame* frame = SpriteFrame::createWithTexture(texture.get(), Rect(0, 0, 64, 32));
    EXPECT_EQ(frame->getRect(), Rect(0, 0, 32, 16));
    Sprite* sprite = Sprite::createWithSpriteFrame(frame);
    EXPECT_EQ(sprite->getContentSize(), Size(32, 16));
    EXPECT_FLOAT_EQ(sprite->getQuad().tr.texCoords.u, 1.0f);
    EXPECT_FLOAT_EQ(sprite->getQuad().bl.texCoords.v, 0.5f);
}

}  // namespace
}  // namespace kite
