// The game's headless GL context beside a real page in WebKitGTK, under a virtual display: WebKit and GTK
// make contexts of their own current as they show a page, and the game's next frame still draws into its own.
#include <GLES2/gl2.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "platform/GLContext.h"
#include "platform/WebWindow.h"
#include "PumpWebEvents.h"

namespace platform {
namespace {

using ::testing::ElementsAre;

// A frame as the host view makes one: its context made current, cleared to a colour, read back, presented.
std::vector<std::uint8_t> frameOf(GLContext& context, float red, float green, float blue) {
    context.makeCurrent();
    glClearColor(red, green, blue, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<std::uint8_t> pixel = context.readPixels(8, 8, 1, 1);
    context.swapBuffers();
    return pixel;
}

bool vertexShaderCompiles() {
    const char* source = "attribute vec4 a_position; void main() { gl_Position = a_position; }";
    const GLuint shader = glCreateShader(GL_VERTEX_SHADER);
    if (shader == 0) return false;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    glDeleteShader(shader);
    return compiled == GL_TRUE;
}

TEST(WebKitGLContext, TheGamesFramesReachItsOwnContextAfterAPageOpened) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    // Headless drawing while a display is there for the pages, as the game runs under a desktop session
    // with SDL_VIDEODRIVER=offscreen.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    WindowOptions options;
    options.width = options.height = 16;
    options.visible = false;
    std::unique_ptr<GLContext> context = GLContext::create(options);
    ASSERT_NE(context, nullptr);
    ASSERT_THAT(frameOf(*context, 1.0f, 0.0f, 0.0f), ElementsAre(255, 0, 0, 255));

    std::unique_ptr<WebWindow> page = WebWindow::create();
    ASSERT_EQ(dynamic_cast<RecordingWebWindow*>(page.get()), nullptr) << "WebKit should be in use";
    bool finished = false;
    page->setDidFinishLoading([&finished](const std::string&) { finished = true; });
    page->setFrame(0, 0, 200, 200);
    page->loadHtmlString("<html><body style=\"background: #00ff00\">a page</body></html>", "");
    ASSERT_TRUE(pumpUntil([&finished] { return finished; }));

    EXPECT_THAT(frameOf(*context, 0.0f, 0.0f, 1.0f), ElementsAre(0, 0, 255, 255));
    EXPECT_TRUE(context->isCurrent());
    EXPECT_TRUE(vertexShaderCompiles());
    page.reset();
    context.reset();
}

}  // namespace
}  // namespace platform
