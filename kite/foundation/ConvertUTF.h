// The UTF-8/UTF-16/UTF-32 conversion core with strict validation.
#pragma once
#include <cstddef>

namespace kite {

using UTF8 = unsigned char;
using UTF16 = char16_t;
using UTF32 = char32_t;

enum class ConversionResult {
    OK = 0,
    SOURCE_EXHAUSTED = 1,  // the input ends inside a multi-unit sequence
    TARGET_EXHAUSTED = 2,  // no room left in the output
    SOURCE_ILLEGAL = 3,    // an ill-formed sequence
};

enum class ConversionMode {
    STRICT = 0,
    LENIENT = 1,  // lone surrogates are passed through instead of refused
};

// Each converts [*sourceStart, sourceEnd) into [*targetStart, targetEnd) and leaves
// both cursors where conversion stopped (at the start of the offending sequence).
ConversionResult convertUTF8ToUTF16(const UTF8** sourceStart, const UTF8* sourceEnd, UTF16** targetStart,
                                    UTF16* targetEnd, ConversionMode mode);
ConversionResult convertUTF8ToUTF32(const UTF8** sourceStart, const UTF8* sourceEnd, UTF32** targetStart,
                                    UTF32* targetEnd, ConversionMode mode);
ConversionResult convertUTF16ToUTF8(const UTF16** sourceStart, const UTF16* sourceEnd, UTF8** targetStart,
                                    UTF8* targetEnd, ConversionMode mode);
ConversionResult convertUTF32ToUTF8(const UTF32** sourceStart, const UTF32* sourceEnd, UTF8** targetStart,
                                    UTF8* targetEnd, ConversionMode mode);
ConversionResult convertUTF16ToUTF32(const UTF16** sourceStart, const UTF16* sourceEnd, UTF32** targetStart,
                                     UTF32* targetEnd, ConversionMode mode);
ConversionResult convertUTF32ToUTF16(const UTF32** sourceStart, const UTF32* sourceEnd, UTF16** targetStart,
                                     UTF16* targetEnd, ConversionMode mode);

// One well-formed UTF-8 sequence of the given length (1 to 4).
bool isLegalUTF8Sequence(const UTF8* source, int length);
// The whole range well-formed; *source stops at the first bad sequence.
bool isLegalUTF8String(const UTF8** source, const UTF8* sourceEnd);

// Bytes of the sequence a lead byte starts (1 to 6; lengths above 4 are never legal).
int getUTF8SequenceLength(UTF8 leadByte);

}  // namespace kite
