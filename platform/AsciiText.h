// Machine text (URL schemes, host names, header and attribute names, numbers programs read back):
// ASCII only, whatever the process locale. <cctype>'s answers follow the locale: a Turkish one leaves
// std::tolower('I') as 'I', so "FILE" would not lower to "file"; printf's "%.2f" writes a German
// decimal comma.
#pragma once
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr bool isAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isAsciiAlnum(char c) { return isAsciiAlpha(c) || isAsciiDigit(c); }

inline std::string asciiLowercase(std::string text) {
    for (char& c : text) c = asciiLower(c);
    return text;
}

// Whether the text begins with the prefix, ASCII letters compared without case.
inline bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (asciiLower(text[i]) != asciiLower(prefix[i])) return false;
    }
    return true;
}

// The text as a whole number from 0 to `most`: digits only, so a sign, a space or an empty text is
// none (strtol would skip a leading space and take a "+").
inline std::optional<long> wholeNumber(std::string_view text, long most) {
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (!isAsciiDigit(c)) return std::nullopt;
    }
    long value = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
    if (read.ec != std::errc() || value > most) return std::nullopt;
    return value;
}

// Fixed notation with the given number of decimals and a point; "nan" and "inf" as they are.
inline std::string fixedPointText(double value, int decimals) {
    char buffer[512];  // the largest double needs 309 digits before the point
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return written.ec == std::errc() ? std::string(buffer, written.ptr) : std::string();
}

}  // namespace platform
