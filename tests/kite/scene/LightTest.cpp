// Lights of the running scene on lit meshes: colours, directions, ranges and cones, probed by the frame's pixels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "SceneDrawSupport.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/MeshCommand.h"
#include "kite/scene/Light.h"
#include "kite/scene/Scene.h"

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

struct LitVertex {
    float position[3];
    float texCoord[2];
    float normal[3];
};

// A white unit square facing the viewer (normal +z), drawn by a mesh command with normals as a 3D model would
// be; the node's position and scale place it.
class LitSquare : public Node {
public:
    static LitSquare* create(float x, float y, float side, unsigned int lightMask) {
        return createAutoreleased<LitSquare>(x, y, side, lightMask);
    }

    using Node::init;
    bool init(float x, float y, float side, unsigned int lightMask) {
        const LitVertex vertices[4] = {{{0, 0, 0}, {0, 0}, {0, 0, 1}},
                                       {{1, 0, 0}, {1, 0}, {0, 0, 1}},
                                       {{0, 1, 0}, {0, 1}, {0, 0, 1}},
                                       {{1, 1, 0}, {1, 1}, {0, 0, 1}}};
        const GLushort indices[6] = {0, 1, 2, 3, 2, 1};
        glGenBuffers(2, buffers_);
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[0]);
        glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers_[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices, GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        setPosition(x, y);
        setScale(side);
        lightMask_ = lightMask;
        return true;
    }
    ~LitSquare() override { glDeleteBuffers(2, buffers_); }

    void setDrawnAlone(bool alone) { command_.setSkipBatching(alone); }

    void draw(Renderer* renderer, const Mat4& transform, std::uint32_t flags) override {
        GLProgramState* state = GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_3D_POSITION_NORMAL);
        state->setVertexAttribPointer(GLProgram::ATTRIBUTE_NAME_POSITION, 3, GL_FLOAT, GL_FALSE, sizeof(LitVertex),
                                      reinterpret_cast<void*>(offsetof(LitVertex, position)));
        state->setVertexAttribPointer(GLProgram::ATTRIBUTE_NAME_TEX_COORD, 2, GL_FLOAT, GL_FALSE, sizeof(LitVertex),
                                      reinterpret_cast<void*>(offsetof(LitVertex, texCoord)));
        state->setVertexAttribPointer(GLProgram::ATTRIBUTE_NAME_NORMAL, 3, GL_FLOAT, GL_FALSE, sizeof(LitVertex),
                                      reinterpret_cast<void*>(offsetof(LitVertex, normal)));
        command_.init(getGlobalZOrder(), 0, state, BlendFunc::DISABLE, buffers_[0], buffers_[1], GL_TRIANGLES,
                      GL_UNSIGNED_SHORT, 6, transform, flags);
        command_.setLightMask(lightMask_);
        renderer->addCommand(&command_);
    }

private:
    GLuint buffers_[2] = {0, 0};
    unsigned int lightMask_ = 0;
    MeshCommand command_;
};

class LightTest : public test::DirectorDrawTest {
protected:
    // The colour at the middle of a 20-point square whose bottom-left corner is (x, y).
    Pixel middleOf(float x, float y) const { return readPixel(static_cast<int>(x) + 10, static_cast<int>(y) + 10); }

    void drawScene(Scene* scene) {
        if (!director->getRunningScene()) director->runWithScene(scene);
        director->mainLoop();
        saveFrame();
    }
};

const Pixel kBlack{0, 0, 0, 255};

TEST_F(LightTest, ADirectionalLightGivesItsColourToTheMeshesItsFlagReaches) {
    Scene* scene = Scene::create();
    DirectionLight* light = DirectionLight::create(Vec3(0, 0, -1), Color3B(255, 128, 0));
    ASSERT_NE(light, nullptr);
    light->setLightFlag(1);
    scene->addChild(light);
    scene->addChild(LitSquare::create(10, 20, 20, 1));
    scene->addChild(LitSquare::create(60, 20, 20, 2));
    drawScene(scene);
    EXPECT_THAT(middleOf(10, 20), PixelNear(Pixel({255, 128, 0, 255}), 2));
    EXPECT_THAT(middleOf(60, 20), PixelNear(kBlack, 0));
}

TEST_F(LightTest, ALightTurnedByItsParentLightsByTheCosineOfItsWorldDirection) {
    Scene* scene = Scene::create();
    Node* tilted = Node::create();
    tilted->setRotation3D(Vec3(60, 0, 0));
    DirectionLight* light = DirectionLight::create(Vec3(0, 0, -1), Color3B(255, 255, 255));
    tilted->addChild(light);
    scene->addChild(tilted);
    scene->addChild(LitSquare::create(10, 20, 20, 1));
    EXPECT_NEAR(light->getDirection().z, -1.0f, 1e-5f);
    EXPECT_NEAR(light->getDirectionInWorld().z, -0.5f, 1e-5f);
    drawScene(scene);
    EXPECT_THAT(middleOf(10, 20), PixelNear(Pixel({128, 128, 128, 255}), 2));
}

TEST_F(LightTest, AmbientAndPointLightsAddUpAndThePointLightFadesWithDistance) {
    Scene* scene = Scene::create();
    scene->addChild(AmbientLight::create(Color3B(64, 0, 0)));
    // 50 points in front of the middle of the square, reaching 100: three quarters of its light arrive.
    scene->addChild(PointLight::create(Vec3(20, 30, 50), Color3B(0, 0, 255), 100));
    scene->addChild(LitSquare::create(10, 20, 20, 1));
    drawScene(scene);
    EXPECT_THAT(middleOf(10, 20), PixelNear(Pixel({64, 0, 191, 255}), 3));
}

TEST_F(LightTest, ASpotLightLightsInsideItsConeOnly) {
    Scene* scene = Scene::create();
    // Straight above the first square; the second is 38 degrees off its axis, outside the 17-degree cone.
    scene->addChild(SpotLight::create(Vec3(0, 0, -1), Vec3(20, 30, 50), Color3B(0, 255, 0), 0.2f, 0.3f, 1000));
    scene->addChild(LitSquare::create(10, 20, 20, 1));
    scene->addChild(LitSquare::create(50, 20, 20, 1));
    drawScene(scene);
    EXPECT_THAT(middleOf(10, 20), PixelNear(Pixel({0, 254, 0, 255}), 3));
    EXPECT_THAT(middleOf(50, 20), PixelNear(kBlack, 0));
}

TEST_F(LightTest, ALightThatLeavesTheSceneNoLongerLights) {
    Scene* scene = Scene::create();
    DirectionLight* light = DirectionLight::create(Vec3(0, 0, -1), Color3B(0, 0, 255));
    scene->addChild(light);
    scene->addChild(LitSquare::create(10, 20, 20, 1));
    drawScene(scene);
    EXPECT_THAT(middleOf(10, 20), PixelNear(test::kBlue, 2));
    light->removeFromParent();
    EXPECT_TRUE(scene->getLights().empty());
    drawScene(scene);
    EXPECT_THAT(middleOf(10, 20), PixelNear(kBlack, 0));
}

TEST_F(LightTest, AMeshDrawnAloneIsLitAsABatchedOneIs) {
    setGLExtensionsEnabled(false);
    Scene* scene = Scene::create();
    scene->addChild(DirectionLight::create(Vec3(0, 0, -1), Color3B(255, 128, 0)));
    LitSquare* square = LitSquare::create(10, 20, 20, 1);
    square->setDrawnAlone(true);
    scene->addChild(square);
    drawScene(scene);
    EXPECT_THAT(middleOf(10, 20), PixelNear(Pixel({255, 128, 0, 255}), 2));
}

}  // namespace
}  // namespace kite
