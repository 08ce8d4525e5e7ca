#include "tests/support/RunningScene.h"

#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTDirectorCaller.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"
#include "platform/Clock.h"
#include "platform/HostLoop.h"
#include "tests/support/DirectorShutdown.h"

namespace kite {
namespace test {

platform::HostLoop& RunningSceneTest::loop() { return platform::HostLoop::main(); }

void RunningSceneTest::SetUp() {
    platform::Clock::setFixed(10.0);
    loop().reset();
    loop().setFixedStep(true);
    GLView::setContextAttributes(GLContextAttributes{8, 8, 8, 8, 24, 8});
    GLViewImpl::convertContextAttributes();
    const Size frame = frameSize();
    auto host = KTEAGLView::viewWithFrame(Rect(0.0f, 0.0f, frame.width, frame.height), GLViewImpl::getPixelFormat(),
                                          GLViewImpl::getDepthFormat());
    ASSERT_NE(host, nullptr) << "no OpenGL ES 2.0 context (is SDL_VIDEODRIVER=offscreen set?)";
    hostView = host.get();
    glView = GLViewImpl::createWithEAGLView(std::move(host));
    ASSERT_NE(glView, nullptr);
    Director* director = Director::getInstance();
    director->setGLView(glView);
    const Size design = designSize();
    glView->setDesignResolutionSize(design.width, design.height, policy());
    scene = Scene::create();
    director->runWithScene(scene);
}

void RunningSceneTest::TearDown() {
    shutDownDirector();
    KTDirectorCaller::destroy();
    loop().reset();
    platform::Clock::useRealTime();
}

}  // namespace test
}  // namespace kite
