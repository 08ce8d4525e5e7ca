// The software ETC1 and S3TC decoders against Mesa's own decoding of the same blocks:
// each texture is uploaded compressed, drawn texel for pixel into a corner of the frame and read back.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kite/rendering/decoders/ETC1.h"
#include "kite/rendering/decoders/S3TC.h"
#include "support/GLTest.h"
#include "support/TestImages.h"

namespace kite {
namespace {

using testdata::Bytes;
using testdata::Lcg;

constexpr GLenum kETC1 = 0x8D64;
constexpr GLenum kDXT1RGBA = 0x83F1;
constexpr GLenum kDXT3 = 0x83F2;
constexpr GLenum kDXT5 = 0x83F3;
constexpr int kSize = 32;

const char* kVertexShader = R"(
attribute vec2 a_position;
varying vec2 v_texCoord;
void main() {
    // The first texture row lands on the top row of the frame.
    v_texCoord = vec2(a_position.x * 0.5 + 0.5, 0.5 - a_position.y * 0.5);
    gl_Position = vec4(a_position, 0.0, 1.0);
})";

const char* kFragmentShader = R"(
precision mediump float;
uniform sampler2D u_texture;
varying vec2 v_texCoord;
void main() { gl_FragColor = texture2D(u_texture, v_texCoord); })";

class TextureDecodersGLTest : public test::GLTest {
protected:
    void SetUp() override {
        test::GLTest::SetUp();
        if (HasFatalFailure()) return;
        const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        extensions_ = extensions ? extensions : "";
        program_ = glCreateProgram();
        const GLuint vertex = compile(GL_VERTEX_SHADER, kVertexShader);
        const GLuint fragment = compile(GL_FRAGMENT_SHADER, kFragmentShader);
        glAttachShader(program_, vertex);
        glAttachShader(program_, fragment);
        glBindAttribLocation(program_, 0, "a_position");
        glLinkProgram(program_);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint linked = 0;
        glGetProgramiv(program_, GL_LINK_STATUS, &linked);
        ASSERT_TRUE(linked);
    }

    void TearDown() override {
        if (program_) glDeleteProgram(program_);
        glUseProgram(0);
        test::GLTest::TearDown();
    }

    bool hasExtension(const char* name) const { return extensions_.find(name) != std::string::npos; }

    static GLuint compile(GLenum type, const char* source) {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        return shader;
    }

    // Uploads one compressed level, draws it over the whole frame and reads it back as RGBA rows.
    Bytes drawCompressed(GLenum format, const Bytes& blocks) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glCompressedTexImage2D(GL_TEXTURE_2D, 0, format, kSize, kSize, 0, static_cast<GLsizei>(blocks.size()),
                               blocks.data());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glViewport(0, 0, kSize, kSize);
        glDisable(GL_BLEND);
        glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(program_);
        glUniform1i(glGetUniformLocation(program_, "u_texture"), 0);
        const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, quad);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glFinish();
        // The bottom-left corner of the shared frame, top row first.
        Bytes pixels = context()->readPixels(0, 0, kSize, kSize);
        glDeleteTextures(1, &texture);
        return pixels;
    }

    std::string extensions_;
    GLuint program_ = 0;
};

// Random ETC1 blocks whose differential colours stay inside the 5-bit range.
Bytes randomEtc1Blocks(Lcg& random, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        std::uint32_t high = random.next() & 0xFF;  // tables, mode and flip bits
        if (high & 2) {
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t base = 4 + random.next() % 24;
                const std::uint32_t delta = random.next() % 8;
                high |= (base << (27 - 8 * c)) | (delta << (24 - 8 * c));
            }
        } else {
            high |= (random.next() & 0xFFFFFF) << 8;
        }
        const std::uint32_t low = random.next() ^ (random.next() << 16);
        for (int b = 3; b >= 0; --b) out.push_back(static_cast<std::uint8_t>(high >> (8 * b)));
        for (int b = 3; b >= 0; --b) out.push_back(static_cast<std::uint8_t>(low >> (8 * b)));
    }
    return out;
}

int maxDifference(const Bytes& expected, const Bytes& actual, int channels, int* worstIndex) {
    int worst = 0;
    for (std::size_t p = 0; p < expected.size() / channels; ++p) {
        for (int c = 0; c < channels; ++c) {
            const int d = std::abs(int(expected[p * channels + c]) - int(actual[p * 4 + c]));
            if (d > worst) {
                worst = d;
                *worstIndex = static_cast<int>(p);
            }
        }
    }
    return worst;
}

TEST_F(TextureDecodersGLTest, Etc1MatchesTheGpuDecoding) {
    if (!hasExtension("GL_OES_compressed_ETC1_RGB8_texture")) GTEST_SKIP() << "no ETC1 support in this GL";
    Lcg random(2024);
    const Bytes blocks = randomEtc1Blocks(random, (kSize / 4) * (kSize / 4));
    Bytes ours(kSize * kSize * 3);
    ASSERT_EQ(etc1_decode_image(blocks.data(), ours.data(), kSize, kSize, 3, kSize * 3), 0);
    const Bytes gpu = drawCompressed(kETC1, blocks);
    saveFrame();
    int worst = -1;
    EXPECT_LE(maxDifference(ours, gpu, 3, &worst), 1) << "at pixel " << worst;
}

TEST_F(TextureDecodersGLTest, S3tcMatchesTheGpuDecodingWithinItsApproximation) {
    if (!hasExtension("GL_EXT_texture_compression_s3tc")) GTEST_SKIP() << "no S3TC support in this GL";
    // Red and blue expand without bit replication and thirds are taken as 21/64: up to 11 below
    // the exact interpolation.
    constexpr int kColourTolerance = 12;
    const struct {
        GLenum format;
        S3TCDecodeFlag flag;
        int blockBytes;
    } kinds[] = {
        {kDXT1RGBA, S3TCDecodeFlag::DXT1, 8}, {kDXT3, S3TCDecodeFlag::DXT3, 16}, {kDXT5, S3TCDecodeFlag::DXT5, 16}};
    Lcg random(77);
    for (const auto& kind : kinds) {
        const Bytes blocks = random.bytes((kSize / 4) * (kSize / 4) * kind.blockBytes);
        Bytes ours(kSize * kSize * 4);
        s3tc_decode(blocks.data(), ours.data(), kSize, kSize, kind.flag);
        const Bytes gpu = drawCompressed(kind.format, blocks);
        saveFrame(".dxt" + std::to_string(static_cast<int>(kind.flag)));
        int worst = -1;
        int colour = 0, alpha = 0;
        for (int p = 0; p < kSize * kSize; ++p) {
            for (int c = 0; c < 3; ++c) colour = std::max(colour, std::abs(int(ours[4 * p + c]) - int(gpu[4 * p + c])));
            const int a = std::abs(int(ours[4 * p + 3]) - int(gpu[4 * p + 3]));
            if (a > alpha) {
                alpha = a;
                worst = p;
            }
        }
        EXPECT_LE(colour, kColourTolerance) << "kind " << static_cast<int>(kind.flag);
        // Alpha steps divide without rounding here; the GPU may round.
        EXPECT_LE(alpha, 3) << "kind " << static_cast<int>(kind.flag) << " at pixel " << worst;
    }
}

}  // namespace
}  // namespace kite
