// The check of a received exchange dictionary.
#include "sdk/pigeon/ExchangeKeys.h"

#include <charconv>
#include <cstdio>

namespace pigeon {
namespace exchange {
namespace {

enum class Kind { Text, Unsigned, Signed, Bytes };

struct KeyRule {
    const char* key;
    Kind kind;
    std::size_t cap;  // UTF-16 units of text, bytes of data
};

// Every key the codec reads; keys it does not read are left alone. Fields
// without a limit of their own (account, identifiers, locale) get a generous one.
constexpr std::size_t kMaxIdentifierLength = 1024;
constexpr std::size_t kMaxNumberLength = 24;
constexpr KeyRule kRules[] = {
    {"command", Kind::Unsigned, kMaxNumberLength},
    {"returnFromApp", Kind::Text, kMaxNumberLength},
    {"result", Kind::Signed, kMaxNumberLength},
    {"scene", Kind::Signed, kMaxNumberLength},
    {"objectType", Kind::Unsigned, kMaxNumberLength},
    {"account", Kind::Text, kMaxIdentifierLength},
    {"sdkver", Kind::Text, kMaxIdentifierLength},
    {"openID", Kind::Text, kMaxIdentifierLength},
    {"language", Kind::Text, kMaxIdentifierLength},
    {"country", Kind::Text, kMaxIdentifierLength},
    {"scope", Kind::Text, kMaxScopeLength},
    {"state", Kind::Text, kMaxStateLength},
    {"title", Kind::Text, kMaxTextLength},
    {"description", Kind::Text, kMaxDescriptionLength},
    {"mediaTagName", Kind::Text, kMaxMediaTagNameLength},
    {"messageExt", Kind::Text, kMaxMessageExtLength},
    {"messageAction", Kind::Text, kMaxMessageActionLength},
    {"mediaUrl", Kind::Text, kMaxUrlLength},
    {"mediaLowBandUrl", Kind::Text, kMaxUrlLength},
    {"mediaDataUrl", Kind::Text, kMaxUrlLength},
    {"mediaLowBandDataUrl", Kind::Text, kMaxUrlLength},
    {"extInfo", Kind::Text, kMaxExtInfoLength},
    {"fileExt", Kind::Text, kMaxFileExtLength},
    {"thumbData", Kind::Bytes, kMaxThumbDataSize},
    {"fileData", Kind::Bytes, kMaxFileDataSize},
};

bool refuse(const char* key, const char* problem) {
    std::fprintf(stderr, "AppCommunicateData: refused a received message: \"%s\" %s\n", key, problem);
    return false;
}

bool isAcceptable(const KeyRule& rule, const platform::PlistValue& value) {
    if (rule.kind == Kind::Bytes) {
        const platform::PlistValue::Data* bytes = value.asData();
        if (!bytes) return refuse(rule.key, "is not data");
        return bytes->size() <= rule.cap || refuse(rule.key, "is larger than allowed");
    }
    const std::string* text = value.asString();
    if (!text) return refuse(rule.key, "is not a string");
    if (!fitsLength(*text, rule.cap)) return refuse(rule.key, "is too long or not UTF-8");
    if (rule.kind == Kind::Unsigned && !parseUnsigned(*text)) return refuse(rule.key, "is not an unsigned number");
    if (rule.kind == Kind::Signed && !parseInt32(*text)) return refuse(rule.key, "is not a 32-bit number");
    return true;
}

}  // namespace

std::optional<std::size_t> utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xe  ? 3
                                   : (lead >> 3) == 0x1e ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size()) return std::nullopt;
        std::uint32_t codePoint = length == 1 ? lead : lead & (0x7f >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80) return std::nullopt;
            codePoint = (codePoint << 6) | (next & 0x3f);
        }
        static constexpr std::uint32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kSmallestOfLength[length] || codePoint > 0x10ffff ||
            (codePoint >= 0xd800 && codePoint <= 0xdfff)) {
            return std::nullopt;
        }
        units += codePoint >= 0x10000 ? 2 : 1;
        i += length;
    }
    return units;
}

bool fitsLength(const std::string& text, std::size_t limit) {
    const std::optional<std::size_t> length = utf16Length(text);
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
