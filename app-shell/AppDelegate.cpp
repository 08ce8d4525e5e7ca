#include "app-shell/AppDelegate.h"

#include "kite/platform/GLViewImpl.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"

namespace {
constexpr float kDesignWidth = 480.0f;
}  // namespace

float AppDelegate::designHeightFor(int frameHeight, bool pad) {
    return !pad && frameHeight > 960 ? 852.0f : 720.0f;
}

bool AppDelegate::didFinishLaunching() {
    kite::Director* director = kite::Director::getInstance();
    kite::GLView* view = director->getOpenGLView();
    if (!view) {
        view = kite::GLViewImpl::create("stargrid");
        if (view) director->setGLView(view);
    }
    if (view) {
        bool pad = getTargetPlatform() == Platform::OS_IPAD;
        const int frameHeight = static_cast<int>(view->getFrameSize().height);
        view->setDesignResolutionSize(kDesignWidth, designHeightFor(frameHeight, pad), kite::ResolutionPolicy::EXACT_FIT);
    }
    director->setDisplayStats(false);
    director->setAnimationInterval(1.0 / 60);
    director->runWithScene(kite::Scene::create());
    return true;
}

void AppDelegate::didEnterBackground() {
    kite::Director::getInstance()->stopAnimation();
}

void AppDelegate::willEnterForeground() {
    kite::Director::getInstance()->startAnimation();
}

void AppDelegate::initGLContextAttributes() {
    kite::GLContextAttributes attributes;
    attributes.redBits = attributes.greenBits = attributes.blueBits = attributes.alphaBits = 8;
    attributes.depthBits = 24;
    attributes.stencilBits = 8;
    kite::GLView::setContextAttributes(attributes);
}
