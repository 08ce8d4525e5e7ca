// Base64 with the standard alphabet, strict on what it accepts.
#include "platform/Base64.h"

namespace platform {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string base64Encode(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    for (std::size_t i = 0; i < size; i += 3) {
        const std::size_t left = size - i;
        std::uint32_t group = std::uint32_t(bytes[i]) << 16;
        if (left > 1) group |= std::uint32_t(bytes[i + 1]) << 8;
        if (left > 2) group |= bytes[i + 2];
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        text += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> base64Decode(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    int sextets = 0;
    int padding = 0;
    for (char c : text) {
        if (isSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = sextetOf(c);
        if (value < 0 || padding > 0) return std::nullopt;
        group = (group << 6) | std::uint32_t(value);
        if (++sextets == 4) {
            bytes.push_back(std::uint8_t(group >> 16));
            bytes.push_back(std::uint8_t(group >> 8));
            bytes.push_back(std::uint8_t(group));
            group = 0;
            sextets = 0;
        }
    }
    if (sextets == 1) return std::nullopt;
    if (padding > 0 && (sextets == 0 || sextets + padding != 4)) return std::nullopt;
    if (sextets == 2) bytes.push_back(std::uint8_t(group >> 4));
    if (sextets == 3) {
        bytes.push_back(std::uint8_t(group >> 10));
        bytes.push_back(std::uint8_t(group >> 2));
    }
    return bytes;
}

}  // namespace platform
