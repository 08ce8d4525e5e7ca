// Draw node: polygon fill, outline and blending in pixels, vertex counts, growth and refused input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "SceneDrawSupport.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/DrawNode.h"
#include "kite/scene/DrawPrimitives.h"
#include "support/DirectorShutdown.h"
#include "support/LogCapture.h"

using ::testing::HasSubstr;

namespace kite {
namespace {

using test::kBlack;
using test::Pixel;
using test::PixelNear;

const Vec2 kSquare[4] = {Vec2(16, 16), Vec2(48, 16), Vec2(48, 48), Vec2(16, 48)};

class DrawNodeTest : public test::SceneDrawTest {};

TEST_F(DrawNodeTest, FilledSquareCoversItsInsideOnly) {
    DrawNode* node = DrawNode::create();
    node->drawPolygon(kSquare, 4, Color4F(0, 1, 0, 1), 0, Color4F(1, 0, 0, 1));
    EXPECT_EQ(node->getVertexCount(), 6);
    EXPECT_EQ(drawFrame(node), 1);
    EXPECT_THAT(readPixel(16, 16), PixelNear(Pixel{0, 255, 0, 255}, 0));
    EXPECT_THAT(readPixel(47, 47), PixelNear(Pixel{0, 255, 0, 255}, 0));
    EXPECT_THAT(readPixel(15, 30), PixelNear(kBlack, 0));
    EXPECT_THAT(readPixel(48, 30), PixelNear(kBlack, 0));
}

TEST_F(DrawNodeTest, BorderStraddlesTheEdgesAndCornersAreMitred) {
    DrawNode* node = DrawNode::create();
    node->drawPolygon(kSquare, 4, Color4F(0, 1, 0, 1), 4, Color4F(1, 0, 0, 1));
    EXPECT_EQ(node->getVertexCount(), 6 + 24);
    drawFrame(node);
    saveFrame();
    const Pixel red{255, 0, 0, 255};
    EXPECT_THAT(readPixel(32, 13), PixelNear(red, 0));  // outside the edge
    EXPECT_THAT(readPixel(32, 18), PixelNear(red, 0));  // inside the edge
    EXPECT_THAT(readPixel(32, 21), PixelNear(Pixel{0, 255, 0, 255}, 0));
    EXPECT_THAT(readPixel(13, 13), PixelNear(red, 0));  // the mitred corner
    EXPECT_THAT(readPixel(32, 11), PixelNear(kBlack, 0));
}

TEST_F(DrawNodeTest, HalfTransparentFillBlendsOverWhatIsBelow) {
    DrawNode* node = DrawNode::create();
    const Vec2 whole[4] = {Vec2(0, 0), Vec2(64, 0), Vec2(64, 64), Vec2(0, 64)};
    node->drawPolygon(whole, 4, Color4F(0, 0, 1, 1), 0, Color4F());
    node->drawPolygon(kSquare, 4, Color4F(1, 0, 0, 0.5f), 0, Color4F());
    drawFrame(node);
    EXPECT_THAT(readPixel(32, 32), PixelNear(Pixel{127, 0, 128, 255}, 2));
    EXPECT_THAT(readPixel(4, 4), PixelNear(Pixel{0, 0, 255, 255}, 0));
}

TEST_F(DrawNodeTest, TriangleWithOutlineAddsSevenTriangles) {
    DrawNode* node = DrawNode::create();
    const Vec2 triangle[3] = {Vec2(0, 0), Vec2(10, 0), Vec2(0, 10)};
    node->drawPolygon(triangle, 3, Color4F(1, 1, 1, 1), 0, Color4F(1, 1, 1, 1));
    EXPECT_EQ(node->getVertexCount(), 3);  // a zero width gives no outline
    node->drawPolygon(triangle, 3, Color4F(1, 1, 1, 1), 1, Color4F(1, 1, 1, 0));
    EXPECT_EQ(node->getVertexCount(), 6);  // nor does a clear border colour
    node->drawPolygon(triangle, 3, Color4F(1, 1, 1, 1), 1, Color4F(1, 1, 1, 1));
    EXPECT_EQ(node->getVertexCount(), 6 + 21);
}

TEST_F(DrawNodeTest, ClearQueuesNothingUntilSomethingIsDrawnAgain) {
    DrawNode* node = DrawNode::create();
    node->drawPolygon(kSquare, 4, Color4F(1, 1, 1, 1), 0, Color4F());
    node->clear();
    EXPECT_EQ(drawFrame(node), 0);
    EXPECT_THAT(readPixel(32, 32), PixelNear(kBlack, 0));
    EXPECT_EQ(node->getVertexCapacity(), 512);
    node->drawPolygon(kSquare, 4, Color4F(1, 1, 1, 1), 0, Color4F());
    EXPECT_EQ(drawFrame(node), 1);
    EXPECT_THAT(readPixel(32, 32), PixelNear(Pixel{255, 255, 255, 255}, 0));
}

TEST_F(DrawNodeTest, BufferGrowsAtLeastTwofoldAndKeepsWhatItHeld) {
    DrawNode* node = DrawNode::create();
    for (int i = 0; i < 86; ++i) node->drawPolygon(kSquare, 4, Color4F(1, 1, 1, 1), 0, Color4F());
    EXPECT_EQ(node->getVertexCapacity(), 1024);
    std::vector<Vec2> many(700, Vec2(1, 1));
    node->drawPolygon(many.data(), 700, Color4F(1, 1, 1, 1), 0, Color4F());
    EXPECT_EQ(node->getVertexCount(), 516 + 3 * 698);
    EXPECT_EQ(node->getVertexCapacity(), 1024 + 3 * 698);
    EXPECT_EQ(node->getVertices()[0].position, kSquare[0]);
}

TEST_F(DrawNodeTest, PolygonOfFewerThanThreeVerticesIsRefused) {
    test::LogCapture logs;
    DrawNode* node = DrawNode::create();
    node->drawPolygon(kSquare, 2, Color4F(1, 1, 1, 1), 1, Color4F(1, 1, 1, 1));
    node->drawPolygon(nullptr, 4, Color4F(1, 1, 1, 1), 1, Color4F(1, 1, 1, 1));
    EXPECT_EQ(node->getVertexCount(), 0);
    EXPECT_THAT(logs.text(), HasSubstr("DrawNode: a polygon needs at least 3 vertices"));
}

TEST_F(DrawNodeTest, OutlineThatTurnsStraightBackHasNoNaNVertices) {
    DrawNode* node = DrawNode::create();
    // The second vertex reverses the direction of travel: its miter has no finite length.
    const Vec2 folded[4] = {Vec2(10, 10), Vec2(40, 10), Vec2(20, 10), Vec2(20, 40)};
    node->drawPolygon(folded, 4, Color4F(1, 1, 1, 1), 2, Color4F(1, 0, 0, 1));
    ASSERT_EQ(node->getVertexCount(), 6 + 24);
    for (int i = 0; i < node->getVertexCount(); ++i) {
        const Vec2& p = node->getVertices()[i].position;
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << "vertex " << i;
    }
    drawFrame(node);
    EXPECT_EQ(takeGLError(), 0u);
}

// The primitives' shared state against a director that runs and then purges.
class DrawPrimitivesTest : public test::GLTest {
protected:
    void TearDown() override {
        test::shutDownDirector();
        test::GLTest::TearDown();
    }
};

TEST_F(DrawPrimitivesTest, APurgeGivesTheSharedProgramBackAndKeepsTheColour) {
    Director::getInstance();
    RefPtr<GLProgram> program(GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_U_COLOR));
    ASSERT_TRUE(program);
    const unsigned held = program->getReferenceCount();
    EXPECT_EQ(DrawPrimitives::getDrawColor(), Color4F(1, 1, 1, 1));
    DrawPrimitives::init();
    EXPECT_TRUE(DrawPrimitives::isInitialized());
    EXPECT_EQ(DrawPrimitives::getProgram(), program.get());
    EXPECT_EQ(program->getReferenceCount(), held + 1);
    DrawPrimitives::setDrawColor4F(1, 0, 0, 1);

    test::shutDownDirector();
    EXPECT_FALSE(DrawPrimitives::isInitialized());
    EXPECT_EQ(DrawPrimitives::getProgram(), nullptr);
    EXPECT_EQ(program->getReferenceCount(), 1u);  // the cache went too: only this test holds it
    EXPECT_EQ(DrawPrimitives::getDrawColor(), Color4F(1, 0, 0, 1));
    DrawPrimitives::setDrawColor4F(1, 1, 1, 1);
}

}  // namespace
}  // namespace kite
