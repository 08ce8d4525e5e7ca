// The check of a received exchange dictionary.
#include "sdk/pigeon/ExchangeKeys.h"

#include <charconv>
#include <cstdio>

#include "platform/Utf16.h"

namespace pigeon {
namespace exchange {
namespace {

enum class Kind { Text, Unsigned, Signed, Bytes };

struct KeyRule {
    const char* key;
    Kind kind;
};

// Every key the codec reads; keys it does not read are left alone. No length
// is capped here: the messenger may write any of them longer than the limits
// this side sends with (a media message it shows carries no limits at all),
// and the pasteboard's own size limit bounds them all.
constexpr KeyRule kRules[] = {
    {"command", Kind::Unsigned},     {"returnFromApp", Kind::Text},  {"result", Kind::Signed},
    {"scene", Kind::Signed},         {"objectType", Kind::Unsigned}, {"account", Kind::Text},
    {"sdkver", Kind::Text},          {"openID", Kind::Text},         {"language", Kind::Text},
    {"country", Kind::Text},         {"scope", Kind::Text},          {"state", Kind::Text},
    {"title", Kind::Text},           {"description", Kind::Text},    {"mediaTagName", Kind::Text},
    {"messageExt", Kind::Text},      {"messageAction", Kind::Text},  {"mediaUrl", Kind::Text},
    {"mediaLowBandUrl", Kind::Text}, {"mediaDataUrl", Kind::Text},   {"mediaLowBandDataUrl", Kind::Text},
    {"extInfo", Kind::Text},         {"fileExt", Kind::Text},        {"thumbData", Kind::Bytes},
    {"fileData", Kind::Bytes},
};

bool refuse(const char* key, const char* problem) {
    std::fprintf(stderr, "AppCommunicateData: refused a received message: \"%s\" %s\n", key, problem);
    return false;
}

bool isAcceptable(const KeyRule& rule, const platform::PlistValue& value) {
    if (rule.kind == Kind::Bytes) return value.asData() || refuse(rule.key, "is not data");
    const std::string* text = value.asString();
    if (!text) return refuse(rule.key, "is not a string");
    if (!platform::utf16Length(*text)) return refuse(rule.key, "is not UTF-8");
    if (rule.kind == Kind::Unsigned && !parseUnsigned(*text)) return refuse(rule.key, "is not an unsigned number");
    if (rule.kind == Kind::Signed && !parseInt32(*text)) return refuse(rule.key, "is not a 32-bit number");
    return true;
}

}  // namespace

bool fitsLength(const std::string& text, std::size_t limit) {
    const std::optional<std::size_t> length = platform::utf16Length(text);
    return length && *length <= limit;
}

std::optional<std::uint64_t> parseUnsigned(const std::string& text) {
    std::uint64_t number = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

std::optional<std::int32_t> parseInt32(const std::string& text) {
    std::int32_t number = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

bool isAcceptableReceived(const Dictionary& dictionary) {
    for (const KeyRule& rule : kRules) {
        const auto found = dictionary.find(rule.key);
        if (found != dictionary.end() && !isAcceptable(rule, found->second)) return false;
    }
    return true;
}

const std::string* stringAt(const Dictionary& dictionary, const char* key) {
    const auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : found->second.asString();
}

const platform::PlistValue::Data* dataAt(const Dictionary& dictionary, const char* key) {
    const auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : found->second.asData();
}

}  // namespace exchange
}  // namespace pigeon
