// A headless frame of a small tree through the director: nodes land in the right places and order.
#include <GLES2/gl2.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "SceneDrawSupport.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Camera.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"
#include "platform/Clock.h"
#include "tests/support/GLTest.h"

namespace kite {
namespace {

using test::Pixel;

// A rectangle of its content size in its displayed colour, drawn as one textured quad.
class Block : public Node {
public:
    static Block* make(Texture2D* white, const Color3B& color, const Vec2& position, const Size& size) {
        Block* block = createAutoreleased<Block>();
        block->white_ = white;
        block->setColor(color);
        block->setPosition(position);
        block->setContentSize(size);
        return block;
    }
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override {
        const float w = contentSize.width, h = contentSize.height;
        const Color4B c(displayedColor.r, displayedColor.g, displayedColor.b, displayedOpacity);
        quad_.tl.vertices = Vec3(0, h, 0);
        quad_.bl.vertices = Vec3(0, 0, 0);
        quad_.tr.vertices = Vec3(w, h, 0);
        quad_.br.vertices = Vec3(w, 0, 0);
        quad_.tl.texCoords = {0, 0};
        quad_.bl.texCoords = {0, 1};
        quad_.tr.texCoords = {1, 0};
        quad_.br.texCoords = {1, 1};
        quad_.tl.colors = quad_.bl.colors = quad_.tr.colors = quad_.br.colors = c;
        GLProgramState* state =
            GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP);
        command_.init(globalZOrder, white_->getName(), state, BlendFunc::DISABLE, &quad_, 1, transform, flags);
        renderer->addCommand(&command_);
    }

private:
    Texture2D* white_ = nullptr;
    PosColorTexQuad quad_;
    QuadCommand command_;
};

// Fills its world-space box with a colour from a custom command (scissored clear).
class Painter : public Node {
public:
    static Painter* make(const Color4F& color, const Vec2& position, const Size& size) {
        Painter* p = createAutoreleased<Painter>();
        p->color_ = color;
        p->setPosition(position);
        p->setContentSize(size);
        return p;
    }
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override {
        command_.init(globalZOrder, transform, flags);
        const Mat4 world = transform;
        const Size size = contentSize;
        const Color4F color = color_;
        command_.func = [world, size, color] {
            Vec4 a = world * Vec4(0, 0, 0, 1);
            Vec4 b = world * Vec4(size.width, size.height, 0, 1);
            const int x0 = static_cast<int>(std::lround(std::min(a.x, b.x)));
            const int y0 = static_cast<int>(std::lround(std::min(a.y, b.y)));
            const int x1 = static_cast<int>(std::lround(std::max(a.x, b.x)));
            const int y1 = static_cast<int>(std::lround(std::max(a.y, b.y)));
            glEnable(GL_SCISSOR_TEST);
            glScissor(x0, y0, x1 - x0, y1 - y0);
            glClearColor(color.r, color.g, color.b, color.a);
            glClear(GL_COLOR_BUFFER_BIT);
            glDisable(GL_SCISSOR_TEST);
            glClearColor(0, 0, 0, 1);
        };
        renderer->addCommand(&command_);
    }

private:
    Color4F color_;
    CustomCommand command_;
};

const Pixel kBlack{0, 0, 0, 255};
const Pixel kBlue{0, 0, 255, 255};
const Pixel kRed{255, 0, 0, 255};
const Pixel kGreen{0, 255, 0, 255};
const Pixel kYellow{255, 255, 0, 255};
const Pixel kMagenta{255, 0, 255, 255};
const Pixel kWhite{255, 255, 255, 255};
const Pixel kCyan{0, 255, 255, 255};
const Pixel kGrey{128, 128, 128, 255};

class SceneDrawTest : public test::DirectorDrawTest {
protected:
    void SetUp() override {
        test::DirectorDrawTest::SetUp();
        if (!director) return;
        const std::uint8_t whitePixels[16] = {255, 255, 255, 255, 255, 255, 255, 255,
                                              255, 255, 255, 255, 255, 255, 255, 255};
        white = Texture2D::create();
        white->initWithData(whitePixels, sizeof whitePixels, Texture2D::PixelFormat::RGBA8888, 2, 2);
    }
    void TearDown() override {
        white.reset();
        test::DirectorDrawTest::TearDown();
    }

    RefPtr<Texture2D> white;
};

TEST_F(SceneDrawTest, TreeDrawsInPlaceAndInOrder) {
    Scene* scene = Scene::create();
    scene->addChild(Block::make(white.get(), Color3B(0, 0, 255), Vec2(0, 0), Size(96, 64)), -1);

    // A parent with one child in front of it and one behind it.
    Block* parent = Block::make(white.get(), Color3B(255, 0, 0), Vec2(10, 10), Size(40, 40));
    parent->addChild(Block::make(white.get(), Color3B(0, 255, 0), Vec2(20, 20), Size(30, 30)));
    parent->addChild(Block::make(white.get(), Color3B(255, 255, 0), Vec2(-5, -5), Size(10, 10)), -1);
    scene->addChild(parent);

    // Scaled about its centre: 40 x 40 at half size covers (70, 10) to (90, 30).
    Painter* painter = Painter::make(Color4F(1, 0, 1, 1), Vec2(80, 20), Size(40, 40));
    painter->setAnchorPoint(Vec2(0.5f, 0.5f));
    painter->setScale(0.5f);
    scene->addChild(painter);

    // Earlier in the tree than the cyan block, but in front of everything by global order.
    Block* front = Block::make(white.get(), Color3B(255, 255, 255), Vec2(60, 40), Size(30, 20));
    front->setGlobalZOrder(1);
    scene->addChild(front, -5);
    scene->addChild(Block::make(white.get(), Color3B(0, 255, 255), Vec2(65, 45), Size(30, 15)));

    // A dimmed subtree: grey through the cascade.
    Node* dim = Node::create();
    dim->setCascadeColorEnabled(true);
    dim->addChild(Block::make(white.get(), Color3B(255, 255, 255), Vec2(2, 54), Size(6, 6)));
    dim->setColor(Color3B(128, 128, 128));
    scene->addChild(dim);

    director->runWithScene(scene);
    director->mainLoop();
    saveFrame();

    EXPECT_EQ(readPixel(2, 2), kBlue);       // background, drawn first for its local z
    EXPECT_EQ(readPixel(12, 12), kRed);      // parent
    EXPECT_EQ(readPixel(6, 6), kYellow);     // child behind the parent, outside it
    EXPECT_EQ(readPixel(14, 14), kRed);      // the parent covers that child where they meet
    EXPECT_EQ(readPixel(40, 40), kGreen);    // child in front of the parent at (30, 30)
    EXPECT_EQ(readPixel(55, 55), kGreen);    // ... reaching (60, 60) past the parent
    EXPECT_EQ(readPixel(52, 20), kBlue);     // right of the parent: nothing
    EXPECT_EQ(readPixel(71, 11), kMagenta);  // scaled custom-drawn node
    EXPECT_EQ(readPixel(89, 29), kMagenta);
    EXPECT_EQ(readPixel(92, 20), kBlue);
    EXPECT_EQ(readPixel(68, 33), kBlue);
    EXPECT_EQ(readPixel(75, 50), kWhite);  // global order wins over tree order
    EXPECT_EQ(readPixel(92, 50), kCyan);
    EXPECT_THAT(readPixel(4, 56), test::PixelNear(kGrey, 1));
    EXPECT_GT(director->getRenderer()->getDrawnBatches(), 0);
}

TEST_F(SceneDrawTest, InvisibleCameraDrawsNothing) {
    Scene* scene = Scene::create();
    scene->addChild(Block::make(white.get(), Color3B(255, 0, 0), Vec2(0, 0), Size(96, 64)));
    director->runWithScene(scene);
    scene->getDefaultCamera()->setVisible(false);
    director->mainLoop();
    EXPECT_EQ(readPixel(48, 32), kBlack);
    scene->getDefaultCamera()->setVisible(true);
    director->mainLoop();
    EXPECT_EQ(readPixel(48, 32), kRed);
}

TEST_F(SceneDrawTest, ThreeDProjectionPlacesNodesAsTwoDDoes) {
    director->setProjection(Director::Projection::_3D);
    Scene* scene = Scene::create();
    scene->addChild(Block::make(white.get(), Color3B(0, 255, 0), Vec2(16, 16), Size(32, 32)));
    director->runWithScene(scene);
    director->mainLoop();
    saveFrame();
    EXPECT_EQ(readPixel(18, 18), kGreen);
    EXPECT_EQ(readPixel(46, 46), kGreen);
    EXPECT_EQ(readPixel(13, 13), kBlack);
    EXPECT_EQ(readPixel(51, 51), kBlack);
}

TEST_F(SceneDrawTest, NodeSharesTheProgramsStateAndHoldsIt) {
    GLProgram* program = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_COLOR);
    ASSERT_NE(program, nullptr);
    GLProgramState* shared = GLProgramState::getOrCreateWithGLProgram(program);
    const unsigned before = shared->getReferenceCount();
    Node* node = Node::create();
    node->setGLProgram(program);
    EXPECT_EQ(node->getGLProgramState(), shared);
    EXPECT_EQ(node->getGLProgram(), program);
    EXPECT_EQ(shared->getReferenceCount(), before + 1);
    node->setGLProgram(program);
    EXPECT_EQ(shared->getReferenceCount(), before + 1);
    node->setGLProgramState(nullptr);
    EXPECT_EQ(shared->getReferenceCount(), before);
    EXPECT_EQ(node->getGLProgram(), nullptr);
}

}  // namespace
}  // namespace kite
