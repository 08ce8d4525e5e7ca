// Sprite batch nodes: one draw call for many sprites, atlas order for nested z, growth and removal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SceneDrawSupport.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteBatchNode.h"

using ::testing::ElementsAre;

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

class SpriteBatchNodeTest : public test::SceneDrawTest {
protected:
    void SetUp() override {
        test::SceneDrawTest::SetUp();
        texture_ = test::textureFrom(4, 4, [](int x, int) {
            return x < 2 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 255, 255};
        });
    }
    Sprite* sprite(const std::string& name = "") {
        Sprite* s = Sprite::createWithTexture(texture_.get());
        s->setName(name);
        return s;
    }
    std::vector<std::string> atlasOrder(SpriteBatchNode* batch) {
        std::vector<std::string> names;
        for (Sprite* s : batch->getDescendants()) names.push_back(s->getName());
        return names;
    }

    RefPtr<Texture2D> texture_;
};

TEST_F(SpriteBatchNodeTest, ManySpritesOfOneTextureDrawInOneCall) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    for (int i = 0; i < 100; ++i) {
        Sprite* s = sprite();
        s->setAnchorPoint(Vec2::ZERO);
        s->setPosition(static_cast<float>((i % 10) * 6), static_cast<float>((i / 10) * 6));
        batch->addChild(s);
    }
    EXPECT_EQ(drawFrame(batch), 1);
    saveFrame();
    EXPECT_THAT(readPixel(0, 0), PixelNear(Pixel{255, 0, 0, 255}, 1));
    EXPECT_THAT(readPixel(3, 3), PixelNear(Pixel{0, 0, 255, 255}, 1));
    EXPECT_THAT(readPixel(54, 54), PixelNear(Pixel{255, 0, 0, 255}, 1));
    EXPECT_THAT(readPixel(57, 57), PixelNear(Pixel{0, 0, 255, 255}, 1));
    EXPECT_THAT(readPixel(4, 1), PixelNear(Pixel{0, 0, 0, 255}, 0));
}

TEST_F(SpriteBatchNodeTest, MovedAndRotatedSpritesAreRedrawnWhereTheyAre) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* s = sprite();
    s->setScale(4.0f);
    s->setPosition(16, 16);
    batch->addChild(s);
    drawFrame(batch);
    EXPECT_THAT(readPixel(10, 16), PixelNear(Pixel{255, 0, 0, 255}, 1));
    EXPECT_THAT(readPixel(22, 16), PixelNear(Pixel{0, 0, 255, 255}, 1));
    s->setPosition(40, 40);
    s->setRotation(180.0f);  // red half now on the right
    drawFrame(batch);
    EXPECT_THAT(readPixel(34, 40), PixelNear(Pixel{0, 0, 255, 255}, 1));
    EXPECT_THAT(readPixel(46, 40), PixelNear(Pixel{255, 0, 0, 255}, 1));
    EXPECT_THAT(readPixel(16, 16), PixelNear(Pixel{0, 0, 0, 255}, 0));
}

TEST_F(SpriteBatchNodeTest, ChildSpritesFollowTheirParentAndHideWithIt) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* parent = sprite("parent");
    parent->setAnchorPoint(Vec2::ZERO);
    parent->setPosition(10, 10);
    batch->addChild(parent);
    Sprite* child = sprite("child");
    child->setAnchorPoint(Vec2::ZERO);
    child->setPosition(20, 0);
    parent->addChild(child);
    EXPECT_EQ(drawFrame(batch), 1);
    EXPECT_THAT(readPixel(30, 10), PixelNear(Pixel{255, 0, 0, 255}, 1));
    parent->setVisible(false);
    drawFrame(batch);
    EXPECT_THAT(readPixel(30, 10), PixelNear(Pixel{0, 0, 0, 255}, 0));
    EXPECT_THAT(readPixel(10, 10), PixelNear(Pixel{0, 0, 0, 255}, 0));
}

TEST_F(SpriteBatchNodeTest, ThirtiethSpriteGrowsTheDefaultAtlasToForty) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get(), 0);
    EXPECT_EQ(batch->getTextureAtlas()->getCapacity(), 29);
    for (int i = 0; i < 30; ++i) batch->addChild(sprite());
    EXPECT_EQ(batch->getTextureAtlas()->getCapacity(), 40);
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), 30);
}

TEST_F(SpriteBatchNodeTest, NegativeChildrenComeBeforeTheirParentInTheAtlas) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* parent = sprite("parent");
    batch->addChild(parent);
    parent->addChild(sprite("above"), 1);
    parent->addChild(sprite("below"), -1);
    drawFrame(batch);
    EXPECT_THAT(atlasOrder(batch), ElementsAre("below", "parent", "above"));
    for (std::size_t i = 0; i < batch->getDescendants().size(); ++i) {
        EXPECT_EQ(batch->getDescendants()[i]->getAtlasIndex(), static_cast<ssize_t>(i));
    }
}

TEST_F(SpriteBatchNodeTest, LaterSiblingWithLowerZDrawsFirst) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* top = sprite("top");
    top->setColor(Color3B(0, 0, 128));
    batch->addChild(top, 5);
    Sprite* bottom = sprite("bottom");
    batch->addChild(bottom, 0);
    top->setPosition(20, 20);
    bottom->setPosition(20, 20);
    drawFrame(batch);
    EXPECT_THAT(atlasOrder(batch), ElementsAre("bottom", "top"));
    EXPECT_THAT(readPixel(21, 20), PixelNear(Pixel{0, 0, 128, 255}, 1));  // the tinted one on top
}

TEST_F(SpriteBatchNodeTest, SettingAChildsLocalZOrderReordersTheBatch) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* tinted = sprite("tinted");
    tinted->setColor(Color3B(0, 0, 128));
    Sprite* plain = sprite("plain");
    batch->addChild(tinted, 0);
    batch->addChild(plain, 1);
    tinted->setPosition(20, 20);
    plain->setPosition(20, 20);
    drawFrame(batch);
    EXPECT_THAT(atlasOrder(batch), ElementsAre("tinted", "plain"));

    tinted->setLocalZOrder(2);
    drawFrame(batch);
    EXPECT_THAT(atlasOrder(batch), ElementsAre("plain", "tinted"));
    EXPECT_THAT(readPixel(21, 20), PixelNear(Pixel{0, 0, 128, 255}, 1));  // now on top
}

TEST_F(SpriteBatchNodeTest, RemovingTheFirstSpriteRenumbersTheOthers) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* a = sprite("a");
    batch->addChild(a);
    batch->addChild(sprite("b"));
    batch->addChild(sprite("c"));
    batch->removeChild(a, true);
    EXPECT_THAT(atlasOrder(batch), ElementsAre("b", "c"));
    EXPECT_EQ(batch->getDescendants()[0]->getAtlasIndex(), 0);
    EXPECT_EQ(batch->getDescendants()[1]->getAtlasIndex(), 1);
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), 2);
}

TEST_F(SpriteBatchNodeTest, RemovingASpriteFromANodeThatIsNotItsParentKeepsItInTheAtlas) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* a = sprite("a");
    Sprite* b = sprite("b");
    batch->addChild(a);
    batch->addChild(b);
    a->removeChild(b, true);
    EXPECT_EQ(b->getParent(), batch);
    EXPECT_EQ(b->getBatchNode(), batch);
    EXPECT_THAT(atlasOrder(batch), ElementsAre("a", "b"));
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), 2);
}

TEST_F(SpriteBatchNodeTest, EmptyNodeAddsNoCommandAndRemoveAllEmptiesTheAtlas) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    EXPECT_EQ(drawFrame(batch), 0);
    batch->addChild(sprite());
    batch->addChild(sprite());
    batch->removeAllChildrenWithCleanup(true);
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), 0);
    EXPECT_TRUE(batch->getDescendants().empty());
    EXPECT_EQ(drawFrame(batch), 0);
}

TEST_F(SpriteBatchNodeTest, ReorderingToTheSameZDoesNothing) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    Sprite* a = sprite("a");
    batch->addChild(a, 3);
    drawFrame(batch);
    const int arrival = a->getOrderOfArrival();
    batch->reorderChild(a, 3);
    EXPECT_EQ(a->getOrderOfArrival(), arrival);
    batch->reorderChild(a, 4);
    EXPECT_EQ(a->getLocalZOrder(), 4);
}

TEST_F(SpriteBatchNodeTest, RefusesChildrenThatAreNotSprites) {
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture_.get());
    batch->addChild(Node::create());
    EXPECT_EQ(batch->getChildrenCount(), 0u);
    EXPECT_THAT(batch->description(), ::testing::Eq("<SpriteBatchNode | tag = -1>"));
}

}  // namespace
}  // namespace kite

namespace kite {
namespace {

class SpriteBatchNodeLimitTest : public test::SceneDrawTest {};

TEST_F(SpriteBatchNodeLimitTest, AtlasGrowsToTheIndexLimitAndSpritesBeyondItStayOut) {
    auto texture = test::textureFrom(2, 2, [](int, int) { return test::Pixel{255, 255, 255, 255}; });
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture.get(), 15000);
    const int extra = 3;
    for (int i = 0; i < TextureAtlas::MAX_CAPACITY + extra; ++i)
        batch->addChild(Sprite::createWithTexture(texture.get()));
    EXPECT_EQ(batch->getTextureAtlas()->getCapacity(), TextureAtlas::MAX_CAPACITY);
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), TextureAtlas::MAX_CAPACITY);
    EXPECT_EQ(batch->getDescendants().size(), static_cast<std::size_t>(TextureAtlas::MAX_CAPACITY));
    auto* last = static_cast<Sprite*>(batch->getChildren().back());
    EXPECT_EQ(last->getBatchNode(), nullptr);
    EXPECT_EQ(drawFrame(batch), 1);
    batch->removeChild(last, true);
    batch->removeChild(batch->getChildren().front(), true);
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), TextureAtlas::MAX_CAPACITY - 1);
}

}  // namespace
}  // namespace kite
