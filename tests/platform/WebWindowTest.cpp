// The web window's navigation rules and callbacks, on the recording backend.
#include "platform/WebWindow.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/ScopedLocale.h"

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

// Schemes are lowered in ASCII: under a Turkish locale std::tolower leaves 'I' as it is.
TEST_F(WebWindowTest, SchemesAreLoweredInAsciiUnderATurkishLocale) {
    kite::test::TurkishCase turkish;
    ASSERT_TRUE(turkish.active());
    std::vector<std::string> scriptCalls;
    page_.setOnJsCallback([&](const std::string& url) { scriptCalls.push_back(url); });
    page_.setJavascriptInterfaceScheme("jsbridge");
    EXPECT_FALSE(page_.navigate("JSBRIDGE://call?x=1"));
    EXPECT_EQ(scriptCalls, std::vector<std::string>{"JSBRIDGE://call?x=1"});
    EXPECT_TRUE(WebWindow::isLocalFileUrl("FILE:///tmp/a.html"));
}

TEST_F(WebWindowTest, AFailureWithoutAnAddressReportsNothing) {
    page_.reportFailed("");
    page_.reportFailed("https://example.org/down");
    page_.reportFinished("https://example.org/up");
    EXPECT_EQ(failed_, (std::vector<std::string>{"https://example.org/down"}));
    EXPECT_EQ(finished_, (std::vector<std::string>{"https://example.org/up"}));
}

TEST_F(WebWindowTest, LocalFilesOpenWhenTheGameAsksOrFromALocalPageButNeverFromTheWeb) {
    EXPECT_FALSE(page_.navigate("file:///etc/passwd")) << "no page asked for it";
    page_.loadFile("/tmp/help pages/a#1.html");
    page_.loadUrl("file://files.example/share/x.html");  // another machine's
    page_.loadUrl("FILE://localhost/tmp/b.html");
    EXPECT_EQ(page_.loadedUrls(),
              (std::vector<std::string>{"file:///tmp/help%20pages/a%231.html", "FILE://localhost/tmp/b.html"}));
    // A local page may open local files, never another machine's.
    EXPECT_TRUE(page_.navigate("file:///tmp/help%20pages/next.html"));
    EXPECT_FALSE(page_.navigate("file://files.example/share/x.html"));
    // Once a web page shows, no local file opens from it.
    EXPECT_TRUE(page_.navigate("https://example.org/"));
    EXPECT_FALSE(page_.navigate("file:///etc/passwd"));
    EXPECT_FALSE(page_.navigate("file:///tmp/b.html"));
    EXPECT_EQ(page_.loadedUrls().back(), "https://example.org/");
}

TEST_F(WebWindowTest, TheShouldStartCallbackDecidesOnLocalFilesToo) {
    page_.setShouldStartLoading([](const std::string& url) { return url.find("secret") == std::string::npos; });
    page_.loadFile("/tmp/secret.html");
    page_.loadFile("/tmp/open.html");
    EXPECT_EQ(page_.loadedUrls(), (std::vector<std::string>{"file:///tmp/open.html"}));
}

TEST_F(WebWindowTest, APathIsMadeAbsoluteAndEscapedIntoAFileUrl) {
    char folder[4096];
    ASSERT_NE(getcwd(folder, sizeof(folder)), nullptr);
    EXPECT_EQ(WebWindow::fileUrlForPath("page.html"), "file://" + std::string(folder) + "/page.html");
    EXPECT_EQ(WebWindow::fileUrlForPath("/a/帮助 ?.html"), "file:///a/%E5%B8%AE%E5%8A%A9%20%3F.html");
    EXPECT_TRUE(WebWindow::isLocalFileUrl("file:///a"));
    EXPECT_TRUE(WebWindow::isLocalFileUrl("file:/a"));
    EXPECT_TRUE(WebWindow::isLocalFileUrl("file://LocalHost/a"));
    EXPECT_FALSE(WebWindow::isLocalFileUrl("file://host/a"));
    EXPECT_FALSE(WebWindow::isLocalFileUrl("https://localhost/a"));
}

TEST_F(WebWindowTest, BytesLoadWithTheirTypeEncodingAndBase) {
    page_.loadData("plain text", "text/plain", "ISO-8859-1", "file:///res/help/");
    page_.loadHtmlString("<p>x</p>", "https://example.org/base/");
    page_.loadData("<p>y</p>", "text/html", "UTF-8", "file://elsewhere.example/res/");
    ASSERT_EQ(page_.loadedData().size(), 2u);
    const RecordingWebWindow::LoadedData& text = page_.loadedData()[0];
    EXPECT_EQ(text.data, "plain text");
    EXPECT_EQ(text.mimeType, "text/plain");
    EXPECT_EQ(text.encoding, "ISO-8859-1");
    EXPECT_EQ(text.baseUrl, "file:///res/help/");
    const RecordingWebWindow::LoadedData& html = page_.loadedData()[1];
    EXPECT_EQ(html.data, "<p>x</p>");
    EXPECT_EQ(html.mimeType, "text/html");
    EXPECT_EQ(html.encoding, "UTF-8");
    EXPECT_EQ(html.baseUrl, "https://example.org/base/");
    // The page with the web base is showing: it opens no local file.
    EXPECT_FALSE(page_.navigate("file:///res/help/next.html"));
    page_.loadData("<a href=next.html>", "text/html", "UTF-8", "file:///res/help/");
    EXPECT_TRUE(page_.navigate("file:///res/help/next.html"));
}

}  // namespace
}  // namespace platform
