// Sends the game's requests to its server in the one frame they all share: the URL below the
// stored base, a tag, a flat JSON body of texts for POST, the client's connect time-out, and a
// reply handler on the main thread. A request sent for a screen is answered only while that
// screen is on stage; a request cut off by destroying the client still gets its (failed) reply.
#pragma once
#include <functional>
#include <map>
#include <string>

namespace kite {
class Node;
namespace network {
class HttpClient;
class HttpResponse;
}  // namespace network
}  // namespace kite

class ServerExchange {
public:
    using Fields = std::map<std::string, std::string>;
    using ReplyHandler = std::function<void(kite::network::HttpClient*, kite::network::HttpResponse*)>;

    static constexpr int kConnectTimeout = 20;
    static constexpr int kSubmitScoreTimeout = 30;

    // "%s/<path>" with the stored base ("httpRequestURL"); the path may carry a query.
    static std::string url(const std::string& path);
    // The body: jsoncpp's compact writer over the fields (keys in byte order), ending in a newline.
    static std::string bodyText(const Fields& fields);

    // The screen, when given, is held until the reply; a reply reaching it after it left the stage
    // (or, sent while it was being built, after it was taken out of its parent) is dropped.
    static void get(const std::string& url, const std::string& tag, kite::Node* screen, ReplyHandler handler,
                    int connectTimeout = kConnectTimeout);
    static void post(const std::string& url, const std::string& tag, const Fields& fields, kite::Node* screen,
                     ReplyHandler handler, int connectTimeout = kConnectTimeout);

    // Destroys the HTTP client, as leaving a screen or going to the background does. Every
    // request still waiting gets a failed reply first (a wait box never stays up), unless
    // quietly is set: then the waiting replies are only forgotten.
    static void destroyClient(bool quietly = false);
    // Requests sent and not yet answered.
    static std::size_t waitingCount();
};
