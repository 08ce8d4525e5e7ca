// The web view node: its page follows the node on screen, shows and hides with
// it, and reports to the node's callbacks; without a display the page is recorded.
#include "kite/widgets/WebView.h"

#include <stdlib.h>

#include <string>
#include <vector>

#include "WidgetTestSupport.h"
#include "kite/widgets/WebViewImpl.h"
#include "platform/WebWindow.h"

namespace kite {
namespace test {
namespace {

using experimental::ui::WebView;

class WebViewTest : public WidgetTest {
protected:
    void SetUp() override {
        // No display: pages are recorded.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        WidgetTest::SetUp();
        if (!director) GTEST_SKIP() << "no GL context";
    }

    static platform::RecordingWebWindow* pageOf(WebView* view) {
        return dynamic_cast<platform::RecordingWebWindow*>(view->getImpl()->getWindow());
    }
};

TEST_F(WebViewTest, APageLoadsAtOnceAndFollowsTheNodeWhenItsTransformChanges) {
    WebView* view = WebView::create();
    ASSERT_NE(view, nullptr);
    view->setAnchorPoint(Vec2(0, 0));
    view->setContentSize(Size(100, 80));
    view->setPosition(Vec2(50, 60));
    view->loadURL("https://example.org/activity");
    ASSERT_NE(pageOf(view), nullptr) << "a load makes the page before any frame";
    EXPECT_EQ(pageOf(view)->loadedUrls(), (std::vector<std::string>{"https://example.org/activity"}));
    EXPECT_TRUE(pageOf(view)->frames().empty());

    scene->addChild(view);
    frame();
    ASSERT_EQ(pageOf(view)->frames().size(), 1u);
    platform::RecordingWebWindow::Frame placed = pageOf(view)->frames().back();
    // The window's frame is measured from its top left: the node's top edge is 140 of 400 points up.
    EXPECT_FLOAT_EQ(placed.x, 50);
    EXPECT_FLOAT_EQ(placed.y, 260);
    EXPECT_FLOAT_EQ(placed.width, 100);
    EXPECT_FLOAT_EQ(placed.height, 80);

    frame();
    EXPECT_EQ(pageOf(view)->frames().size(), 1u) << "an unchanged node does not move the page";
    view->setPosition(Vec2(10, 20));
    frame();
    ASSERT_EQ(pageOf(view)->frames().size(), 2u);
    EXPECT_FLOAT_EQ(pageOf(view)->frames().back().x, 10);
    EXPECT_FLOAT_EQ(pageOf(view)->frames().back().y, 300);
}

TEST_F(WebViewTest, HidingTheNodeHidesThePage) {
    WebView* view = WebView::create();
    view->loadURL("https://example.org/");
    view->setVisible(false);
    EXPECT_FALSE(pageOf(view)->isVisible());
    view->setVisible(true);
    EXPECT_TRUE(pageOf(view)->isVisible());
}

TEST_F(WebViewTest, TheCallbacksHearThePageAndAClonePassesThemOn) {
    std::vector<std::string> heard;
    WebView* view = WebView::create();
    view->setOnShouldStartLoading([&](WebView* sender, const std::string& url) {
        heard.push_back("start " + url + (sender == view ? "" : " (other sender)"));
        return url.find("blocked") == std::string::npos;
    });
    view->setOnDidFinishLoading([&](WebView*, const std::string& url) { heard.push_back("finish " + url); });
    view->setOnDidFailLoading([&](WebView*, const std::string& url) { heard.push_back("fail " + url); });
    view->loadURL("https://example.org/blocked");
    view->loadURL("https://example.org/open");
    pageOf(view)->reportFinished("https://example.org/open");
    pageOf(view)->reportFailed("https://example.org/down");
    EXPECT_EQ(heard, (std::vector<std::string>{"start https://example.org/blocked", "start https://example.org/open",
                                               "finish https://example.org/open", "fail https://example.org/down"}));
    EXPECT_EQ(pageOf(view)->loadedUrls(), (std::vector<std::string>{"https://example.org/open"}));

    heard.clear();
    auto* copy = dynamic_cast<WebView*>(view->clone());
    ASSERT_NE(copy, nullptr);
    copy->loadURL("https://example.org/copy");
    EXPECT_NE(pageOf(copy), pageOf(view)) << "a clone has a page of its own";
    pageOf(copy)->reportFinished("https://example.org/copy");
    EXPECT_EQ(heard, (std::vector<std::string>{"start https://example.org/copy (other sender)",
                                               "finish https://example.org/copy"}));
}

TEST_F(WebViewTest, ABaseUrlIsAFolderPathUnderTheResourcesUnlessAbsolute) {
    const char* saved = getenv("STARGRID_RESOURCES");
    const std::string resources = saved ? saved : "";
    setenv("STARGRID_RESOURCES", "/games/star grid/Resources", 1);
    using Impl = experimental::ui::WebViewImpl;
    EXPECT_EQ(Impl::resolveBaseUrl("help pages"), "/games/star%20grid/Resources/help%20pages/");
    EXPECT_EQ(Impl::resolveBaseUrl(""), "/games/star%20grid/Resources/");
    EXPECT_EQ(Impl::resolveBaseUrl("/srv/www"), "/srv/www/");
    EXPECT_EQ(Impl::resolveBaseUrl("/srv/my  pages/"), "/srv/my%20%20pages/");
    if (saved) {
        setenv("STARGRID_RESOURCES", resources.c_str(), 1);
    } else {
        unsetenv("STARGRID_RESOURCES");
    }
}

TEST_F(WebViewTest, AFileMakesThePageWhileBytesNeedOneAlready) {
    WebView* view = WebView::create();
    experimental::ui::WebViewImpl* impl = view->getImpl();
    impl->loadData("<p>early</p>", "text/html", "UTF-8", "/srv/help");
    impl->loadHTMLString("<p>early</p>", "/srv/help");
    EXPECT_EQ(impl->getWindow(), nullptr) << "bytes alone make no page";

    impl->loadFile("/srv/help/index.html");
    ASSERT_NE(pageOf(view), nullptr);
    EXPECT_EQ(pageOf(view)->loadedUrls(), (std::vector<std::string>{"file:///srv/help/index.html"}));
    impl->loadData("plain", "text/plain", "UTF-8", "/srv/help");
    impl->loadHTMLString("<p>later</p>", "/srv/my help/");
    ASSERT_EQ(pageOf(view)->loadedData().size(), 2u);
    EXPECT_EQ(pageOf(view)->loadedData()[0].mimeType, "text/plain");
    EXPECT_EQ(pageOf(view)->loadedData()[0].baseUrl, "file:///srv/help/");
    EXPECT_EQ(pageOf(view)->loadedData()[1].data, "<p>later</p>");
    EXPECT_EQ(pageOf(view)->loadedData()[1].mimeType, "text/html");
    EXPECT_EQ(pageOf(view)->loadedData()[1].baseUrl, "file:///srv/my%20help/");
}

}  // namespace
}  // namespace test
}  // namespace kite
