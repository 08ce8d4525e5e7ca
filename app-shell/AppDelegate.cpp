#include "app-shell/AppDelegate.h"

#include "Classes/GameData.h"
#include "Classes/GameEffects.h"
#include "Classes/MenuScene.h"
#include "Classes/QKGateway.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "Classes/ServerExchange.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/UserDefault.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"

namespace {
constexpr float kDesignWidth = 480.0f;
}  // namespace

float AppDelegate::designHeightFor(int frameHeight, bool pad) { return !pad && frameHeight > 960 ? 852.0f : 720.0f; }

bool AppDelegate::didFinishLaunching() {
    kite::Director* director = kite::Director::getInstance();
    kite::GLView* view = director->getOpenGLView();
    if (!view) {
        view = kite::GLViewImpl::create("KWR_Game");
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
    GameData::tellPlayerWhenProgressIsNotSaved();
    QKSound::getInstance()->preload();
    writeFirstRunDefaults();
    director->runWithScene(MenuScene::create());
    // Diamonds paid for in a run that ended before the purchase was finished.
    QKSingleton::getInstance()->resumePurchases();
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

void AppDelegate::didEnterBackground() {
    kite::Director::getInstance()->stopAnimation();
    kite::UserDefault::getInstance()->flush();
    // Requests in flight are cut off; each still gets its failed reply, so no wait box stays up.
    ServerExchange::destroyClient();
}

void AppDelegate::willEnterForeground() {
    kite::Director::getInstance()->startAnimation();
    if (QKSingleton::getInstance()->getCellphone().empty()) return;
    ServerExchange::post(ServerExchange::url("BindAccount"), "UserLogin", QKGateway::storedAccountLogin(), nullptr,
                         [this](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
                             onHttpRequestCompleted(client, response);
                         });
}

void AppDelegate::onHttpRequestCompleted(kite::network::HttpClient*, kite::network::HttpResponse* response) {
    if (!response) return;
    const ServerReply reply = ServerReply::read(response);
    if (reply.tag() != "UserLogin" || !QKGateway::applyLoginReply(reply)) return;
    QKSingleton* state = QKSingleton::getInstance();
    // A new game from the server: the player starts it from the menu.
    if (GameData::getInstance()->newGameRequested && state->inGame) {
        // The picture's slot outlives the play screen: left filled, the next game would never show it.
        removeStageClear();
        if (MenuScene* menu = MenuScene::create()) kite::Director::getInstance()->replaceScene(menu);
    }
}

void AppDelegate::initGLContextAttributes() {
    kite::GLContextAttributes attributes;
    attributes.redBits = attributes.greenBits = attributes.blueBits = attributes.alphaBits = 8;
    attributes.depthBits = 24;
    attributes.stencilBits = 8;
    kite::GLView::setContextAttributes(attributes);
}
