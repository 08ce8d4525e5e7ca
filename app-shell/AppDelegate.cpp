#include "app-shell/AppDelegate.h"

#include "kite/platform/HostView.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"
#include "platform/DeviceProfile.h"

namespace {
constexpr float kDesignWidth = 480.0f;
constexpr int kPolicyExactFit = 0;
}  // namespace

float AppDelegate::designHeightFor(int frameHeight, bool pad) {
    return !pad && frameHeight > 960 ? 852.0f : 720.0f;
}

bool AppDelegate::didFinishLaunching() {
    kite::Director* director = kite::Director::getInstance();
    kite::FrameView* view = director->getFrameView();
    if (!view) {
        const platform::DeviceProfile& device = platform::currentDeviceProfile();
        view = kite::HostView::create("stargrid", device.width, device.height);
        if (view) director->setFrameView(view);
    }
    if (view) {
        bool pad = getTargetPlatform() == Platform::OS_IPAD;
        view->setDesignResolutionSize(kDesignWidth, designHeightFor(view->getFrameHeight(), pad), kPolicyExactFit);
    }
    director->setDisplayStats(false);
    director->setAnimationInterval(1.0 / 60);
    // The game's own services (sounds, first-run defaults) are prepared here, and
    // the menu scene becomes the first scene, once the game exists.
    director->runWithScene(kite::Scene::create());
    return true;
}

void AppDelegate::didEnterBackground() {
    kite::Director::getInstance()->stopAnimation();
    // The game's background work (flushing the preferences store) goes here.
}

void AppDelegate::willEnterForeground() {
    kite::Director::getInstance()->startAnimation();
    // The game's foreground work (logging in again) goes here.
}

void AppDelegate::initGLContextAttributes() {
    platform::GLContextAttributes attributes;
    attributes.red = attributes.green = attributes.blue = attributes.alpha = 8;
    attributes.depth = 24;
    attributes.stencil = 8;
    kite::FrameView::setContextAttributes(attributes);
}
