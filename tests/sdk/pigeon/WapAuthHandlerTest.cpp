// The web sign-in when the messenger is missing: its pages, its bar button and its endings.
#include "sdk/pigeon/WapAuthHandler.h"

#include <stdlib.h>

#include <cstdlib>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PigeonFixture.h"
#include "sdk/pigeon/PGApi.h"

namespace pigeon {
namespace {

constexpr char kAppId[] = "pgwapauth0000000001";

class AuthDelegate : public PGApiDelegate {
public:
    void onResp(const std::shared_ptr<BaseResp>& response) override {
        if (auto auth = std::dynamic_pointer_cast<SendAuthResp>(response)) answers.push_back(*auth);
    }
    std::vector<SendAuthResp> answers;
};

class WapAuthHandlerTest : public test::PigeonTest {
protected:
    void SetUp() override {
        PigeonTest::SetUp();
        // No display: the pages are recorded, not shown.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("STARGRID_PIGEON_WEB_ORIGIN", "https://signin.test", 1);
        setenv("STARGRID_RESOURCES", runtime_.path().c_str(), 1);
        PGApi::resetForTesting();
        ASSERT_TRUE(PGApi::registerApp(kAppId));
        // Earlier tests of this process may have left a messenger registered.
        ASSERT_EQ(std::system(STARGRID_PIGEON_STANDIN " --uninstall"), 0);
        ASSERT_TRUE(kite::test::SchemeHandlers::waitUntil([] { return !PGApi::isPGAppInstalled(); }));
        ::srandom(7);
    }
    void TearDown() override {
        handler().endWapAuth();
        PGApi::resetForTesting();
        unsetenv("STARGRID_PIGEON_WEB_ORIGIN");
        unsetenv("STARGRID_RESOURCES");
        PigeonTest::TearDown();
    }

    static WapAuthHandler& handler() { return WapAuthHandler::shareWapAuthHandlerInstance(); }
    static platform::RecordingWebWindow& page() {
        return dynamic_cast<platform::RecordingWebWindow&>(handler().webViewController()->webView());
    }
    static std::string uid() {
        const std::string url = page().loadedUrls().front();
        return url.substr(url.find("&uid=") + 5);
    }
    bool beginSignIn() {
        SendAuthReq request;
        request.scope = "snsapi_userinfo";
        request.state = "st";
        return PGApi::sendAuthReq(&request, &delegate_);
    }

    AuthDelegate delegate_;
};

TEST_F(WapAuthHandlerTest, WithoutTheMessengerTheMobileCheckPageOpens) {
    ASSERT_TRUE(beginSignIn());
    ASSERT_TRUE(handler().isRunning());
    ASSERT_EQ(page().loadedUrls().size(), 1u);
    EXPECT_EQ(page().loadedUrls()[0],
              "https://signin.test/connect/mobilecheck?appid=" + std::string(kAppId) + "&uid=" + uid());
    EXPECT_FALSE(uid().empty());
    EXPECT_EQ(page().title(), "信鸽登录");
    EXPECT_EQ(page().leftBarButtonText(), "取消");
}

TEST_F(WapAuthHandlerTest, TheHandBackOpensTheSmsPageAndTheAnswerEndsTheSignIn) {
    const std::string app = std::string(kAppId) + "://";
    EXPECT_FALSE(PGApi::handleOpenURL(app + "wapoauth?ticket=1", &delegate_)) << "no sign-in runs";
    ASSERT_TRUE(beginSignIn());
    EXPECT_FALSE(handler().handleWapOAuthOpenUrl(app + "wapoauth?"));
    EXPECT_FALSE(handler().handleWapOAuthOpenUrl("other://wapoauth?ticket=1"));
    ASSERT_TRUE(handler().handleWapOAuthOpenUrl(app + "wapoauth?ticket=50%")) << "the query goes on as it came";
    ASSERT_TRUE(PGApi::handleOpenURL(app + "wapoauth?ticket=1&phone=2", &delegate_));
    ASSERT_EQ(page().loadedUrls().size(), 3u);
    EXPECT_NE(page().loadedUrls()[1].find("&ticket=50%"), std::string::npos);
    EXPECT_EQ(page().loadedUrls()[2], "https://signin.test/connect/smsauthorize?appid=" + std::string(kAppId) +
                                          "&redirect_uri=" + kAppId +
                                          "%3A%2F%2Foauth&response_type=code"
                                          "&scope=snsapi_userinfo&state=st&uid=" +
                                          uid() + "&ticket=1&phone=2");

    ASSERT_TRUE(PGApi::handleOpenURL(app + "oauth?code=c0de&state=st", &delegate_));
    EXPECT_FALSE(handler().isRunning());
    EXPECT_EQ(handler().webViewController(), nullptr);
    ASSERT_EQ(delegate_.answers.size(), 1u);
    EXPECT_EQ(delegate_.answers[0].code, "c0de");
}

TEST_F(WapAuthHandlerTest, APageMarkedHideTakesTheCancelButtonAwayUntilTheNextPage) {
    ASSERT_TRUE(beginSignIn());
    ASSERT_TRUE(page().navigate("https://signin.test/step#hide"));
    EXPECT_EQ(page().leftBarButtonText(), "");
    ASSERT_TRUE(page().navigate("https://signin.test/next"));
    EXPECT_EQ(page().leftBarButtonText(), "取消");
}

TEST_F(WapAuthHandlerTest, CancellingAnswersMinusTwoAndANewSignInReplacesTheOld) {
    ASSERT_TRUE(beginSignIn());
    ASSERT_TRUE(beginSignIn());
    EXPECT_TRUE(handler().isRunning());
    EXPECT_EQ(page().loadedUrls().size(), 1u) << "the new sign-in has a screen of its own";

    page().pressLeftBarButton();
    EXPECT_FALSE(handler().isRunning());
    EXPECT_EQ(handler().webViewController(), nullptr);
    ASSERT_EQ(delegate_.answers.size(), 1u);
    EXPECT_EQ(delegate_.answers[0].errCode, -2);
    EXPECT_FALSE(handler().endWapAuth());

    // With a delegate that takes no answers, cancelling only ends the screen.
    PGApiDelegate silent;
    SendAuthReq request;
    request.scope = "s";
    ASSERT_TRUE(PGApi::sendAuthReq(&request, &silent));
    page().pressLeftBarButton();
    EXPECT_FALSE(handler().isRunning());
}

TEST(WapAuthHandlerQuery, PagesAreReadByTheMessengersRule) {
    const auto params = WapAuthHandler::parseURLParams("code=a=b&state=50%&lone&code2=&state=last");
    ASSERT_TRUE(params);
    EXPECT_EQ(*params, (std::map<std::string, std::string>{{"code", "a=b"}, {"code2", ""}, {"state", "last"}}));
    EXPECT_EQ(WapAuthHandler::parseURLParams(""), std::make_optional(std::map<std::string, std::string>()));
}

}  // namespace
}  // namespace pigeon
