#include "kite/platform/GLViewImpl.h"

#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Value.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/rendering/Configuration.h"
#include "kite/scene/Director.h"
#include "platform/DeviceProfile.h"

namespace kite {
namespace {

TEST(GLViewImpl, FullScreenViewGivesTheGpuInformationAndShowsDrawnFrames) {
    GLViewImpl* view = GLViewImpl::create("test");
    ASSERT_NE(view, nullptr);
    const platform::DeviceProfile& device = platform::currentDeviceProfile();
    EXPECT_EQ(view->getFrameSize(), Size(static_cast<float>(device.width), static_cast<float>(device.height)));
    ASSERT_NE(view->getHostView(), nullptr);
    EXPECT_TRUE(view->getHostView()->getContext()->isHeadless());
    Director* director = Director::getInstance();
    director->setGLView(view);
    PoolManager::getInstance()->getCurrentPool()->clear();  // the director holds the view now
    EXPECT_FALSE(Configuration::getInstance()->getValue("gl.renderer", Value("")).asString().empty());

    // Something drawn into framebuffer 0 is there to read back.
    view->makeCurrent();
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    auto pixels = view->getHostView()->getContext()->readPixels(0, 0, 1, 1);
    EXPECT_EQ(pixels[1], 255);

    // The shutdown ends the view, which closes its window.
    director->end();
    director->mainLoop();
    EXPECT_EQ(Director::getInstance()->getOpenGLView(), nullptr);
    Director::getInstance()->end();
    Director::getInstance()->mainLoop();
}

}  // namespace
}  // namespace kite
