#include "kite/platform/HostView.h"

#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Value.h"
#include "kite/rendering/Configuration.h"
#include "kite/scene/Director.h"

namespace kite {
namespace {

TEST(HostView, InstalledViewGivesTheGpuInformationAndShowsDrawnFrames) {
    HostView* view = HostView::create("test", 64, 96);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->getFrameHeight(), 96);
    EXPECT_TRUE(view->getContext()->isHeadless());
    Director* director = Director::getInstance();
    director->setFrameView(view);
    PoolManager::getInstance()->getCurrentPool()->clear();  // the director holds the view now
    EXPECT_FALSE(Configuration::getInstance()->getValue("gl.renderer", Value("")).asString().empty());

    // Something drawn into framebuffer 0 is there to read back.
    view->makeCurrent();
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    auto pixels = view->getContext()->readPixels(0, 0, 1, 1);
    EXPECT_EQ(pixels[1], 255);

    // The shutdown ends the view, which closes its window.
    director->end();
    director->mainLoop();
    EXPECT_EQ(Director::getInstance()->getFrameView(), nullptr);
    Director::getInstance()->end();
    Director::getInstance()->mainLoop();
}

}  // namespace
}  // namespace kite
