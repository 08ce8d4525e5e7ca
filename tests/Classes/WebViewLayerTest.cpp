// The web page screen: the page's address from the local game server, loaded in the web view.
#include "Classes/WebViewLayer.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "ServerTestSupport.h"
#include "kite/scene/Label.h"
#include "kite/widgets/WebView.h"
#include "kite/widgets/WebViewImpl.h"
#include "platform/WebWindow.h"

namespace {

using ::testing::ElementsAre;

class WebViewLayerTest : public game::test::ServerGameTest {
protected:
    void SetUp() override {
        // Headless: the page is recorded; the real one is tested under a virtual display.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        ServerGameTest::SetUp();
    }
    WebViewLayer* open(int kind) {
        WebViewLayer* screen = WebViewLayer::create();
        screen->requestPage(kind);
        scene->addChild(screen, 2);
        return screen;
    }
    // The server's next answer to the activity page's request names this address.
    void answerActivityWith(const std::string& address) {
        std::string escaped;
        for (char c : address) escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
        stargrid_server::ReplyOverride reply;
        reply.path = "/game/ActivityURL";
        reply.body = "{\"code\":\"0000\",\"bodymessage\":\"" + escaped + "\"}";
        server->overrides().push(reply);
    }
    static platform::RecordingWebWindow* page(WebViewLayer* screen) {
        platform::WebWindow* window = screen->getWebView()->getImpl()->getWindow();
        return dynamic_cast<platform::RecordingWebWindow*>(window);
    }
};

TEST_F(WebViewLayerTest, TheActivityPageOpensAtTheServersAddressAndItsFinishStopsTheIndicator) {
    WebViewLayer* screen = open(WebViewLayer::kActivityPage);
    ASSERT_TRUE(settle());
    EXPECT_THAT(requestedPaths(), ElementsAre("/game/ActivityURL"));
    EXPECT_EQ(server->requestLog().since(0)[0].query, "devicetype=1");
    ASSERT_NE(page(screen), nullptr);
    EXPECT_THAT(page(screen)->loadedUrls(), ElementsAre(server->url("/pages/activity.html")));
    ASSERT_NE(screen->getLoadingIndicator(), nullptr);

    page(screen)->reportFinished(server->url("/pages/activity.html"));
    EXPECT_EQ(screen->getLoadingIndicator(), nullptr);
    page(screen)->reportFinished(server->url("/pages/activity.html"));  // frames and redirects finish again
    EXPECT_EQ(screen->getLoadingIndicator(), nullptr);
}

TEST_F(WebViewLayerTest, AFailingPageKeepsTheIndicatorAndBadRepliesLeaveThePageBlank) {
    WebViewLayer* agreement = open(WebViewLayer::kAgreementPage);
    ASSERT_TRUE(settle());
    ASSERT_NE(page(agreement), nullptr);
    page(agreement)->reportFailed(server->url("/pages/agreement.html"));
    EXPECT_NE(agreement->getLoadingIndicator(), nullptr);

    for (const char* kind : {"malformed", "deep", "wrongtype", "empty", "error", "drop"}) {
        nextReply("/game/ActivityURL", kind);
        WebViewLayer* screen = open(WebViewLayer::kActivityPage);
        ASSERT_TRUE(settle()) << kind;
        EXPECT_TRUE(!page(screen) || page(screen)->loadedUrls().empty()) << kind;
    }
    WebViewLayer* unknown = open(7);
    ASSERT_TRUE(settle());
    EXPECT_EQ(page(unknown), nullptr);
}

TEST_F(WebViewLayerTest, OnlyAnHttpOrHttpsAddressFromTheServerIsLoaded) {
    const std::string own = server->url("/pages/activity.html");
    for (const std::string& address :
         {std::string("file:///etc/passwd"), std::string("FILE:///etc/hostname"), std::string("javascript:alert(1)"),
          std::string("data:text/html,<b>page</b>"), std::string("ftp://127.0.0.1/page"), std::string("http:///etc/passwd"),
          std::string("pg5e18c0a7d94b2f63://platformId=pigeon"), " " + own, own + "\n", std::string("activity.html")}) {
        answerActivityWith(address);
        kite::test::LogCapture log;
        WebViewLayer* screen = open(WebViewLayer::kActivityPage);
        ASSERT_TRUE(settle()) << address;
        EXPECT_TRUE(!page(screen) || page(screen)->loadedUrls().empty()) << address;
        EXPECT_NE(screen->getLoadingIndicator(), nullptr) << address;
        EXPECT_TRUE(log.contains("WebViewLayer: refused the page address of ActivityURL: not an http or https address"))
            << address;
    }
    // A secure page loads, whatever case its scheme is written in.
    const std::string secure = "HTTPS://127.0.0.1:9/activity?from=game#top";
    answerActivityWith(secure);
    WebViewLayer* screen = open(WebViewLayer::kActivityPage);
    ASSERT_TRUE(settle());
    ASSERT_NE(page(screen), nullptr);
    EXPECT_THAT(page(screen)->loadedUrls(), ElementsAre(secure));
}

TEST_F(WebViewLayerTest, GoingBackBeforeTheReplyDropsIt) {
    WebViewLayer* screen = open(WebViewLayer::kActivityPage);
    kite::RefPtr<WebViewLayer> kept(screen);
    screen->menuBackCallback();
    EXPECT_EQ(screen->getParent(), nullptr);
    ASSERT_TRUE(settle());
    EXPECT_EQ(page(screen), nullptr) << "the late reply loads nothing";
}

}  // namespace

// A loopback port that was free a moment ago.
int unusedPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(probe);
    return port;
}

// Real pages: run by the virtual-display test entry (xvfb-run), skipped elsewhere.
class WebViewLayerOnADisplayTest : public game::test::ServerGameTest {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
        ServerGameTest::SetUp();
        setUp = true;
    }
    void TearDown() override {
        if (setUp) ServerGameTest::TearDown();
    }
    // Frames, with the page's events between them, until the condition holds. A loaded machine takes long to
    // start the browser's processes: the bound only keeps a page that never comes from hanging the run.
    template <typename Condition>
    bool framesUntil(Condition condition) {
        return kite::test::stepFramesUntil(
            [&] {
                platform::WebWindow::pumpEvents();
                return condition();
            },
            std::chrono::minutes(2));
    }

    bool setUp = false;
};

TEST_F(WebViewLayerOnADisplayTest, TheActivityPageLoadsAndAFailingAddressKeepsTheIndicator) {
    WebViewLayer* screen = WebViewLayer::create();
    std::vector<std::string> failures;
    screen->requestPage(WebViewLayer::kActivityPage);
    scene->addChild(screen, 2);
    ASSERT_TRUE(framesUntil([&] { return screen->getLoadingIndicator() == nullptr; }));
    EXPECT_EQ(server->requestLog().since(0).back().path, "/pages/activity.html");

    WebViewLayer* failing = WebViewLayer::create();
    failing->getWebView()->setOnDidFailLoading(
        [&](kite::experimental::ui::WebView*, const std::string& url) { failures.push_back(url); });
    // An address where nothing listens (ports browsers refuse, like 9, would not even be tried).
    stargrid_server::ReplyOverride deadAddress;
    deadAddress.path = "/game/AgreementURL";
    deadAddress.body =
        "{\"code\":\"0000\",\"bodymessage\":\"http://127.0.0.1:" + std::to_string(unusedPort()) + "/agreement\"}";
    server->overrides().push(deadAddress);
    failing->requestPage(WebViewLayer::kAgreementPage);
    scene->addChild(failing, 2);
    ASSERT_TRUE(framesUntil([&] { return !failures.empty(); }));
    EXPECT_NE(failing->getLoadingIndicator(), nullptr);
}
