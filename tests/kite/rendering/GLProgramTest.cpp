#include "kite/rendering/GLProgram.h"

#include "kite/foundation/Log.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "tests/support/GLTest.h"
#include "tests/support/LogCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::FloatNear;
using ::testing::HasSubstr;
using ::testing::Pointwise;

constexpr const char* kArrayVertex = R"(
attribute vec4 a_position;
uniform vec4 u_values[2];
uniform float u_scale;
varying vec4 v_color;
void main()
{
    v_color = u_values[0] + u_values[1] * u_scale;
    gl_Position = KT_MVPMatrix * a_position;
}
)";

constexpr const char* kColorFragment = R"(
varying vec4 v_color;
void main()
{
    gl_FragColor = v_color;
}
)";

// Reads a built-in every frame: the normal matrix, time and random values.
constexpr const char* kBuiltinsVertex = R"(
attribute vec4 a_position;
attribute vec3 a_normal;
varying vec4 v_color;
void main()
{
    v_color = vec4(KT_NormalMatrix * a_normal, 1.0) + KT_Time + KT_SinTime + KT_CosTime + KT_Random01;
    gl_Position = KT_PMatrix * KT_MVMatrix * a_position;
}
)";

std::vector<float> uniformFloats(GLuint program, GLint location, int count) {
    std::vector<float> values(static_cast<std::size_t>(count));
    glGetUniformfv(program, location, values.data());
    return values;
}

class GLProgramTest : public test::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        log = std::make_unique<test::LogCapture>();
    }
    void TearDown() override {
        log.reset();
        setDirectorFrameServices(DirectorFrameServices());
        GLTest::TearDown();
    }

    RefPtr<GLProgram> make(const char* vertex, const char* fragment) {
        RefPtr<GLProgram> program(GLProgram::createWithByteArrays(vertex, fragment));
        return program;
    }

    std::unique_ptr<test::LogCapture> log;
};

TEST_F(GLProgramTest, FreshProgramDescribesItselfWithZeroNames) {
    RefPtr<GLProgram> program(new GLProgram());
    program->release();  // the holder keeps the only reference
    char expected[128];
    std::snprintf(expected, sizeof(expected), "<GLProgram = %08zX | Program = 0, VertexShader = 0, FragmentShader = 0>",
                  reinterpret_cast<std::size_t>(program.get()));
    EXPECT_EQ(program->getDescription(), expected);
}

TEST_F(GLProgramTest, UnchangedUniformValueIsNotSentAgain) {
    auto program = make(kArrayVertex, kColorFragment);
    ASSERT_TRUE(program);
    const GLint scale = program->getUniformLocation("u_scale");
    ASSERT_NE(scale, -1);
    program->use();
    program->setUniformLocationWith1f(scale, 0.5f);
    glUniform1f(scale, 9.0f);  // behind the cache's back
    program->setUniformLocationWith1f(scale, 0.5f);
    EXPECT_THAT(uniformFloats(program->getProgram(), scale, 1), ElementsAre(9.0f));
    program->setUniformLocationWith1f(scale, 0.25f);
    EXPECT_THAT(uniformFloats(program->getProgram(), scale, 1), ElementsAre(0.25f));
}

TEST_F(GLProgramTest, ChangingOneComponentSendsTheVectorAgain) {
    auto program = make(kArrayVertex, kColorFragment);
    ASSERT_TRUE(program);
    const GLint values = program->getUniformLocation("u_values");
    program->use();
    program->setUniformLocationWith4f(values, 1, 2, 3, 4);
    glUniform4f(values, 9, 9, 9, 9);
    program->setUniformLocationWith4f(values, 1, 2, 3, 4);
    EXPECT_THAT(uniformFloats(program->getProgram(), values, 4), ElementsAre(9, 9, 9, 9));
    program->setUniformLocationWith4f(values, 1, 2, 3, 5);
    EXPECT_THAT(uniformFloats(program->getProgram(), values, 4), ElementsAre(1, 2, 3, 5));
}

TEST_F(GLProgramTest, LongerValueGrowsTheCachedBufferAndIsSent) {
    auto program = make(kArrayVertex, kColorFragment);
    ASSERT_TRUE(program);
    const GLuint name = program->getProgram();
    const GLint first = program->getUniformLocation("u_values");
    const GLint second = program->getUniformLocation("u_values[1]");
    program->use();
    const float pair[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    program->setUniformLocationWith4f(first, 1, 2, 3, 4);
    // Same first vec4, but 32 bytes against 16 cached: sent.
    program->setUniformLocationWith4fv(first, pair, 2);
    EXPECT_THAT(uniformFloats(name, second, 4), ElementsAre(5, 6, 7, 8));

    const float other[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    glUniform4fv(first, 2, other);
    // Both arrays are cached now, and so is any prefix of them.
    program->setUniformLocationWith4fv(first, pair, 2);
    program->setUniformLocationWith4f(first, 1, 2, 3, 4);
    EXPECT_THAT(uniformFloats(name, first, 4), ElementsAre(0, 0, 0, 0));
    EXPECT_THAT(uniformFloats(name, second, 4), ElementsAre(0, 0, 0, 0));
}

TEST_F(GLProgramTest, SettingLocationMinusOneDoesNothing) {
    auto program = make(kArrayVertex, kColorFragment);
    ASSERT_TRUE(program);
    program->use();
    program->setUniformLocationWith4f(-1, 1, 2, 3, 4);
    program->setUniformLocationWithMatrix4fv(-1, Mat4::IDENTITY.m, 1);
    EXPECT_EQ(takeGLError(), static_cast<unsigned>(GL_NO_ERROR));
}

TEST_F(GLProgramTest, ArrayUniformIsRecordedUnderItsBareName) {
    auto program = make(kArrayVertex, kColorFragment);
    ASSERT_TRUE(program);
    Uniform* values = program->getUniform("u_values");
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(values->size, 2);
    EXPECT_EQ(values->type, static_cast<GLenum>(GL_FLOAT_VEC4));
    EXPECT_EQ(values->location, program->getUniformLocation("u_values"));
    EXPECT_EQ(program->getUniform("u_values[0]"), nullptr);
    EXPECT_EQ(program->getUniform("KT_MVPMatrix"), nullptr);
    ASSERT_NE(program->getVertexAttrib("a_position"), nullptr);
    EXPECT_EQ(program->getVertexAttrib("a_position")->index, 0u);
}

TEST_F(GLProgramTest, ProgramReadingOnlyTheMVPMatrixGetsOnlyThatFlag) {
    auto program = make(kArrayVertex, kColorFragment);
    ASSERT_TRUE(program);
    EXPECT_EQ(program->getBuiltinFlags(), GLProgram::FLAG_USES_MVP);
}

TEST_F(GLProgramTest, MVPMatrixIsTheDirectorProjectionTimesTheModelView) {
    static Mat4 projection;
    Mat4::createOrthographicOffCenter(0, 64, 0, 64, -1, 1, &projection);
    DirectorFrameServices services;
    services.getMatrix = [](int stack) -> const Mat4& { return stack == 1 ? projection : Mat4::IDENTITY; };
    setDirectorFrameServices(services);

    auto program = make(kArrayVertex, kColorFragment);
    ASSERT_TRUE(program);
    Mat4 modelView;
    Mat4::createTranslation(10, 20, 0, &modelView);
    program->use();
    program->setUniformsForBuiltins(modelView);
    const Mat4 expected = projection * modelView;
    EXPECT_THAT(
        uniformFloats(program->getProgram(), program->getBuiltinUniformLocation(GLProgram::UNIFORM_MVP_MATRIX), 16),
        Pointwise(FloatNear(1e-6f), std::vector<float>(expected.m, expected.m + 16)));
}

TEST_F(GLProgramTest, BuiltinsCarryNormalMatrixTimeAndRandomValues) {
    DirectorFrameServices services;
    services.getTotalFrames = [] { return 120u; };
    services.getAnimationInterval = [] { return 1.0 / 60.0; };
    setDirectorFrameServices(services);

    auto program = make(kBuiltinsVertex, kColorFragment);
    ASSERT_TRUE(program);
    const std::uint8_t all = GLProgram::FLAG_USES_TIME | GLProgram::FLAG_USES_NORMAL | GLProgram::FLAG_USES_MV |
                             GLProgram::FLAG_USES_P | GLProgram::FLAG_USES_RANDOM;
    EXPECT_EQ(program->getBuiltinFlags(), all);

    Mat4 modelView;
    Mat4::createScale(2, 4, 8, &modelView);
    modelView.m[12] = 100;  // the translation does not reach the normal matrix
    program->use();
    program->setUniformsForBuiltins(modelView);
    const GLuint name = program->getProgram();
    auto at = [&](int which, int count) {
        return uniformFloats(name, program->getBuiltinUniformLocation(which), count);
    };
    EXPECT_THAT(at(GLProgram::UNIFORM_NORMAL_MATRIX, 9),
                Pointwise(FloatNear(1e-6f), std::vector<float>{0.5f, 0, 0, 0, 0.25f, 0, 0, 0, 0.125f}));
    EXPECT_THAT(at(GLProgram::UNIFORM_TIME, 4), Pointwise(FloatNear(1e-5f), std::vector<float>{0.2f, 2, 4, 8}));
    EXPECT_THAT(at(GLProgram::UNIFORM_SIN_TIME, 4),
                Pointwise(FloatNear(1e-5f), std::vector<float>{0.25f, 0.5f, 1, std::sin(2.0f)}));
    EXPECT_THAT(at(GLProgram::UNIFORM_COS_TIME, 4),
                Pointwise(FloatNear(1e-5f), std::vector<float>{0.25f, 0.5f, 1, std::cos(2.0f)}));
    for (float r : at(GLProgram::UNIFORM_RANDOM01, 4)) {
        EXPECT_GE(r, 0.0f);
        EXPECT_LT(r, 1.0f);
    }
}

TEST_F(GLProgramTest, FloatBuiltinsReadInBothStagesLink) {
    constexpr const char* fragment = R"(
varying vec4 v_color;
void main()
{
    vec3 n = KT_NormalMatrix * vec3(1.0);
    vec4 p = KT_PMatrix[0] + KT_MVMatrix[1] + KT_MVPMatrix[2];
    gl_FragColor = v_color + p + vec4(n, 0.0) + KT_Time + KT_SinTime + KT_CosTime + KT_Random01;
}
)";
    auto program = make(kBuiltinsVertex, fragment);
    ASSERT_TRUE(program) << log->text();
    EXPECT_TRUE(program->getBuiltinFlags() & GLProgram::FLAG_USES_TIME);
}

TEST_F(GLProgramTest, SamplersAreSetToTheirUnits) {
    constexpr const char* fragment = R"(
varying vec4 v_color;
void main()
{
    gl_FragColor = v_color * texture2D(KT_Texture0, vec2(0.5)) * texture2D(KT_Texture2, vec2(0.5));
}
)";
    auto program = make(kArrayVertex, fragment);
    ASSERT_TRUE(program);
    GLint unit = -1;
    glGetUniformiv(program->getProgram(), program->getBuiltinUniformLocation(GLProgram::UNIFORM_SAMPLER2), &unit);
    EXPECT_EQ(unit, 2);
    EXPECT_EQ(program->getBuiltinUniformLocation(GLProgram::UNIFORM_SAMPLER1), -1);
}

TEST_F(GLProgramTest, FragmentCompileFailureKeepsTheCompiledVertexShader) {
    RefPtr<GLProgram> program(new GLProgram());
    program->release();
    EXPECT_FALSE(program->initWithByteArrays(kArrayVertex, "void main() { gl_FragColor = undeclared; }"));
    EXPECT_NE(program->getProgram(), 0u);
    EXPECT_THAT(program->getDescription(), ::testing::Not(HasSubstr("VertexShader = 0,")));
    EXPECT_THAT(program->getDescription(), HasSubstr("FragmentShader = 0>"));
    ASSERT_FALSE(log->lines().empty());
    EXPECT_THAT(log->lines().back(), HasSubstr("fragment shader"));
}

TEST_F(GLProgramTest, LinkFailureIsReportedAndLogged) {
    constexpr const char* vertex =
        "attribute vec4 a_position; varying vec2 v_x;\n"
        "void main() { v_x = a_position.xy; gl_Position = a_position; }";
    constexpr const char* fragment = "varying vec3 v_x; void main() { gl_FragColor = vec4(v_x, 1.0); }";
    RefPtr<GLProgram> program(new GLProgram());
    program->release();
    ASSERT_TRUE(program->initWithByteArrays(vertex, fragment));
    EXPECT_FALSE(program->link());
    ASSERT_FALSE(log->lines().empty());
    EXPECT_THAT(log->lines().back(), HasSubstr("failed to link"));
    EXPECT_TRUE(program->getUserUniforms().empty());
    EXPECT_EQ(GLProgram::createWithByteArrays(vertex, fragment), nullptr);
}

}  // namespace
}  // namespace kite
