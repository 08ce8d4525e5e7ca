// The web window's navigation rules, its backend choice and the recording backend.
#include "platform/WebWindow.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/AsciiText.h"
#include "platform/HostLoop.h"
#include "platform/PrintableText.h"
#include "platform/Signals.h"
#include "platform/X11Display.h"

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
        const bool allowed = isAsciiAlnum(c) || c == '+' || c == '-' || c == '.';
        if (!allowed) return std::string();
        c = asciiLower(c);
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
    std::fprintf(stderr, "WebWindow: no WebKit module (%s); pages are recorded, not shown\n",
                 printableText(error, 300).c_str());
    return nullptr;
}

std::string lowered(std::string text) { return asciiLowercase(std::move(text)); }

// The host of a file: address (empty for none), and where its path starts.
std::string fileUrlHost(const std::string& url, std::string::size_type& pathStart) {
    const std::string::size_type afterScheme = url.find(':') + 1;
    if (url.compare(afterScheme, 2, "//") != 0) {
        pathStart = afterScheme;
        return std::string();
    }
    const std::string::size_type hostStart = afterScheme + 2;
    pathStart = std::min(url.find('/', hostStart), url.size());
    return lowered(url.substr(hostStart, pathStart - hostStart));
}

// One spelling for one local file, as pages report it: "file:///path".
std::string canonicalFileUrl(const std::string& url) {
    std::string::size_type pathStart = 0;
    fileUrlHost(url, pathStart);
    return "file://" + url.substr(pathStart);
}

}  // namespace

std::unique_ptr<WebWindow> WebWindow::create() {
    if (const WebKitModule* module = loadWebKitModule()) {
        WebWindow* page = module->createWindow();
        // WebKit and the toolkit start with the first window; none of them may keep a lifecycle signal,
        // nor the say on what a lost display does.
        reclaimLifecycleSignals();
        watchDisplayLoss();
        if (page) return std::unique_ptr<WebWindow>(page);
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

void WebWindow::loadUrl(const std::string& url) {
    if (schemeOf(url) == "file") {
        if (!isLocalFileUrl(url)) {
            std::fprintf(stderr, "WebWindow: only files of this machine may be opened, not \"%s\"\n",
                         printableText(url, 200).c_str());
            return;
        }
        gameFileRequest_ = canonicalFileUrl(url);
    }
    openUrl(url);
}

void WebWindow::loadFile(const std::string& path) { loadUrl(fileUrlForPath(path)); }

void WebWindow::loadData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                         const std::string& baseUrl) {
    if (schemeOf(baseUrl) == "file") {
        if (!isLocalFileUrl(baseUrl)) {
            std::fprintf(stderr, "WebWindow: a page's base may not be \"%s\"\n", printableText(baseUrl, 200).c_str());
            return;
        }
        gameFileRequest_ = canonicalFileUrl(baseUrl);
    }
    openData(data, mimeType, encoding, baseUrl);
}

void WebWindow::loadHtmlString(const std::string& html, const std::string& baseUrl) {
    loadData(html, "text/html", "UTF-8", baseUrl);
}

std::string WebWindow::fileUrlForPath(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        char folder[4096];
        absolute = std::string(getcwd(folder, sizeof(folder)) ? folder : "") + "/" + absolute;
    }
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : absolute) {
        const auto byte = static_cast<unsigned char>(c);
        if (isAsciiAlnum(c) || (c != '\0' && std::strchr("-._~/", c))) {
            url += c;
        } else {
            url += '%';
            url += hex[byte >> 4];
            url += hex[byte & 15];
        }
    }
    return url;
}

bool WebWindow::isLocalFileUrl(const std::string& url) {
    if (schemeOf(url) != "file") return false;
    std::string::size_type pathStart = 0;
    const std::string host = fileUrlHost(url, pathStart);
    return host.empty() || host == "localhost";
}

void WebWindow::pageCommitted(const std::string& url) { localPageShowing_ = isLocalFileUrl(url); }

// A local file opens when the game asked for it, or from a page that is itself local; a web
// page never opens one.
bool WebWindow::decideFileNavigation(const std::string& url) {
    const bool askedByTheGame = !gameFileRequest_.empty() && canonicalFileUrl(url) == gameFileRequest_;
    if (askedByTheGame) gameFileRequest_.clear();
    if (isLocalFileUrl(url) && (askedByTheGame || localPageShowing_)) return true;
    std::fprintf(stderr, "WebWindow: a page may not open \"%s\"\n", printableText(url, 200).c_str());
    return false;
}

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
    if (scheme == "file") {
        if (!decideFileNavigation(url)) return false;
    } else if (scheme != "http" && scheme != "https" && url != "about:blank") {
        std::fprintf(stderr, "WebWindow: a page may not open \"%s\"\n", printableText(url, 200).c_str());
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

void RecordingWebWindow::openData(const std::string& data, const std::string& mimeType, const std::string& encoding,
                                  const std::string& baseUrl) {
    loadedData_.push_back(LoadedData{data, mimeType, encoding, baseUrl});
    pageCommitted(baseUrl.empty() ? "about:blank" : baseUrl);
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
    pageCommitted(url);
    return true;
}

}  // namespace platform
