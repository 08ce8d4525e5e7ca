#include "kite/rendering/GLProgramCache.h"

#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "tests/support/GLTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kite {
namespace {

using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAreArray;

struct Expected {
    const char* name;
    std::set<std::string> attributes;
    std::set<std::string> uniforms;  // user uniforms; the KT_ built-ins are not recorded
    std::set<int> builtins;          // built-in uniforms the program reads
};

std::set<std::string> attributeNames(GLProgram* program) {
    std::set<std::string> names;
    for (const auto& entry : program->getVertexAttribs()) names.insert(entry.first);
    return names;
}

std::set<std::string> uniformNames(GLProgram* program) {
    std::set<std::string> names;
    for (const auto& entry : program->getUserUniforms()) names.insert(entry.first);
    return names;
}

std::set<int> builtinsRead(GLProgram* program) {
    std::set<int> found;
    for (int i = 0; i < GLProgram::UNIFORM_MAX; ++i)
        if (program->getBuiltinUniformLocation(i) != -1) found.insert(i);
    return found;
}

class GLProgramCacheTest : public test::GLTest {
protected:
    void TearDown() override {
        GLProgramCache::destroyInstance();
        GLTest::TearDown();
    }
};

TEST_F(GLProgramCacheTest, AllBuiltinProgramsLinkWithTheirAttributesAndUniforms) {
    const std::set<std::string> posTexColor = {"a_position", "a_texCoord", "a_color"};
    const std::set<std::string> posTex = {"a_position", "a_texCoord"};
    const std::set<std::string> lightsFragment = {
        "u_color",
        "u_DirLightSourceColor",
        "u_DirLightSourceDirection",
        "u_PointLightSourceColor",
        "u_PointLightSourceRangeInverse",
        "u_SpotLightSourceColor",
        "u_SpotLightSourceDirection",
        "u_SpotLightSourceInnerAngleCos",
        "u_SpotLightSourceOuterAngleCos",
        "u_SpotLightSourceRangeInverse",
        "u_AmbientLightSourceColor",
        "u_PointLightSourcePosition",
        "u_SpotLightSourcePosition",
    };
    std::set<std::string> skinnedLights = lightsFragment;
    skinnedLights.insert("u_matrixPalette");
    const int mvp = GLProgram::UNIFORM_MVP_MATRIX, p = GLProgram::UNIFORM_P_MATRIX, mv = GLProgram::UNIFORM_MV_MATRIX,
              normal = GLProgram::UNIFORM_NORMAL_MATRIX, tex = GLProgram::UNIFORM_SAMPLER0;

    const Expected expected[] = {
        {"ShaderPositionTextureColor", posTexColor, {}, {mvp, tex}},
        {"ShaderPositionTextureColor_noMVP", posTexColor, {}, {p, tex}},
        {"ShaderPositionTextureColorAlphaTest", posTexColor, {}, {mvp, tex}},
        {"ShaderPositionTextureColorAlphaTest_NoMV", posTexColor, {}, {p, tex}},
        {"ShaderPositionColor", {"a_position", "a_color"}, {}, {mvp}},
        {"ShaderPositionColorTexAsPointsize", posTexColor, {}, {mvp}},
        {"ShaderPositionColor_noMVP", {"a_position", "a_color"}, {}, {p}},
        {"ShaderPositionTexture", posTex, {}, {mvp, tex}},
        {"ShaderPositionTexture_uColor", posTex, {"u_color"}, {mvp, tex}},
        {"ShaderPositionTextureA8Color", posTexColor, {}, {mvp, tex}},
        {"ShaderPosition_uColor", {"a_position"}, {"u_color", "u_pointSize"}, {mvp}},
        {"ShaderPositionLengthTextureColor", {"a_position", "a_texcoord", "a_color"}, {}, {mvp}},
        {"ShaderLabelDFNormal", posTexColor, {"u_textColor"}, {mvp, tex}},
        {"ShaderLabelDFGlow", posTexColor, {"u_textColor", "u_effectColor"}, {mvp, tex}},
        {"ShaderLabelNormal", posTexColor, {"u_textColor"}, {mvp, tex}},
        {"ShaderLabelOutline", posTexColor, {"u_textColor", "u_effectColor"}, {mvp, tex}},
        {"Shader3DPosition", {"a_position"}, {"u_color"}, {mvp}},
        {"Shader3DPositionTexture", posTex, {"u_color"}, {mvp, tex}},
        {"Shader3DSkinPositionTexture",
         {"a_position", "a_blendWeight", "a_blendIndex", "a_texCoord"},
         {"u_color", "u_matrixPalette"},
         {mvp, tex}},
        {"Shader3DPositionNormal", {"a_position", "a_normal"}, lightsFragment, {p, mv, normal}},
        {"Shader3DPositionNormalTexture",
         {"a_position", "a_texCoord", "a_normal"},
         lightsFragment,
         {p, mv, normal, tex}},
        {"Shader3DSkinPositionNormalTexture",
         {"a_position", "a_blendWeight", "a_blendIndex", "a_texCoord", "a_normal"},
         skinnedLights,
         {p, mv, normal, tex}},
    };

    GLProgramCache* cache = GLProgramCache::getInstance();
    ASSERT_NE(cache, nullptr);
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        GLProgram* program = cache->getGLProgram(e.name);
        ASSERT_NE(program, nullptr);
        GLint linked = GL_FALSE;
        glGetProgramiv(program->getProgram(), GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
        EXPECT_EQ(attributeNames(program), e.attributes);
        EXPECT_EQ(uniformNames(program), e.uniforms);
        EXPECT_EQ(builtinsRead(program), e.builtins);
        // Predefined names sit at their fixed locations.
        const char* fixed[] = {"a_position", "a_color", "a_texCoord", "a_normal"};
        const GLuint locations[] = {0, 1, 2, 6};
        for (int i = 0; i < 4; ++i) {
            if (VertexAttrib* attribute = program->getVertexAttrib(fixed[i])) {
                EXPECT_EQ(attribute->index, locations[i]) << fixed[i];
            }
        }
    }
    EXPECT_EQ(takeGLError(), static_cast<unsigned>(GL_NO_ERROR));
}

TEST_F(GLProgramCacheTest, OnlyTheBuiltinNamesResolve) {
    GLProgramCache* cache = GLProgramCache::getInstance();
    for (int type = 0; type < GLProgramCache::kShaderType_MAX; ++type)
        EXPECT_NE(cache->getGLProgram(GLProgramCache::nameOfType(type)), nullptr) << type;
    EXPECT_EQ(cache->getGLProgram("ShaderNoSuchProgram"), nullptr);
    EXPECT_EQ(cache->getGLProgram(""), nullptr);
}

// Built-ins are compiled on their first request; the cache keeps what it made, and a name taken
// over or removed by the game is not brought back.
TEST_F(GLProgramCacheTest, BuiltinsComeOnFirstRequestAndRemovedOnesStayAway) {
    GLProgramCache* cache = GLProgramCache::getInstance();
    GLProgram* first = cache->getGLProgram("ShaderPositionTexture");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cache->getGLProgram("ShaderPositionTexture"), first);

    cache->addGLProgram(nullptr, "ShaderPositionColor");  // before its first request
    EXPECT_EQ(cache->getGLProgram("ShaderPositionColor"), nullptr);
    cache->addGLProgram(nullptr, "ShaderPositionTexture");
    EXPECT_EQ(cache->getGLProgram("ShaderPositionTexture"), nullptr);

    cache->loadDefaultGLPrograms();  // all of them again, on request
    EXPECT_NE(cache->getGLProgram("ShaderPositionColor"), nullptr);
    EXPECT_EQ(takeGLError(), static_cast<unsigned>(GL_NO_ERROR));
}

TEST_F(GLProgramCacheTest, LightMacrosCarryTheConfiguredLightCounts) {
    EXPECT_EQ(GLProgramCache::getInstance()->getShaderMacrosForLight(),
              "\n#define MAX_DIRECTIONAL_LIGHT_NUM 1 \n\n#define MAX_POINT_LIGHT_NUM 1 \n"
              "\n#define MAX_SPOT_LIGHT_NUM 1 \n");
}

TEST_F(GLProgramCacheTest, UniformColourProgramAlsoAcceptsTheOldPositionName) {
    GLProgram* program = GLProgramCache::getInstance()->getGLProgram("ShaderPosition_uColor");
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->getAttribLocation("a_position"), 0);
    // "aVertex" is bound to 0 too; it is not in the source, so it is not active.
    EXPECT_EQ(program->getVertexAttrib("aVertex"), nullptr);
}

TEST_F(GLProgramCacheTest, DrawNodeCoordinateSitsAtTheTextureCoordinateLocation) {
    GLProgram* program = GLProgramCache::getInstance()->getGLProgram("ShaderPositionLengthTextureColor");
    ASSERT_NE(program, nullptr);
    ASSERT_NE(program->getVertexAttrib("a_texcoord"), nullptr);
    EXPECT_EQ(program->getVertexAttrib("a_texcoord")->index, static_cast<GLuint>(GLProgram::VERTEX_ATTRIB_TEX_COORD));
}

TEST_F(GLProgramCacheTest, AlphaTestThresholdIsNotAUserUniform) {
    GLProgram* program = GLProgramCache::getInstance()->getGLProgram("ShaderPositionTextureColorAlphaTest");
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->getUniform("KT_alpha_value"), nullptr);
    EXPECT_NE(program->getUniformLocation("KT_alpha_value"), -1);
}

TEST_F(GLProgramCacheTest, DestroyingTheCacheReleasesItsPrograms) {
    GLProgram* program = GLProgramCache::getInstance()->getGLProgram("ShaderPositionColor");
    program->retain();
    EXPECT_EQ(program->getReferenceCount(), 2u);
    GLProgramCache::destroyInstance();
    EXPECT_EQ(program->getReferenceCount(), 1u);
    program->release();
}

}  // namespace
}  // namespace kite
