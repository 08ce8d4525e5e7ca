// The HTTP client's cookies: kept per domain, path and name, sent only where they match,
// and written in the Netscape cookie-file format.
#pragma once
#include <ctime>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kite {
namespace network {

struct Cookie {
    std::string domain;
    bool tailMatch = false;  // also sent to the domain's subdomains
    std::string path;
    bool secure = false;  // sent over https only
    std::string name;
    std::string value;
    std::string expires;  // decimal seconds since 1970; "0" for a cookie of this run only
};

// Locked: the HTTP worker reads and updates it while the main thread writes the file.
class CookieStore {
public:
    explicit CookieStore(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string& getFileName() const { return fileName_; }

    // The value of a Cookie header for a request to url at time now ("a=1; b=2"); empty when none applies.
    std::string cookieHeaderFor(const std::string& url, std::time_t now) const;
    // Takes one Set-Cookie header value of a reply from url. A cookie for another domain,
    // or one with characters the file cannot hold, is refused with a log line.
    void storeFromHeader(const std::string& url, const std::string& setCookie, std::time_t now);
    // Replaces the cookie of the same domain, path and name, or appends it.
    void updateOrAdd(const Cookie& cookie);
    std::vector<Cookie> getCookies() const;

    // Replaces the cookie file as a whole; false (old file untouched) when it cannot be written.
    bool writeFile() const;

private:
    void removeCookie(const Cookie& cookie);

    const std::string fileName_;
    mutable std::mutex mutex_;
    std::vector<Cookie> cookies_;
};

}  // namespace network
}  // namespace kite
