// The web window's navigation rules and callbacks, on the recording backend.
#include "platform/WebWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

class WebWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        WebWindow::setAppUrlHandler("pgapp", [this](const std::string& url) { appUrls_.push_back(url); });
        page_.setDidFinishLoading([this](const std::string& url) { finished_.push_back(url); });
        page_.setDidFailLoading([this](const std::string& url) { failed_.push_back(url); });
    }
    void TearDown() override { WebWindow::setAppUrlHandler("", nullptr); }

    RecordingWebWindow page_;
    std::vector<std::string> appUrls_, finished_, failed_;
};

TEST_F(WebWindowTest, OnlyWebPagesLoadAndTheGamesOwnSchemeGoesToItsHandler) {
    EXPECT_TRUE(page_.navigate("https://example.org/a"));
    EXPECT_TRUE(page_.navigate("HTTP://example.org/b"));
    EXPECT_TRUE(page_.navigate("about:blank"));
    EXPECT_FALSE(page_.navigate("file:///etc/passwd"));
    EXPECT_FALSE(page_.navigate("javascript:alert(1)"));
    EXPECT_FALSE(page_.navigate("pigeon://app/x/sendreq/?"));
    EXPECT_FALSE(page_.navigate("no scheme at all"));
    EXPECT_FALSE(page_.navigate("PGapp://wapoauth?ticket=1"));
    EXPECT_EQ(page_.loadedUrls(),
              (std::vector<std::string>{"https://example.org/a", "HTTP://example.org/b", "about:blank"}));
    EXPECT_EQ(appUrls_, (std::vector<std::string>{"PGapp://wapoauth?ticket=1"}));
}

TEST_F(WebWindowTest, TheShouldStartCallbackDecidesAndScriptCallsNeverLoad) {
    std::vector<std::string> asked, scriptCalls;
    page_.setShouldStartLoading([&](const std::string& url) {
        asked.push_back(url);
        return url.find("blocked") == std::string::npos;
    });
    page_.setOnJsCallback([&](const std::string& url) { scriptCalls.push_back(url); });
    EXPECT_FALSE(page_.navigate("jsbridge://call?x=1")) << "without a script scheme it is just refused";
    page_.setJavascriptInterfaceScheme("jsbridge");
    EXPECT_FALSE(page_.navigate("jsbridge://call?x=1"));
    EXPECT_FALSE(page_.navigate("https://example.org/blocked"));
    page_.loadUrl("https://example.org/open");
    EXPECT_EQ(asked, (std::vector<std::string>{"https://example.org/blocked", "https://example.org/open"}));
    EXPECT_EQ(scriptCalls, (std::vector<std::string>{"jsbridge://call?x=1"}));
    EXPECT_EQ(page_.loadedUrls(), (std::vector<std::string>{"https://example.org/open"}));
}

TEST_F(WebWindowTest, AFailureWithoutAnAddressReportsNothing) {
    page_.reportFailed("");
    page_.reportFailed("https://example.org/down");
    page_.reportFinished("https://example.org/up");
    EXPECT_EQ(failed_, (std::vector<std::string>{"https://example.org/down"}));
    EXPECT_EQ(finished_, (std::vector<std::string>{"https://example.org/up"}));
}

}  // namespace
}  // namespace platform
