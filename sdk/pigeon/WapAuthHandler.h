// The sign-in through the messenger's web pages, when the messenger is not installed.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "sdk/pigeon/PGUIWebViewControll.h"
#include "sdk/pigeon/Requests.h"

namespace pigeon {

class PGApiDelegate;

// One sign-in at a time: the mobile-check page first; its hand-back to the
// application's "wapoauth" URL opens the SMS authorisation page; the answer
// to the application's "oauth" URL (handled by PGApi) ends it.
class WapAuthHandler : public PGUIWebViewControllDelegate {
public:
    static WapAuthHandler& shareWapAuthHandlerInstance();

    // The pages' origin: $STARGRID_PIGEON_WEB_ORIGIN when set, else the
    // messenger's sign-in service.
    static std::string serviceOrigin();

    // Always true. The delegate is not owned.
    bool beginWapAuth(const SendAuthReq& request, const std::string& appId, PGApiDelegate* delegate);
    bool handleWapOAuthOpenUrl(const std::string& url);
    bool endWapAuth();
    void cancelWapOAuth();
    void onCancelOAuthWebView();

    void onShowLeftBar() override;
    void onHiddenLeftBar() override;

    PGUIWebViewControll& getWebViewController();
    std::string getMobileCheckUrl() const;
    // A page's query read by the messenger's own rule (PGApi::parseURLParams); none when it is refused.
    static std::optional<std::map<std::string, std::string>> parseURLParams(const std::string& query);
    bool isRunning() const { return running_; }
    // The screen up now, or null (tests look at it).
    PGUIWebViewControll* webViewController() { return webViewController_.get(); }

private:
    WapAuthHandler() = default;

    std::unique_ptr<PGUIWebViewControll> webViewController_;
    std::string appId_;
    std::uint64_t timeStamp_ = 0;
    SendAuthReq sendAuthReq_;
    PGApiDelegate* delegate_ = nullptr;
    bool running_ = false;
};

}  // namespace pigeon
