// The API entry: the URLs it opens towards the messenger and those it accepts back.
#include "sdk/pigeon/PGApi.h"

#include <stdlib.h>

#include <chrono>
#include <memory>
#include <vector>

#include "PigeonFixture.h"
#include "platform/UrlOpener.h"
#include "sdk/pigeon/AppCommunicate.h"

namespace pigeon {
namespace {

constexpr char kAppId[] = "pg5e18c0a7d94b2f63";

class PGApiTest : public test::PigeonTest {
protected:
    void SetUp() override {
        PigeonTest::SetUp();
        PGApi::resetForTesting();
        setenv("STARGRID_RESOURCES", runtime_.path().c_str(), 1);
    }
    void TearDown() override {
        PGApi::resetForTesting();
        unsetenv("STARGRID_RESOURCES");
        PigeonTest::TearDown();
    }

    // The messenger's scheme opens the URL recorder; each call gives the URL of one launch.
    void installRecordingMessenger() {
        kite::test::SchemeHandlers& handlers = kite::test::SchemeHandlers::instance();
        handlers.registerHandler("pigeon", std::string(STARGRID_URL_RECORDER) + " " + pipe_.path());
        ASSERT_TRUE(kite::test::SchemeHandlers::waitUntil([] { return platform::canOpenUrl("pigeon://"); }));
    }
    std::string nextOpenedUrl() { return pipe_.read(std::chrono::seconds(10)).value_or("<nothing opened>"); }

    kite::test::RecordPipe pipe_{kite::test::SchemeHandlers::instance().path() + "/messenger-" +
                                 std::to_string(::getpid())};
    test::RecordingDelegate delegate_;
};

TEST_F(PGApiTest, NothingGoesOutBeforeRegistration) {
    EXPECT_FALSE(PGApi::isPGAppInstalled());
    EXPECT_FALSE(PGApi::openPGApp());
    SendMessageToPGReq share;
    EXPECT_FALSE(PGApi::sendReq(&share));
    EXPECT_FALSE(PGApi::sendReq(nullptr));
    EXPECT_FALSE(PGApi::handleOpenURL(std::string(kAppId) + "://oauth?code=1", &delegate_));
    EXPECT_FALSE(PGApi::registerApp(""));
    EXPECT_EQ(PGApi::getApiVersion(), "1.5");
}

TEST_F(PGApiTest, RequestsOpenTheMessengerUrlsTheirKindsCallFor) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    installRecordingMessenger();
    EXPECT_TRUE(PGApi::isPGAppInstalled());
    const std::string base = std::string("pigeon://app/") + kAppId + "/";

    SendAuthReq auth;
    auth.scope = "snsapi userinfo&x";
    ASSERT_TRUE(PGApi::sendReq(&auth));
    EXPECT_EQ(nextOpenedUrl(), base + "auth/?scope=snsapi%20userinfo%26x&state=");
    auth.scope.clear();
    EXPECT_FALSE(PGApi::sendReq(&auth));

    PayReq pay;
    pay.partnerId = "p1";
    pay.prepayId = "pre";
    pay.nonceStr = "n/o";
    pay.package = "Sign=WXPay";
    pay.sign = "s";
    pay.timeStamp = 42;
    ASSERT_TRUE(PGApi::sendReq(&pay));
    EXPECT_EQ(nextOpenedUrl(), base +
                                   "pay/?nonceStr=n%2Fo&package=Sign%3DWXPay&partnerId=p1&prepayId=pre"
                                   "&timeStamp=42&sign=s&signType=SHA1");
    pay.sign.clear();
    EXPECT_FALSE(PGApi::sendReq(&pay));

    JumpToBizProfileReq profile;
    profile.username = "gh_1";
    profile.profileType = 1;
    ASSERT_TRUE(PGApi::sendReq(&profile));
    EXPECT_EQ(nextOpenedUrl(), base + "openprofile/?username=gh_1&profiletype=1");

    JumpToBizWebviewReq webview;
    webview.tousrname = "gh_1";
    webview.extMsg = "e";
    ASSERT_TRUE(PGApi::sendReq(&webview));
    EXPECT_EQ(nextOpenedUrl(), base + "jumptobizwebview/?webtype=0&tousername=gh_1&extmsg=e");
    webview.webType = 1;
    EXPECT_FALSE(PGApi::sendReq(&webview));
}

TEST_F(PGApiTest, CardPackagesHoldOneToFortyCards) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    installRecordingMessenger();
    AddCardToPGCardPackageReq cards;
    EXPECT_FALSE(PGApi::sendReq(&cards));
    cards.cardAry.assign(41, PGCardItem{"card", "", 0});
    EXPECT_FALSE(PGApi::sendReq(&cards));
    cards.cardAry.assign(2, PGCardItem{"card", "", 0});
    cards.cardAry[1].extMsg = "x";
    ASSERT_TRUE(PGApi::sendReq(&cards));
    const std::string url = nextOpenedUrl();
    EXPECT_EQ(url.rfind(std::string("pigeon://app/") + kAppId + "/cardpackage/?%7B", 0), 0u) << url;
    EXPECT_NE(url.find("%22ext1%22%20:%20%22x%22"), std::string::npos) << url;
}

TEST_F(PGApiTest, SignInAnswersReachTheDelegateWithTheirValuesAsTheyCame) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    const std::string app = std::string(kAppId) + "://";
    EXPECT_FALSE(PGApi::handleOpenURL(app + "oauth?code=1", nullptr));

    ASSERT_TRUE(PGApi::handleOpenURL(app + "oauth?code=a%3Db=c&state=%E6%98%9F&reason=x=y&lang", &delegate_));
    auto answer = delegate_.lastResponse<SendAuthResp>();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->errCode, 0);
    EXPECT_EQ(answer->code, "a%3Db=c");
    EXPECT_EQ(answer->state, "%E6%98%9F");
    EXPECT_EQ(answer->errStr, "x=y") << "everything after the first \"=\" is the value";
    EXPECT_EQ(answer->lang, "") << "a pair without \"=\" is skipped";

    // A value that is no valid escape is a value all the same: the sign-in is not lost.
    ASSERT_TRUE(PGApi::handleOpenURL(app + "oauth?code=c0de&state=50%", &delegate_));
    EXPECT_EQ(delegate_.lastResponse<SendAuthResp>()->state, "50%");
    EXPECT_EQ(delegate_.lastResponse<SendAuthResp>()->code, "c0de");
    ASSERT_TRUE(PGApi::handleOpenURL(app + "oauth?code=%zz", &delegate_));
    EXPECT_EQ(delegate_.lastResponse<SendAuthResp>()->code, "%zz");

    ASSERT_TRUE(PGApi::handleOpenURL(app + "oauth?code=authdeny", &delegate_));
    EXPECT_EQ(delegate_.lastResponse<SendAuthResp>()->errCode, -4);
    EXPECT_EQ(delegate_.lastResponse<SendAuthResp>()->code, "");
    ASSERT_TRUE(PGApi::handleOpenURL(app + "oauth?state=s", &delegate_));
    EXPECT_EQ(delegate_.lastResponse<SendAuthResp>()->errCode, -1);

    // Text that is not UTF-8 and URLs beyond any answer reach nobody.
    const std::size_t delivered = delegate_.responses.size();
    EXPECT_FALSE(PGApi::handleOpenURL(app + "oauth?code=\xff", &delegate_));
    EXPECT_FALSE(PGApi::handleOpenURL(app + "oauth?code=" + std::string(3u << 20, 'c'), &delegate_));
    EXPECT_EQ(delegate_.responses.size(), delivered);
}

TEST_F(PGApiTest, TheLargestCardAnswerTheMessengerMaySendIsRead) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    // 40 cards with the longest id and extension allowed, every character a three-byte one.
    std::string star;
    for (unsigned char byte : std::string("星"))
        star += "%" + std::string(1, "0123456789ABCDEF"[byte >> 4]) + std::string(1, "0123456789ABCDEF"[byte & 15]);
    std::string id, ext;
    for (int i = 0; i < 1024; ++i) id += star;
    for (int i = 0; i < 2048; ++i) ext += star;
    std::string cards = "%5B";
    for (int card = 0; card < 40; ++card) {
        if (card) cards += "%2C";
        cards += "%7B%22card_id%22%3A%22" + id + "%22%2C%22card_ext%22%3A%22" + ext + "%22%2C%22is_succ%22%3A1%7D";
    }
    cards += "%5D";
    const std::string url = std::string(kAppId) + "://cardPackage/?errCode=0&addCardInfo=" + cards;
    ASSERT_GT(url.size(), 1000000u);
    ASSERT_TRUE(PGApi::handleOpenURL(url, &delegate_));
    auto added = delegate_.lastResponse<AddCardToPGCardPackageResp>();
    ASSERT_TRUE(added);
    ASSERT_EQ(added->cardAry.size(), 40u);
    EXPECT_EQ(added->cardAry[39].extMsg.size(), 2048u * 3);
}

TEST_F(PGApiTest, PaymentAndCardAnswersAreRead) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    const std::string app = std::string(kAppId) + "://";
    ASSERT_TRUE(PGApi::handleOpenURL(app + "pay/?returnKey=k&ret=-2&notifyStr=n", &delegate_));
    auto paid = delegate_.lastResponse<PayResp>();
    ASSERT_TRUE(paid);
    EXPECT_EQ(paid->returnKey, "k");
    EXPECT_EQ(paid->errCode, -2);
    EXPECT_EQ(paid->errStr, "n");

    const std::string cards =
        "%5B%7B%22card_id%22%3A%22c1%22%2C%22card_ext%22%3A%22e%22%2C%22is_succ%22%3A%221%22%7D%2C"
        "%7B%22card_id%22%3A%22%22%7D%2C3%5D";
    ASSERT_TRUE(PGApi::handleOpenURL(app + "cardPackage/?errCode=0&addCardInfo=" + cards, &delegate_));
    auto added = delegate_.lastResponse<AddCardToPGCardPackageResp>();
    ASSERT_TRUE(added);
    ASSERT_EQ(added->cardAry.size(), 1u) << "an empty id and a non-object are dropped";
    EXPECT_EQ(added->cardAry[0].cardId, "c1");
    EXPECT_EQ(added->cardAry[0].extMsg, "e");
    EXPECT_EQ(added->cardAry[0].cardState, 1u);

    ASSERT_TRUE(PGApi::handleOpenURL(app + "cardPackage/?errCode=5&addCardInfo=%7B%7D", &delegate_));
    EXPECT_TRUE(delegate_.lastResponse<AddCardToPGCardPackageResp>()->cardAry.empty());

    // Nested far too deep, raw or escaped: an empty card list, as for any list that is no array.
    std::string escaped;
    for (int i = 0; i < 1100; ++i) escaped += "%5B";
    for (const std::string& deep : {std::string(1100, '['), escaped}) {
        ASSERT_TRUE(PGApi::handleOpenURL(app + "cardPackage/x?errCode=7&addCardInfo=" + deep, &delegate_));
        auto refused = delegate_.lastResponse<AddCardToPGCardPackageResp>();
        EXPECT_EQ(refused->errCode, 7);
        EXPECT_TRUE(refused->cardAry.empty());
    }

    // Card information that does not unescape gives no cards; the answer still arrives.
    ASSERT_TRUE(PGApi::handleOpenURL(app + "cardPackage/?errCode=3&addCardInfo=%5B50%%5D", &delegate_));
    EXPECT_EQ(delegate_.lastResponse<AddCardToPGCardPackageResp>()->errCode, 3);
    EXPECT_TRUE(delegate_.lastResponse<AddCardToPGCardPackageResp>()->cardAry.empty());
}

TEST_F(PGApiTest, ExchangesAreDeliveredByTheirCommand) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    const std::string app = std::string(kAppId) + "://pigeon/sendresp/?";

    AppCommunicateData answer;
    ASSERT_TRUE(answer.RespToData(SendMessageToPGResp()));
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(answer, kAppId));
    ASSERT_TRUE(PGApi::handleOpenURL(app, &delegate_));
    EXPECT_TRUE(delegate_.lastResponse<SendMessageToPGResp>());
    EXPECT_FALSE(PGApi::handleOpenURL(app, &delegate_)) << "an exchange is delivered once";

    AppCommunicateData unknown;
    unknown.MakeCommand(1070);
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(unknown, kAppId));
    const std::size_t delivered = delegate_.responses.size();
    EXPECT_TRUE(PGApi::handleOpenURL(app, &delegate_));
    EXPECT_EQ(delegate_.responses.size(), delivered);
    EXPECT_TRUE(delegate_.requests.empty());

    EXPECT_FALSE(PGApi::handleOpenURL("otherapp://pigeon/sendresp/?", &delegate_));
}

// A URL the game did not make is quoted with its control characters escaped: it cannot split the line,
// nor reach the terminal as a command.
TEST_F(PGApiTest, AUrlOfAnotherSchemeIsQuotedWithItsControlCharactersEscaped) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PGApi::handleOpenURL("otherapp://\033[2J\nx\xc2\x9b", &delegate_));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "PGApi: a URL of another scheme is ignored: \"otherapp://\\x1b[2J\\x0ax\\xc2\\x9b\"\n");
}

TEST_F(PGApiTest, AShareTravelsToTheStandInPeerAndItsAnswerComesBack) {
    ASSERT_TRUE(PGApi::registerApp(kAppId));
    kite::test::SchemeHandlers& handlers = kite::test::SchemeHandlers::instance();
    kite::test::RecordPipe peerRecord(handlers.path() + "/peer-" + std::to_string(::getpid()));
    handlers.registerHandler("pigeon", std::string(STARGRID_PIGEON_PEER) + " " + peerRecord.path());
    handlers.registerHandler(kAppId, std::string(STARGRID_URL_RECORDER) + " " + pipe_.path());
    ASSERT_TRUE(kite::test::SchemeHandlers::waitUntil(
        [] { return PGApi::isPGAppInstalled() && platform::canOpenUrl(std::string(kAppId) + "://"); }));

    SendMessageToPGReq share;
    share.scene = 1;
    share.message = PGMediaMessage::message();
    share.message->title = "消灭星星";
    auto page = PGWebpageObject::object();
    page->webpageUrl = "https://example.org/share?cellphone=138";
    share.message->mediaObject = page;
    ASSERT_TRUE(PGApi::sendReq(&share));

    const std::string seen = peerRecord.read(std::chrono::seconds(10)).value_or("");
    EXPECT_NE(seen.find("scene=1\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("mediaUrl=https://example.org/share?cellphone=138\n"), std::string::npos) << seen;
    const std::string back = nextOpenedUrl();
    ASSERT_TRUE(PGApi::handleOpenURL(back, &delegate_)) << back;
    EXPECT_TRUE(delegate_.lastResponse<SendMessageToPGResp>());
}

}  // namespace
}  // namespace pigeon
