// One synchronous HTTP POST over libcurl.
#include "platform/HttpPost.h"

#include <curl/curl.h>
#include <strings.h>

#include <memory>

namespace platform {

namespace {

struct EasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Exchange {
    HttpPostResult* result;
    std::size_t maxBytes;
    bool tooLarge = false;
};

std::size_t receiveHeader(char* line, std::size_t size, std::size_t count, void* context) {
    auto* exchange = static_cast<Exchange*>(context);
    std::string text(line, size * count);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    // A new status line starts a new reply (after an interim one): only the last counts.
    if (text.compare(0, 5, "HTTP/") == 0) {
        exchange->result->headers.clear();
    } else if (text.find(':') != std::string::npos && text.find(':') > 0) {
        exchange->result->headers.push_back(std::move(text));
    }
    return size * count;
}

std::size_t receiveData(char* data, std::size_t size, std::size_t count, void* context) {
    auto* exchange = static_cast<Exchange*>(context);
    std::vector<unsigned char>& body = exchange->result->body;
    if (body.size() + size * count > exchange->maxBytes) {
        exchange->tooLarge = true;
        return 0;
    }
    body.insert(body.end(), data, data + size * count);
    return size * count;
}

}  // namespace

std::string HttpPostResult::header(const std::string& name) const {
    for (const std::string& line : headers) {
        const auto colon = line.find(':');
        if (colon != name.size() || strncasecmp(line.c_str(), name.c_str(), colon) != 0) continue;
        const auto value = line.find_first_not_of(" \t", colon + 1);
        return value == std::string::npos ? std::string() : line.substr(value);
    }
    return {};
}

HttpPostResult httpPost(const HttpPostRequest& request) {
    HttpPostResult result;
    std::unique_ptr<CURL, EasyHandleDeleter> handle(curl_easy_init());
    if (!handle) {
        result.error = "cannot make a connection";
        return result;
    }
    curl_slist* list = curl_slist_append(nullptr, "Expect:");  // no 100-continue round trip
    for (const std::string& line : request.headers) {
        if (line.find_first_of("\r\n") != std::string::npos) continue;
        if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
    }
    std::unique_ptr<curl_slist, HeaderListDeleter> headers(list);
    Exchange exchange{&result, request.maxResponseBytes};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* easy = handle.get();
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, request.timeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, request.timeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, receiveData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &exchange);
    // A length with the bytes: a body may hold zero bytes anywhere.
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS,
                     request.body.empty() ? "" : reinterpret_cast<const char*>(request.body.data()));
    const CURLcode code = curl_easy_perform(easy);
    if (code != CURLE_OK) {
        result.error = exchange.tooLarge ? "reply body over " + std::to_string(request.maxResponseBytes) + " bytes"
                       : errorBuffer[0]  ? std::string(errorBuffer)
                                         : std::string(curl_easy_strerror(code));
        result.body.clear();
        if (exchange.tooLarge) {
            result.bodyTooLarge = true;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
        }
        return result;
    }
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
    result.transported = true;
    return result;
}

}  // namespace platform
