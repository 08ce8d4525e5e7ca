// The share and red-packet dialog.
#include "Classes/ShareLayer.h"

#include "Classes/DialogParts.h"
#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/MenuLayer.h"
#include "Classes/QKShare.h"
#include "Classes/QKSingleton.h"
#include "Classes/ServerExchange.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace {

constexpr char kFont[] = "Helvetica Neue";
constexpr char kShareInfoTag[] = "ShareInfo";
constexpr char kReceiveRedbagTag[] = "ReceiveRedbag";

kite::MenuItemImage* imageItem(const char* file, ShareLayer* layer, void (ShareLayer::*action)()) {
    return kite::MenuItemImage::create(file, file, [layer, action](kite::Ref*) {
        // The action may close the dialog: it stays alive until the action has returned.
        kite::RefPtr<ShareLayer> self(layer);
        (layer->*action)();
    });
}

// A gentle breathing of a button around where the menu put it.
kite::Action* breathing(const kite::Vec2& at) {
    auto* stretch = kite::Spawn::create(kite::ScaleTo::create(0.5f, 0.97f, 1.03f),
                                        kite::MoveTo::create(0.5f, kite::Vec2(at.x, at.y + 2)));
    auto* squeeze = kite::Spawn::create(kite::ScaleTo::create(0.8f, 1.02f, 0.98f),
                                        kite::MoveTo::create(0.8f, kite::Vec2(at.x, at.y - 2)));
    return kite::RepeatForever::create(kite::Sequence::create(stretch, squeeze, kite::DelayTime::create(0.2f)));
}

std::string boundPhone() { return base64Decode(QKSingleton::getInstance()->getCellphone()); }

}  // namespace

ShareLayer* ShareLayer::create() { return kite::createAutoreleased<ShareLayer>(); }

bool ShareLayer::init() {
    if (!Layer::init()) return false;
    shareScene = 0;
    dialog::claimAllTouches(this);
    buildDialog();
    updateRedbagCount();
    return true;
}

bool ShareLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void ShareLayer::buildDialog() {
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    dialog::addShade(this, visible.width, visible.height);
    kite::Sprite* background = dialog::addCentred(this, "Common/bg_dialog_2.png", 0);
    if (!background) return;
    dialog::popIn(background, 0.7f, 1.1f);
    const kite::Size size = background->getContentSize();
    dialog::addButton(background, "Common/btn_close.png", kite::Vec2(size.width - 32, size.height - 30), 1, [this] {
        kite::RefPtr<ShareLayer> self(this);
        menuCloseCallback();
    });
    dialog::addSprite(background, "Menu/Share/bg_share.png", kite::Vec2(size.width / 2, size.height / 2 + 145));
    addShareButtons(background);
    receiveItem =
        dialog::addButton(background, "Menu/Share/btn_receive.png", kite::Vec2(size.width / 2, 100), 0, [this] {
            kite::RefPtr<ShareLayer> self(this);
            menuReceiveCallback();
        });
    redbagLabel = kite::Label::createWithSystemFont("当前红包个数：0", kFont, 24);
    if (redbagLabel) {
        redbagLabel->setColor(kite::Color3B(50, 220, 255));
        redbagLabel->setPosition(size.width / 2, 45);
        background->addChild(redbagLabel, 1);
    }
}

void ShareLayer::addShareButtons(kite::Sprite* background) {
    const kite::Size size = background->getContentSize();
    kite::MenuItemImage* friendItem =
        imageItem("Menu/Share/btn_share_pgfriend.png", this, &ShareLayer::menuShareFriendCallback);
    kite::MenuItemImage* timelineItem =
        imageItem("Menu/Share/btn_share_pgtimeline.png", this, &ShareLayer::menuShareTimelineCallback);
    if (friendItem && timelineItem) {
        kite::Menu* menu = kite::Menu::create(friendItem, timelineItem);
        menu->alignItemsHorizontallyWithPadding(40);
        menu->setPosition(size.width / 2, 255);
        background->addChild(menu, 1);
        for (kite::MenuItemImage* item : {friendItem, timelineItem}) item->runAction(breathing(item->getPosition()));
    }
    dialog::addSprite(background, "Menu/Share/btn_share_pgfriend_.png", kite::Vec2(size.width / 2 - 60, 194));
    dialog::addSprite(background, "Menu/Share/btn_share_pgtimeline_.png", kite::Vec2(size.width / 2 + 60, 194));
}

void ShareLayer::menuCloseCallback() { removeFromParent(); }

void ShareLayer::menuShareFriendCallback() { share(0); }

void ShareLayer::menuShareTimelineCallback() { share(1); }

void ShareLayer::share(std::int32_t scene) {
    QKSingleton* state = QKSingleton::getInstance();
    if (QKSingleton::getInstance()->getCellphone().empty()) {
        state->showConfirm(menuLayer, "提示", "您没有绑定账号，无\r\n法使用分享！是否立\r\n即绑定？", 3);
        return;
    }
    if (!state->networkReachable) {
        state->showAlert(this, "提示", "当前无网络，无法使\r\n用分享！");
        return;
    }
    shareScene = scene;
    state->showWaitBox(this);
    ServerExchange::get(ServerExchange::url("ShareInfo_iOS?u=1"), kShareInfoTag, this,
                        [this](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
                            onHttpRequestCompleted(client, response);
                        });
}

void ShareLayer::menuReceiveCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    if (!state->networkReachable) {
        state->showAlert(this, "提示", "当前无网络，请连接\r\n网络后领奖！");
        return;
    }
    state->showWaitBox(this);
    ServerExchange::post(ServerExchange::url("ReceiveRedbag"), kReceiveRedbagTag, {{"cellphone", boundPhone()}}, this,
                         [this](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
                             onHttpRequestCompleted(client, response);
                         });
}

void ShareLayer::updateRedbagCount() {
    const std::int32_t count = QKSingleton::getInstance()->redPacketCount;
    const char* disabledImage = count == 0 ? "Menu/Share/btn_receive_.png" : "Menu/Share/btn_receive.png";
    if (receiveItem) {
        receiveItem->setEnabled(count != 0);
        receiveItem->setDisabledImage(kite::Sprite::create(disabledImage));
    }
    if (redbagLabel) redbagLabel->setString("当前红包个数：" + std::to_string(count));
}

void ShareLayer::onHttpRequestCompleted(kite::network::HttpClient*, kite::network::HttpResponse* response) {
    if (!response) {
        QKSingleton::getInstance()->removePopup();
        return;
    }
    const ServerReply reply = ServerReply::read(response);
    if (!reply.transferred()) {
        QKSingleton::getInstance()->removePopup();
        return;
    }
    if (reply.tag() == kReceiveRedbagTag) {
        onReceiveRedbag(reply);
    } else if (reply.tag() == kShareInfoTag) {
        onShareInfo(reply);
    }
}

void ShareLayer::onReceiveRedbag(const ServerReply& reply) {
    QKSingleton* state = QKSingleton::getInstance();
    state->removePopup();
    const std::optional<int> diamonds = reply.integer("diamond");
    const std::optional<int> count = reply.integer("redbag");
    // Negative numbers are a damaged reply: nothing is credited.
    if (count && *count < 0) kite::log("ShareLayer: refused a negative red-packet count (%d)", *count);
    if (!reply.succeeded() || !diamonds || !count || *count < 0 ||
        !GameData::getInstance()->creditDiamonds(*diamonds, "the red packets")) {
        state->showAlert(this, "提示", "领取失败，请稍后重试！");
        return;
    }
    state->showAlert(this, "恭喜", "成功领取 " + std::to_string(*diamonds) + " 钻石！");
    state->redPacketCount = *count;
    updateRedbagCount();
    if (menuLayer) menuLayer->updateRedbagBadge();
}

void ShareLayer::onShareInfo(const ServerReply& reply) {
    QKSingleton::getInstance()->removePopup();
    const std::optional<std::string> title = reply.text("title");
    const std::optional<std::string> message = reply.text("message");
    const std::optional<std::string> iconUrl = reply.text("iconurl");
    const std::optional<std::string> shareUrl = reply.text("shareurl");
    if (!reply.succeeded() || !title || !message || !iconUrl || !shareUrl) {
        QKSingleton::getInstance()->showAlert(this, "提示", "获取分享信息失败！");
        return;
    }
    const std::string pageUrl = *shareUrl + "?cellphone=" + boundPhone();
    if (shareScene == 0) {
        QKShare::getInstance()->shareToSession(*title, *message, *iconUrl, pageUrl);
    } else if (shareScene == 1) {
        QKShare::getInstance()->shareToTimeline(*title, *message, *iconUrl, pageUrl);
    }
}
