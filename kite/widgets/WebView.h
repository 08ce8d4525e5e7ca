// A web page inside the scene: a widget node the game places like any other,
// whose page is drawn by the platform's web window laid over the game window.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "kite/widgets/Widget.h"

namespace kite {
namespace experimental {
namespace ui {

class WebViewImpl;

class WebView : public kite::ui::Widget {
public:
    using ShouldStartLoading = std::function<bool(WebView* sender, const std::string& url)>;
    using LoadNotice = std::function<void(WebView* sender, const std::string& url)>;

    static WebView* create();

    WebView();
    ~WebView() override;
    std::string description() const override { return "WebView"; }

    // The page starts loading at once, before the first frame places it.
    void loadURL(const std::string& url);
    void setScalesPageToFit(bool scales);

    void setOnShouldStartLoading(const ShouldStartLoading& callback) { onShouldStartLoading = callback; }
    void setOnDidFinishLoading(const LoadNotice& callback) { onDidFinishLoading = callback; }
    void setOnDidFailLoading(const LoadNotice& callback) { onDidFailLoading = callback; }

    void setVisible(bool visible) override;
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Widget::draw;

    // The platform half (tests look at its window).
    WebViewImpl* getImpl() const { return impl.get(); }

protected:
    kite::ui::Widget* createCloneInstance() override;
    // A clone takes the model's callbacks and keeps a page of its own.
    void copySpecialProperties(kite::ui::Widget* model) override;

private:
    friend class WebViewImpl;

    ShouldStartLoading onShouldStartLoading;
    LoadNotice onDidFinishLoading;
    LoadNotice onDidFailLoading;
    // Calls of the page's scripts; the node offers no setter for it.
    LoadNotice onJSCallback;
    std::unique_ptr<WebViewImpl> impl;
};

}  // namespace ui
}  // namespace experimental
}  // namespace kite
