// The screen of the web sign-in: a page filling the game window below a bar
// with the title and a cancel button.
#pragma once
#include <memory>
#include <string>

#include "platform/WebWindow.h"

namespace pigeon {

class PGUIWebViewControllDelegate {
public:
    virtual ~PGUIWebViewControllDelegate() = default;
    virtual void onShowLeftBar() {}
    virtual void onHiddenLeftBar() {}
};

class PGUIWebViewControll {
public:
    // The delegate is not owned and must outlive the controller.
    explicit PGUIWebViewControll(PGUIWebViewControllDelegate* delegate);

    void refresh(const std::string& url) { webView_->loadUrl(url); }
    platform::WebWindow& webView() { return *webView_; }

private:
    // Every load is allowed; an address holding "#hide" takes the cancel button away.
    bool shouldStartLoad(const std::string& url);

    std::unique_ptr<platform::WebWindow> webView_;
    PGUIWebViewControllDelegate* delegate_;
};

}  // namespace pigeon
