// One HTTP request of the game: method, URL, header lines, body bytes, tag and the callback its reply goes to.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "kite/foundation/Ref.h"

namespace kite {
namespace network {

class HttpClient;
class HttpResponse;

// A member function of a target, called with the client and the response.
using SEL_HttpResponse = void (Ref::*)(HttpClient* client, HttpResponse* response);
using HttpRequestCallback = std::function<void(HttpClient* client, HttpResponse* response)>;

// Turns a member function of any Ref subclass into a response selector.
template <class T>
SEL_HttpResponse httpresponse_selector(void (T::*method)(HttpClient*, HttpResponse*)) {
    return static_cast<SEL_HttpResponse>(method);
}

class HttpRequest : public Ref {
public:
    enum class Type : int { GET = 0, POST = 1, PUT = 2, DELETE = 3, UNKNOWN = 4 };

    // Autoreleased; a request made with its constructor starts with one reference instead.
    static HttpRequest* create();
    HttpRequest() = default;
    ~HttpRequest() override;

    void setRequestType(Type type) { requestType = type; }
    Type getRequestType() const { return requestType; }

    // Absolute, with the query string already in it.
    void setUrl(const std::string& url) { this->url = url; }
    const std::string& getUrl() const { return url; }

    // The body: bytes with a length, zero bytes included.
    void setRequestData(const char* data, std::size_t size);
    const std::vector<char>& getRequestData() const { return requestData; }

    void setTag(const std::string& tag) { this->tag = tag; }
    const std::string& getTag() const { return tag; }

    // The target is retained until the request goes or another target is set.
    void setResponseCallback(Ref* target, SEL_HttpResponse selector);
    void setResponseCallback(const HttpRequestCallback& callback) { this->callback = callback; }
    Ref* getTarget() const { return target; }
    SEL_HttpResponse getSelector() const { return selector; }
    const HttpRequestCallback& getCallback() const { return callback; }

    // Not interpreted by the client.
    void setUserData(void* data) { userData = data; }
    void* getUserData() const { return userData; }

    // Whole header lines: a field name, a colon, the value.
    void setHeaders(const std::vector<std::string>& headers) { this->headers = headers; }
    const std::vector<std::string>& getHeaders() const { return headers; }

private:
    Type requestType = Type::UNKNOWN;
    std::string url;
    std::vector<char> requestData;
    std::string tag;
    Ref* target = nullptr;
    SEL_HttpResponse selector = nullptr;
    HttpRequestCallback callback;
    void* userData = nullptr;
    std::vector<std::string> headers;
};

}  // namespace network
}  // namespace kite
