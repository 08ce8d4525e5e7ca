// The web sign-in.
#include "sdk/pigeon/WapAuthHandler.h"

#include <cstdlib>

#include "sdk/pigeon/PGApi.h"

namespace pigeon {
namespace {

constexpr char kTitle[] = "信鸽登录";
constexpr char kCancel[] = "取消";

}  // namespace

WapAuthHandler& WapAuthHandler::shareWapAuthHandlerInstance() {
    static WapAuthHandler instance;
    return instance;
}

std::string WapAuthHandler::serviceOrigin() {
    const char* origin = std::getenv("STARGRID_PIGEON_WEB_ORIGIN");
    return (origin && origin[0]) ? origin : "https://open.pigeon.im";
}

bool WapAuthHandler::beginWapAuth(const SendAuthReq& request, const std::string& appId, PGApiDelegate* delegate) {
    endWapAuth();
    delegate_ = delegate;
    running_ = true;
    timeStamp_ = std::uint64_t(::random());
    sendAuthReq_ = request;
    appId_ = appId;
    getWebViewController().refresh(getMobileCheckUrl());
    return true;
}

PGUIWebViewControll& WapAuthHandler::getWebViewController() {
    if (!webViewController_) {
        webViewController_ = std::make_unique<PGUIWebViewControll>(this);
        webViewController_->webView().setNavigationBar(kTitle);
        webViewController_->webView().setLeftBarButton(kCancel, [this] { cancelWapOAuth(); });
    }
    return *webViewController_;
}

std::string WapAuthHandler::getMobileCheckUrl() const {
    return serviceOrigin() + "/connect/mobilecheck?appid=" + appId_ + "&uid=" + std::to_string(timeStamp_);
}

std::optional<std::map<std::string, std::string>> WapAuthHandler::parseURLParams(const std::string& query) {
    return PGApi::parseURLParams(query);
}

bool WapAuthHandler::handleWapOAuthOpenUrl(const std::string& url) {
    if (!running_) return false;
    const std::string prefix = appId_ + "://wapoauth?";
    if (url.compare(0, prefix.size(), prefix) != 0 || url.size() == prefix.size()) return false;
    // The hand-back's query goes on as the page gave it.
    const std::string handBack = url.substr(prefix.size());
    const std::string page = serviceOrigin() + "/connect/smsauthorize?appid=" + appId_ + "&redirect_uri=" + appId_ +
                             "%3A%2F%2Foauth&response_type=code&scope=" + sendAuthReq_.scope +
                             "&state=" + sendAuthReq_.state + "&uid=" + std::to_string(timeStamp_) + "&" + handBack;
    getWebViewController().refresh(page);
    return true;
}

bool WapAuthHandler::endWapAuth() {
    if (!running_) return false;
    running_ = false;
    webViewController_.reset();
    return true;
}

void WapAuthHandler::cancelWapOAuth() {
    if (delegate_) {
        auto response = std::make_shared<SendAuthResp>();
        response->errCode = -2;
        delegate_->onResp(response);
    }
    endWapAuth();
}

void WapAuthHandler::onCancelOAuthWebView() {
    running_ = false;
    webViewController_.reset();
}

void WapAuthHandler::onShowLeftBar() {
    if (webViewController_) webViewController_->webView().setLeftBarButton(kCancel, [this] { cancelWapOAuth(); });
}

void WapAuthHandler::onHiddenLeftBar() {
    if (webViewController_) webViewController_->webView().removeLeftBarButton();
}

}  // namespace pigeon
