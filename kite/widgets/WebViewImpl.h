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
    void setScalesPageToFit(bool scales);
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
