// Helpers of the messenger SDK.
#include "sdk/pigeon/PigeonApiUtil.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/Base64.h"
#include "platform/DeviceSystem.h"
#include "platform/Pasteboard.h"
#include "platform/PlistBinary.h"
#include "platform/UrlOpener.h"
#include "platform/Utf16.h"
#include "sdk/pigeon/ExchangeKeys.h"

namespace pigeon {
namespace {

// Filled on first use, on the main thread.
double cachedSystemVersion = 0;
int cachedScreenKind = -1;

std::string percentEscaped(const std::string& text, const char* keptPunctuation) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (unsigned char c : text) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          (c != '\0' && std::strchr(keptPunctuation, c) != nullptr);
        if (kept) {
            escaped += char(c);
        } else {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 15];
        }
    }
    return escaped;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent escapes undone; a "%" not followed by two hexadecimal digits stays as
// it is, or refuses the whole text when `strict`.
std::optional<std::string> percentDecoded(const std::string& text, bool strict) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            plain += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (text[i] == '%' && strict) {
            return std::nullopt;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

std::string percentUnescaped(const std::string& text) { return *percentDecoded(text, false); }

std::string plusAsSpace(std::string text) {
    for (char& c : text) {
        if (c == '+') c = ' ';
    }
    return text;
}

}  // namespace

bool PigeonApiUtil::isiOS7plus() {
    if (cachedSystemVersion < 0.1) {
        // The leading number of "7.0.3", whatever the locale's decimal mark.
        const std::string version = platform::systemVersionString();
        double number = 0;
        std::from_chars(version.data(), version.data() + version.size(), number);
        cachedSystemVersion = number;
    }
    return cachedSystemVersion > 6.9;
}

bool PigeonApiUtil::is2xScreen() {
    if (cachedScreenKind < 0) cachedScreenKind = platform::mainScreenScale() == 2.0 ? 2 : 1;
    return cachedScreenKind > 1;
}

void PigeonApiUtil::resetCachesForTesting() {
    cachedSystemVersion = 0;
    cachedScreenKind = -1;
}

std::optional<platform::PlistValue> PigeonApiUtil::propertyListFromData(const Bytes& data) {
    if (data.empty()) return std::nullopt;
    std::string error;
    auto value = platform::decodePlist(data.data(), data.size(), &error);
    if (!value) std::fprintf(stderr, "PigeonApiUtil: not a property list: %s\n", error.c_str());
    return value;
}

std::optional<Bytes> PigeonApiUtil::dataFromPropertyList(const platform::PlistValue& value) {
    std::string error;
    std::optional<Bytes> bytes = platform::encodePlistBinary(value, &error);
    if (!bytes) std::fprintf(stderr, "PigeonApiUtil: cannot write a property list: %s\n", error.c_str());
    return bytes;
}

std::string PigeonApiUtil::getPigeonUrl(const std::string& appid, const std::string& extraUrl) {
    if (appid.empty()) return std::string();
    return "pigeon://app/" + appid + "/" + extraUrl;
}

std::string PigeonApiUtil::getAppUrl(const std::string& appid) {
    if (appid.empty()) return std::string();
    return appid + "://";
}

bool PigeonApiUtil::isAppOpenUrl(const std::string& url, const std::string& appid) {
    if (appid.empty()) return false;
    const std::string appUrl = getAppUrl(appid);
    return url.compare(0, appUrl.size(), appUrl) == 0;
}

bool PigeonApiUtil::isAppInstalledWithCatchException(const std::string& appid) {
    // The platform layer reports failures by its answer; there is nothing to catch.
    return isAppInstalledWithoutCatchException(appid);
}

bool PigeonApiUtil::isAppInstalledWithoutCatchException(const std::string& appid) {
    return !appid.empty() && platform::canOpenUrl(getAppUrl(appid));
}

bool PigeonApiUtil::launchApp(const std::string& appid) {
    return !appid.empty() && platform::openUrl(getAppUrl(appid));
}

std::string PigeonApiUtil::getAppUrlWithPlatformId(const std::string& appid, const std::string& otherArgs) {
    if (appid.empty()) return std::string();
    std::string url = appid + "://platformId=pigeon";
    if (!otherArgs.empty()) url += "/" + otherArgs;
    return url;
}

bool PigeonApiUtil::isPGAppSupportApi() { return platform::canOpenUrl("pigeonapi://"); }

std::optional<std::string> PigeonApiUtil::_internal_getSDKVersion() {
    const std::optional<platform::Pasteboard> pasteboard = platform::Pasteboard::named("pigeon_sdk_infomation", false);
    if (!pasteboard) return std::nullopt;
    const std::optional<platform::Pasteboard::Data> data = pasteboard->data("content");
    if (!data) return std::nullopt;
    const std::optional<platform::PlistValue> information = propertyListFromData(*data);
    if (!information || !information->asDictionary()) return std::nullopt;
    const std::string* version = exchange::stringAt(*information->asDictionary(), "version");
    if (!version) return std::nullopt;
    return *version;
}

std::string PigeonApiUtil::getSDKVersion() {
    if (std::optional<std::string> version = _internal_getSDKVersion()) return *version;
    return isPGAppSupportApi() ? "1.0" : "";
}

std::optional<std::string> PigeonApiUtil::EncodeBase64(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return platform::base64Encode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::optional<std::string> PigeonApiUtil::NsDataEncodeBase64(const Bytes& data) {
    if (data.empty()) return std::nullopt;
    return platform::base64Encode(data.data(), data.size());
}

std::optional<Bytes> PigeonApiUtil::DecodeWithBase64(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::optional<Bytes> bytes = platform::base64Decode(text);
    if (!bytes || bytes->empty()) return std::nullopt;
    return bytes;
}

std::optional<std::string> PigeonApiUtil::DecodeBase64(const std::string& text) {
    const std::optional<Bytes> bytes = DecodeWithBase64(text);
    if (!bytes) return std::nullopt;
    std::string decoded(bytes->begin(), bytes->end());
    if (!platform::utf16Length(decoded)) return std::nullopt;
    return decoded;
}

std::string pgApi_stringByEscapingForURLArgument(const std::string& text) { return percentEscaped(text, "-._~"); }

std::string pgApi_stringByEscapingForURLArgumentOnly(const std::string& text) {
    return percentEscaped(text, ";/?:@=&$-_.+!*'(),%~");
}

std::string pgApi_stringByUnescapingFromURLArgument(const std::string& text) {
    return percentUnescaped(plusAsSpace(text));
}

std::string pgApi_stringByEncodeByJsonAndUrlEncode(const std::string& text) {
    std::string withPercents = plusAsSpace(text);
    std::string::size_type at = 0;
    while ((at = withPercents.find('\\', at)) != std::string::npos) {
        if (at + 1 < withPercents.size() && (withPercents[at + 1] == 'X' || withPercents[at + 1] == 'x')) {
            withPercents.replace(at, 2, "%");
        }
        ++at;
    }
    return percentUnescaped(withPercents);
}

std::optional<std::string> percentDecodedUtf8(const std::string& text) {
    std::optional<std::string> plain = percentDecoded(text, true);
    if (!plain || !platform::utf16Length(*plain)) return std::nullopt;
    return plain;
}

}  // namespace pigeon
