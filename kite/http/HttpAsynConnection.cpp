// The transport under the HTTP client, over one libcurl easy handle per request.
#include "kite/http/HttpAsynConnection.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "kite/foundation/Log.h"
#include "kite/http/CookieStore.h"
#include "platform/AsciiText.h"
#include "platform/PrintableText.h"

namespace kite {
namespace network {

namespace {

struct EasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

// The error text a response carries: at most 255 bytes.
constexpr std::size_t kMaxErrorText = 255;

std::size_t receiveHeader(char* line, std::size_t size, std::size_t count, void* connection) {
    return static_cast<HttpAsynConnection*>(connection)->onHeaderLine(line, size * count) ? size * count : 0;
}

std::size_t receiveData(char* data, std::size_t size, std::size_t count, void* connection) {
    return static_cast<HttpAsynConnection*>(connection)->onData(data, size * count) ? size * count : 0;
}

int checkAbandoned(void* connection, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<HttpAsynConnection*>(connection)->abandoned() ? 1 : 0;
}

bool isRedirect(long code) { return code == 301 || code == 302 || code == 303 || code == 307 || code == 308; }

// Header names are compared in ASCII: strncasecmp follows the locale.
bool startsWithNoCase(const std::string& text, const char* prefix) {
    return platform::startsWithIgnoringAsciiCase(text, prefix);
}

// The request's own header lines; a line without a field name or with a line break is dropped.
HeaderList headerList(const std::vector<std::string>& lines, const std::string& url) {
    curl_slist* list = curl_slist_append(nullptr, "Expect:");  // no 100-continue round trip
    for (const std::string& line : lines) {
        const auto colon = line.find(':');
        if (colon == 0 || colon == std::string::npos || line.find_first_of("\r\n") != std::string::npos) {
            log("HttpAsynConnection: dropped a malformed header line of %s", platform::printableText(url).c_str());
            continue;
        }
        if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
    }
    return HeaderList(list);
}

}  // namespace

HttpAsynConnection::HttpAsynConnection(const HttpJob& job, CookieStore* cookies, const std::atomic<bool>& abandon)
    : job_(job), cookies_(cookies), abandon_(abandon), srcURL(job.url) {}

void HttpAsynConnection::perform(HttpResult& result) {
    std::unique_ptr<CURL, EasyHandleDeleter> handle(curl_easy_init());
    if (!handle) {
        fail(result, "cannot make a connection");
        return;
    }
    log("Starting to load %s", platform::printableText(srcURL).c_str());
    std::string url = job_.url;
    std::string method = job_.method;
    // Only a POST or a PUT carries the request's header lines and body; a GET or a DELETE neither.
    bool withBody = method == "POST" || method == "PUT";
    for (int hop = 0;; ++hop) {
        if (!transfer(handle.get(), url, method, withBody)) {
            fail(result, responseError);
            return;
        }
        storeCookies(url);
        char* location = nullptr;
        if (!isRedirect(responseCode) ||
            curl_easy_getinfo(handle.get(), CURLINFO_REDIRECT_URL, &location) != CURLE_OK || !location) {
            break;
        }
        if (hop == kMaxRedirects) {
            fail(result, "more than " + std::to_string(kMaxRedirects) + " redirects");
            return;
        }
        url = location;
        // Like browsers: a 303, and a 301 or 302 after a POST, go on as a GET without the body.
        if (responseCode == 303 || ((responseCode == 301 || responseCode == 302) && method == "POST")) {
            method = "GET";
            withBody = false;
        }
        curl_easy_reset(handle.get());
    }
    log("Received response from request to url %s", platform::printableText(srcURL).c_str());
    std::string text = "HTTP/1.1 " + std::to_string(responseCode) + " " + statusTextForCode(responseCode) + "\n";
    for (const std::string& field : responseHeader) text += field + "\n";
    text.pop_back();
    result.code = responseCode;
    result.header.assign(text.begin(), text.end());
    result.body = std::move(responseData);
    result.succeeded = true;
}

bool HttpAsynConnection::transfer(void* easy, const std::string& url, const std::string& method, bool withBody) {
    CURL* handle = static_cast<CURL*>(easy);
    responseHeader.clear();
    responseData.clear();
    responseCode = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    HeaderList headers = headerList(withBody ? job_.headers : std::vector<std::string>(), url);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, job_.timeoutSeconds > 0 ? job_.timeoutSeconds : 0L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, job_.timeoutSeconds > 0 ? job_.timeoutSeconds : 0L);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receiveData);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkAbandoned);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
    // A pinned key is the trust itself (a self-signed peer passes); the host name is checked either way.
    const bool pinned = !job_.pinnedPublicKey.empty();
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, pinned && job_.certificateFile.empty() ? 0L : 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!job_.certificateFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, job_.certificateFile.c_str());
    if (pinned) curl_easy_setopt(handle, CURLOPT_PINNEDPUBLICKEY, job_.pinnedPublicKey.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    const std::string cookieHeader = cookies_ ? cookies_->cookieHeaderFor(url, std::time(nullptr)) : std::string();
    if (!cookieHeader.empty()) curl_easy_setopt(handle, CURLOPT_COOKIE, cookieHeader.c_str());
    if (withBody) {
        // A length with the bytes: a body may hold zero bytes anywhere.
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(job_.body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, job_.body.empty() ? "" : job_.body.data());
        if (method != "POST") curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method == "GET" || method.empty()) {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    const CURLcode code = curl_easy_perform(handle);
    if (code == CURLE_OK) {
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &responseCode);
        return true;
    }
    if (bodyTooLarge_) {
        responseError = "response body over " + std::to_string(kMaxBodyBytes) + " bytes";
    } else {
        responseError = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
    }
    return false;
}

bool HttpAsynConnection::onHeaderLine(const char* line, std::size_t size) {
    std::string text(line, size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (startsWithNoCase(text, "HTTP/")) {
        // A new reply begins (after an interim one): only the last counts.
        responseHeader.clear();
        std::sscanf(text.c_str(), "%*s %ld", &responseCode);
        return true;
    }
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return true;
    const auto value = text.find_first_not_of(" \t", colon + 1);
    responseHeader.push_back(text.substr(0, colon) + ": " + (value == std::string::npos ? "" : text.substr(value)));
    return true;
}

bool HttpAsynConnection::onData(const char* data, std::size_t size) {
    // Only a 2xx reply has a body worth keeping.
    if (responseCode < 200 || responseCode > 299) return true;
    if (responseData.size() + size > kMaxBodyBytes) {
        bodyTooLarge_ = true;
        return false;
    }
    responseData.insert(responseData.end(), data, data + size);
    ++getDataTime;
    return true;
}

void HttpAsynConnection::storeCookies(const std::string& url) const {
    if (!cookies_) return;
    for (const std::string& field : responseHeader) {
        if (startsWithNoCase(field, "Set-Cookie:")) {
            cookies_->storeFromHeader(url, field.substr(std::strlen("Set-Cookie: ")), std::time(nullptr));
        }
    }
}

void HttpAsynConnection::fail(HttpResult& result, const std::string& text) const {
    log("HttpAsynConnection: %s failed: %s", platform::printableText(srcURL).c_str(),
        platform::printableText(text).c_str());
    result.succeeded = false;
    result.code = -1;
    result.error = text.substr(0, kMaxErrorText);
}

const char* statusTextForCode(long code) {
    switch (code) {
        case 100: return "Continue";
        case 200: return "OK";
        case 201: return "Created";
        case 202: return "Accepted";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 409: return "Conflict";
        case 410: return "Gone";
        case 413: return "Payload Too Large";
        case 429: return "Too Many Requests";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        default: return "Unknown";
    }
}

}  // namespace network
}  // namespace kite
