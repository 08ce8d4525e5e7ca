// Set-Cookie headers of the servers the game talks to, stored and matched back to requests.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "kite/http/CookieStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // "URL\nheader", or the whole input as the header of a reply from a fixed address.
    const std::string text = fuzz::text(data, size);
    const std::string::size_type line = text.find('\n');
    const std::string url = line == std::string::npos ? "http://game.example.com/a/b" : text.substr(0, line);
    const std::string header = line == std::string::npos ? text : text.substr(line + 1);
    kite::network::CookieStore store("unused");
    const std::time_t now = 1700000000;
    store.storeFromHeader(url, header, now);
    store.cookieHeaderFor(url, now);
    store.cookieHeaderFor("https://sub.game.example.com/a/b/c", now + 86400);
    store.getCookies();
    return 0;
}
