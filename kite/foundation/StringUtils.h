// Text utilities: printf-style formatting, UTF conversions, whitespace and CJK tests, number parsing.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

namespace kite {

namespace StringUtils {

// Size of the work buffer of the printf-style formatters; longer results are cut.
constexpr std::size_t kFormatBufferSize = 102400;

// printf-style formatting into a plain string (at most kFormatBufferSize - 1 bytes).
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Strict conversions. UTF8ToUTF16 leaves the output untouched on failure and stops
// at a U+0000; UTF16ToUTF8 honours a leading byte-order mark and clears the output on failure.
bool UTF8ToUTF16(const std::string& utf8, std::u16string& outUtf16);
bool UTF16ToUTF8(const std::u16string& utf16, std::string& outUtf8);
bool convertUTF16StringToUTF8(const std::u16string& utf16, std::string& outUtf8);
bool UTF8ToUTF32(const std::string& utf8, std::u32string& outUtf32);
bool UTF32ToUTF8(const std::u32string& utf32, std::string& outUtf8);

// Validates utf8 and writes it as units of the given width (1, 2 or 4) at resultCursor,
// which must have room for utf8.size() units; the cursor is advanced on success. On
// failure errorPosition points at where the input went wrong. Other widths do nothing.
bool convertUTF8ToUnits(unsigned width, const std::string& utf8, char*& resultCursor,
                        const unsigned char*& errorPosition);

bool isUnicodeSpace(char16_t ch);
bool isCJKUnicode(char16_t ch);

// Index of the last element different from ch; -1 when there is none.
int getIndexOfLastNotChar16(const std::vector<char16_t>& str, char16_t ch);
// Removes every trailing whitespace unit.
void trimUTF16Vector(std::vector<char16_t>& str);

}  // namespace StringUtils

// Number parser that keeps at most seven digits after the decimal point (any exponent
// is kept) and reads a point as the decimal separator whatever the process locale.
double atof(const char* text);

// strtod and strtof with a point as the decimal separator whatever the process locale.
double strtodPoint(const char* text, char** end);
float strtofPoint(const char* text, char** end);

// The shortest text that reads back as the same number (as the same float when
// singlePrecision), with a point as the decimal separator whatever the locale.
std::string realToText(double v, bool singlePrecision = false);

// Smallest power of two not below x; 0 gives 0, values above 2^31 wrap to 0.
std::uint32_t nextPowerOfTwo(std::uint32_t x);

// The engine's version text.
const char* kiteVersion();

}  // namespace kite
