// Text from outside (a link's target, a URL, a file name, a script line) as a message may quote it: a
// control character would split the message or reach the terminal as a command (ESC [2J clears the
// screen), so each one shows as \xNN, as does a byte that is not UTF-8 (a lone 0x9b is a terminal's CSI).
// Everything else, Chinese text included, stays as it is.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

namespace detail {

inline void appendEscapedByte(std::string& out, unsigned char byte) {
    constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

// The length of the well-formed UTF-8 sequence at the start of the text (overlong forms, surrogates and
// code points past U+10FFFF are none), or 0.
inline std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the second byte's range
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
    return length;
}

}  // namespace detail

// The text with every control character (C0, DEL, and C1 as U+0080 to U+009F) and every byte that is not
// part of well-formed UTF-8 written as \xNN (a C1 character as its two bytes).
inline std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7f)
                detail::appendEscapedByte(out, c);
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = detail::utf8SequenceLength(text.substr(i));
        if (length == 0) {
            detail::appendEscapedByte(out, c);
            ++i;
        } else if (length == 2 && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            detail::appendEscapedByte(out, c);
            detail::appendEscapedByte(out, static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

// The same for the text's first `limit` bytes: a long text is quoted in part (a character cut there shows
// as \xNN).
inline std::string printableText(std::string_view text, std::size_t limit) {
    return printableText(text.substr(0, limit));
}

}  // namespace platform
