// Text utilities: formatting, UTF conversions, character classes, number parsing.
#include "kite/foundation/StringUtils.h"

#include <locale.h>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "kite/foundation/ConvertUTF.h"

namespace kite {

namespace StringUtils {

std::string formatV(const char* format, va_list args) {
    if (format == nullptr) return std::string();
    std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char*>(std::malloc(kFormatBufferSize)), &std::free);
    if (!buffer) return std::string();
    buffer.get()[0] = '\0';
    int written = std::vsnprintf(buffer.get(), kFormatBufferSize, format, args);
    if (written < 0) return std::string();
    return std::string(buffer.get());
}

std::string format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = formatV(format, args);
    va_end(args);
    return result;
}

namespace {

// Converts UTF-8 into units of type Unit at resultCursor (room for capacity units) and moves the
// cursor past them; on failure errorPosition is where the input went wrong.
template <class Unit>
bool convertInto(ConversionResult (*convert)(const UTF8**, const UTF8*, Unit**, Unit*, ConversionMode),
                 const UTF8* source, const UTF8* end, std::size_t capacity, char*& resultCursor,
                 const unsigned char*& errorPosition) {
    auto* target = reinterpret_cast<Unit*>(resultCursor);
    if (convert(&source, end, &target, target + capacity, ConversionMode::STRICT) != ConversionResult::OK) {
        errorPosition = source;
        return false;
    }
    resultCursor = reinterpret_cast<char*>(target);
    return true;
}

}  // namespace

bool convertUTF8ToUnits(unsigned width, const std::string& utf8, char*& resultCursor,
                        const unsigned char*& errorPosition) {
    const auto* begin = reinterpret_cast<const UTF8*>(utf8.data());
    const UTF8* end = begin + utf8.size();
    const UTF8* source = begin;
    switch (width) {
        case 1:
            if (!isLegalUTF8String(&source, end)) {
                errorPosition = source;
                return false;
            }
            std::memcpy(resultCursor, utf8.data(), utf8.size());
            resultCursor += utf8.size();
            return true;
        case 2: return convertInto<UTF16>(convertUTF8ToUTF16, source, end, utf8.size(), resultCursor, errorPosition);
        case 4: return convertInto<UTF32>(convertUTF8ToUTF32, source, end, utf8.size(), resultCursor, errorPosition);
        default: return true;
    }
}

bool UTF8ToUTF16(const std::string& utf8, std::u16string& outUtf16) {
    if (utf8.empty()) {
        outUtf16.clear();
        return true;
    }
    // One unit per input byte is always enough, plus a terminating zero.
    std::u16string work(utf8.size() + 1, u'\0');
    char* cursor = reinterpret_cast<char*>(&work[0]);
    const unsigned char* errorPosition = nullptr;
    if (!convertUTF8ToUnits(2, utf8, cursor, errorPosition)) return false;
    const char16_t* end = reinterpret_cast<const char16_t*>(cursor);
    const char16_t* zero = std::find(static_cast<const char16_t*>(work.data()), end, u'\0');
    outUtf16.assign(work.data(), static_cast<std::size_t>(zero - work.data()));
    return true;
}

bool convertUTF16StringToUTF8(const std::u16string& utf16, std::string& outUtf8) {
    if (utf16.empty()) {
        outUtf8.clear();
        return true;
    }
    std::u16string swapped;
    const char16_t* begin = utf16.data();
    const char16_t* end = begin + utf16.size();
    if (*begin == 0xFFFE) {
        // Written in the other byte order.
        swapped.resize(utf16.size());
        std::transform(utf16.begin(), utf16.end(), swapped.begin(),
                       [](char16_t unit) { return static_cast<char16_t>((unit << 8) | (unit >> 8)); });
        begin = swapped.data();
        end = begin + swapped.size();
    }
    if (*begin == 0xFEFF) ++begin;

    outUtf8.assign(4 * utf16.size() + 1, '\0');
    auto* start = reinterpret_cast<UTF8*>(&outUtf8[0]);
    UTF8* target = start;
    if (convertUTF16ToUTF8(&begin, end, &target, start + outUtf8.size(), ConversionMode::STRICT) !=
        ConversionResult::OK) {
        outUtf8.clear();
        return false;
    }
    outUtf8.resize(static_cast<std::size_t>(target - start));
    return true;
}

bool UTF16ToUTF8(const std::u16string& utf16, std::string& outUtf8) { return convertUTF16StringToUTF8(utf16, outUtf8); }

bool UTF8ToUTF32(const std::string& utf8, std::u32string& outUtf32) {
    std::u32string work(utf8.size(), U'\0');
    const auto* source = reinterpret_cast<const UTF8*>(utf8.data());
    UTF32* target = &work[0];
    if (convertUTF8ToUTF32(&source, source + utf8.size(), &target, target + work.size(), ConversionMode::STRICT) !=
        ConversionResult::OK) {
        return false;
    }
    work.resize(static_cast<std::size_t>(target - work.data()));
    outUtf32 = std::move(work);
    return true;
}

bool UTF32ToUTF8(const std::u32string& utf32, std::string& outUtf8) {
    std::string work(4 * utf32.size(), '\0');
    const UTF32* source = utf32.data();
    auto* start = reinterpret_cast<UTF8*>(&work[0]);
    UTF8* target = start;
    if (convertUTF32ToUTF8(&source, source + utf32.size(), &target, start + work.size(), ConversionMode::STRICT) !=
        ConversionResult::OK) {
        return false;
    }
    work.resize(static_cast<std::size_t>(target - start));
    outUtf8 = std::move(work);
    return true;
}

bool isUnicodeSpace(char16_t ch) {
    return (ch >= 0x0009 && ch <= 0x000D) || ch == 0x0020 || ch == 0x0085 || ch == 0x00A0 || ch == 0x1680 ||
           (ch >= 0x2000 && ch <= 0x200A) || ch == 0x2028 || ch == 0x2029 || ch == 0x202F || ch == 0x205F ||
           ch == 0x3000;
}

bool isCJKUnicode(char16_t ch) {
    return (ch >= 0x2E80 && ch <= 0x2FDF) ||  // radicals
           (ch >= 0x2FF0 && ch <= 0x30FF) ||  // description characters, punctuation, kana
           (ch >= 0x3100 && ch <= 0x31BF) ||  // bopomofo, hangul compatibility jamo, kanbun
           (ch >= 0x31C0 && ch <= 0x4DFF) ||  // strokes, katakana extensions, extension A
           (ch >= 0x4E00 && ch <= 0x9FBF) ||  // unified ideographs
           (ch >= 0xAC00 && ch <= 0xD7AF) ||  // hangul syllables
           (ch >= 0xF900 && ch <= 0xFAFF) ||  // compatibility ideographs
           (ch >= 0xFE30 && ch <= 0xFE4F);    // compatibility forms
}

int getIndexOfLastNotChar16(const std::vector<char16_t>& str, char16_t ch) {
    for (int i = static_cast<int>(str.size()) - 1; i >= 0; --i) {
        if (str[static_cast<std::size_t>(i)] != ch) return i;
    }
    return -1;
}

void trimUTF16Vector(std::vector<char16_t>& str) {
    auto keep = str.end();
    while (keep != str.begin() && isUnicodeSpace(*(keep - 1))) --keep;
    str.erase(keep, str.end());
}

}  // namespace StringUtils

namespace {

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

locale_t cLocale() {
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

double atof(const char* text) {
    if (text == nullptr) return 0.0;
    char buffer[256];
    std::strncpy(buffer, text, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';

    // At most seven digits after the point, so that the same text gives the same
    // number everywhere; what follows the digits (an exponent) is kept.
    char* point = std::strchr(buffer, '.');
    if (point != nullptr && point - buffer < 248) {
        char* cut = point + 8;
        char* digitsEnd = point + 1;
        while (isAsciiDigit(*digitsEnd)) ++digitsEnd;
        if (digitsEnd > cut) std::memmove(cut, digitsEnd, std::strlen(digitsEnd) + 1);
    }
    return strtodPoint(buffer, nullptr);
}

double strtodPoint(const char* text, char** end) {
    locale_t c = cLocale();
    return c ? strtod_l(text, end, c) : std::strtod(text, end);
}

float strtofPoint(const char* text, char** end) {
    locale_t c = cLocale();
    return c ? strtof_l(text, end, c) : std::strtof(text, end);
}

std::string realToText(double v, bool singlePrecision) {
    // Formatting follows the thread's locale: switch it to C for the scope.
    locale_t c = cLocale();
    locale_t previous = c ? uselocale(c) : static_cast<locale_t>(nullptr);
    char text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        double back = strtodPoint(text, nullptr);
        if (singlePrecision ? static_cast<float>(back) == static_cast<float>(v) : back == v) break;
    }
    if (previous) uselocale(previous);
    return text;
}

std::uint32_t nextPowerOfTwo(std::uint32_t x) {
    std::uint32_t y = x - 1;
    y |= y >> 1;
    y |= y >> 2;
    y |= y >> 4;
    y |= y >> 8;
    y |= y >> 16;
    return y + 1;
}

const char* kiteVersion() { return "kite 3.4"; }

}  // namespace kite
