#include "Classes/RankedLayer.h"

#include <cstdio>

#include "Classes/DialogParts.h"
#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/QKSingleton.h"
#include "Classes/ServerExchange.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"
#include "kite/widgets/TableViewCell.h"

namespace {

using kite::extension::TableView;
using kite::extension::TableViewCell;

constexpr const char* kFont = "Helvetica Neue";
const char* const kRankPrefix = "我当前排名：";
const char* const kTransportFailure = "请求失败，请重试！";
const char* const kClaimRefused = "领奖失败，请重试！";

// The bound phone number, decoded; empty when none is bound.
std::string boundPhone() { return base64Decode(QKSingleton::getInstance()->getCellphone()); }

}  // namespace

RankedLayer* RankedLayer::create() { return kite::createAutoreleased<RankedLayer>(); }

RankedLayer::~RankedLayer() { rows.clear(); }

bool RankedLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    dialog::addShade(this, visible.width, visible.height);
    background = dialog::addCentred(this, "Common/bg_dialog_2.png", 0);
    if (background) {
        const kite::Size size = background->getContentSize();
        const float w = size.width;
        const float h = size.height;
        dialog::addSprite(background, "Menu/Ranked/bg_ranked_title.png", kite::Vec2(w / 2, h - 37));
        dialog::addButton(background, "Common/btn_close.png", kite::Vec2(w - 32, h - 30), 0,
                          [this] { menuCloseCallback(); });
        dialog::addSprite(background, "Menu/Ranked/bg_ranked_box.png", kite::Vec2(w / 2, h / 2 + 75));
        addOwnRankAndPrize(size);
    }
    QKSingleton::getInstance()->showWaitBox(this);
    send("GameRanked", false);
    return true;
}

void RankedLayer::addOwnRankAndPrize(const kite::Size& size) {
    dialog::addSprite(background, "Menu/Ranked/bg_self_ranked.png", kite::Vec2(size.width / 2, 165));
    rankLabel = kite::Label::createWithSystemFont(kRankPrefix, kFont, 22);
    if (rankLabel) {
        rankLabel->setPosition(size.width / 2, 165);
        background->addChild(rankLabel);
    }
    scoreLabel = kite::Label::createWithSystemFont("我的最分数：", kFont, 22);
    if (scoreLabel) {
        scoreLabel->setPosition(size.width / 2, 135);
        background->addChild(scoreLabel);
    }
    infoTips = dialog::addSprite(background, "Menu/Ranked/img_info_tips.png", kite::Vec2(size.width / 2, 65));
    receiveButton = dialog::addButton(background, "Menu/Ranked/btn_receive_reward.png", kite::Vec2(size.width / 2, 65),
                                      0, [this] { menuReceiveCallback(); });
    if (receiveButton) receiveButton->setVisible(false);
}

bool RankedLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void RankedLayer::menuCloseCallback() { removeFromParent(); }

void RankedLayer::send(const char* tag, bool post, const std::string& awardPhone) {
    auto handler = [this](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
        onHttpRequestCompleted(client, response);
    };
    if (!post) {
        char path[256];
        std::snprintf(path, sizeof path, "GameRanked?devicetype=0&cellphone=%s", boundPhone().c_str());
        ServerExchange::get(ServerExchange::url(path), tag, this, handler);
        return;
    }
    ServerExchange::Fields fields{{"devicetype", "0"}, {"cellphone", boundPhone()}};
    if (!awardPhone.empty()) fields["awardphone"] = awardPhone;
    ServerExchange::post(ServerExchange::url(tag), tag, fields, this, handler);
}

void RankedLayer::menuReceiveCallback() {
    if (claimOutstanding || claimed) return;
    QKSingleton* state = QKSingleton::getInstance();
    if (prizeType == 2) {
        claimOutstanding = true;
        state->showWaitBox(this);
        send("ReceiveDiamond", true);
    } else if (prizeType == 1) {
        state->showPhoneInput(this, "领取奖励", "请输入领奖号码");
    }
}

void RankedLayer::requestReceiveTelFee(const std::string& awardPhone) {
    if (claimOutstanding || claimed) return;
    claimOutstanding = true;
    QKSingleton* state = QKSingleton::getInstance();
    state->removePopup();
    state->showWaitBox(this);
    send("ReceiveTelFee", true, awardPhone);
}

void RankedLayer::onHttpRequestCompleted(kite::network::HttpClient*, kite::network::HttpResponse* response) {
    QKSingleton* state = QKSingleton::getInstance();
    const ServerReply reply = response ? ServerReply::read(response) : ServerReply();
    if (!reply.transferred()) {
        if (reply.tag() == "ReceiveDiamond" || reply.tag() == "ReceiveTelFee") claimOutstanding = false;
        state->removePopup();
        state->showAlert(this, "错误", kTransportFailure);
        return;
    }
    if (reply.tag() == "GameRanked")
        onGameRanked(reply);
    else if (reply.tag() == "RewardsType")
        onRewardsType(reply);
    else if (reply.tag() == "ReceiveTelFee")
        onPrizeClaimed(reply, "您的领奖信息提交成\r\n功，我们将尽快联系\r\n您并发放奖励！");
    else if (reply.tag() == "ReceiveDiamond")
        onPrizeClaimed(reply, nullptr);
}

void RankedLayer::onGameRanked(const ServerReply& reply) {
    QKSingleton* state = QKSingleton::getInstance();
    state->removePopup();
    if (!reply.succeeded() || !readRows(reply)) {
        state->showAlert(this, "提示", "获取排行榜失败！");
        return;
    }
    addTableView();
    send("RewardsType", true);
}

bool RankedLayer::readRows(const ServerReply& reply) {
    const Json::Value& list = reply.body();
    if (!list.isArray()) {
        kite::log("RankedLayer: the leaderboard is not a list");
        return false;
    }
    // Read whole before anything is shown: a bad row refuses the reply.
    kite::Vector<EntityRanked*> received;
    const EntityRanked* own = nullptr;
    for (const Json::Value& row : list) {
        EntityRanked* entity = EntityRanked::create();
        if (!entity || !entity->readRow(row)) {
            kite::log("RankedLayer: leaderboard row %u is not four texts", static_cast<unsigned>(received.size()));
            return false;
        }
        received.pushBack(entity);
        if (entity->oneself == "1") own = entity;
    }
    rowCount = static_cast<std::int32_t>(received.size());
    rows.clear();
    for (std::size_t i = 0; i < received.size() && i < static_cast<std::size_t>(kMaxRows); ++i)
        rows.pushBack(received.at(i));
    if (own && rankLabel && scoreLabel) {
        const bool unranked = own->ranked == "0";
        rankLabel->setString(std::string(kRankPrefix) + (unranked ? "无" : "第" + own->ranked + "名"));
        scoreLabel->setString("我的最高分：" + (unranked ? std::string("0") : own->score));
    }
    return true;
}

void RankedLayer::addTableView() {
    if (!background || tableView) {
        if (tableView) tableView->reloadData();
        return;
    }
    const kite::Size size = background->getContentSize();
    tableView = TableView::create(this, kite::Size(330, 330));
    if (!tableView) return;
    tableView->setDirection(kite::extension::ScrollView::Direction::VERTICAL);
    tableView->setDelegate(this);
    tableView->setVerticalFillOrder(TableView::VerticalFillOrder::TOP_DOWN);
    tableView->setPosition(size.width / 2 - 165, size.height / 2 + 75 - 165);
    background->addChild(tableView);
    tableView->reloadData();
}

void RankedLayer::onRewardsType(const ServerReply& reply) {
    std::optional<std::string> type = reply.text();
    if (!reply.succeeded() || !type) {
        QKSingleton::getInstance()->removePopup();
        return;
    }
    if (*type == "0" || *type == "1" || *type == "2") {
        prizeType = stringToInt(*type);
        showPrize(prizeType != 0 && !claimed);
    }
}

void RankedLayer::onPrizeClaimed(const ServerReply& reply, const char* message) {
    QKSingleton* state = QKSingleton::getInstance();
    state->removePopup();
    const bool wasOutstanding = claimOutstanding;
    claimOutstanding = false;
    std::optional<int> amount = reply.integer();
    if (!reply.succeeded() || !amount) {
        state->showAlert(this, "错误", kClaimRefused);
        return;
    }
    if (!wasOutstanding || claimed) return;  // credited already
    if (!GameData::getInstance()->creditDiamonds(*amount, "the prize claim")) {
        state->showAlert(this, "错误", kClaimRefused);
        return;
    }
    claimed = true;
    showPrize(false);
    if (message) {
        state->showAlert(this, "恭喜", message);
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "成功领取 %d 钻石！", *amount);
        state->showAlert(this, "恭喜", text);
    }
}

void RankedLayer::showPrize(bool claimable) {
    if (infoTips) infoTips->setVisible(!claimable);
    if (receiveButton) receiveButton->setVisible(claimable);
}
