// The HTTP client: requests sent on the main thread are performed one at a time, in order, on a
// worker thread, and each reply comes back to its request's callback on the main thread.
#pragma once
#include <deque>
#include <memory>
#include <string>

#include "kite/foundation/Ref.h"
#include "kite/http/HttpRequest.h"
#include "kite/http/HttpResponse.h"

namespace platform {
class SerialQueue;
}

namespace kite {

class Scheduler;

namespace network {

struct HttpResult;

class HttpClient {
public:
    // The client, made on first use with time-outs of 30 s (connect) and 60 s (read); null
    // only when it cannot be allocated.
    static HttpClient* getInstance();
    // Ends this client: no reply is delivered after this, not even for requests already sent
    // (those still reach the server). The next getInstance makes a new client that works at once.
    static void destroyInstance();

    // Retains the request until its callback has run; a null request is ignored. One that cannot be
    // sent (the worker thread cannot start: a limit on processes or address space) fails at once: its
    // reply comes on the main thread at the next frame, not succeeded, with the reason as its error.
    void send(HttpRequest* request);

    // The connect time-out bounds each whole exchange; the read time-out is kept but unused.
    void setConnectTimeout(int seconds) { connectTimeout = seconds; }
    int getConnectTimeout() const { return connectTimeout; }
    void setReadTimeout(int seconds) { readTimeout = seconds; }
    int getReadTimeout() const { return readTimeout; }

    // Cookies are off until a file name is set: then replies' cookies are kept, sent where they
    // match, and the file is written whenever a client is destroyed. Empty switches them off.
    static void setCookieFileName(const std::string& fileName);
    static const std::string& getCookieFileName();
    // A PEM file of the only certificates trusted instead of the system's store; empty: the system's.
    static void setCertificateFileName(const std::string& fileName);
    // The public key TLS peers must present ("sha256//<base64>;..." or a key file); empty: no pinning.
    // A pinned key is trusted on its own (a self-signed peer with that key passes, unless a
    // certificate file is set too); the host name is always checked.
    static void setPinnedPublicKey(const std::string& pin);

    virtual ~HttpClient();

private:
    struct Session;
    class PerformJob;

    HttpClient() = default;
    // Starts the worker; false with the reason when it cannot.
    bool start(std::string* why);
    void failAtOnce(HttpRequest* request, const std::string& why);
    // Main thread: hands the oldest reply to its request's callback.
    void dispatch(const HttpResult& result);
    void respond(HttpRequest* request, const HttpResult& result);

    int connectTimeout = 30;
    int readTimeout = 60;
    Scheduler* scheduler_ = nullptr;  // retained; replies are posted to it
    std::shared_ptr<Session> session_;
    std::unique_ptr<platform::SerialQueue> worker_;
    // Sent and not yet answered, oldest first; touched on the main thread only.
    std::deque<RefPtr<HttpRequest>> waiting_;
};

}  // namespace network
}  // namespace kite
