// The HTTP client's cookie store and its cookie file.
#include "kite/http/CookieStore.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

#include "kite/foundation/Log.h"
#include "platform/AsciiText.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"

namespace kite {
namespace network {

namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

struct UrlParts {
    std::string scheme;
    std::string host;
    std::string path;
};

// Host names and attribute names are machine text: lowered in ASCII whatever the locale.
std::string lowercase(std::string text) { return platform::asciiLowercase(std::move(text)); }

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string urlPart(CURLU* handle, CURLUPart which) {
    char* part = nullptr;
    if (curl_url_get(handle, which, &part, 0) != CURLUE_OK || !part) return {};
    std::string text(part);
    curl_free(part);
    return text;
}

bool splitUrl(const std::string& url, UrlParts& parts) {
    std::unique_ptr<CURLU, UrlHandleDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
    parts.scheme = lowercase(urlPart(handle.get(), CURLUPART_SCHEME));
    parts.host = lowercase(urlPart(handle.get(), CURLUPART_HOST));
    parts.path = urlPart(handle.get(), CURLUPART_PATH);
    if (parts.path.empty()) parts.path = "/";
    return !parts.host.empty();
}

bool domainMatches(const std::string& host, const std::string& domain, bool tailMatch) {
    if (host == domain) return true;
    return tailMatch && host.size() > domain.size() &&
           host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath) {
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
    return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

bool expired(const Cookie& cookie, std::time_t now) {
    const long long expires = std::strtoll(cookie.expires.c_str(), nullptr, 10);
    return expires != 0 && expires <= now;
}

// The directory of the request path, the path a cookie without one gets.
std::string defaultPath(const std::string& requestPath) {
    const auto slash = requestPath.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return requestPath.substr(0, slash);
}

bool fitsCookieFile(const std::string& text) { return text.find_first_of("\t\r\n") == std::string::npos; }

// Reads the attributes after the first ';' into the cookie; false when the cookie must be refused.
bool applyAttributes(const std::string& attributes, const UrlParts& origin, std::time_t now, Cookie& cookie) {
    cookie.domain = origin.host;
    cookie.path = defaultPath(origin.path);
    cookie.expires = "0";
    bool maxAgeSeen = false;
    std::size_t start = 0;
    while (start < attributes.size()) {
        std::size_t end = attributes.find(';', start);
        if (end == std::string::npos) end = attributes.size();
        const std::string item = attributes.substr(start, end - start);
        start = end + 1;
        const auto equals = item.find('=');
        const std::string key = lowercase(trimmed(item.substr(0, equals)));
        const std::string value = equals == std::string::npos ? std::string() : trimmed(item.substr(equals + 1));
        if (key == "domain" && !value.empty()) {
            std::string domain = lowercase(value[0] == '.' ? value.substr(1) : value);
            if (!domainMatches(origin.host, domain, true) ||
                (domain != origin.host && domain.find('.') == std::string::npos)) {
                return false;
            }
            cookie.domain = domain;
            cookie.tailMatch = true;
        } else if (key == "path" && !value.empty() && value[0] == '/') {
            cookie.path = value;
        } else if (key == "secure") {
            cookie.secure = true;
        } else if (key == "max-age" && !value.empty()) {
            // strtoll saturates; the sum does too, so an age past the clock's end never wraps into the past.
            const long long seconds = std::strtoll(value.c_str(), nullptr, 10);
            const long long latest = std::numeric_limits<long long>::max() - static_cast<long long>(now);
            cookie.expires =
                std::to_string(seconds <= 0 ? 1 : static_cast<long long>(now) + std::min(seconds, latest));
            maxAgeSeen = true;
        } else if (key == "expires" && !maxAgeSeen) {
            const time_t when = curl_getdate(value.c_str(), nullptr);
            if (when != -1) cookie.expires = std::to_string(when <= 0 ? 1 : static_cast<long long>(when));
        }
    }
    return true;
}

}  // namespace

std::string CookieStore::cookieHeaderFor(const std::string& url, std::time_t now) const {
    UrlParts target;
    if (!splitUrl(url, target)) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    std::string header;
    for (const Cookie& cookie : cookies_) {
        if (!domainMatches(target.host, cookie.domain, cookie.tailMatch)) continue;
        if (!pathMatches(target.path, cookie.path)) continue;
        if (cookie.secure && target.scheme != "https") continue;
        if (expired(cookie, now)) continue;
        if (!header.empty()) header += "; ";
        header += cookie.name + "=" + cookie.value;
    }
    return header;
}

void CookieStore::storeFromHeader(const std::string& url, const std::string& setCookie, std::time_t now) {
    UrlParts origin;
    if (!splitUrl(url, origin)) return;
    const auto semicolon = setCookie.find(';');
    const std::string pair = setCookie.substr(0, semicolon);
    const auto equals = pair.find('=');
    Cookie cookie;
    if (equals != std::string::npos) {
        cookie.name = trimmed(pair.substr(0, equals));
        cookie.value = trimmed(pair.substr(equals + 1));
    }
    const std::string attributes = semicolon == std::string::npos ? std::string() : setCookie.substr(semicolon + 1);
    if (cookie.name.empty() || !applyAttributes(attributes, origin, now, cookie) || !fitsCookieFile(cookie.name) ||
        !fitsCookieFile(cookie.value) || !fitsCookieFile(cookie.path)) {
        log("CookieStore: refused a cookie from %s", platform::printableText(origin.host).c_str());
        return;
    }
    if (expired(cookie, now)) {
        removeCookie(cookie);
    } else {
        updateOrAdd(cookie);
    }
}

void CookieStore::updateOrAdd(const Cookie& cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Cookie& stored : cookies_) {
        if (stored.domain == cookie.domain && stored.path == cookie.path && stored.name == cookie.name) {
            stored = cookie;
            return;
        }
    }
    cookies_.push_back(cookie);
}

void CookieStore::removeCookie(const Cookie& cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                  [&](const Cookie& stored) {
                                      return stored.domain == cookie.domain && stored.path == cookie.path &&
                                             stored.name == cookie.name;
                                  }),
                   cookies_.end());
}

std::vector<Cookie> CookieStore::getCookies() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cookies_;
}

bool CookieStore::writeFile() const {
    std::string text =
        "# Netscape HTTP Cookie File\n"
        "# https://curl.se/docs/http-cookies.html\n"
        "# This file was generated by kite! Edit at your own risk.\n"
        "# Test kite cookie write.\n"
        "\n";
    for (const Cookie& cookie : getCookies()) {
        text += cookie.domain + "\t" + (cookie.tailMatch ? "TRUE" : "FALSE") + "\t" + cookie.path + "\t" +
                (cookie.secure ? "TRUE" : "FALSE") + "\t" + cookie.expires + "\t" + cookie.name + "\t" + cookie.value +
                "\n";
    }
    // Cookies are the user's sessions: the owner's only.
    if (!platform::writeFileAtomically(fileName_, text, 0600)) {
        log("CookieStore: cannot write %s", platform::printableText(fileName_).c_str());
        return false;
    }
    return true;
}

}  // namespace network
}  // namespace kite
