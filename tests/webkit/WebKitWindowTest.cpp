// Real pages in WebKitGTK, under a virtual display: loads from a loopback
// server finish, unreachable addresses fail, and the navigation rules hold
// for what a page's scripts do.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/WebWindow.h"
#include "PumpWebEvents.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryFolder.h"

namespace platform {
namespace {

class WebKitWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
        server_.server().Get("/page", [this](const httplib::Request&, httplib::Response& response) {
            ++pageHits_;
            response.set_content("<html><body>page</body></html>", "text/html");
        });
        server_.server().Get("/blocked", [this](const httplib::Request&, httplib::Response& response) {
            ++blockedHits_;
            response.set_content("no", "text/plain");
        });
        // WebKit opens spare connections; each is closed after one request so
        // that none holds a serving thread.
        server_.server().set_keep_alive_max_count(1);
        ASSERT_TRUE(server_.start());
        WebWindow::setAppUrlHandler("pgapp", [this](const std::string& url) { appUrls_.push_back(url); });
        page_ = WebWindow::create();
        ASSERT_EQ(dynamic_cast<RecordingWebWindow*>(page_.get()), nullptr) << "WebKit should be in use";
        page_->setFrame(10, 20, 320, 240);
        page_->setDidFinishLoading([this](const std::string& url) { finished_.push_back(url); });
        page_->setDidFailLoading([this](const std::string& url) { failed_.push_back(url); });
    }
    void TearDown() override {
        page_.reset();
        WebWindow::setAppUrlHandler("", nullptr);
    }

    kite::test::LoopbackHttpServer server_;
    std::unique_ptr<WebWindow> page_;
    std::atomic<int> pageHits_{0}, blockedHits_{0};
    std::vector<std::string> finished_, failed_, appUrls_;
};

TEST_F(WebKitWindowTest, APageLoadsAndReportsItsFinish) {
    page_->loadUrl(server_.url("/page"));
    ASSERT_TRUE(pumpUntil([&] { return !finished_.empty(); }));
    EXPECT_EQ(finished_[0], server_.url("/page"));
    EXPECT_TRUE(failed_.empty());
    EXPECT_EQ(pageHits_.load(), 1);
}

TEST_F(WebKitWindowTest, AnUnreachableAddressReportsItsFailureOnly) {
    // A port nothing listens on: the server's, once it is gone.
    const std::string address = server_.url("/page");
    server_.server().stop();
    page_->loadUrl(address);
    ASSERT_TRUE(pumpUntil([&] { return !failed_.empty(); }));
    EXPECT_EQ(failed_[0], address);
    EXPECT_TRUE(finished_.empty());
}

TEST_F(WebKitWindowTest, ScriptsCannotLeaveTheRulesAndCallsReachTheirCallbacks) {
    std::vector<std::string> scriptCalls;
    page_->setJavascriptInterfaceScheme("jsbridge");
    page_->setOnJsCallback([&](const std::string& url) { scriptCalls.push_back(url); });
    page_->setShouldStartLoading([](const std::string& url) { return url.find("/blocked") == std::string::npos; });
    page_->loadUrl(server_.url("/blocked"));
    page_->loadUrl(server_.url("/page"));
    ASSERT_TRUE(pumpUntil([&] { return !finished_.empty(); }));
    EXPECT_EQ(blockedHits_.load(), 0);

    page_->evaluateJs("location.href = 'jsbridge://call?x=1'");
    ASSERT_TRUE(pumpUntil([&] { return !scriptCalls.empty(); }));
    EXPECT_EQ(scriptCalls[0], "jsbridge://call?x=1");
    page_->evaluateJs("location.href = 'pgapp://wapoauth?ticket=2'");
    ASSERT_TRUE(pumpUntil([&] { return !appUrls_.empty(); }));
    EXPECT_EQ(appUrls_[0], "pgapp://wapoauth?ticket=2");

    // The page stays where it was: a refused scheme neither loads nor fails.
    page_->evaluateJs("location.href = 'file:///etc/hostname'");
    page_->loadUrl(server_.url("/page"));
    ASSERT_TRUE(pumpUntil([&] { return finished_.size() == 2; }));
    EXPECT_TRUE(failed_.empty());
    EXPECT_EQ(finished_[1], server_.url("/page"));
}

TEST_F(WebKitWindowTest, TheNavigationBarKeepsItsButtonAndItsAction) {
    int presses = 0;
    page_->setNavigationBar("信鸽登录");
    page_->setLeftBarButton("取消", [&] { ++presses; });
    page_->removeLeftBarButton();
    page_->setLeftBarButton("取消", [&] { ++presses; });
    page_->setVisible(false);
    page_->setVisible(true);
    page_->loadUrl(server_.url("/page"));
    ASSERT_TRUE(pumpUntil([&] { return !finished_.empty(); }));
    EXPECT_EQ(presses, 0);
}

TEST_F(WebKitWindowTest, LocalFilesAndBytesWithALocalBaseLoadAndOpenLocalLinks) {
    kite::test::TemporaryFolder folder("web pages");
    const std::string first = folder.put("first page.html", "<html><body>first</body></html>");
    folder.put("second.html", "<html><body>second</body></html>");
    page_->loadFile(first);
    ASSERT_TRUE(pumpUntil([&] { return !finished_.empty(); }));
    EXPECT_EQ(finished_[0], WebWindow::fileUrlForPath(first));

    const std::string base = WebWindow::fileUrlForPath(folder.path()) + "/";
    page_->loadHtmlString("<html><body><a id=next href='second.html'>next</a></body></html>", base);
    ASSERT_TRUE(pumpUntil([&] { return finished_.size() == 2; }));
    page_->evaluateJs("document.getElementById('next').click()");
    ASSERT_TRUE(pumpUntil([&] { return finished_.size() == 3; }));
    EXPECT_EQ(finished_[2], base + "second.html");
    EXPECT_TRUE(failed_.empty());
}

}  // namespace
}  // namespace platform
