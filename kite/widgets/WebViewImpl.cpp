// The web view's platform half.
#include "kite/widgets/WebViewImpl.h"

#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/widgets/WebView.h"
#include "platform/GLContext.h"
#include "platform/MainBundle.h"

namespace kite {
namespace experimental {
namespace ui {
namespace {

// The game window on the screen, in its own points.
platform::WebWindow::HostFrame gameWindowFrame() {
    platform::WebWindow::HostFrame frame;
    GLView* view = Director::getInstance()->getOpenGLView();
    auto* host = view ? static_cast<KTEAGLView*>(view->getEAGLView()) : nullptr;
    platform::GLContext* context = host ? host->getContext() : nullptr;
    if (!context) return frame;
    context->windowPosition(frame.x, frame.y);
    frame.width = context->windowWidth();
    frame.height = context->windowHeight();
    return frame;
}

}  // namespace

WebViewImpl::WebViewImpl(WebView* webView) : webView(webView) {}

WebViewImpl::~WebViewImpl() = default;

platform::WebWindow& WebViewImpl::setupWebView() {
    if (window) return *window;
    platform::WebWindow::setHostFrame(gameWindowFrame);
    window = platform::WebWindow::create();
    WebView* node = webView;
    window->setShouldStartLoading([node](const std::string& url) {
        return !node->onShouldStartLoading || node->onShouldStartLoading(node, url);
    });
    window->setDidFinishLoading([node](const std::string& url) {
        if (node->onDidFinishLoading) node->onDidFinishLoading(node, url);
    });
    window->setDidFailLoading([node](const std::string& url) {
        if (node->onDidFailLoading) node->onDidFailLoading(node, url);
    });
    window->setOnJsCallback([node](const std::string& url) {
        if (node->onJSCallback) node->onJSCallback(node, url);
    });
    return *window;
}

void WebViewImpl::loadURL(const std::string& url) { setupWebView().loadUrl(url); }

void WebViewImpl::loadFile(const std::string& path) { setupWebView().loadFile(path); }

void WebViewImpl::loadData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                           const std::string& baseUrl) {
    if (window) window->loadData(data, mimeType, encoding, "file://" + resolveBaseUrl(baseUrl));
}

void WebViewImpl::loadHTMLString(const std::string& html, const std::string& baseUrl) {
    if (window) window->loadHtmlString(html, "file://" + resolveBaseUrl(baseUrl));
}

std::string WebViewImpl::resolveBaseUrl(const std::string& baseUrl) {
    std::string resolved =
        !baseUrl.empty() && baseUrl[0] == '/' ? baseUrl : platform::mainBundlePath() + "/" + baseUrl;
    for (std::string::size_type space; (space = resolved.find(' ')) != std::string::npos;)
        resolved.replace(space, 1, "%20");
    if (resolved.empty() || resolved.back() != '/') resolved += '/';
    return resolved;
}

void WebViewImpl::setScalesPageToFit(bool scales) {
    if (window) window->setScalesPageToFit(scales);
}

void WebViewImpl::setVisible(bool visible) {
    if (window) window->setVisible(visible);
}

void WebViewImpl::draw(Renderer*, const Mat4&, uint32_t flags) {
    if (!(flags & FLAGS_TRANSFORM_DIRTY)) return;
    Director* director = Director::getInstance();
    GLView* view = director->getOpenGLView();
    if (!view) return;
    const Size& frameSize = view->getFrameSize();
    const double scale = view->getContentScaleFactor();
    const double kx = view->getScaleX();
    const double ky = view->getScaleY();
    const Size& winSize = director->getWinSize();
    const Size& content = webView->getContentSize();
    const Vec2 lb = webView->convertToWorldSpace(Vec2(0, 0));
    const Vec2 rt = webView->convertToWorldSpace(Vec2(content.width, content.height));
    const double x = (frameSize.width / 2.0 + kx * (lb.x - winSize.width / 2.0)) / scale;
    const double y = (frameSize.height / 2.0 - ky * (rt.y - winSize.height / 2.0)) / scale;
    const double width = (rt.x - lb.x) * kx / scale;
    const double height = (rt.y - lb.y) * ky / scale;
    setupWebView().setFrame(float(x), float(y), float(width), float(height));
}

}  // namespace ui
}  // namespace experimental
}  // namespace kite
