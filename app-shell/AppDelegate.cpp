#include "app-shell/AppDelegate.h"

#include "Classes/GameData.h"
#include "Classes/GameScene.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "kite/foundation/UserDefault.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"

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
        const float designHeight = designHeightFor(frameHeight, pad);
        view->setDesignResolutionSize(kDesignWidth, designHeight, kite::ResolutionPolicy::EXACT_FIT);
        QKSingleton::getInstance()->tallScreen = designHeight > 720.0f;
    }
    director->setDisplayStats(false);
    director->setAnimationInterval(1.0 / 60);
    writeFirstRunDefaults();
    QKSound::getInstance()->preload();
    // Until the menu exists, the stored game goes on (or a new one starts) at once.
    startGame();
    director->runWithScene(GameScene::create());
    return true;
}

void AppDelegate::writeFirstRunDefaults() {
    QKSingleton* state = QKSingleton::getInstance();
    if (state->getPlayerStatus() != 0) return;
    state->setPlayerStatus(1);
    state->setGuideStatus(0);
    state->setVoiceOnOff(true);
    state->setMusicOnOff(true);
    state->setSoundOnOff(true);
    GameData::getInstance()->setDiamond(20);
}

void AppDelegate::startGame() {
    GameData* data = GameData::getInstance();
    if (data->newGameRequested) {
        data->setGameTag(data->pendingGameTag);
        data->newGame();
    } else {
        data->resumeGame();
    }
}

void AppDelegate::didEnterBackground() {
    kite::Director::getInstance()->stopAnimation();
    kite::UserDefault::getInstance()->flush();
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
