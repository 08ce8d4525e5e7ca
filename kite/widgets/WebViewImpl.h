// The platform half of the web view: keeps the web window's frame in step with
// the node's place on screen and passes the node's operations on.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "kite/foundation/math/Mat4.h"
#include "platform/WebWindow.h"

namespace kite {

class Renderer;

namespace experimental {
namespace ui {

class WebView;

class WebViewImpl {
public:
    explicit WebViewImpl(WebView* webView);
    virtual ~WebViewImpl();
    WebViewImpl(const WebViewImpl&) = delete;
    WebViewImpl& operator=(const WebViewImpl&) = delete;

    void loadURL(const std::string& url);
    // A local file by its path; like a URL, it makes the page when there is none.
    void loadFile(const std::string& path);
    // Bytes as a page of the MIME type and encoding, its relative addresses resolved against the
    // base URL (resolveBaseUrl). Nothing without a page yet: these do not make one.
    void loadData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                  const std::string& baseUrl);
    void loadHTMLString(const std::string& html, const std::string& baseUrl);
    void setScalesPageToFit(bool scales);

    // The folder a base URL names, as a path: an absolute path as it is, anything else under the
    // bundle's resource folder (an empty text gives that folder); every space as "%20"; ending in "/".
    static std::string resolveBaseUrl(const std::string& baseUrl);
    // Places the window over the node when the node's transform changed.
    virtual void draw(Renderer* renderer, const Mat4& transform, uint32_t flags);
    virtual void setVisible(bool visible);

    // The page's window, or null before anything needed it.
    platform::WebWindow* getWindow() const { return window.get(); }

private:
    // Made on first need: a frame, a load.
    platform::WebWindow& setupWebView();

    std::unique_ptr<platform::WebWindow> window;
    WebView* webView;  // the owning node
};

}  // namespace ui
}  // namespace experimental
}  // namespace kite
