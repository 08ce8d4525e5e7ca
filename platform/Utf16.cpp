// UTF-8 decoding, strict, one code point at a time.
#include "platform/Utf16.h"

namespace platform {
namespace {

// Calls `each` with every code point of the text; false when it is not valid UTF-8.
template <typename Each>
bool forEachCodePoint(const std::string& text, Each each) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xe  ? 3
                                   : (lead >> 3) == 0x1e ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size()) return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7f >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80) return false;
            code = (code << 6) | (next & 0x3f);
        }
        static constexpr std::uint32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallestOfLength[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
        each(code);
        i += length;
    }
    return true;
}

}  // namespace

std::optional<std::u16string> utf16FromUtf8(const std::string& text) {
    std::u16string units;
    units.reserve(text.size());
    const bool valid = forEachCodePoint(text, [&units](std::uint32_t code) {
        if (code < 0x10000) {
            units += char16_t(code);
            return;
        }
        code -= 0x10000;
        units += char16_t(0xd800 + (code >> 10));
        units += char16_t(0xdc00 + (code & 0x3ff));
    });
    if (!valid) return std::nullopt;
    return units;
}

std::optional<std::size_t> utf16Length(const std::string& text) {
    std::size_t units = 0;
    if (!forEachCodePoint(text, [&units](std::uint32_t code) { units += code >= 0x10000 ? 2 : 1; })) {
        return std::nullopt;
    }
    return units;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xc0 | (code >> 6));
        out += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += char(0xe0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    } else {
        out += char(0xf0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3f));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    }
}

}  // namespace platform
