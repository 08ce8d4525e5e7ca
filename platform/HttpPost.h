// One synchronous HTTP POST over libcurl, for callers that already run on a work queue.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

struct HttpPostRequest {
    std::string url;                   // http or https only
    std::vector<std::string> headers;  // "Name: value" lines
    std::vector<unsigned char> body;
    long timeoutSeconds = 10;  // the whole exchange, connection included
    std::size_t maxResponseBytes = 64 * 1024;
};

struct HttpPostResult {
    bool transported = false;  // a complete reply came back (any status)
    long status = 0;
    std::string error;                 // why it was not transported
    bool bodyTooLarge = false;         // the reply came (status set) but its body passed the cap
    std::vector<std::string> headers;  // "Name: value", of the last reply
    std::vector<unsigned char> body;

    // The value of the first header of that name (case ignored), or empty.
    std::string header(const std::string& name) const;
};

// Posts the body and waits for the reply. TLS peers are always verified. A reply
// body over the cap ends the exchange as not transported.
HttpPostResult httpPost(const HttpPostRequest& request);

}  // namespace platform
