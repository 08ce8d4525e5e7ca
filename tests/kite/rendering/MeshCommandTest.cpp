#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "DrawTestSupport.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/MeshCommand.h"
#include "kite/rendering/Primitive.h"
#include "kite/rendering/PrimitiveCommand.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/Renderer.h"
#include "support/GLTest.h"

namespace kite {
namespace {

using test::Pixel;

const Pixel kRed{255, 0, 0, 255};
const Pixel kGreen{0, 255, 0, 255};
const Pixel kBlack{0, 0, 0, 255};

// Mesh and primitive commands: nothing in the engine emits them, but the
// renderer's dispatch must draw them where they stand.
class MeshCommandTest : public test::RendererFixture {
protected:
    void SetUp() override {
        test::GLTest::SetUp();
        start();
    }
    void TearDown() override {
        if (buffers_[0]) glDeleteBuffers(2, buffers_);
        test::RendererFixture::TearDown();
    }
    void start() {
        startRenderer();
        // The left half of the frame as one quad in a vertex and an index buffer.
        PosColorTexQuad q = test::quadAt(0, 0, 32, 64);
        const GLushort indices[6] = {0, 1, 2, 3, 2, 1};
        glGenBuffers(2, buffers_);
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[0]);
        glBufferData(GL_ARRAY_BUFFER, sizeof(q), &q, GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers_[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(indices), indices, GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }

    // A program state of its own, so that its attribute pointers touch no other test.
    GLProgramState* meshState() {
        GLProgramState* state = test::stateNamed(GLProgram::SHADER_3D_POSITION_TEXTURE);
        state->setVertexAttribPointer(GLProgram::ATTRIBUTE_NAME_POSITION, 3, GL_FLOAT, GL_FALSE,
                                      sizeof(PosColorTexVertex), reinterpret_cast<void*>(0));
        state->setVertexAttribPointer(GLProgram::ATTRIBUTE_NAME_TEX_COORD, 2, GL_FLOAT, GL_FALSE,
                                      sizeof(PosColorTexVertex), reinterpret_cast<void*>(16));
        return state;
    }

    void initMesh(MeshCommand& mesh, Texture2D* texture, float x) {
        Mat4 move;
        Mat4::createTranslation(x, 0, 0, &move);
        mesh.init(0.0f, texture->getName(), meshState(), BlendFunc::DISABLE, buffers_[0], buffers_[1], GL_TRIANGLES,
                  GL_UNSIGNED_SHORT, 6, move, 0);
    }

    GLuint buffers_[2] = {0, 0};
};

TEST_F(MeshCommandTest, MeshesOfOneBatchDrawTogetherAfterTheQuadsBeforeThem) {
    auto red = test::solidTexture(255, 0, 0);
    auto green = test::solidTexture(0, 255, 0);
    PosColorTexQuad full = test::quadAt(0, 0, 64, 64);
    QuadCommand background;
    background.init(0.0f, red->getName(), test::stateNamed(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP),
                    BlendFunc::DISABLE, &full, 1, Mat4::IDENTITY, 0);
    MeshCommand left, right;
    initMesh(left, green.get(), 0);
    initMesh(right, green.get(), 32);
    left.setBatchId(7);
    right.setBatchId(7);
    renderer_->addCommand(&background);
    renderer_->addCommand(&left);
    renderer_->addCommand(&right);
    renderer_->clearDrawStats();
    renderer_->render();
    EXPECT_EQ(renderer_->getDrawnBatches(), 3);
    EXPECT_EQ(renderer_->getDrawnVertices(), 18);
    EXPECT_EQ(readPixel(10, 10), kGreen);
    EXPECT_EQ(readPixel(50, 50), kGreen);
    EXPECT_EQ(takeGLError(), static_cast<unsigned int>(GL_NO_ERROR));
}

TEST_F(MeshCommandTest, MeshThatSkipsBatchingDrawsAloneWithoutVertexArrayObjects) {
    setGLExtensionsEnabled(false);
    start();
    auto green = test::solidTexture(0, 255, 0);
    MeshCommand mesh;
    initMesh(mesh, green.get(), 32);
    mesh.setSkipBatching(true);
    renderer_->addCommand(&mesh);
    renderer_->clearDrawStats();
    renderer_->render();
    EXPECT_EQ(renderer_->getDrawnBatches(), 1);
    EXPECT_EQ(readPixel(50, 10), kGreen);
    EXPECT_EQ(readPixel(10, 10), kBlack);
    EXPECT_EQ(takeGLError(), static_cast<unsigned int>(GL_NO_ERROR));
}

TEST_F(MeshCommandTest, PrimitiveCommandDrawsItsPrimitiveAndCountsIt) {
    auto red = test::solidTexture(255, 0, 0);
    VertexBuffer vertices{buffers_[0], static_cast<int>(sizeof(PosColorTexVertex))};
    IndexBuffer indices{buffers_[1], IndexBuffer::IndexType::INDEX_TYPE_SHORT_16};
    VertexData data;
    data.addStream({&vertices, 0, 3, GL_FLOAT, false, 0});
    data.addStream({&vertices, 1, 4, GL_UNSIGNED_BYTE, true, 12});
    data.addStream({&vertices, 2, 2, GL_FLOAT, false, 16});
    Primitive primitive(&data, &indices, GL_TRIANGLES);
    primitive.setCount(6);
    PrimitiveCommand command;
    command.init(0.0f, red->getName(), test::stateNamed(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP),
                 BlendFunc::DISABLE, &primitive, Mat4::IDENTITY, 0);
    renderer_->addCommand(&command);
    renderer_->clearDrawStats();
    renderer_->render();
    EXPECT_EQ(renderer_->getDrawnBatches(), 1);
    EXPECT_EQ(renderer_->getDrawnVertices(), 6);
    EXPECT_EQ(readPixel(10, 10), kRed);
    EXPECT_EQ(readPixel(50, 10), kBlack);
}

}  // namespace
}  // namespace kite
