// The web view node.
#include "kite/widgets/WebView.h"

#include "kite/foundation/Create.h"
#include "kite/widgets/WebViewImpl.h"

namespace kite {
namespace experimental {
namespace ui {

WebView* WebView::create() { return createAutoreleased<WebView>(); }

WebView::WebView() : impl(std::make_unique<WebViewImpl>(this)) {}

WebView::~WebView() = default;

void WebView::loadURL(const std::string& url) { impl->loadURL(url); }

void WebView::setScalesPageToFit(bool scales) { impl->setScalesPageToFit(scales); }

void WebView::setVisible(bool visible) {
    Widget::setVisible(visible);
    impl->setVisible(visible);
}

void WebView::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    Widget::draw(renderer, transform, flags);
    impl->draw(renderer, transform, flags);
}

kite::ui::Widget* WebView::createCloneInstance() { return WebView::create(); }

void WebView::copySpecialProperties(kite::ui::Widget* model) {
    auto* page = dynamic_cast<WebView*>(model);
    if (!page) return;
    onShouldStartLoading = page->onShouldStartLoading;
    onDidFinishLoading = page->onDidFinishLoading;
    onDidFailLoading = page->onDidFailLoading;
    onJSCallback = page->onJSCallback;
}

}  // namespace ui
}  // namespace experimental
}  // namespace kite
