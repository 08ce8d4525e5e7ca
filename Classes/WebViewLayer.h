// The full-screen web page of the game operator: the activity page or the user
// agreement, its address asked of the game server, below a bar with a back button.
#pragma once
#include <cstdint>
#include <string>

#include "kite/scene/Layer.h"

namespace kite {
class Label;
class Sprite;
namespace experimental::ui {
class WebView;
}
namespace network {
class HttpClient;
class HttpResponse;
}  // namespace network
}  // namespace kite

class WebViewLayer : public kite::Layer {
public:
    // Page kinds.
    static constexpr std::int32_t kAgreementPage = 0;
    static constexpr std::int32_t kActivityPage = 1;

    static WebViewLayer* create();
    bool init() override;
    bool onTouchBegan(kite::Touch* touch, kite::Event* event) override;

    // Sets the title and asks the server for the page's address; other kinds do nothing.
    void requestPage(std::int32_t kind);
    void menuBackCallback();
    void onHttpRequestCompleted(kite::network::HttpClient* client, kite::network::HttpResponse* response);

    bool onShouldStartLoading(kite::experimental::ui::WebView* sender, const std::string& url);
    void onDidFinishLoading(kite::experimental::ui::WebView* sender, const std::string& url);
    void onDidFailLoading(kite::experimental::ui::WebView* sender, const std::string& url);

    kite::experimental::ui::WebView* getWebView() const { return webView; }
    // Null once the page has loaded.
    kite::Sprite* getLoadingIndicator() const { return loadingIndicator; }

private:
    void buildNavigationBar();

    kite::Label* titleLabel = nullptr;
    kite::Sprite* loadingIndicator = nullptr;
    kite::experimental::ui::WebView* webView = nullptr;
};
