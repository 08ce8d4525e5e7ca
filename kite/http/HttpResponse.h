// The reply to one HTTP request: success flag, status code, header text, body bytes and error text.
#pragma once
#include <string>
#include <vector>

#include "kite/foundation/Ref.h"

namespace kite {
namespace network {

class HttpRequest;

class HttpResponse : public Ref {
public:
    // Autoreleased; null when it cannot be allocated.
    static HttpResponse* create(HttpRequest* request);
    // Retains the request until the response goes.
    explicit HttpResponse(HttpRequest* request);
    ~HttpResponse() override;

    HttpRequest* getHttpRequest() const { return request; }

    // False when the connection failed; a reply of any status succeeded.
    bool isSucceed() const { return succeeded; }
    void setSucceed(bool value) { succeeded = value; }

    std::vector<char>* getResponseData() { return &responseData; }
    void setResponseData(const std::vector<char>& data) { responseData = data; }

    // "HTTP/1.1 <code> <status text>" and then one "Name: value" line per field, without a final newline.
    std::vector<char>* getResponseHeader() { return &responseHeader; }
    void setResponseHeader(const std::vector<char>& header) { responseHeader = header; }

    // The HTTP status, or -1 when the connection failed.
    long getResponseCode() const { return responseCode; }
    void setResponseCode(long code) { responseCode = code; }

    // Why the connection failed; empty otherwise.
    const char* getErrorBuffer() const { return errorText.c_str(); }
    void setErrorBuffer(const std::string& text) { errorText = text; }

private:
    HttpRequest* request = nullptr;
    bool succeeded = false;
    std::vector<char> responseData;
    std::vector<char> responseHeader;
    long responseCode = 0;
    std::string errorText;
};

}  // namespace network
}  // namespace kite
