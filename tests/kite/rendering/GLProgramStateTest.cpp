#include "kite/rendering/GLProgramState.h"

#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLStateCache.h"
#include "tests/support/GLTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const GLfloat kFullScreen[] = {-1, -1, 1, -1, -1, 1, 1, 1};  // triangle strip
const GLfloat kTexCoords[] = {0, 0, 1, 0, 0, 1, 1, 1};

// A 2 x 2 texture of one colour.
GLuint makeTexture(Pixel colour) {
    std::vector<Pixel> texels(4, colour);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    GLStateCache::bindTexture2D(texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

class GLProgramStateTest : public test::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        GLStateCache::blendFunc(GL_ONE, GL_ZERO);
    }
    void TearDown() override {
        GLProgramStateCache::destroyInstance();
        GLProgramCache::destroyInstance();
        for (GLuint texture : textures_) GLStateCache::deleteTexture(texture);
        GLTest::TearDown();
    }

    GLProgramState* state(const char* name) { return GLProgramState::getOrCreateWithGLProgramName(name); }
    GLuint texture(Pixel colour) {
        textures_.push_back(makeTexture(colour));
        return textures_.back();
    }

    std::vector<GLuint> textures_;
};

TEST_F(GLProgramStateTest, EveryUserOfAProgramSharesOneState) {
    GLProgramState* first = state("ShaderPositionTextureColor_noMVP");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(state("ShaderPositionTextureColor_noMVP"), first);
    EXPECT_EQ(GLProgramState::getOrCreateWithGLProgram(first->getGLProgram()), first);
    EXPECT_NE(state("ShaderPositionColor"), first);
    EXPECT_EQ(first->getReferenceCount(), 1u);  // the cache's
}

TEST_F(GLProgramStateTest, UnknownProgramNameGivesNoState) { EXPECT_EQ(state("ShaderNoSuchProgram"), nullptr); }

TEST_F(GLProgramStateTest, StateRetainsItsProgramUntilTheStatesAreRemoved) {
    GLProgramState* s = state("ShaderPositionColor");
    GLProgram* program = s->getGLProgram();
    EXPECT_EQ(program->getReferenceCount(), 2u);  // the program cache and the state
    GLProgramStateCache::getInstance()->removeAllGLProgramState();
    EXPECT_EQ(program->getReferenceCount(), 1u);
}

TEST_F(GLProgramStateTest, HasOneValuePerUserUniformAndAttribute) {
    EXPECT_EQ(state("ShaderPositionTextureColor")->getUniformCount(), 0u);
    GLProgramState* labels = state("ShaderLabelDFGlow");
    EXPECT_EQ(labels->getUniformCount(), 2u);
    EXPECT_EQ(labels->getVertexAttribCount(), 3u);
    EXPECT_NE(labels->getUniformValue("u_effectColor"), nullptr);
    EXPECT_EQ(labels->getUniformValue("u_color"), nullptr);
}

TEST_F(GLProgramStateTest, UnknownUniformNameChangesNothing) {
    GLProgramState* s = state("ShaderPosition_uColor");
    s->setUniformVec4("u_color", Vec4(0.25f, 0.5f, 0.75f, 1.0f));
    s->setUniformVec4("u_colour", Vec4(1, 1, 1, 1));
    s->setUniformCallback("u_nothing", [](GLProgram*, Uniform*) { FAIL() << "not a uniform of the program"; });
    s->getGLProgram()->use();
    s->applyUniforms();
    GLfloat colour[4] = {};
    glGetUniformfv(s->getGLProgram()->getProgram(), s->getUniformValue("u_color")->getUniform()->location, colour);
    EXPECT_THAT(colour, ElementsAre(0.25f, 0.5f, 0.75f, 1.0f));
}

TEST_F(GLProgramStateTest, CallbackProducesTheValueUntilAPlainValueReplacesIt) {
    GLProgramState* s = state("ShaderPositionTexture_uColor");
    int calls = 0;
    GLProgram* seenProgram = nullptr;
    std::string seenName;
    s->setUniformCallback("u_color", [&](GLProgram* program, Uniform* uniform) {
        ++calls;
        seenProgram = program;
        seenName = uniform->name;
    });
    s->getGLProgram()->use();
    s->applyUniforms();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenProgram, s->getGLProgram());
    EXPECT_EQ(seenName, "u_color");
    s->setUniformVec4("u_color", Vec4(1, 0, 0, 1));
    s->applyUniforms();
    EXPECT_EQ(calls, 1);
}

TEST_F(GLProgramStateTest, StateWithoutAttributeValuesLeavesAttributeArraysAlone) {
    GLProgramState* s = state("ShaderPositionColor");
    EXPECT_EQ(s->getVertexAttribsFlags(), 0u);
    static std::vector<GLuint> switched;
    switched.clear();
    GLStateCache::GLCalls calls = GLStateCache::defaultGLCalls();
    calls.enableVertexAttribArray = [](GLuint i) { switched.push_back(i); };
    calls.disableVertexAttribArray = [](GLuint i) { switched.push_back(100 + i); };
    GLStateCache::setGLCalls(calls);
    s->applyAttributes(true);
    EXPECT_THAT(switched, IsEmpty());
    s->setVertexAttribPointer("a_color", 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
    EXPECT_EQ(s->getVertexAttribsFlags(), GLStateCache::VERTEX_ATTRIB_FLAG_COLOR);
}

TEST_F(GLProgramStateTest, SamplerValueBindsItsTextureOnItsOwnUnit) {
    constexpr const char* fragment = R"(
uniform sampler2D u_extra;
varying vec2 v_texCoord;
void main()
{
    gl_FragColor = texture2D(KT_Texture0, v_texCoord) * texture2D(u_extra, v_texCoord);
}
)";
    constexpr const char* vertex = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
varying vec2 v_texCoord;
void main()
{
    gl_Position = KT_MVPMatrix * a_position;
    v_texCoord = a_texCoord;
}
)";
    RefPtr<GLProgram> program(GLProgram::createWithByteArrays(vertex, fragment));
    ASSERT_TRUE(program);
    GLProgramState* s = GLProgramState::getOrCreateWithGLProgram(program.get());
    const GLuint tex = texture(Pixel{255, 255, 255, 255});
    s->setUniformTexture("u_extra", tex, 3);
    program->use();
    s->applyUniforms();
    GLint unit = -1, active = 0, bound = 0;
    glGetUniformiv(program->getProgram(), program->getUniformLocation("u_extra"), &unit);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(unit, 3);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(static_cast<GLuint>(bound), tex);
}

TEST_F(GLProgramStateTest, PositionColourProgramDrawsItsVertexColours) {
    GLProgramState* s = state("ShaderPositionColor");
    const GLubyte colours[] = {51, 102, 204, 255, 51, 102, 204, 255, 51, 102, 204, 255, 51, 102, 204, 255};
    s->setVertexAttribPointer("a_position", 2, GL_FLOAT, GL_FALSE, 0, kFullScreen);
    s->setVertexAttribPointer("a_color", 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, colours);
    // Shifted right by half the frame: the left half stays clear.
    Mat4 modelView;
    Mat4::createTranslation(1, 0, 0, &modelView);
    s->apply(modelView);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    saveFrame();
    EXPECT_THAT(readPixel(48, 32), PixelNear(Pixel{51, 102, 204, 255}, 1));
    EXPECT_THAT(readPixel(16, 32), PixelNear(Pixel{0, 0, 0, 255}, 0));
}

TEST_F(GLProgramStateTest, PositionTextureColourProgramMultipliesTextureByColour) {
    GLProgramState* s = state("ShaderPositionTextureColor");
    const GLubyte colours[] = {255, 128, 0, 255, 255, 128, 0, 255, 255, 128, 0, 255, 255, 128, 0, 255};
    s->setVertexAttribPointer("a_position", 2, GL_FLOAT, GL_FALSE, 0, kFullScreen);
    s->setVertexAttribPointer("a_texCoord", 2, GL_FLOAT, GL_FALSE, 0, kTexCoords);
    s->setVertexAttribPointer("a_color", 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, colours);
    GLStateCache::bindTexture2D(texture(Pixel{0, 255, 255, 255}));
    s->apply(Mat4::IDENTITY);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    saveFrame();
    EXPECT_THAT(readPixel(32, 32), PixelNear(Pixel{0, 128, 0, 255}, 1));
}

TEST_F(GLProgramStateTest, PositionUniformColourProgramDrawsItsUniformColour) {
    GLProgramState* s = state("ShaderPosition_uColor");
    s->setVertexAttribPointer("a_position", 2, GL_FLOAT, GL_FALSE, 0, kFullScreen);
    s->setUniformVec4("u_color", Vec4(0.0f, 0.0f, 1.0f, 1.0f));
    s->setUniformFloat("u_pointSize", 1.0f);
    s->apply(Mat4::IDENTITY);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    const std::string path = saveFrame();
    EXPECT_THAT(readPixel(5, 60), PixelNear(Pixel{0, 0, 255, 255}, 0));
    EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace kite
