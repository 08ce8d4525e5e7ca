#include "platform/GLContext.h"

#include <GLES2/gl2.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/GLExtensions.h"

namespace platform {
namespace {

std::unique_ptr<GLContext> hiddenWindow(int width, int height) {
    WindowOptions options;
    options.width = width;
    options.height = height;
    options.visible = false;
    return GLContext::create(options);
}

TEST(GLContext, ClearColourReadsBackFromFramebufferZero) {
    auto context = hiddenWindow(32, 16);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->drawableWidth(), 32);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    auto pixels = context->readPixels(0, 0, 32, 16);
    ASSERT_EQ(pixels.size(), 32u * 16u * 4u);
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[1], 0);
    EXPECT_EQ(pixels[3], 255);
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Many blended squares over the frame: little work to hand over, much more to draw.
class SquareStorm {
public:
    SquareStorm() {
        const char* vertex = "attribute vec2 a_position; void main() { gl_Position = vec4(a_position, 0.0, 1.0); }";
        const char* fragment = "precision mediump float; void main() { gl_FragColor = vec4(0.2, 0.1, 0.0, 0.2); }";
        program_ = glCreateProgram();
        for (const auto& [type, source] :
             {std::pair{GL_VERTEX_SHADER, vertex}, std::pair{GL_FRAGMENT_SHADER, fragment}}) {
            const GLuint shader = glCreateShader(type);
            glShaderSource(shader, 1, &source, nullptr);
            glCompileShader(shader);
            glAttachShader(program_, shader);
            glDeleteShader(shader);
        }
        glBindAttribLocation(program_, 0, "a_position");
        glLinkProgram(program_);
        constexpr int kSquares = 1000;
        constexpr float kSide = 0.1f;
        for (int i = 0; i < kSquares; ++i) {
            const float x = -1.0f + 1.8f * static_cast<float>((i * 37) % 101) / 100.0f;
            const float y = -1.0f + 1.8f * static_cast<float>((i * 53) % 97) / 96.0f;
            const float corners[12] = {x,         y, x + kSide, y,         x, y + kSide,
                                       x + kSide, y, x + kSide, y + kSide, x, y + kSide};
            positions_.insert(positions_.end(), corners, corners + 12);
        }
    }
    ~SquareStorm() { glDeleteProgram(program_); }

    void draw() const {
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(program_);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, positions_.data());
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(positions_.size() / 2));
    }

private:
    GLuint program_ = 0;
    std::vector<float> positions_;
};

// Frames are presented as fast as they are made (as under the fixed step), far faster than the
// rasterizer's threads draw them: the driver must not be left holding more and more of them.
class FramesInFlightTest : public ::testing::TestWithParam<bool> {};

TEST_P(FramesInFlightTest, FramesMadeFasterThanDrawnDoNotPileUp) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "freed memory stays resident in AddressSanitizer's quarantine";
#endif
    // The rasterizer draws on threads of its own only when it has some (each test is a process).
    setenv("LP_NUM_THREADS", "2", 1);
    setGLExtensionsEnabled(GetParam());
    auto context = hiddenWindow(512, 512);
    ASSERT_NE(context, nullptr);
    {
        SquareStorm storm;
        double settled = 0.0;
        for (int frame = 1; frame <= 150; ++frame) {
            storm.draw();
            context->swapBuffers();
            if (frame == 10) settled = residentMegabytes();
        }
        EXPECT_LT(residentMegabytes() - settled, 10.0) << "megabytes held after 140 more frames";
    }
    setGLExtensionsEnabled(true);
}

INSTANTIATE_TEST_SUITE_P(Fences, FramesInFlightTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "On" : "Off"; });

}  // namespace
}  // namespace platform
