// Headless GL test fixture: a hidden offscreen ES 2.0 context on framebuffer 0, pixel read-back and PNG frames.
#pragma once
#include "platform/GLContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kite {
namespace test {

struct Pixel {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Pixel& other) const { return r == other.r && g == other.g && b == other.b && a == other.a; }
    bool operator!=(const Pixel& other) const { return !(*this == other); }
};

// Opaque colours the drawing tests expect.
inline constexpr Pixel kBlack{0, 0, 0, 255};
inline constexpr Pixel kRed{255, 0, 0, 255};
inline constexpr Pixel kGreen{0, 255, 0, 255};
inline constexpr Pixel kBlue{0, 0, 255, 255};

inline std::ostream& operator<<(std::ostream& out, const Pixel& p) {
    return out << "rgba(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ", " << int(p.a) << ")";
}

// Each channel within tolerance of the expected pixel (drivers round differently).
MATCHER_P2(PixelNear, expected, tolerance, "") {
    const Pixel& p = arg;
    const int d[4] = {p.r - expected.r, p.g - expected.g, p.b - expected.b, p.a - expected.a};
    for (int v : d)
        if (v > tolerance || -v > tolerance) return false;
    return true;
}

// The process-wide context every GL test shares; made on first use, resized
// when a test asks for another frame size. Null when no context can be had.
platform::GLContext* sharedGLContext(int width, int height);

// Writes top-row-first RGBA rows as an 8-bit RGBA PNG. False with a log line on failure.
bool writePNG(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba);

// Where frames are written: the build's test-artifacts folder. Defined in the
// header because only the test binaries are compiled with its path.
std::string artifactsDirectory(const char* configured);
inline std::string artifactsDirectory() {
#ifdef STARGRID_TEST_ARTIFACTS
    return artifactsDirectory(STARGRID_TEST_ARTIFACTS);
#else
    return artifactsDirectory(nullptr);
#endif
}

// Base of every test that draws. Each test starts with the context current,
// the viewport on the whole frame cleared to opaque black, GL errors drained,
// the GL state cache forgotten, the extensions on and the configuration gathered.
class GLTest : public ::testing::Test {
protected:
    // The frame size a suite wants; override to change it.
    virtual int frameWidth() const { return 64; }
    virtual int frameHeight() const { return 64; }

    void SetUp() override;
    void TearDown() override;

    platform::GLContext* context() const { return context_; }

    // x and y count from the bottom-left corner, as GL does.
    Pixel readPixel(int x, int y) const;
    // The whole frame, top row first.
    std::vector<std::uint8_t> readFrame() const;
    // Writes the current frame to <artifacts>/<suite>.<test><suffix>.png and returns the path.
    std::string saveFrame(const std::string& suffix = "") const { return saveFrameIn(artifactsDirectory(), suffix); }
    std::string saveFrameIn(const std::string& directory, const std::string& suffix) const;

    // Switches the extension functions (vertex array objects, buffer mapping,
    // discard framebuffer) off or on and gathers the configuration again.
    // Every test starts with them on.
    void setGLExtensionsEnabled(bool enabled);

    // The first GL error still pending (GL_NO_ERROR when none); drains the rest.
    static unsigned int takeGLError();

private:
    platform::GLContext* context_ = nullptr;
};

}  // namespace test
}  // namespace kite
