// UTF-8 text measured and converted in UTF-16 code units, the units property
// lists and the messenger count characters in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Nothing when the text is not valid UTF-8 (overlong forms, surrogates and
// code points past U+10FFFF included).
std::optional<std::u16string> utf16FromUtf8(const std::string& text);
std::optional<std::size_t> utf16Length(const std::string& text);

// Appends one code point (at most U+10FFFF, no surrogate) as UTF-8.
void appendUtf8(std::string& out, std::uint32_t codePoint);

}  // namespace platform
