// A web page in a window of its own, laid without decorations over the game
// window: WebKitGTK where a display can be had, a recording stand-in elsewhere.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class WebWindow {
public:
    using ShouldStartLoading = std::function<bool(const std::string& url)>;
    using LoadNotice = std::function<void(const std::string& url)>;

    // WebKitGTK when it is built in and a display answers, else a RecordingWebWindow.
    static std::unique_ptr<WebWindow> create();
    virtual ~WebWindow() = default;
    WebWindow(const WebWindow&) = delete;
    WebWindow& operator=(const WebWindow&) = delete;

    // Where URLs of the application's own scheme go when a page navigates to
    // one: they never load in the page. Without a handler they are dropped.
    static void setAppUrlHandler(const std::string& scheme, std::function<void(const std::string& url)> handler);
    // Runs what the windows have pending (page events, callbacks); the host
    // loop calls it once a pass. Never blocks.
    static void pumpEvents();
    // The game window on the screen, in points: frames are given from its top
    // left, and a page that fills the screen fills it.
    struct HostFrame {
        int x = 0, y = 0, width = 640, height = 1136;
    };
    static void setHostFrame(std::function<HostFrame()> frame);
    static HostFrame hostFrame();

    void setShouldStartLoading(ShouldStartLoading callback) { shouldStartLoading_ = std::move(callback); }
    void setDidFinishLoading(LoadNotice callback) { didFinishLoading_ = std::move(callback); }
    void setDidFailLoading(LoadNotice callback) { didFailLoading_ = std::move(callback); }
    void setOnJsCallback(LoadNotice callback) { onJsCallback_ = std::move(callback); }
    // URLs of this scheme are calls of the page's scripts: they go to the JS
    // callback and never load.
    void setJavascriptInterfaceScheme(const std::string& scheme) { jsScheme_ = scheme; }

    // Points from the game window's top left.
    virtual void setFrame(float x, float y, float width, float height) = 0;
    virtual void setVisible(bool visible) = 0;
    // The game's own loads. A file: address loads only when it names a file of this machine.
    void loadUrl(const std::string& url);
    // The file at the path (a relative one from the working folder).
    void loadFile(const std::string& path);
    // The bytes as a page of the MIME type in the text encoding (for example "text/html" and
    // "UTF-8"); its relative addresses resolve against the base URL, a local file: address or a
    // web one. An empty base URL gives the blank page's.
    void loadData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                  const std::string& baseUrl);
    void loadHtmlString(const std::string& html, const std::string& baseUrl);
    virtual void stopLoading() = 0;
    virtual void reload() = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    // Runs the script in the page; its result is dropped.
    virtual void evaluateJs(const std::string& script) = 0;
    virtual void setScalesPageToFit(bool scales) = 0;
    // A bar above the page with a title and, at its left, one button; the
    // page keeps the rest of the frame.
    virtual void setNavigationBar(const std::string& title) = 0;
    virtual void setLeftBarButton(const std::string& text, std::function<void()> action) = 0;
    virtual void removeLeftBarButton() = 0;

    // Whether a navigation to the URL may go on: only http(s) pages load (and
    // the blank page), and local files that the game itself asked for or that
    // a local page opens (never a web page); the scripts' scheme goes to the JS
    // callback, the application's own scheme to its handler, anything else is
    // refused with a log line; then the should-start callback decides.
    // Backends call it for every navigation.
    bool decideNavigation(const std::string& url);
    void reportFinished(const std::string& url);
    // A failure without a failing address reports nothing.
    void reportFailed(const std::string& url);

    // "file://" and the absolute path, every byte but letters, digits and "-._~/" escaped.
    static std::string fileUrlForPath(const std::string& path);
    // A file: address without a host (or with "localhost"): a file of this machine.
    static bool isLocalFileUrl(const std::string& url);

protected:
    WebWindow() = default;
    // What the backends do for the loads above, once the rules have let them through.
    virtual void openUrl(const std::string& url) = 0;
    virtual void openData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                          const std::string& baseUrl) = 0;
    // Backends tell which address the page now showing has.
    void pageCommitted(const std::string& url);

private:
    bool decideFileNavigation(const std::string& url);

    ShouldStartLoading shouldStartLoading_;
    LoadNotice didFinishLoading_;
    LoadNotice didFailLoading_;
    LoadNotice onJsCallback_;
    std::string jsScheme_;
    std::string gameFileRequest_;  // the local file the game asked for last, until it is decided
    bool localPageShowing_ = false;
};

// Keeps what it is asked to do, loads nothing and reports nothing by itself;
// tests play the page's part through the report calls.
class RecordingWebWindow : public WebWindow {
public:
    struct Frame {
        float x = 0, y = 0, width = 0, height = 0;
    };

    // A page given as bytes.
    struct LoadedData {
        std::string data, mimeType, encoding, baseUrl;
    };

    void setFrame(float x, float y, float width, float height) override;
    void setVisible(bool visible) override { visible_ = visible; }
    void stopLoading() override {}
    void reload() override {}
    void goBack() override {}
    void goForward() override {}
    bool canGoBack() const override { return false; }
    bool canGoForward() const override { return false; }
    void evaluateJs(const std::string& script) override { scripts_.push_back(script); }
    void setScalesPageToFit(bool scales) override { scalesPageToFit_ = scales; }
    void setNavigationBar(const std::string& title) override { title_ = title; }
    void setLeftBarButton(const std::string& text, std::function<void()> action) override;
    void removeLeftBarButton() override;

    // A page that navigates: the decision, and the address loaded when it is allowed.
    bool navigate(const std::string& url);

    const std::vector<std::string>& loadedUrls() const { return loadedUrls_; }
    const std::vector<LoadedData>& loadedData() const { return loadedData_; }
    const std::vector<std::string>& scripts() const { return scripts_; }
    const std::vector<Frame>& frames() const { return frames_; }
    bool isVisible() const { return visible_; }
    bool scalesPageToFit() const { return scalesPageToFit_; }
    const std::string& title() const { return title_; }
    // Empty while the bar has no button.
    const std::string& leftBarButtonText() const { return leftButtonText_; }
    // What the user's press on the left button does.
    void pressLeftBarButton();

protected:
    void openUrl(const std::string& url) override { navigate(url); }
    void openData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                  const std::string& baseUrl) override;

private:
    std::vector<std::string> loadedUrls_;
    std::vector<LoadedData> loadedData_;
    std::vector<std::string> scripts_;
    std::vector<Frame> frames_;
    bool visible_ = true;
    bool scalesPageToFit_ = false;
    std::string title_;
    std::string leftButtonText_;
    std::function<void()> leftButtonAction_;
};

}  // namespace platform
