// The web window's navigation rules, its backend choice and the recording backend.
#include "platform/WebWindow.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "platform/HostLoop.h"

namespace platform {
namespace {

struct AppUrlRoute {
    std::string scheme;
    std::function<void(const std::string&)> handler;
};

AppUrlRoute& appUrlRoute() {
    static AppUrlRoute route;
    return route;
}

std::function<WebWindow::HostFrame()>& hostFrameProvider() {
    static std::function<WebWindow::HostFrame()> provider;
    return provider;
}

// The scheme in lower case, or nothing when the text has none.
std::string schemeOf(const std::string& url) {
    const std::string::size_type colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return std::string();
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) {
        const bool allowed = std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        if (!allowed) return std::string();
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return scheme;
}

// The WebKitGTK module's entry points, looked for with the first web window; null until then,
// and when it cannot be had (the windows are recording ones then).
struct WebKitModule {
    WebWindow* (*createWindow)() = nullptr;
    void (*pumpEvents)() = nullptr;
};
const WebKitModule* webKitModule = nullptr;
bool webKitModuleSought = false;

// The module beside the executable first (an installed game), then where the build made it.
std::vector<std::string> webKitModulePaths() {
    std::vector<std::string> paths;
    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (length > 0) {
        std::string folder(exe, static_cast<std::size_t>(length));
        folder.erase(folder.find_last_of('/') + 1);
        paths.push_back(folder + "libstargrid_webkit.so");
    }
#ifdef STARGRID_WEBKIT_MODULE
    paths.push_back(STARGRID_WEBKIT_MODULE);
#endif
    return paths;
}

const WebKitModule* loadWebKitModule() {
    if (webKitModuleSought) return webKitModule;
    webKitModuleSought = true;
    static WebKitModule found;
    std::string error = "not built";
    for (const std::string& path : webKitModulePaths()) {
        if (access(path.c_str(), R_OK) != 0) continue;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);  // never closed: its windows use it
        if (!handle) {
            const char* why = dlerror();
            error = why ? why : "cannot be loaded";
            continue;
        }
        found.createWindow = reinterpret_cast<WebWindow* (*)()>(dlsym(handle, "stargridWebKitCreateWindow"));
        found.pumpEvents = reinterpret_cast<void (*)()>(dlsym(handle, "stargridWebKitPumpEvents"));
        if (found.createWindow && found.pumpEvents) {
            webKitModule = &found;
            // Its events are pumped by the host loop from now on.
            HostLoop::setToolkitEventPump(found.pumpEvents);
            return webKitModule;
        }
        error = "entry points missing in " + path;
    }
    std::fprintf(stderr, "WebWindow: no WebKit module (%.300s); pages are recorded, not shown\n", error.c_str());
    return nullptr;
}

std::string lowered(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::unique_ptr<WebWindow> WebWindow::create() {
    if (const WebKitModule* module = loadWebKitModule()) {
        if (WebWindow* page = module->createWindow()) return std::unique_ptr<WebWindow>(page);
    }
    return std::make_unique<RecordingWebWindow>();
}

void WebWindow::setAppUrlHandler(const std::string& scheme, std::function<void(const std::string&)> handler) {
    appUrlRoute() = AppUrlRoute{lowered(scheme), std::move(handler)};
}

void WebWindow::pumpEvents() {
    if (webKitModule) webKitModule->pumpEvents();
}

void WebWindow::setHostFrame(std::function<HostFrame()> frame) { hostFrameProvider() = std::move(frame); }

WebWindow::HostFrame WebWindow::hostFrame() { return hostFrameProvider() ? hostFrameProvider()() : HostFrame(); }

bool WebWindow::decideNavigation(const std::string& url) {
    const std::string scheme = schemeOf(url);
    if (!jsScheme_.empty() && scheme == lowered(jsScheme_)) {
        if (onJsCallback_) onJsCallback_(url);
        return false;
    }
    const AppUrlRoute& route = appUrlRoute();
    if (!route.scheme.empty() && scheme == route.scheme) {
        if (route.handler) route.handler(url);
        return false;
    }
    if (scheme != "http" && scheme != "https" && url != "about:blank") {
        std::fprintf(stderr, "WebWindow: a page may not open \"%.200s\"\n", url.c_str());
        return false;
    }
    return !shouldStartLoading_ || shouldStartLoading_(url);
}

void WebWindow::reportFinished(const std::string& url) {
    if (didFinishLoading_) didFinishLoading_(url);
}

void WebWindow::reportFailed(const std::string& url) {
    if (didFailLoading_ && !url.empty()) didFailLoading_(url);
}

void RecordingWebWindow::setFrame(float x, float y, float width, float height) {
    frames_.push_back(Frame{x, y, width, height});
}

void RecordingWebWindow::loadUrl(const std::string& url) { navigate(url); }

void RecordingWebWindow::loadHtmlString(const std::string& html, const std::string& baseUrl) {
    (void)html;
    loadedUrls_.push_back(baseUrl);
}

void RecordingWebWindow::setLeftBarButton(const std::string& text, std::function<void()> action) {
    leftButtonText_ = text;
    leftButtonAction_ = std::move(action);
}

void RecordingWebWindow::removeLeftBarButton() {
    leftButtonText_.clear();
    leftButtonAction_ = nullptr;
}

void RecordingWebWindow::pressLeftBarButton() {
    // The action may end the window: it runs from a copy.
    if (std::function<void()> action = leftButtonAction_) action();
}

bool RecordingWebWindow::navigate(const std::string& url) {
    if (!decideNavigation(url)) return false;
    loadedUrls_.push_back(url);
    return true;
}

}  // namespace platform
