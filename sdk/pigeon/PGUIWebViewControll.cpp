// The screen of the web sign-in.
#include "sdk/pigeon/PGUIWebViewControll.h"

namespace pigeon {

PGUIWebViewControll::PGUIWebViewControll(PGUIWebViewControllDelegate* delegate)
    : webView_(platform::WebWindow::create()), delegate_(delegate) {
    const platform::WebWindow::HostFrame screen = platform::WebWindow::hostFrame();
    webView_->setFrame(0, 0, float(screen.width), float(screen.height));
    webView_->setShouldStartLoading([this](const std::string& url) { return shouldStartLoad(url); });
}

bool PGUIWebViewControll::shouldStartLoad(const std::string& url) {
    if (delegate_) {
        if (url.find("#hide") != std::string::npos) {
            delegate_->onHiddenLeftBar();
        } else {
            delegate_->onShowLeftBar();
        }
    }
    return true;
}

}  // namespace pigeon
