// Atlas nodes: tiles per row and column, the opacity-modified colour, refusal of empty tiles, tiles drawn in one call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SceneDrawSupport.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/AtlasNode.h"

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

const Pixel kRed{255, 0, 0, 255};
const Pixel kBlue{0, 0, 255, 255};

// Shows tiles 0 and 1 of a strip side by side.
class Strip : public AtlasNode {
public:
    void updateAtlasValues() override {
        Texture2D* texture = getTexture();
        const float w = static_cast<float>(texture->getPixelsWide());
        for (int i = 0; i < 2; ++i) {
            PosColorTexQuad q = test::quadAt(i * 8.0f, 0.0f, i * 8.0f + 8.0f, 8.0f);
            q.tl.texCoords = {i * itemWidth_ / w, 0.0f};
            q.bl.texCoords = {i * itemWidth_ / w, 1.0f};
            q.tr.texCoords = {(i + 1) * itemWidth_ / w, 0.0f};
            q.br.texCoords = {(i + 1) * itemWidth_ / w, 1.0f};
            getTextureAtlas()->updateQuad(&q, i);
        }
    }
};

class AtlasNodeTest : public test::SceneDrawTest {};

TEST_F(AtlasNodeTest, TilesPerRowAndColumnFollowTheTextureInPointsOrPixels) {
    auto texture = test::textureFrom(512, 128, [](int, int) { return kRed; });
    services_->setContentScale(2.0f);
    AtlasNode* node = AtlasNode::create(texture.get(), 16, 32, 4);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getItemsPerRow(), 16);
    EXPECT_EQ(node->getItemsPerColumn(), 2);
    node->setIgnoreContentScaleFactor(true);
    node->calculateMaxItems();
    EXPECT_EQ(node->getItemsPerRow(), 32);
    EXPECT_EQ(node->getItemsPerColumn(), 4);
}

TEST_F(AtlasNodeTest, EmptyTilesAndMissingTexturesAreRefused) {
    auto texture = test::textureFrom(8, 8, [](int, int) { return kRed; });
    EXPECT_EQ(AtlasNode::create(texture.get(), 0, 8, 1), nullptr);
    EXPECT_EQ(AtlasNode::create(texture.get(), 8, 0, 1), nullptr);
    EXPECT_EQ(AtlasNode::create(texture.get(), -4, 8, 1), nullptr);
    EXPECT_EQ(AtlasNode::create(nullptr, 8, 8, 1), nullptr);
}

TEST_F(AtlasNodeTest, OpacityModifiedColourKeepsTheColourAsSet) {
    auto texture = test::textureFrom(8, 8, [](int, int) { return kRed; });
    texture->setPremultipliedAlpha(true);
    AtlasNode* node = AtlasNode::create(texture.get(), 4, 4, 1);
    ASSERT_TRUE(node->isOpacityModifyRGB());
    EXPECT_EQ(node->getBlendFunc(), BlendFunc::ALPHA_PREMULTIPLIED);
    node->setOpacity(128);
    node->setColor(Color3B(255, 255, 255));
    EXPECT_EQ(node->getDisplayedColor(), Color3B(128, 128, 128));
    EXPECT_EQ(node->getColor(), Color3B(255, 255, 255));
}

TEST_F(AtlasNodeTest, TilesDrawInOneCall) {
    auto texture = test::textureFrom(8, 4, [](int x, int) { return x < 4 ? kRed : kBlue; });
    auto* strip = new Strip();
    ASSERT_TRUE(strip->initWithTexture(texture.get(), 4, 4, 2));
    strip->autorelease();
    strip->updateAtlasValues();
    EXPECT_EQ(drawFrame(strip), 1);
    EXPECT_THAT(readPixel(3, 3), PixelNear(kRed, 1));
    EXPECT_THAT(readPixel(12, 3), PixelNear(kBlue, 1));
    EXPECT_THAT(readPixel(17, 3), PixelNear(Pixel{0, 0, 0, 255}, 0));
    strip->setQuadsToDraw(1);
    drawFrame(strip);
    EXPECT_THAT(readPixel(12, 3), PixelNear(Pixel{0, 0, 0, 255}, 0));
}

}  // namespace
}  // namespace kite
