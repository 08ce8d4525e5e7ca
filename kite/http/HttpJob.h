// Plain records that carry one request to the HTTP worker and its result back, so that no
// reference-counted object ever crosses threads.
#pragma once
#include <string>
#include <vector>

namespace kite {
namespace network {

struct HttpJob {
    std::string method;  // "GET", "POST", "PUT", "DELETE"; empty: the transport's default (GET)
    std::string url;
    std::vector<std::string> headers;  // whole lines, "Name: value"
    std::vector<char> body;
    long timeoutSeconds = 30;     // the whole exchange, connection included
    std::string certificateFile;  // PEM file of the only certificates trusted; empty: the system's store
    std::string pinnedPublicKey;  // "sha256//<base64>" list or a key file; empty: no pinning
};

struct HttpResult {
    bool succeeded = false;
    long code = -1;
    std::vector<char> header;
    std::vector<char> body;
    std::string error;
};

}  // namespace network
}  // namespace kite
