#include "platform/GLContext.h"

#include <GLES2/gl2.h>
#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(GLContext, ClearColourReadsBackFromFramebufferZero) {
    WindowOptions options;
    options.width = 32;
    options.height = 16;
    options.visible = false;
    auto context = GLContext::create(options);
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

}  // namespace
}  // namespace platform
