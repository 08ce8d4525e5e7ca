// Base64 with the standard alphabet, strict on what it accepts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Four characters for every started group of three bytes, "=" padded.
std::string base64Encode(const std::uint8_t* bytes, std::size_t size);

// Decodes text of the alphabet A-Z a-z 0-9 + /. ASCII whitespace (line breaks of
// wrapped text) is skipped; "=" may pad only the last group and a last group of
// two or three characters decodes without it. Anything else - another
// character, a lone last character, text after the padding - gives nothing.
std::optional<std::vector<std::uint8_t>> base64Decode(const std::string& text);

}  // namespace platform
