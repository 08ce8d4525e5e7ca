#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "DrawTestSupport.h"
#include "kite/rendering/BatchCommand.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GroupCommand.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/rendering/TrianglesCommand.h"
#include "support/GLTest.h"

namespace kite {
namespace {

using test::kBlack;
using test::kBlue;
using test::kGreen;
using test::kRed;
using test::Pixel;
using test::PixelNear;

class RendererTest : public test::RendererFixture {
protected:
    GLProgramState* noMVP() { return test::stateNamed(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP); }

    // Keeps a quad and its command alive for the frame.
    QuadCommand* quad(float x0, float y0, float x1, float y1, Texture2D* texture, float z = 0.0f,
                      BlendFunc blend = BlendFunc::DISABLE, GLProgramState* state = nullptr) {
        quads_.push_back(std::make_unique<PosColorTexQuad>(test::quadAt(x0, y0, x1, y1)));
        commands_.push_back(std::make_unique<QuadCommand>());
        commands_.back()->init(z, texture->getName(), state ? state : noMVP(), blend, quads_.back().get(), 1,
                               Mat4::IDENTITY, 0);
        return commands_.back().get();
    }

    void renderFrame() {
        renderer_->clearDrawStats();
        renderer_->render();
    }

    std::vector<std::unique_ptr<PosColorTexQuad>> quads_;
    std::vector<std::unique_ptr<QuadCommand>> commands_;
};

TEST_F(RendererTest, TwoQuadsOfOneMaterialDrawInOneCall) {
    auto red = test::solidTexture(255, 0, 0);
    renderer_->addCommand(quad(0, 0, 32, 64, red.get()));
    renderer_->addCommand(quad(32, 0, 64, 64, red.get()));
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 1);
    EXPECT_EQ(renderer_->getDrawnVertices(), 12);
    EXPECT_EQ(readPixel(10, 10), kRed);
    EXPECT_EQ(readPixel(50, 50), kRed);
}

TEST_F(RendererTest, TextureBlendOrProgramChangeSplitsTheBatch) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    renderer_->addCommand(quad(0, 0, 16, 64, red.get()));
    renderer_->addCommand(quad(16, 0, 32, 64, green.get()));                                     // texture
    renderer_->addCommand(quad(32, 0, 48, 64, green.get(), 0, BlendFunc::ALPHA_PREMULTIPLIED));  // blend
    renderer_->addCommand(quad(48, 0, 64, 64, green.get(), 0, BlendFunc::ALPHA_PREMULTIPLIED,
                               test::stateNamed(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR)));  // program
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 4);
    EXPECT_EQ(renderer_->getDrawnVertices(), 24);
    EXPECT_EQ(readPixel(8, 8), kRed);
    EXPECT_EQ(readPixel(24, 8), kGreen);
    EXPECT_EQ(readPixel(40, 8), kGreen);
    EXPECT_EQ(readPixel(56, 8), kGreen);
}

TEST_F(RendererTest, CustomCommandEndsTheBatchAndRunsBetweenItsHalves) {
    auto red = test::solidTexture(255, 0, 0);
    std::int64_t batchesWhenCalled = -1;
    CustomCommand custom;
    custom.init(0.0f);
    custom.func = [&] { batchesWhenCalled = renderer_->getDrawnBatches(); };
    renderer_->addCommand(quad(0, 0, 32, 64, red.get()));
    renderer_->addCommand(&custom);
    renderer_->addCommand(quad(32, 0, 64, 64, red.get()));
    renderFrame();
    EXPECT_EQ(batchesWhenCalled, 1);
    EXPECT_EQ(renderer_->getDrawnBatches(), 2);
    EXPECT_EQ(renderer_->getDrawnVertices(), 12);
    EXPECT_EQ(readPixel(50, 10), kRed);
}

TEST_F(RendererTest, CustomCommandWithoutCallbackDoesNothing) {
    CustomCommand custom;
    renderer_->addCommand(&custom);
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 0);
}

TEST_F(RendererTest, GroupDrawsItsQueueInPlaceAndSplitsTheBatch) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    GroupCommand group;
    group.init(0.0f);
    ASSERT_GT(group.getRenderQueueID(), 0);
    renderer_->addCommand(quad(0, 0, 64, 64, red.get()));
    renderer_->addCommand(&group);
    renderer_->pushGroup(group.getRenderQueueID());
    renderer_->addCommand(quad(0, 0, 32, 64, green.get()));
    renderer_->popGroup();
    renderer_->addCommand(quad(48, 0, 64, 64, red.get()));
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 3);
    EXPECT_EQ(readPixel(10, 10), kGreen);  // the group's quad drew over the first one
    EXPECT_EQ(readPixel(40, 10), kRed);
}

TEST_F(RendererTest, GroupThatContainsItselfIsDrawnOnceAndRefusedInside) {
    auto red = test::solidTexture(255, 0, 0);
    GroupCommand group;
    renderer_->addCommand(&group);
    renderer_->pushGroup(group.getRenderQueueID());
    renderer_->addCommand(quad(0, 0, 64, 64, red.get()));
    renderer_->addCommand(&group);  // a caller error: the group inside itself
    renderer_->popGroup();
    ::testing::internal::CaptureStdout();
    renderFrame();
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), ::testing::HasSubstr("nests itself"));
    EXPECT_EQ(renderer_->getDrawnBatches(), 1);
    EXPECT_EQ(readPixel(32, 32), kRed);
}

TEST_F(RendererTest, FreedGroupIDIsReusedWithoutANewQueue) {
    int first = -1;
    {
        GroupCommand group;
        first = group.getRenderQueueID();
    }
    GroupCommand again;
    EXPECT_EQ(again.getRenderQueueID(), first);
    GroupCommand second;
    EXPECT_NE(second.getRenderQueueID(), first);
}

TEST_F(RendererTest, GroupMadeBeforeAnyRendererGetsItsQueueWhenFirstUsed) {
    services_.reset();  // as before the director exists
    GroupCommand early;
    services_ = std::make_unique<test::FrameServicesScope>(renderer_.get(), frameWidth(), frameHeight());
    auto green = test::solidTexture(0, 255, 0);
    renderer_->addCommand(&early);
    ASSERT_GT(early.getRenderQueueID(), 0);
    renderer_->pushGroup(early.getRenderQueueID());
    renderer_->addCommand(quad(0, 0, 64, 64, green.get()));
    renderer_->popGroup();
    renderFrame();
    EXPECT_EQ(readPixel(32, 32), kGreen);
}

TEST_F(RendererTest, UserUniformsGiveMaterialZeroWhichNeverMerges) {
    auto red = test::solidTexture(255, 0, 0);
    GLProgramState* withUniform = test::stateNamed(GLProgram::SHADER_NAME_POSITION_TEXTURE_U_COLOR);
    ASSERT_NE(withUniform, nullptr);
    withUniform->setUniformVec4("u_color", Vec4(1, 1, 1, 1));
    renderer_->addCommand(quad(0, 0, 20, 64, red.get()));
    QuadCommand* zero = quad(20, 0, 40, 64, red.get(), 0, BlendFunc::DISABLE, withUniform);
    EXPECT_EQ(zero->getMaterialID(), 0u);
    renderer_->addCommand(zero);
    renderer_->addCommand(quad(40, 0, 64, 64, red.get()));
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 3);
    EXPECT_EQ(readPixel(30, 10), kRed);
}

TEST_F(RendererTest, GlobalOrdersDrawNegativeThenZeroThenPositive) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    auto blue = test::solidTexture(0, 0, 255);
    // Each later layer covers less, so the strips show the drawing order.
    renderer_->addCommand(quad(42, 0, 64, 64, red.get(), 1.0f));
    renderer_->addCommand(quad(21, 0, 64, 64, green.get(), 0.0f));
    renderer_->addCommand(quad(0, 0, 64, 64, blue.get(), -1.0f));
    renderFrame();
    EXPECT_EQ(readPixel(10, 32), kBlue);
    EXPECT_EQ(readPixel(32, 32), kGreen);
    EXPECT_EQ(readPixel(54, 32), kRed);
    EXPECT_EQ(renderer_->getDrawnBatches(), 3);
}

TEST_F(RendererTest, EqualGlobalOrdersKeepTheOrderOfArrival) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    auto blue = test::solidTexture(0, 0, 255);
    for (float z : {-2.0f, 0.0f, 3.0f}) {
        renderer_->addCommand(quad(0, 0, 64, 64, blue.get(), z));
        renderer_->addCommand(quad(0, 0, 64, 64, green.get(), z));
        renderer_->addCommand(quad(0, 0, 64, 64, red.get(), z));
        // Many equal keys: an unstable sort would reorder some.
        for (int i = 0; i < 40; ++i) renderer_->addCommand(quad(0, 0, 1, 1, blue.get(), z));
        renderer_->addCommand(quad(8, 8, 16, 16, green.get(), z));
        renderFrame();
        EXPECT_EQ(readPixel(32, 32), kRed) << "z " << z;
        EXPECT_EQ(readPixel(12, 12), kGreen) << "z " << z;
    }
}

TEST_F(RendererTest, OrderThatIsNotANumberCountsAsZero) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    renderer_->addCommand(quad(0, 0, 64, 64, red.get(), std::numeric_limits<float>::quiet_NaN()));
    renderer_->addCommand(quad(0, 0, 64, 64, green.get(), -1.0f));
    renderFrame();
    EXPECT_EQ(readPixel(32, 32), kRed);
}

TEST_F(RendererTest, TransparentThreeDCommandsDrawFarthestFirst) {
    std::vector<int> order;
    CustomCommand nearer, farther;
    Mat4 at5, at10;
    Mat4::createTranslation(0, 0, -5, &at5);
    Mat4::createTranslation(0, 0, -10, &at10);
    nearer.init(0.0f, at5, RenderCommand::FLAGS_RENDER_AS_3D);
    farther.init(0.0f, at10, RenderCommand::FLAGS_RENDER_AS_3D);
    EXPECT_TRUE(nearer.is3D());
    EXPECT_FLOAT_EQ(nearer.getDepth(), 5.0f);
    nearer.func = [&] { order.push_back(5); };
    farther.func = [&] { order.push_back(10); };
    renderer_->addCommand(&nearer);
    renderer_->addCommand(&farther);
    renderFrame();
    EXPECT_THAT(order, ::testing::ElementsAre(10, 5));
}

TEST_F(RendererTest, QuadThatOverflowsTheStagingAreaFlushesFirstAndStillDraws) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    const int kFull = renderer_->getQuadCapacity();
    // Tiny quads keep the fill cheap; the first covers the frame.
    std::vector<PosColorTexQuad> many(kFull, test::quadAt(0, 0, 1, 1));
    many[0] = test::quadAt(0, 0, 64, 64);
    QuadCommand big;
    big.init(0.0f, red->getName(), noMVP(), BlendFunc::DISABLE, many.data(), kFull, Mat4::IDENTITY, 0);
    renderer_->addCommand(&big);
    QuadCommand* last = quad(0, 0, 32, 32, red.get());
    EXPECT_EQ(last->getMaterialID(), big.getMaterialID());
    renderer_->addCommand(last);
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 2);
    EXPECT_EQ(renderer_->getDrawnVertices(), (kFull + 1) * 6);
    EXPECT_EQ(readPixel(10, 10), kRed);
    // The quad after the flush draws on its own: make it visible by colour.
    renderer_->addCommand(&big);
    renderer_->addCommand(quad(0, 0, 32, 32, green.get()));
    renderFrame();
    EXPECT_EQ(readPixel(10, 10), kGreen);
    EXPECT_EQ(readPixel(50, 50), kRed);
}

TEST_F(RendererTest, AHundredThousandQuadsOfOneMaterialDrawInOneCall) {
    if (!Configuration::getInstance()->supportsElementIndexUint()) GTEST_SKIP() << "the driver has 16-bit indices only";
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    // A small batch first: the larger one after it must not be cut to the first one's size.
    renderer_->addCommand(quad(0, 0, 64, 64, red.get()));
    renderFrame();
    ASSERT_EQ(readPixel(60, 60), kRed);

    constexpr int kQuads = 100000;
    // Tiny quads keep the fill cheap; only the last covers the frame.
    std::vector<PosColorTexQuad> many(kQuads, test::quadAt(0, 0, 1, 1));
    many.back() = test::quadAt(0, 0, 64, 64);
    QuadCommand storm;
    storm.init(0.0f, green->getName(), noMVP(), BlendFunc::DISABLE, many.data(), kQuads, Mat4::IDENTITY, 0);
    renderer_->addCommand(&storm);
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 1);
    EXPECT_EQ(renderer_->getDrawnVertices(), kQuads * 6);
    EXPECT_EQ(readPixel(60, 60), kGreen);
}

TEST_F(RendererTest, CommandLargerThanTheStagingAreaIsRefused) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    const int kTooMany = renderer_->getQuadCapacity() + 1;
    std::vector<PosColorTexQuad> many(kTooMany, test::quadAt(0, 0, 64, 64));
    QuadCommand huge;
    huge.init(0.0f, red->getName(), noMVP(), BlendFunc::DISABLE, many.data(), kTooMany, Mat4::IDENTITY, 0);
    ::testing::internal::CaptureStdout();
    renderer_->addCommand(quad(0, 0, 32, 64, green.get()));
    renderer_->addCommand(&huge);
    renderer_->addCommand(quad(32, 0, 64, 64, green.get()));
    renderFrame();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, ::testing::HasSubstr("does not fit"));
    EXPECT_EQ(renderer_->getDrawnVertices(), 12);
    EXPECT_EQ(readPixel(10, 10), kGreen);
    EXPECT_EQ(readPixel(50, 10), kGreen);
}

TEST_F(RendererTest, PixelsAreTheSameWithoutVertexArrayObjects) {
    setGLExtensionsEnabled(false);
    ASSERT_FALSE(Configuration::getInstance()->supportsVertexArrayObject());
    startRenderer();
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    renderer_->addCommand(quad(0, 0, 32, 64, red.get()));
    renderer_->addCommand(quad(32, 0, 64, 64, red.get()));
    renderer_->addCommand(quad(16, 16, 48, 48, green.get(), 1.0f));
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 2);
    EXPECT_EQ(readPixel(4, 4), kRed);
    EXPECT_EQ(readPixel(60, 60), kRed);
    EXPECT_EQ(readPixel(32, 32), kGreen);
    EXPECT_EQ(takeGLError(), static_cast<unsigned int>(GL_NO_ERROR));
}

TEST_F(RendererTest, NothingAddedDrawsNothing) {
    renderer_->addDrawnBatches(5);
    renderer_->render();
    EXPECT_EQ(renderer_->getDrawnBatches(), 5);
    EXPECT_EQ(renderer_->getDrawnVertices(), 0);
    EXPECT_EQ(readPixel(32, 32), kBlack);
}

TEST_F(RendererTest, ACommandForAQueueThatDoesNotExistIsDroppedAndNull) {
    auto red = test::solidTexture(255, 0, 0);
    renderer_->addCommand(nullptr);
    renderer_->pushGroup(99);  // no such queue
    renderer_->addCommand(quad(0, 0, 64, 64, red.get()));
    renderer_->popGroup();
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 0);
    EXPECT_EQ(readPixel(32, 32), kBlack);
}

TEST_F(RendererTest, RenderBeforeTheGLViewOnlyEmptiesTheQueues) {
    Renderer fresh;
    auto red = test::solidTexture(255, 0, 0);
    fresh.addCommand(quad(0, 0, 64, 64, red.get()));
    fresh.render();
    EXPECT_EQ(fresh.getDrawnBatches(), 0);
    fresh.initGLView();
    fresh.render();  // the queue was emptied: still nothing
    EXPECT_EQ(fresh.getDrawnBatches(), 0);
    EXPECT_EQ(readPixel(32, 32), kBlack);
}

TEST_F(RendererTest, TrianglesBatchByMaterialAndEndAQuadBatch) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    PosColorTexQuad q = test::quadAt(32, 0, 64, 64);
    PosColorTexVertex verts[4] = {q.tl, q.bl, q.tr, q.br};
    unsigned short indices[6] = {0, 1, 2, 3, 2, 1};
    TrianglesCommand::Triangles triangles{verts, indices, 4, 6};
    TrianglesCommand first, second;
    first.init(0.0f, green->getName(), noMVP(), BlendFunc::DISABLE, triangles, Mat4::IDENTITY, 0);
    Mat4 down;
    Mat4::createTranslation(0, -32, 0, &down);
    second.init(0.0f, green->getName(), noMVP(), BlendFunc::DISABLE, triangles, down, 0);
    EXPECT_EQ(first.getMaterialID(), second.getMaterialID());
    renderer_->addCommand(quad(0, 0, 32, 64, red.get()));
    renderer_->addCommand(&first);
    renderer_->addCommand(&second);
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 2);
    EXPECT_EQ(renderer_->getDrawnVertices(), 6 + 12);
    EXPECT_EQ(readPixel(10, 10), kRed);
    EXPECT_EQ(readPixel(50, 50), kGreen);
}

TEST_F(RendererTest, BatchCommandDrawsItsAtlasBetweenQuadBatches) {
    auto red = test::solidTexture(255, 0, 0);
    auto blue = test::solidTexture(0, 0, 255);
    TextureAtlas* atlas = TextureAtlas::createWithTexture(blue.get(), 4);
    ASSERT_NE(atlas, nullptr);
    PosColorTexQuad q = test::quadAt(0, 32, 64, 64);
    atlas->updateQuad(&q, 0);
    BatchCommand batch;
    batch.init(0.0f, GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR),
               BlendFunc::DISABLE, atlas, Mat4::IDENTITY, 0);
    EXPECT_EQ(batch.getTextureID(), blue->getName());
    renderer_->addCommand(quad(0, 0, 32, 32, red.get()));
    renderer_->addCommand(&batch);
    renderer_->addCommand(quad(32, 0, 64, 32, red.get()));
    renderFrame();
    EXPECT_EQ(renderer_->getDrawnBatches(), 3);
    EXPECT_EQ(renderer_->getDrawnVertices(), 18);
    EXPECT_EQ(readPixel(10, 10), kRed);
    EXPECT_EQ(readPixel(50, 10), kRed);
    EXPECT_EQ(readPixel(32, 50), kBlue);
}

TEST_F(RendererTest, ClearEmptiesColourAndLeavesDepthWritesOff) {
    auto red = test::solidTexture(255, 0, 0);
    renderer_->addCommand(quad(0, 0, 64, 64, red.get()));
    renderFrame();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);  // GL's own default, which nothing changes
    renderer_->clear();
    EXPECT_EQ(readPixel(32, 32), (Pixel{0, 0, 0, 0}));
    GLboolean depthWrite = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
    EXPECT_EQ(depthWrite, GL_FALSE);
}

TEST_F(RendererTest, VisibilityTestRejectsNodesOutsideTheWindow) {
    Mat4 inside, left;
    Mat4::createTranslation(10, 10, 0, &inside);
    Mat4::createTranslation(-200, 10, 0, &left);
    EXPECT_TRUE(renderer_->checkVisibility(inside, Size(100, 100)));
    EXPECT_FALSE(renderer_->checkVisibility(left, Size(100, 100)));
    // The camera and the window are read once per pass; the next pass sees their changes.
    services_->setVisitingOtherCamera(true);
    renderer_->render();
    EXPECT_TRUE(renderer_->checkVisibility(left, Size(100, 100)));
    services_->setVisitingOtherCamera(false);
    services_->setWinSize(Size(8, 8));
    renderer_->render();
    EXPECT_FALSE(renderer_->checkVisibility(inside, Size(100, 100)));  // now past an 8 x 8 window
}

TEST(RenderCommand, FreshCommandIsTransparentTwoDBatchingAtOrderZero) {
    CustomCommand command;
    EXPECT_TRUE(command.isTransparent());
    EXPECT_FALSE(command.is3D());
    EXPECT_FALSE(command.isSkipBatching());
    EXPECT_EQ(command.getGlobalOrder(), 0.0f);
    EXPECT_EQ(command.getType(), RenderCommand::Type::CUSTOM_COMMAND);
    command.init(2.0f, Mat4::IDENTITY, 0);
    EXPECT_EQ(command.getDepth(), 0.0f);
    EXPECT_EQ(command.getGlobalOrder(), 2.0f);
}

class QuadCommandTest : public test::GLTest {};

TEST_F(QuadCommandTest, MaterialFollowsTextureProgramAndBlendButNotTheMatrix) {
    GLProgramState* state = test::stateNamed(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP);
    PosColorTexQuad q = test::quadAt(0, 0, 1, 1);
    QuadCommand a, b;
    a.init(0.0f, 7, state, BlendFunc::ALPHA_PREMULTIPLIED, &q, 1, Mat4::IDENTITY, 0);
    Mat4 moved;
    Mat4::createTranslation(5, 5, 0, &moved);
    b.init(0.0f, 7, state, BlendFunc::ALPHA_PREMULTIPLIED, &q, 1, moved, 0);
    EXPECT_NE(a.getMaterialID(), 0u);
    EXPECT_EQ(a.getMaterialID(), b.getMaterialID());
    const std::uint32_t before = a.getMaterialID();
    a.init(1.0f, 7, state, BlendFunc::ALPHA_PREMULTIPLIED, &q, 1, moved, 0);
    EXPECT_EQ(a.getMaterialID(), before);
    a.init(1.0f, 7, state, BlendFunc{GL_ONE, GL_ONE}, &q, 1, moved, 0);
    EXPECT_NE(a.getMaterialID(), before);
    b.init(0.0f, 8, state, BlendFunc::ALPHA_PREMULTIPLIED, &q, 1, Mat4::IDENTITY, 0);
    EXPECT_NE(b.getMaterialID(), before);
}

}  // namespace
}  // namespace kite
