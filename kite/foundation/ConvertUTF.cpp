// The UTF conversion core, after the Unicode Standard's forms as RFC 3629 restricts UTF-8.
#include "kite/foundation/ConvertUTF.h"

namespace kite {

namespace {

constexpr UTF32 kHighSurrogateStart = 0xD800;
constexpr UTF32 kHighSurrogateEnd = 0xDBFF;
constexpr UTF32 kLowSurrogateStart = 0xDC00;
constexpr UTF32 kLowSurrogateEnd = 0xDFFF;
constexpr UTF32 kMaxBmp = 0xFFFF;
constexpr UTF32 kMaxLegal = 0x10FFFF;

constexpr UTF8 kLeadMask[4] = {0x7F, 0x1F, 0x0F, 0x07};
constexpr UTF8 kFirstByteMark[5] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};

bool isHighSurrogate(UTF32 ch) { return ch >= kHighSurrogateStart && ch <= kHighSurrogateEnd; }
bool isLowSurrogate(UTF32 ch) { return ch >= kLowSurrogateStart && ch <= kLowSurrogateEnd; }
bool isSurrogate(UTF32 ch) { return ch >= kHighSurrogateStart && ch <= kLowSurrogateEnd; }

// Decodes one sequence already checked by isLegalUTF8Sequence.
UTF32 decodeUTF8(const UTF8* source, int length) {
    UTF32 ch = source[0] & kLeadMask[length - 1];
    for (int i = 1; i < length; ++i) ch = (ch << 6) | (source[i] & 0x3F);
    return ch;
}

int utf8Length(UTF32 ch) {
    if (ch < 0x80) return 1;
    if (ch < 0x800) return 2;
    if (ch < 0x10000) return 3;
    return 4;
}

void encodeUTF8(UTF32 ch, int length, UTF8* target) {
    for (int i = length - 1; i > 0; --i) {
        target[i] = static_cast<UTF8>((ch & 0x3F) | 0x80);
        ch >>= 6;
    }
    target[0] = static_cast<UTF8>(ch | kFirstByteMark[length]);
}

bool isContinuation(UTF8 b) { return (b & 0xC0) == 0x80; }

// Reads the code point at *source (not moved). Two- and three-byte forms, the
// common ones in text, are checked inline; the rest go through the full test.
inline ConversionResult nextUTF8(const UTF8** source, const UTF8* sourceEnd, UTF32* ch, int* length) {
    const UTF8* s = *source;
    const UTF8 lead = s[0];
    const auto available = sourceEnd - s;
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (available < 2) return ConversionResult::SOURCE_EXHAUSTED;
        if (!isContinuation(s[1])) return ConversionResult::SOURCE_ILLEGAL;
        *ch = (static_cast<UTF32>(lead & 0x1F) << 6) | (s[1] & 0x3F);
        *length = 2;
        return ConversionResult::OK;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (available < 3) return ConversionResult::SOURCE_EXHAUSTED;
        const UTF8 b1 = s[1];
        if (!isContinuation(b1) || !isContinuation(s[2]) || (lead == 0xE0 && b1 < 0xA0) ||
            (lead == 0xED && b1 > 0x9F)) {
            return ConversionResult::SOURCE_ILLEGAL;
        }
        *ch = (static_cast<UTF32>(lead & 0x0F) << 12) | (static_cast<UTF32>(b1 & 0x3F) << 6) | (s[2] & 0x3F);
        *length = 3;
        return ConversionResult::OK;
    }
    int n = getUTF8SequenceLength(lead);
    if (n > available) return ConversionResult::SOURCE_EXHAUSTED;
    if (!isLegalUTF8Sequence(s, n)) return ConversionResult::SOURCE_ILLEGAL;
    *ch = decodeUTF8(s, n);
    *length = n;
    return ConversionResult::OK;
}

// Reads the next code point of a UTF-16 range and advances past it on success.
ConversionResult nextUTF16(const UTF16** source, const UTF16* sourceEnd, ConversionMode mode, UTF32* out) {
    const UTF16* cursor = *source;
    UTF32 ch = *cursor++;
    if (isHighSurrogate(ch)) {
        if (cursor >= sourceEnd) return ConversionResult::SOURCE_EXHAUSTED;
        UTF32 low = *cursor;
        if (isLowSurrogate(low)) {
            ch = ((ch - kHighSurrogateStart) << 10) + (low - kLowSurrogateStart) + 0x10000;
            ++cursor;
        } else if (mode == ConversionMode::STRICT) {
            return ConversionResult::SOURCE_ILLEGAL;
        }
    } else if (isLowSurrogate(ch) && mode == ConversionMode::STRICT) {
        return ConversionResult::SOURCE_ILLEGAL;
    }
    *source = cursor;
    *out = ch;
    return ConversionResult::OK;
}

// Checks a UTF-32 unit for encoding; lone surrogates pass only in lenient mode.
bool isEncodable(UTF32 ch, ConversionMode mode) {
    if (ch > kMaxLegal) return false;
    return !(isSurrogate(ch) && mode == ConversionMode::STRICT);
}

}  // namespace

int getUTF8SequenceLength(UTF8 lead) {
    if (lead < 0xC0) return 1;  // ASCII, or a stray continuation byte (never legal)
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    if (lead < 0xFC) return 5;
    return 6;
}

bool isLegalUTF8Sequence(const UTF8* source, int length) {
    if (source == nullptr || length < 1 || length > 4) return false;
    if (getUTF8SequenceLength(source[0]) != length) return false;
    UTF8 lead = source[0];
    if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4) return false;
    for (int i = 1; i < length; ++i) {
        if (source[i] < 0x80 || source[i] > 0xBF) return false;
    }
    if (length >= 2) {
        UTF8 second = source[1];
        switch (lead) {
            case 0xE0:
                if (second < 0xA0) return false;
                break;  // overlong
            case 0xED:
                if (second > 0x9F) return false;
                break;  // surrogates
            case 0xF0:
                if (second < 0x90) return false;
                break;  // overlong
            case 0xF4:
                if (second > 0x8F) return false;
                break;  // above U+10FFFF
            default: break;
        }
    }
    return true;
}

bool isLegalUTF8String(const UTF8** source, const UTF8* sourceEnd) {
    while (*source != sourceEnd) {
        int length = getUTF8SequenceLength(**source);
        if (length > sourceEnd - *source || !isLegalUTF8Sequence(*source, length)) return false;
        *source += length;
    }
    return true;
}

ConversionResult convertUTF8ToUTF16(const UTF8** sourceStart, const UTF8* sourceEnd, UTF16** targetStart,
                                    UTF16* targetEnd, ConversionMode) {
    ConversionResult result = ConversionResult::OK;
    const UTF8* source = *sourceStart;
    UTF16* target = *targetStart;
    while (source < sourceEnd) {
        UTF32 ch = 0;
        int length = 0;
        // ASCII runs are the common case: no decoding needed.
        if (*source < 0x80) {
            if (target >= targetEnd) {
                result = ConversionResult::TARGET_EXHAUSTED;
                break;
            }
            *target++ = *source++;
            continue;
        }
        result = nextUTF8(&source, sourceEnd, &ch, &length);
        if (result != ConversionResult::OK) break;
        if (ch <= kMaxBmp) {
            if (target >= targetEnd) {
                result = ConversionResult::TARGET_EXHAUSTED;
                break;
            }
            *target++ = static_cast<UTF16>(ch);
        } else {
            if (targetEnd - target < 2) {
                result = ConversionResult::TARGET_EXHAUSTED;
                break;
            }
            ch -= 0x10000;
            *target++ = static_cast<UTF16>((ch >> 10) + kHighSurrogateStart);
            *target++ = static_cast<UTF16>((ch & 0x3FF) + kLowSurrogateStart);
        }
        source += length;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

ConversionResult convertUTF8ToUTF32(const UTF8** sourceStart, const UTF8* sourceEnd, UTF32** targetStart,
                                    UTF32* targetEnd, ConversionMode) {
    ConversionResult result = ConversionResult::OK;
    const UTF8* source = *sourceStart;
    UTF32* target = *targetStart;
    while (source < sourceEnd) {
        UTF32 ch = 0;
        int length = 0;
        result = nextUTF8(&source, sourceEnd, &ch, &length);
        if (result != ConversionResult::OK) break;
        if (target >= targetEnd) {
            result = ConversionResult::TARGET_EXHAUSTED;
            break;
        }
        *target++ = ch;
        source += length;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

ConversionResult convertUTF16ToUTF8(const UTF16** sourceStart, const UTF16* sourceEnd, UTF8** targetStart,
                                    UTF8* targetEnd, ConversionMode mode) {
    ConversionResult result = ConversionResult::OK;
    const UTF16* source = *sourceStart;
    UTF8* target = *targetStart;
    while (source < sourceEnd) {
        const UTF16* start = source;
        UTF32 ch = 0;
        result = nextUTF16(&source, sourceEnd, mode, &ch);
        if (result != ConversionResult::OK) break;
        int length = utf8Length(ch);
        if (targetEnd - target < length) {
            source = start;
            result = ConversionResult::TARGET_EXHAUSTED;
            break;
        }
        encodeUTF8(ch, length, target);
        target += length;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

ConversionResult convertUTF32ToUTF8(const UTF32** sourceStart, const UTF32* sourceEnd, UTF8** targetStart,
                                    UTF8* targetEnd, ConversionMode mode) {
    ConversionResult result = ConversionResult::OK;
    const UTF32* source = *sourceStart;
    UTF8* target = *targetStart;
    while (source < sourceEnd) {
        UTF32 ch = *source;
        if (!isEncodable(ch, mode)) {
            result = ConversionResult::SOURCE_ILLEGAL;
            break;
        }
        int length = utf8Length(ch);
        if (targetEnd - target < length) {
            result = ConversionResult::TARGET_EXHAUSTED;
            break;
        }
        encodeUTF8(ch, length, target);
        target += length;
        ++source;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

ConversionResult convertUTF16ToUTF32(const UTF16** sourceStart, const UTF16* sourceEnd, UTF32** targetStart,
                                     UTF32* targetEnd, ConversionMode mode) {
    ConversionResult result = ConversionResult::OK;
    const UTF16* source = *sourceStart;
    UTF32* target = *targetStart;
    while (source < sourceEnd) {
        const UTF16* start = source;
        UTF32 ch = 0;
        result = nextUTF16(&source, sourceEnd, mode, &ch);
        if (result != ConversionResult::OK) break;
        if (target >= targetEnd) {
            source = start;
            result = ConversionResult::TARGET_EXHAUSTED;
            break;
        }
        *target++ = ch;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

ConversionResult convertUTF32ToUTF16(const UTF32** sourceStart, const UTF32* sourceEnd, UTF16** targetStart,
                                     UTF16* targetEnd, ConversionMode mode) {
    ConversionResult result = ConversionResult::OK;
    const UTF32* source = *sourceStart;
    UTF16* target = *targetStart;
    while (source < sourceEnd) {
        UTF32 ch = *source;
        if (!isEncodable(ch, mode)) {
            result = ConversionResult::SOURCE_ILLEGAL;
            break;
        }
        int units = ch <= kMaxBmp ? 1 : 2;
        if (targetEnd - target < units) {
            result = ConversionResult::TARGET_EXHAUSTED;
            break;
        }
        if (units == 1) {
            *target++ = static_cast<UTF16>(ch);
        } else {
            ch -= 0x10000;
            *target++ = static_cast<UTF16>((ch >> 10) + kHighSurrogateStart);
            *target++ = static_cast<UTF16>((ch & 0x3FF) + kLowSurrogateStart);
        }
        ++source;
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

}  // namespace kite
