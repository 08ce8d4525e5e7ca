// The transport under the HTTP client: one request performed synchronously on the calling thread.
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "kite/http/HttpJob.h"

namespace kite {
namespace network {

class CookieStore;

// Lives for one request on the HTTP worker. TLS peers are verified against the system's
// certificate store (or only the job's certificate file), and a pinned key really pins.
class HttpAsynConnection {
public:
    // Bodies larger than this fail the request instead of filling memory.
    static constexpr std::size_t kMaxBodyBytes = 16u << 20;
    static constexpr int kMaxRedirects = 5;

    // cookies may be null (cookies off). The transfer in flight fails as soon as abandon is set.
    HttpAsynConnection(const HttpJob& job, CookieStore* cookies, const std::atomic<bool>& abandon);

    // Runs the exchange, following redirects, and fills the result.
    void perform(HttpResult& result);

    // Called by the transfer as it receives the reply.
    bool onHeaderLine(const char* line, std::size_t size);
    bool onData(const char* data, std::size_t size);
    bool abandoned() const { return abandon_.load(std::memory_order_relaxed); }

private:
    // One hop of the exchange; false with the error text set when the connection failed.
    bool transfer(void* handle, const std::string& url, const std::string& method, bool withBody);
    void storeCookies(const std::string& url) const;
    void fail(HttpResult& result, const std::string& text) const;

    const HttpJob& job_;
    CookieStore* cookies_;
    const std::atomic<bool>& abandon_;

    std::string srcURL;
    std::vector<std::string> responseHeader;  // "Name: value", in arrival order
    std::vector<char> responseData;
    int getDataTime = 0;
    long responseCode = 0;
    std::string responseError;
    bool bodyTooLarge_ = false;
};

// The reason phrase of an HTTP status ("OK" for 200); "Unknown" for codes without one.
const char* statusTextForCode(long code);

}  // namespace network
}  // namespace kite
