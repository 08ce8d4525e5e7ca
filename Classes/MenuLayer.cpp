#include "Classes/MenuLayer.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/GameScene.h"
#include "Classes/MenuScreens.h"
#include "Classes/QKGateway.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "Classes/ServerExchange.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace {

const char* const kBindPrompt = "绑定账号可获得分享\r\n红包及排名奖励，是\r\n否立即绑定？";

// An image item with one file for both states, calling a member of the menu.
kite::MenuItemImage* button(const char* file, MenuLayer* menu, void (MenuLayer::*callback)()) {
    return kite::MenuItemImage::create(file, file, [menu, callback](kite::Ref*) { (menu->*callback)(); });
}

kite::Sprite* addSprite(kite::Node* parent, const char* file, float x, float y) {
    kite::Sprite* sprite = kite::Sprite::create(file);
    if (!sprite) return nullptr;
    sprite->setPosition(x, y);
    parent->addChild(sprite);
    return sprite;
}

}  // namespace

MenuLayer* MenuLayer::create() { return kite::createAutoreleased<MenuLayer>(); }

std::string MenuLayer::bootstrapURL() {
    const char* configured = std::getenv("STARGRID_BOOTSTRAP_URL");
    return configured && *configured ? configured : "http://127.0.0.1:8080/bus_ser_ios.html";
}

bool MenuLayer::init() {
    if (!Layer::init()) return false;
    QKSingleton* state = QKSingleton::getInstance();
    state->setGameLayer(nullptr);
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    addBackground(visible.width, visible.height, state->tallScreen);
    addButtons(visible.width, visible.height, state->tallScreen);
    updateRedbagBadge();
    state->showWaitBox(this);
    requestBootstrap();
    return true;
}

void MenuLayer::addBackground(float width, float height, bool tall) {
    addSprite(this, "Menu/bg_menuscene.png", width / 2, height / 2);
    addSprite(this, "Menu/bg_menutitle.png", width / 2, height - (tall ? 140 : 115));

    kite::MenuItemImage* sale = button("Menu/btn_sale.png", this, &MenuLayer::menuSaleCallback);
    if (!sale) return;
    sale->runAction(kite::RepeatForever::create(
        kite::Sequence::create(kite::ScaleTo::create(0.8f, 0.7f), kite::ScaleTo::create(0.8f, 1.0f))));
    kite::Menu* saleMenu = kite::Menu::create(sale);
    saleMenu->setPosition(75, height - 200);
    addChild(saleMenu);
}

void MenuLayer::addButtons(float width, float, bool tall) {
    kite::MenuItemImage* start = button("Menu/btn_start.png", this, &MenuLayer::menuStartCallback);
    if (start) {
        start->runAction(kite::RepeatForever::create(kite::Sequence::create(kite::ScaleTo::create(0.6f, 1.08f, 0.98f),
                                                                            kite::ScaleTo::create(0.6f, 0.98f, 1.02f),
                                                                            kite::DelayTime::create(0.2f))));
        kite::Menu* startMenu = kite::Menu::create(start);
        startMenu->setPosition(width / 2, tall ? 185 : 160);
        addChild(startMenu);
    }

    kite::MenuItemToggle* voice = kite::MenuItemToggle::createWithCallback(
        [this](kite::Ref*) { menuVoiceCallback(); },
        kite::MenuItemImage::create("Menu/btn_voice_on.png", "Menu/btn_voice_on.png"),
        kite::MenuItemImage::create("Menu/btn_voice_off.png", "Menu/btn_voice_off.png"));
    kite::Menu* middle = kite::Menu::create(button("Menu/btn_help.png", this, &MenuLayer::menuHelpCallback),
                                            button("Menu/btn_info.png", this, &MenuLayer::menuInfoCallback), voice);
    middle->setPosition(width / 2, tall ? 305 : 270);
    middle->alignItemsHorizontallyWithPadding(35);
    addChild(middle);
    if (voice) voice->setSelectedIndex(QKSingleton::getInstance()->getSoundOnOff() ? 0 : 1);

    kite::MenuItemImage* share = button("Menu/btn_share.png", this, &MenuLayer::menuShareCallback);
    kite::Menu* bottom = kite::Menu::create(button("Menu/btn_shop.png", this, &MenuLayer::menuShopCallback), share,
                                            button("Menu/btn_ranked.png", this, &MenuLayer::menuRankedCallback),
                                            button("Menu/btn_activity.png", this, &MenuLayer::menuActivityCallback));
    bottom->setPosition(width / 2, tall ? 60 : 50);
    bottom->alignItemsHorizontallyWithPadding(35);
    addChild(bottom);

    if (!share) return;
    redbagBadge = addSprite(share, "Menu/bg_number.png", 58, 74);
    if (!redbagBadge) return;
    redbagBadge->setVisible(false);
    redbagLabel = kite::Label::createWithSystemFont("", "Helvetica Neue", 20);
    if (!redbagLabel) return;
    const kite::Size badge = redbagBadge->getContentSize();
    redbagLabel->setPosition(badge.width / 2, badge.height / 2);
    redbagBadge->addChild(redbagLabel, 1);
}

void MenuLayer::updateRedbagBadge() {
    if (!redbagBadge) return;
    const std::int32_t count = QKSingleton::getInstance()->redPacketCount;
    if (count == 0) {
        redbagBadge->setVisible(false);
        return;
    }
    redbagBadge->setVisible(true);
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(count));
    if (redbagLabel) redbagLabel->setString(text);
}

void MenuLayer::showLoginLayer(int origin) { MenuScreens::openLogin(this, origin); }

void MenuLayer::menuSaleCallback() { MenuScreens::openSale(this); }
void MenuLayer::menuHelpCallback() { MenuScreens::openHelp(this); }
void MenuLayer::menuShopCallback() { MenuScreens::openShop(this); }
void MenuLayer::menuInfoCallback() { MenuScreens::openInfo(this); }
void MenuLayer::menuShareCallback() { MenuScreens::openShare(this); }

void MenuLayer::menuStartCallback() {
    // Decoded while the player answers the prompt.
    GameScene::preloadPictures();
    QKSingleton* state = QKSingleton::getInstance();
    if (state->getCellphone().empty()) {
        state->showConfirm(this, "提示", kBindPrompt, 1);
        return;
    }
    MenuScreens::startGame();
}

void MenuLayer::menuRankedCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    if (!state->networkReachable) {
        state->showAlert(this, "提示", "当前无网络，无法访\r\n问排行榜！");
    } else if (!state->getCellphone().empty()) {
        MenuScreens::openRanked(this);
    } else {
        state->showConfirm(this, "提示", kBindPrompt, 4);
    }
}

void MenuLayer::menuActivityCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    if (state->networkReachable)
        MenuScreens::openWebPage(this, 1);
    else
        state->showAlert(this, "提示", "当前无网络，请连接\r\n您的网络！");
}

void MenuLayer::menuVoiceCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    // The toggle has already switched its image; the three switches follow it together.
    const bool on = !state->getVoiceOnOff();
    state->setVoiceOnOff(on);
    state->setMusicOnOff(on);
    state->setSoundOnOff(on);
    if (on)
        QKSound::getInstance()->playBackgroundMusic();
    else
        QKSound::getInstance()->stopAll();
}

// ---- the start-up request chain

namespace {

// Replies come back to the layer while it is on stage; a closed menu drops them.
ServerExchange::ReplyHandler replyTo(MenuLayer* menu) {
    return [menu](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
        menu->onHttpRequestCompleted(client, response);
    };
}

}  // namespace

void MenuLayer::requestBootstrap() { ServerExchange::get(bootstrapURL(), "WebSer", this, replyTo(this)); }

void MenuLayer::requestUserLogin() {
    ServerExchange::post(ServerExchange::url("BindAccount"), "UserLogin", QKGateway::storedAccountLogin(), this,
                         replyTo(this));
}

void MenuLayer::requestRedbagCount() {
    ServerExchange::post(ServerExchange::url("RedbagCount"), "RedbagCount",
                         {{"cellphone", base64Decode(QKSingleton::getInstance()->getCellphone())}}, this,
                         replyTo(this));
}

void MenuLayer::requestVersion() {
    char path[128];
    std::snprintf(path, sizeof path, "Version?devicetype=1&version=%d&apptype=1&channel=%s",
                  QKSingleton::getInstance()->bundleVersion, "8888");
    ServerExchange::get(ServerExchange::url(path), "Version", this, replyTo(this));
}

void MenuLayer::onHttpRequestCompleted(kite::network::HttpClient*, kite::network::HttpResponse* response) {
    if (!response) return;
    const ServerReply reply = ServerReply::read(response);
    // Whatever the outcome, this step's wait box closes; a failed step ends the chain.
    QKSingleton::getInstance()->removePopup();
    if (!reply.transferred()) return;
    if (reply.tag() == "WebSer")
        onBootstrap(reply);
    else if (reply.tag() == "UserLogin")
        onUserLogin(reply);
    else if (reply.tag() == "RedbagCount")
        onRedbagCount(reply);
    else if (reply.tag() == "Version")
        onVersion(reply);
}

void MenuLayer::onBootstrap(const ServerReply& reply) {
    std::optional<std::string> base = reply.text();
    if (!reply.succeeded() || !base) return;
    QKSingleton* state = QKSingleton::getInstance();
    state->setHttpRequestURL(*base);
    state->showWaitBox(this);
    if (!state->getCellphone().empty())
        requestUserLogin();
    else
        requestVersion();
}

void MenuLayer::onUserLogin(const ServerReply& reply) {
    if (!QKGateway::applyLoginReply(reply)) return;
    QKSingleton::getInstance()->showWaitBox(this);
    requestRedbagCount();
}

void MenuLayer::onRedbagCount(const ServerReply& reply) {
    std::optional<int> count = reply.integer();
    if (!reply.succeeded() || !count) return;
    if (*count < 0) {
        kite::log("MenuLayer: refused a negative red-packet count (%d)", *count);
        return;
    }
    QKSingleton* state = QKSingleton::getInstance();
    state->redPacketCount = *count;
    updateRedbagBadge();
    state->showWaitBox(this);
    requestVersion();
}

void MenuLayer::onVersion(const ServerReply& reply) {
    std::optional<int> latest = reply.integer("version");
    std::optional<int> forced = reply.integer("forcedupdate");
    if (!reply.succeeded() || !latest || !forced) return;
    applyVersionRule(*latest, *forced);
}

void MenuLayer::applyVersionRule(int latestVersion, int forcedUpdate) {
    QKSingleton* state = QKSingleton::getInstance();
    if (forcedUpdate != 0) {
        state->showAlert(this, "版本更新", "您的游戏版本太低，\r\n请前往AppStore下\r\n载新版本游戏！");
        return;
    }
    if (state->bundleVersion < latestVersion) {
        state->showAlert(this, "版本更新", "发现新版本，请前往\r\nAppStore更新以获得\r\n更好的游戏体验！");
        return;
    }
    const std::string today = dateString();
    if (today == state->getCurrentTime()) return;
    state->setCurrentTime(today);
    if (GameData::getInstance()->getDiamond() == 0) MenuScreens::openSale(this);
}
