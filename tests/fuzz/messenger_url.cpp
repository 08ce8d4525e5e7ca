// URLs of the messenger's API ("pigeon://app/ID/command/?query") and their arguments, as the
// messenger stand-in and the SDK read them: query parameters, escapes, the application test.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "sdk/pigeon/PGApi.h"
#include "sdk/pigeon/PigeonApiUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string url = fuzz::text(data, size);
    const std::string::size_type mark = url.find('?');
    pigeon::PGApi::parseURLParams(mark == std::string::npos ? url : url.substr(mark + 1));
    pigeon::PigeonApiUtil::isAppOpenUrl(url, "pg5e18c0a7d94b2f63");
    pigeon::pgApi_stringByUnescapingFromURLArgument(url);
    pigeon::pgApi_stringByEncodeByJsonAndUrlEncode(url);
    pigeon::pgApi_stringByEscapingForURLArgument(url);
    pigeon::pgApi_stringByEscapingForURLArgumentOnly(url);
    pigeon::PigeonApiUtil::DecodeWithBase64(url);
    return 0;
}
