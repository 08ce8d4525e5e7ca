// Helpers of the messenger SDK: messenger and application URLs, can-open probes,
// system decisions, property-list serialisation of pasteboard items and Base64.
#pragma once
#include <optional>
#include <string>

#include "platform/PlistValue.h"
#include "sdk/pigeon/MediaMessage.h"

namespace pigeon {

// An empty string stands for "no value" in arguments and results.
class PigeonApiUtil {
public:
    // The system version and screen kind are read once and kept.
    static bool isiOS7plus();
    static bool is2xScreen();
    static void resetCachesForTesting();

    // Pasteboard items are written as binary property lists; binary and XML ones are read.
    static std::optional<platform::PlistValue> propertyListFromData(const Bytes& data);
    static std::optional<Bytes> dataFromPropertyList(const platform::PlistValue& value);

    // "pigeon://app/APPID/" with the suffix appended when there is one.
    static std::string getPigeonUrl(const std::string& appid, const std::string& extraUrl = std::string());
    // "APPID://", the application's own URL.
    static std::string getAppUrl(const std::string& appid);
    static bool isAppOpenUrl(const std::string& url, const std::string& appid);
    static bool isAppInstalledWithCatchException(const std::string& appid);
    static bool isAppInstalledWithoutCatchException(const std::string& appid);
    static bool launchApp(const std::string& appid);
    // "APPID://platformId=pigeon", then "/ARGS" when there are arguments.
    static std::string getAppUrlWithPlatformId(const std::string& appid, const std::string& otherArgs = std::string());
    static bool isPGAppSupportApi();

    static std::optional<std::string> _internal_getSDKVersion();
    static std::string getSDKVersion();

    static std::optional<std::string> EncodeBase64(const std::string& text);
    static std::optional<std::string> NsDataEncodeBase64(const Bytes& data);
    static std::optional<Bytes> DecodeWithBase64(const std::string& text);
    static std::optional<std::string> DecodeBase64(const std::string& text);
};

// URL-argument escaping of UTF-8 text.
// Escapes every character but letters, digits and "-._~".
std::string pgApi_stringByEscapingForURLArgument(const std::string& text);
// Escapes what is not allowed in a URL, leaving ";/?:@=&$-_.+!*'(),%" as they are.
std::string pgApi_stringByEscapingForURLArgumentOnly(const std::string& text);
// "+" becomes a space, then percent escapes are undone; an escape that is not
// two hexadecimal digits stays as it is.
std::string pgApi_stringByUnescapingFromURLArgument(const std::string& text);
// As above, with every "\X" or "\x" read as "%" first (escapes JSON writers make).
std::string pgApi_stringByEncodeByJsonAndUrlEncode(const std::string& text);
// Percent escapes undone strictly: nothing when one is broken or the result is not UTF-8.
std::optional<std::string> percentDecodedUtf8(const std::string& text);

}  // namespace pigeon
