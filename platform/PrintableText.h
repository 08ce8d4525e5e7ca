// Text from outside (a link's target, a URL, a file name, a script line) as a message may quote it: a
// control character would split the message or reach the terminal as a command (ESC [2J clears the
// screen), so each one shows as \xNN, as does a byte that is not UTF-8 (a lone 0x9b is a terminal's CSI).
// Everything else, Chinese text included, stays as it is. visibleText also writes a character that shows
// nothing or turns the text around it (a direction override reverses the rest of a terminal line) as U+NNNN.
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

// A space other than the ASCII one, or a format character that shows nothing in running text (soft hyphen,
// zero-width space, direction marks, embeddings, overrides and isolates, word joiner, byte-order mark). The joiners U+200C and
// U+200D and the variation selectors shape the text around them (emoji, scripts that join) and are left to it.
inline bool isInvisible(char32_t c) {
    return c == 0xa0 || c == 0xad || c == 0x61c || c == 0x1680 || c == 0x180e || (c >= 0x2000 && c <= 0x200b) ||
           c == 0x200e || c == 0x200f || (c >= 0x2028 && c <= 0x202f) || (c >= 0x205f && c <= 0x2064) ||
           (c >= 0x2066 && c <= 0x206f) || c == 0x3000 || c == 0xfeff || (c >= 0xfff9 && c <= 0xfffb);
}

// The code point of the well-formed sequence of `length` bytes at the start of the text.
inline char32_t codePoint(std::string_view text, std::size_t length) {
    char32_t code = static_cast<unsigned char>(text[0]) & (0x7f >> length);
    for (std::size_t k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(text[k]) & 0x3f);
    return code;
}

// U+NNNN, at least four hex digits.
inline std::string codePointName(char32_t code) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (; code != 0 || digits.size() < 4; code >>= 4) digits.insert(digits.begin(), kHex[code & 15]);
    return "U+" + digits;
}

// printableText's escaping, and visibleText's when invisibleToo.
inline std::string escaped(std::string_view text, bool invisibleToo) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7f)
                appendEscapedByte(out, c);
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text.substr(i));
        if (length == 0) {
            appendEscapedByte(out, c);
            ++i;
        } else if (length == 2 && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            appendEscapedByte(out, c);
            appendEscapedByte(out, static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else {
            const char32_t code = codePoint(text.substr(i), length);
            if (invisibleToo && isInvisible(code))
                out += codePointName(code);
            else
                out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace detail

// The text with every control character (C0, DEL, and C1 as U+0080 to U+009F) and every byte that is not
// part of well-formed UTF-8 written as \xNN (a C1 character as its two bytes).
inline std::string printableText(std::string_view text) { return detail::escaped(text, false); }

// The same for the text's first `limit` bytes: a long text is quoted in part (a character cut there shows
// as \xNN).
inline std::string printableText(std::string_view text, std::size_t limit) {
    return printableText(text.substr(0, limit));
}

// As printableText, with each character that shows nothing (a space other than the ASCII one, a format
// character such as a direction mark, embedding, override or isolate) written as U+NNNN: for a text a
// message names such a character in, which would otherwise turn or hide the rest of the line.
inline std::string visibleText(std::string_view text, std::size_t limit = std::string_view::npos) {
    return detail::escaped(text.substr(0, limit), true);
}

}  // namespace platform
