// The web page screen.
#include "Classes/WebViewLayer.h"

#include <cctype>

#include "Classes/DialogParts.h"
#include "Classes/ServerExchange.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"
#include "kite/widgets/WebView.h"

namespace {

constexpr char kFont[] = "Helvetica Neue";
constexpr float kBarHeight = 80;

// The server names a page of the web: an http or https address with a host, in printable ASCII. Anything
// else (a file of this machine, a script, the game's own scheme) is not for the server to open.
bool isWebAddress(const std::string& address) {
    for (char c : address)
        if (c <= ' ' || c > '~') return false;
    const std::size_t separator = address.find("://");
    if (separator == std::string::npos) return false;
    std::string scheme = address.substr(0, separator);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "http" && scheme != "https") return false;
    const std::size_t host = separator + 3;
    return host < address.size() && address.find_first_of("/?#", host) != host;
}

}  // namespace

WebViewLayer* WebViewLayer::create() { return kite::createAutoreleased<WebViewLayer>(); }

bool WebViewLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    buildNavigationBar();
    return true;
}

bool WebViewLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void WebViewLayer::buildNavigationBar() {
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    kite::Sprite* bar = kite::Sprite::create("Menu/Web/bg_nav.png");
    if (!bar) return;
    bar->setAnchorPoint(kite::Vec2(0.5f, 1));
    bar->setTextureRect(kite::Rect(0, 0, visible.width, kBarHeight));
    bar->setPosition(visible.width / 2, visible.height);
    addChild(bar);
    const kite::Size size = bar->getContentSize();

    dialog::addButton(bar, "Menu/Web/btn_back.png", kite::Vec2(60, size.height / 2), 1, [this] {
        kite::RefPtr<WebViewLayer> self(this);
        menuBackCallback();
    });
    titleLabel = kite::Label::createWithSystemFont("", kFont, 42);
    if (titleLabel) {
        titleLabel->setColor(kite::Color3B(250, 250, 250));
        titleLabel->setPosition(size.width / 2, size.height / 2);
        bar->addChild(titleLabel);
    }
    loadingIndicator = kite::Sprite::create("Common/pop_indicator.png");
    if (loadingIndicator) {
        loadingIndicator->setScale(0.5f);
        loadingIndicator->setColor(kite::Color3B(166, 166, 166));
        loadingIndicator->setPosition(size.width / 2 + 108, size.height / 2);
        loadingIndicator->runAction(kite::RepeatForever::create(kite::RotateBy::create(0.1f, 30)));
        bar->addChild(loadingIndicator);
    }
    webView = kite::experimental::ui::WebView::create();
    if (!webView) return;
    webView->setAnchorPoint(kite::Vec2(0.5f, 1));
    webView->setContentSize(kite::Size(visible.width, visible.height - size.height + 2));
    webView->setPosition(kite::Vec2(size.width / 2, 2));
    webView->setScalesPageToFit(true);
    using namespace std::placeholders;
    webView->setOnShouldStartLoading(std::bind(&WebViewLayer::onShouldStartLoading, this, _1, _2));
    webView->setOnDidFinishLoading(std::bind(&WebViewLayer::onDidFinishLoading, this, _1, _2));
    webView->setOnDidFailLoading(std::bind(&WebViewLayer::onDidFailLoading, this, _1, _2));
    bar->addChild(webView);
}

void WebViewLayer::requestPage(std::int32_t kind) {
    const char* title = nullptr;
    const char* path = nullptr;
    const char* tag = nullptr;
    if (kind == kActivityPage) {
        title = "精彩活动";
        path = "ActivityURL?devicetype=1";
        tag = "ActivityURL";
    } else if (kind == kAgreementPage) {
        title = "用户协议";
        path = "AgreementURL?devicetype=1";
        tag = "AgreementURL";
    } else {
        return;
    }
    if (titleLabel) titleLabel->setString(title);
    ServerExchange::get(ServerExchange::url(path), tag, this,
                        [this](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
                            onHttpRequestCompleted(client, response);
                        });
}

void WebViewLayer::menuBackCallback() {
    // A reply still in flight is never delivered to a screen that has gone.
    ServerExchange::destroyClient(true);
    removeFromParent();
}

void WebViewLayer::onHttpRequestCompleted(kite::network::HttpClient*, kite::network::HttpResponse* response) {
    if (!response) return;
    const ServerReply reply = ServerReply::read(response);
    if (!reply.transferred() || !reply.succeeded()) return;
    if (reply.tag() != "AgreementURL" && reply.tag() != "ActivityURL") return;
    const std::optional<std::string> address = reply.text();
    if (!address) return;
    if (!isWebAddress(*address)) {
        // The screen stays as a failed page leaves it: blank, the indicator turning.
        kite::log("WebViewLayer: refused the page address of %s: not an http or https address",
                  reply.tag().c_str());
        return;
    }
    if (webView) webView->loadURL(*address);
}

bool WebViewLayer::onShouldStartLoading(kite::experimental::ui::WebView*, const std::string&) { return true; }

void WebViewLayer::onDidFinishLoading(kite::experimental::ui::WebView*, const std::string&) {
    if (!loadingIndicator) return;
    loadingIndicator->stopAllActions();
    loadingIndicator->removeFromParent();
    loadingIndicator = nullptr;
}

void WebViewLayer::onDidFailLoading(kite::experimental::ui::WebView*, const std::string&) {}
