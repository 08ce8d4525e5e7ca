#include "Classes/RankedLayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Classes/GameData.h"
#include "Classes/PopupBoxLayer.h"
#include "ServerTestSupport.h"
#include "kite/scene/Label.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"
#include "kite/widgets/TableViewCell.h"

namespace {

using game::test::DrawnServerGameTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kPhone = "13812345678";

class RankedLayerTest : public DrawnServerGameTest {
protected:
    void SetUp() override {
        DrawnServerGameTest::SetUp();
        bindAccount(kPhone, "1234");
    }
    void seedPlayer(const std::string& phone, long bestScore) {
        ASSERT_TRUE(server->store().seedAccount({phone, base64Encode("1234"), bestScore, 0, 0}));
    }
    RankedLayer* open() {
        RankedLayer* ranked = RankedLayer::create();
        scene->addChild(ranked, 2);
        return ranked;
    }
    // The texts of the identity and score labels of the cell shown for a row.
    static std::pair<std::string, std::string> rowTexts(RankedLayer* ranked, int row) {
        kite::extension::TableViewCell* cell = ranked->getTableView()->cellAtIndex(row);
        if (!cell) return {};
        auto text = [cell](int tag) { return static_cast<kite::Label*>(cell->getChildByTag(tag))->getString(); };
        return {text(40), text(41)};
    }
    void replyWith(const std::string& path, const std::string& body) {
        stargrid_server::ReplyOverride override;
        override.path = path;
        override.body = body;
        server->overrides().push(override);
    }
};

TEST_F(RankedLayerTest, TheServersTopPlayersShowInOrderWithThePlayersOwnRank) {
    seedPlayer("13900000001", 900);
    seedPlayer("13900000002", 700);
    ASSERT_TRUE(server->store().seedAccount({kPhone, base64Encode("1234"), 800, 0, 0}));
    RankedLayer* ranked = open();
    EXPECT_NE(QKSingleton::getInstance()->getCurrentPopup(), nullptr);  // the wait box
    settleAndDraw();
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPopup(), nullptr);
    EXPECT_THAT(requestedPaths(), ElementsAre("/game/GameRanked", "/game/RewardsType"));
    EXPECT_EQ(server->requestLog().since(0)[0].query, "devicetype=0&cellphone=13812345678");

    ASSERT_NE(ranked->getTableView(), nullptr);
    EXPECT_EQ(rowTexts(ranked, 0), std::make_pair(std::string("139****0001"), std::string("900")));
    EXPECT_EQ(rowTexts(ranked, 1), std::make_pair(std::string("138****5678"), std::string("800")));
    EXPECT_EQ(rowTexts(ranked, 2), std::make_pair(std::string("139****0002"), std::string("700")));
    EXPECT_EQ(ranked->getRankLabel()->getString(), "我当前排名：第2名");
    EXPECT_EQ(ranked->getScoreLabel()->getString(), "我的最高分：800");

    // The own row (second) is drawn on its own background, unlike the rows around it.
    saveFrame();
    kite::Node* table = ranked->getTableView();
    const kite::test::Pixel first = pixelAt(table, kite::Vec2(315, 330 - 94 / 2 - 30));
    const kite::test::Pixel own = pixelAt(table, kite::Vec2(315, 330 - 94 - 94 / 2 - 30));
    const kite::test::Pixel third = pixelAt(table, kite::Vec2(315, 330 - 2 * 94 - 94 / 2 - 30));
    EXPECT_EQ(first, third);
    EXPECT_NE(first, own);
}

TEST_F(RankedLayerTest, ADiamondPrizeIsCreditedOnceHoweverOftenItIsClaimed) {
    ASSERT_TRUE(server->store().setPrize(kPhone, {stargrid_server::Prize::Diamonds, 50}));
    GameData::getInstance()->setDiamond(7);
    RankedLayer* ranked = open();
    settleAndDraw();
    EXPECT_EQ(ranked->getPrizeType(), 2);
    ASSERT_TRUE(ranked->getReceiveButton()->isVisible());
    EXPECT_FALSE(ranked->getInfoTips()->isVisible());
    kite::Sprite* tips = ranked->getInfoTips();
    const kite::test::Pixel withButton = pixelAt(tips, tips->getAnchorPointInPoints());

    kite::test::LogCapture log;
    ranked->menuReceiveCallback();
    ranked->menuReceiveCallback();  // a double tap
    settleAndDraw();
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 57);
    EXPECT_THAT(lastAlert(log), HasSubstr("\"恭喜\" / \"成功领取 50 钻石！\""));
    EXPECT_FALSE(ranked->getReceiveButton()->isVisible());
    EXPECT_TRUE(ranked->getInfoTips()->isVisible());
    QKSingleton::getInstance()->removePopup();
    frames(2);
    EXPECT_NE(pixelAt(tips, tips->getAnchorPointInPoints()), withButton);

    ranked->menuReceiveCallback();  // the hidden button, pressed anyway
    settleAndDraw();
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 57);
    EXPECT_THAT(requestedPaths(), ElementsAre("/game/GameRanked", "/game/RewardsType", "/game/ReceiveDiamond"));
}

TEST_F(RankedLayerTest, ANegativePrizeIsRefusedAndKeepsTheButton) {
    ASSERT_TRUE(server->store().setPrize(kPhone, {stargrid_server::Prize::Diamonds, -30}));
    GameData::getInstance()->setDiamond(7);
    RankedLayer* ranked = open();
    settleAndDraw();
    kite::test::LogCapture log;
    ranked->menuReceiveCallback();
    settleAndDraw();
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 7);
    EXPECT_TRUE(log.contains("GameData: refused a negative amount of diamonds (-30) from the prize claim"));
    EXPECT_THAT(lastAlert(log), HasSubstr("\"错误\" / \"领奖失败，请重试！\""));
    EXPECT_TRUE(ranked->getReceiveButton()->isVisible());
}

TEST_F(RankedLayerTest, APhoneCreditPrizeSendsTheTypedNumberOnceItIsValid) {
    ASSERT_TRUE(server->store().setPrize(kPhone, {stargrid_server::Prize::PhoneCredit, 20}));
    RankedLayer* ranked = open();
    settleAndDraw();
    ASSERT_EQ(ranked->getPrizeType(), 1);
    ranked->menuReceiveCallback();
    PopupBoxLayer* input = QKSingleton::getInstance()->getCurrentPopup();
    ASSERT_NE(input, nullptr);
    ASSERT_NE(input->getTextField(), nullptr);
    EXPECT_TRUE(input->getTextField()->attachWithIME());
    type("a");  // refused
    for (char digit : std::string("1221234567")) type(std::string(1, digit));
    EXPECT_FALSE(input->getOkItem()->isEnabled());
    type("8");
    EXPECT_TRUE(input->getOkItem()->isEnabled());
    type("9");  // a twelfth digit is refused
    EXPECT_EQ(input->getTextField()->getString(), "12212345678");
    kite::IMEDispatcher::sharedDispatcher()->dispatchDeleteBackward();
    EXPECT_FALSE(input->getOkItem()->isEnabled());
    type("8");
    EXPECT_TRUE(input->getOkItem()->isEnabled());

    kite::test::LogCapture log;
    input->onPhoneOk();  // second digit 2: not a phone number
    EXPECT_THAT(lastAlert(log), HasSubstr("\"提示\" / \"请输入正确的手机号\""));
    EXPECT_THAT(requestedPaths(), ElementsAre("/game/GameRanked", "/game/RewardsType"));
    QKSingleton::getInstance()->removePopup();

    kite::RefPtr<PopupBoxLayer> keep(input);
    input->getTextField()->setString("13987654321");
    input->onPhoneOk();
    settleAndDraw();
    EXPECT_EQ(input->getParent(), nullptr);
    EXPECT_THAT(requestedPaths(), ElementsAre("/game/GameRanked", "/game/RewardsType", "/game/ReceiveTelFee"));
    EXPECT_EQ(server->requestLog().since(0)[2].body,
              "{\"awardphone\":\"13987654321\",\"cellphone\":\"13812345678\",\"devicetype\":\"0\"}\n");
    EXPECT_THAT(lastAlert(log), HasSubstr("\"恭喜\" / \"您的领奖信息提交成"));
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 20);
}

TEST_F(RankedLayerTest, ABadLeaderboardIsRefusedWithAnAlertAndShowsNoTable) {
    const std::string bodies[] = {
        "{\"code\":\"0000\",\"bodymessage\":\"rows\"}",
        "{\"code\":\"0000\",\"bodymessage\":[{\"oneself\":\"1\",\"cellphone\":7,\"ranked\":\"1\",\"score\":\"5\"}]}",
        "{\"code\":\"0000\",\"bodymessage\":[3]}",
        "{\"code\":\"1001\"}",
        "not json",
        "{\"code\":\"0000\",\"bodymessage\":[" + std::string(1100, '[') + std::string(1100, ']') + "]}",
    };
    for (const std::string& body : bodies) {
        replyWith("/game/GameRanked", body);
        kite::test::LogCapture log;
        RankedLayer* ranked = open();
        settleAndDraw();
        EXPECT_EQ(ranked->getTableView(), nullptr) << body;
        EXPECT_THAT(lastAlert(log), HasSubstr("\"提示\" / \"获取排行榜失败！\"")) << body;
        QKSingleton::getInstance()->removePopup();
        ranked->removeFromParent();
    }
    nextReply("/game/GameRanked", "drop");
    kite::test::LogCapture log;
    open();
    settleAndDraw();
    EXPECT_THAT(lastAlert(log), HasSubstr("\"错误\" / \"请求失败，请重试！\""));
}

TEST_F(RankedLayerTest, AtMostAHundredRowsShowAndLongTextsAreCut) {
    std::string rows;
    for (int i = 0; i < 150; ++i) {
        const bool own = i == 119;
        const std::string name = i == 0 ? std::string(200, 'x') : "p" + std::to_string(i);
        rows += std::string(i ? "," : "") + "{\"oneself\":\"" + (own ? "1" : "0") + "\",\"cellphone\":\"" + name +
                "\",\"ranked\":\"" + std::to_string(i + 1) + "\",\"score\":\"" + (i == 1 ? std::string(50, '9') : "1") +
                "\"}";
    }
    replyWith("/game/GameRanked", "{\"code\":\"0000\",\"bodymessage\":[" + rows + "]}");
    RankedLayer* ranked = open();
    settleAndDraw();
    EXPECT_EQ(ranked->getRowCount(), 150);
    EXPECT_EQ(ranked->numberOfCellsInTableView(ranked->getTableView()), 100);
    EXPECT_EQ(ranked->getRankLabel()->getString(), "我当前排名：第120名");
    EXPECT_EQ(rowTexts(ranked, 0).first, std::string(EntityRanked::kMaxIdentity, 'x'));
    EXPECT_EQ(rowTexts(ranked, 1).second, std::string(EntityRanked::kMaxNumber, '9'));
}

TEST_F(RankedLayerTest, AnUnrankedPlayerReadsNoRankAndARefusedClaimKeepsTheButton) {
    ASSERT_TRUE(server->store().setPrize(kPhone, {stargrid_server::Prize::Diamonds, 5}));
    RankedLayer* ranked = open();
    settleAndDraw();
    EXPECT_EQ(ranked->getRankLabel()->getString(), "我当前排名：无");
    EXPECT_EQ(ranked->getScoreLabel()->getString(), "我的最高分：0");
    nextCode("/game/ReceiveDiamond", "2001");
    kite::test::LogCapture log;
    ranked->menuReceiveCallback();
    settleAndDraw();
    EXPECT_THAT(lastAlert(log), HasSubstr("\"错误\" / \"领奖失败，请重试！\""));
    EXPECT_TRUE(ranked->getReceiveButton()->isVisible());
    QKSingleton::getInstance()->removePopup();
    // The server took the first claim although it refused it; it holds the prize again.
    ASSERT_TRUE(server->store().setPrize(kPhone, {stargrid_server::Prize::Diamonds, 5}));
    ranked->menuReceiveCallback();  // a second try succeeds
    settleAndDraw();
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 5);
}

TEST_F(RankedLayerTest, AReplyAfterTheDialogClosedIsDropped) {
    nextReply("/game/GameRanked", "slow");
    kite::test::LogCapture log;
    RankedLayer* ranked = open();
    QKSingleton::getInstance()->removePopup();
    ranked->menuCloseCallback();
    ASSERT_TRUE(settle());
    EXPECT_THAT(log.text(), HasSubstr("the reply to GameRanked came after its screen closed; dropped"));
    EXPECT_THAT(requestedPaths(), ElementsAre("/game/GameRanked"));
}

}  // namespace
