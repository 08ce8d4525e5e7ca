// The web window on WebKitGTK: an undecorated GTK window above the game window.
#include "platform/WebKitWindow.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace platform {
namespace {

// GTK is started once, on the first window; a failed start is not retried.
enum class GtkState { Untried, Running, Unavailable };
GtkState gtkState = GtkState::Untried;

bool startGtk() {
    if (gtkState == GtkState::Untried) {
        // GTK would switch the whole process to the player's locale: numbers the game writes and reads
        // would take a decimal comma, and case changes follow Turkish rules. The process stays in C.
        gtk_disable_setlocale();
        gtkState = gtk_init_check(nullptr, nullptr) ? GtkState::Running : GtkState::Unavailable;
        if (gtkState == GtkState::Unavailable) std::fprintf(stderr, "WebWindow: no display for web pages\n");
    }
    return gtkState == GtkState::Running;
}

class WebKitWindow : public WebWindow {
public:
    WebKitWindow() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
        gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
        gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_UTILITY);
        // Pages keep no cookies or caches between runs.
        webView_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "is-ephemeral", TRUE, nullptr));
        GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        bar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
        titleLabel_ = gtk_label_new("");
        gtk_box_pack_end(GTK_BOX(bar_), titleLabel_, TRUE, TRUE, 0);
        gtk_widget_set_no_show_all(bar_, TRUE);
        gtk_box_pack_start(GTK_BOX(column), bar_, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(column), GTK_WIDGET(webView_), TRUE, TRUE, 0);
        gtk_container_add(GTK_CONTAINER(window_), column);
        g_signal_connect(webView_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
        g_signal_connect(webView_, "load-changed", G_CALLBACK(onLoadChanged), this);
        g_signal_connect(webView_, "load-failed", G_CALLBACK(onLoadFailed), this);
        gtk_widget_show_all(window_);
    }
    ~WebKitWindow() override {
        g_signal_handlers_disconnect_by_data(webView_, this);
        if (leftButton_) g_signal_handlers_disconnect_by_data(leftButton_, this);
        webkit_web_view_stop_loading(webView_);
        gtk_widget_destroy(window_);
    }

    void setFrame(float x, float y, float width, float height) override {
        const HostFrame host = hostFrame();
        gtk_window_move(GTK_WINDOW(window_), host.x + int(x), host.y + int(y));
        gtk_window_resize(GTK_WINDOW(window_), std::max(1, int(width)), std::max(1, int(height)));
    }
    void setVisible(bool visible) override {
        if (visible) {
            gtk_widget_show_all(window_);
        } else {
            gtk_widget_hide(window_);
        }
    }
    void stopLoading() override { webkit_web_view_stop_loading(webView_); }
    void reload() override { webkit_web_view_reload(webView_); }
    void goBack() override { webkit_web_view_go_back(webView_); }
    void goForward() override { webkit_web_view_go_forward(webView_); }
    bool canGoBack() const override { return webkit_web_view_can_go_back(webView_); }
    bool canGoForward() const override { return webkit_web_view_can_go_forward(webView_); }
    void evaluateJs(const std::string& script) override {
        webkit_web_view_evaluate_javascript(webView_, script.c_str(), gssize(script.size()), nullptr, nullptr, nullptr,
                                            nullptr, nullptr);
    }
    // WebKit lays a page out to the window's width already.
    void setScalesPageToFit(bool) override {}
    void setNavigationBar(const std::string& title) override {
        gtk_label_set_text(GTK_LABEL(titleLabel_), title.c_str());
        gtk_widget_show(titleLabel_);
        gtk_widget_show(bar_);
    }
    void setLeftBarButton(const std::string& text, std::function<void()> action) override {
        removeLeftBarButton();
        leftAction_ = std::move(action);
        leftButton_ = gtk_button_new_with_label(text.c_str());
        g_signal_connect(leftButton_, "clicked", G_CALLBACK(onLeftButton), this);
        gtk_box_pack_start(GTK_BOX(bar_), leftButton_, FALSE, FALSE, 4);
        gtk_widget_show(leftButton_);
    }
    void removeLeftBarButton() override {
        if (!leftButton_) return;
        gtk_widget_destroy(leftButton_);
        leftButton_ = nullptr;
        leftAction_ = nullptr;
    }

protected:
    void openUrl(const std::string& url) override { webkit_web_view_load_uri(webView_, url.c_str()); }
    void openData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                  const std::string& baseUrl) override {
        GBytes* bytes = g_bytes_new(data.data(), data.size());
        webkit_web_view_load_bytes(webView_, bytes, mimeType.empty() ? nullptr : mimeType.c_str(),
                                   encoding.empty() ? nullptr : encoding.c_str(),
                                   baseUrl.empty() ? nullptr : baseUrl.c_str());
        g_bytes_unref(bytes);
    }

private:
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self) {
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        auto* page = static_cast<WebKitWindow*>(self);
        const bool allowed = uri && page->decideNavigation(uri);
        if (allowed && type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
            webkit_policy_decision_use(decision);
            return TRUE;
        }
        webkit_policy_decision_ignore(decision);
        // A page asking for a new window gets the address in this one.
        if (allowed) webkit_web_view_load_uri(page->webView_, uri);
        return TRUE;
    }

    static void onLeftButton(GtkButton*, gpointer self) {
        // The action may end this window: it runs from a copy.
        if (std::function<void()> action = static_cast<WebKitWindow*>(self)->leftAction_) action();
    }

    static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
        auto* page = static_cast<WebKitWindow*>(self);
        if (event == WEBKIT_LOAD_STARTED) page->failed_ = false;
        if (event == WEBKIT_LOAD_COMMITTED) {
            const char* uri = webkit_web_view_get_uri(view);
            page->pageCommitted(uri ? uri : "");
        }
        if (event != WEBKIT_LOAD_FINISHED || page->failed_) return;
        const char* uri = webkit_web_view_get_uri(view);
        page->reportFinished(uri ? uri : "");
    }

    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error, gpointer self) {
        // A navigation refused by the rules above is not a failure of the page.
        if (g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
            g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) {
            return TRUE;
        }
        auto* page = static_cast<WebKitWindow*>(self);
        page->failed_ = true;
        page->reportFailed(failingUri ? failingUri : "");
        return TRUE;  // a blank page rather than WebKit's error page
    }

    GtkWidget* window_ = nullptr;
    GtkWidget* bar_ = nullptr;
    GtkWidget* titleLabel_ = nullptr;
    GtkWidget* leftButton_ = nullptr;
    std::function<void()> leftAction_;
    WebKitWebView* webView_ = nullptr;
    bool failed_ = false;
};

}  // namespace
}  // namespace platform

platform::WebWindow* stargridWebKitCreateWindow() {
    if (!platform::startGtk()) return nullptr;
    return std::make_unique<platform::WebKitWindow>().release();  // the caller takes it over
}

void stargridWebKitPumpEvents() {
    if (platform::gtkState != platform::GtkState::Running) return;
    // Bounded, so that a busy page never holds the frame.
    for (int i = 0; i < 1000 && gtk_events_pending(); ++i) gtk_main_iteration_do(FALSE);
}
