#include "platform/GLExtensions.h"

#include "kite/rendering/GLStateCache.h"
#include "tests/support/GLTest.h"

#include <GLES2/gl2ext.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

using kite::test::Pixel;
using kite::test::PixelNear;

constexpr const char* kVertex =
    "attribute vec2 a_position; attribute vec4 a_color; varying vec4 v_color;\n"
    "void main() { v_color = a_color; gl_Position = vec4(a_position, 0.0, 1.0); }";
constexpr const char* kFragment =
    "precision mediump float; varying vec4 v_color; void main() { gl_FragColor = v_color; }";

GLuint compile(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

// Each case runs with the extension functions on and off.
class GLExtensionsTest : public kite::test::GLTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        GLTest::SetUp();
        setGLExtensionsEnabled(GetParam());
    }

    // Draws a full-frame quad whose colours come from a mapped vertex buffer.
    void drawFromMappedColours(const std::uint8_t rgba[4]) {
        GLuint vs = compile(GL_VERTEX_SHADER, kVertex), fs = compile(GL_FRAGMENT_SHADER, kFragment);
        GLuint program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glBindAttribLocation(program, 0, "a_position");
        glBindAttribLocation(program, 1, "a_color");
        glLinkProgram(program);
        glUseProgram(program);

        const GLfloat positions[] = {-1, -1, 1, -1, -1, 1, 1, 1};
        GLuint buffer = 0;
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, 16, nullptr, GL_DYNAMIC_DRAW);
        auto* mapped = static_cast<std::uint8_t*>(glMapBufferOES(GL_ARRAY_BUFFER, GL_WRITE_ONLY_OES));
        ASSERT_NE(mapped, nullptr);
        for (int v = 0; v < 4; ++v) std::memcpy(mapped + 4 * v, rgba, 4);
        EXPECT_EQ(glUnmapBufferOES(GL_ARRAY_BUFFER), GL_TRUE);

        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, positions);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glDisableVertexAttribArray(0);
        glDisableVertexAttribArray(1);
        glDeleteBuffers(1, &buffer);
        glUseProgram(0);
        glDeleteProgram(program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        kite::GLStateCache::invalidate();
    }
};

TEST_P(GLExtensionsTest, MappedBufferContentsReachTheGPU) {
    const std::uint8_t colour[4] = {200, 40, 90, 255};
    drawFromMappedColours(colour);
    EXPECT_THAT(readPixel(32, 32), PixelNear(Pixel{200, 40, 90, 255}, 1));
    EXPECT_EQ(takeGLError(), static_cast<unsigned>(GL_NO_ERROR));
}

TEST_P(GLExtensionsTest, VertexArrayObjectsExistOnlyWhenSwitchedOn) {
    GLuint vao = 12345;
    glGenVertexArraysOES(1, &vao);
    if (GetParam()) {
        EXPECT_NE(vao, 0u);
        glBindVertexArrayOES(vao);
        GLint bound = 0;
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING_OES, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), vao);
        glBindVertexArrayOES(0);
        glDeleteVertexArraysOES(1, &vao);
    } else {
        EXPECT_EQ(vao, 0u);
        glBindVertexArrayOES(7);  // nothing reaches GL
        glDeleteVertexArraysOES(1, &vao);
    }
    EXPECT_EQ(takeGLError(), static_cast<unsigned>(GL_NO_ERROR));
}

TEST_P(GLExtensionsTest, DiscardingIsOnlyAHint) {
    const GLenum attachments[] = {GL_COLOR_ATTACHMENT0};
    glDiscardFramebufferEXT(GL_FRAMEBUFFER, 1, attachments);
    EXPECT_EQ(loadGLExtensions().discardFramebuffer, GetParam());
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_THAT(readPixel(1, 1), PixelNear(Pixel{0, 255, 0, 255}, 0));
}

INSTANTIATE_TEST_SUITE_P(Switch, GLExtensionsTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

}  // namespace
}  // namespace platform
