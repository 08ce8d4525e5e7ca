// The shared offscreen context, PNG writing and the per-test GL reset.
#include "tests/support/GLTest.h"

#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLStateCache.h"
#include "platform/GLExtensions.h"
#include "platform/PngFile.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace kite {
namespace test {
namespace {

std::unique_ptr<platform::GLContext>& contextHolder() {
    static std::unique_ptr<platform::GLContext> context;
    return context;
}

}  // namespace

platform::GLContext* sharedGLContext(int width, int height) {
    // The offscreen driver keeps the surface it made with the window: a later
    // resize shrinks what the window reports but never grows the surface. So
    // the surface is made as large as any frame a test asks for, and each
    // frame is its bottom-left corner.
    constexpr int kSurfaceWidth = 1024, kSurfaceHeight = 1280;
    std::unique_ptr<platform::GLContext>& context = contextHolder();
    if (!context) {
        platform::WindowOptions options;
        options.title = "stargrid tests";
        options.width = std::max(width, kSurfaceWidth);
        options.height = std::max(height, kSurfaceHeight);
        options.visible = false;
        context = platform::GLContext::create(options);
        if (!context) return nullptr;
    }
    context->makeCurrent();
    if (context->drawableWidth() != width || context->drawableHeight() != height) {
        context->setWindowSize(width, height);
        context->makeCurrent();
    }
    return context.get();
}

// Creates the folder on demand; without a configured path, "test-artifacts" in the working directory.
std::string artifactsDirectory(const char* configured) {
    std::string dir = configured ? configured : "test-artifacts";
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    return dir;
}

bool writePNG(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba) {
    if (platform::writePng(path, width, height, rgba)) return true;
    std::fprintf(stderr, "test: cannot write the frame to %s\n", path.c_str());
    return false;
}

void GLTest::SetUp() {
    context_ = sharedGLContext(frameWidth(), frameHeight());
    ASSERT_NE(context_, nullptr) << "no OpenGL ES 2.0 context (is SDL_VIDEODRIVER=offscreen set?)";
    ASSERT_EQ(context_->drawableWidth(), frameWidth());
    ASSERT_EQ(context_->drawableHeight(), frameHeight());
    takeGLError();
    GLStateCache::setGLCalls(GLStateCache::defaultGLCalls());
    platform::setGLExtensionsEnabled(true);
    Configuration::getInstance()->gatherGPUInfo();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, frameWidth(), frameHeight());
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    // Earlier tests may have bound anything, directly or through the cache.
    GLStateCache::invalidate();
    // The active unit survives invalidation; going through unit 1 to unit 0
    // makes the cache and GL agree on it whatever came before.
    GLStateCache::bindTexture2DN(1, 0);
    GLStateCache::bindTexture2DN(0, 0);
}

void GLTest::TearDown() {
    GLStateCache::setGLCalls(GLStateCache::defaultGLCalls());
    if (!platform::glExtensionsEnabled()) setGLExtensionsEnabled(true);
}

Pixel GLTest::readPixel(int x, int y) const {
    std::uint8_t rgba[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return Pixel{rgba[0], rgba[1], rgba[2], rgba[3]};
}

std::vector<std::uint8_t> GLTest::readFrame() const { return context_->readPixels(0, 0, frameWidth(), frameHeight()); }

std::string GLTest::saveFrameIn(const std::string& directory, const std::string& suffix) const {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "frame";
    for (char& c : name)
        if (c == '/') c = '_';
    const std::string path = directory + "/" + name + suffix + ".png";
    writePNG(path, frameWidth(), frameHeight(), readFrame());
    return path;
}

void GLTest::setGLExtensionsEnabled(bool enabled) {
    platform::setGLExtensionsEnabled(enabled);
    Configuration::getInstance()->gatherGPUInfo();
}

unsigned int GLTest::takeGLError() {
    GLenum first = glGetError();
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {}
    return first;
}

}  // namespace test
}  // namespace kite
