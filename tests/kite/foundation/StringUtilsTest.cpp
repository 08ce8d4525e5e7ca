#include "kite/foundation/StringUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/foundation/ConvertUTF.h"
#include "kite/foundation/DecimalCommaLocale.h"

namespace kite {
namespace {

using ::testing::ElementsAre;

std::string bytes(std::initializer_list<unsigned char> list) { return std::string(list.begin(), list.end()); }

// --- UTF-8 to UTF-16 ---

TEST(UTF8ToUTF16, TwoByteSequenceGivesOneUnit) {
    std::u16string out;
    ASSERT_TRUE(StringUtils::UTF8ToUTF16(bytes({0xC3, 0xA9}), out));
    EXPECT_EQ(out, std::u16string(1, 0x00E9));
}

TEST(UTF8ToUTF16, FourByteSequenceGivesASurrogatePair) {
    std::u16string out;
    ASSERT_TRUE(StringUtils::UTF8ToUTF16(bytes({0xF0, 0x9F, 0x98, 0x80}), out));
    EXPECT_EQ(out, (std::u16string{0xD83D, 0xDE00}));
}

TEST(UTF8ToUTF16, EmptyInputGivesEmptyOutput) {
    std::u16string out = u"old";
    EXPECT_TRUE(StringUtils::UTF8ToUTF16("", out));
    EXPECT_TRUE(out.empty());
}

TEST(UTF8ToUTF16, MalformedInputFailsAndLeavesTheOutput) {
    const std::string malformed[] = {
        bytes({0xC0, 0x80}),                    // overlong NUL
        bytes({0xC1, 0xBF}),                    // overlong
        bytes({0xE0, 0x80, 0xAF}),              // overlong three-byte
        bytes({0xF0, 0x80, 0x80, 0xAF}),        // overlong four-byte
        bytes({0xED, 0xA0, 0x80}),              // surrogate
        bytes({0xED, 0xBF, 0xBF}),              // surrogate
        bytes({0xF4, 0x90, 0x80, 0x80}),        // above U+10FFFF
        bytes({0xF5, 0x80, 0x80, 0x80}),        // lead byte above F4
        bytes({0x80}),                          // lone continuation byte
        bytes({'a', 0xBF, 'b'}),                // stray continuation inside text
        bytes({0xE2, 0x82}),                    // ends inside a sequence
        bytes({0xE2, 0x28, 0xA1}),              // continuation byte missing
        bytes({0xF8, 0x88, 0x80, 0x80, 0x80}),  // five-byte form
        bytes({0xFF}),
    };
    for (const std::string& text : malformed) {
        std::u16string out = u"kept";
        EXPECT_FALSE(StringUtils::UTF8ToUTF16(text, out)) << ::testing::PrintToString(text);
        EXPECT_EQ(out, u"kept");
    }
}

TEST(UTF8ToUTF16, EmbeddedNulEndsTheOutput) {
    std::u16string out;
    ASSERT_TRUE(StringUtils::UTF8ToUTF16(std::string("ab\0cd", 5), out));
    EXPECT_EQ(out, u"ab");
}

// --- UTF-16 to UTF-8 ---

TEST(UTF16ToUTF8, ByteOrderMarkIsDropped) {
    std::string out;
    ASSERT_TRUE(StringUtils::UTF16ToUTF8(std::u16string{0xFEFF, u'h', u'i'}, out));
    EXPECT_EQ(out, "hi");
}

TEST(UTF16ToUTF8, SwappedByteOrderMarkIsReadByteSwapped) {
    std::string out;
    ASSERT_TRUE(StringUtils::UTF16ToUTF8(std::u16string{0xFFFE, 0x6800, 0xE900}, out));
    EXPECT_EQ(out, bytes({'h', 0xC3, 0xA9}));
}

TEST(UTF16ToUTF8, LoneHighSurrogateAtTheEndFailsWithEmptyOutput) {
    std::string out = "old";
    EXPECT_FALSE(StringUtils::UTF16ToUTF8(std::u16string{u'a', 0xD83D}, out));
    EXPECT_TRUE(out.empty());
}

TEST(UTF16ToUTF8, UnpairedSurrogatesFail) {
    std::string out;
    EXPECT_FALSE(StringUtils::UTF16ToUTF8(std::u16string{0xD83D, u'a'}, out));
    EXPECT_FALSE(StringUtils::UTF16ToUTF8(std::u16string{0xDE00, u'a'}, out));
}

TEST(UTF16ToUTF8, CodePointsUseTheShortestForm) {
    std::string out;
    ASSERT_TRUE(StringUtils::UTF16ToUTF8(std::u16string{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xD83D, 0xDE00}, out));
    EXPECT_EQ(out, bytes({0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF, 0xF0, 0x9F, 0x98, 0x80}));
}

// --- The conversion core ---

TEST(ConvertUTF, EveryScalarValueRoundTripsThroughAllThreeForms) {
    std::u32string all;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) all.push_back(c);
    }
    // UTF-32 -> UTF-8
    std::string utf8(all.size() * 4, '\0');
    const UTF32* s32 = all.data();
    auto* t8 = reinterpret_cast<UTF8*>(&utf8[0]);
    ASSERT_EQ(convertUTF32ToUTF8(&s32, all.data() + all.size(), &t8, t8 + utf8.size(), ConversionMode::STRICT),
              ConversionResult::OK);
    utf8.resize(static_cast<std::size_t>(t8 - reinterpret_cast<UTF8*>(&utf8[0])));
    // UTF-8 -> UTF-16
    std::u16string utf16(utf8.size(), u'\0');
    const auto* s8 = reinterpret_cast<const UTF8*>(utf8.data());
    UTF16* t16 = &utf16[0];
    ASSERT_EQ(convertUTF8ToUTF16(&s8, s8 + utf8.size(), &t16, t16 + utf16.size(), ConversionMode::STRICT),
              ConversionResult::OK);
    utf16.resize(static_cast<std::size_t>(t16 - utf16.data()));
    // UTF-16 -> UTF-8
    std::string back8(utf16.size() * 3, '\0');
    const UTF16* s16 = utf16.data();
    auto* b8 = reinterpret_cast<UTF8*>(&back8[0]);
    ASSERT_EQ(convertUTF16ToUTF8(&s16, s16 + utf16.size(), &b8, b8 + back8.size(), ConversionMode::STRICT),
              ConversionResult::OK);
    back8.resize(static_cast<std::size_t>(b8 - reinterpret_cast<UTF8*>(&back8[0])));
    EXPECT_EQ(back8, utf8);
    // UTF-8 -> UTF-32
    std::u32string back32(utf8.size(), U'\0');
    s8 = reinterpret_cast<const UTF8*>(utf8.data());
    UTF32* t32 = &back32[0];
    ASSERT_EQ(convertUTF8ToUTF32(&s8, s8 + utf8.size(), &t32, t32 + back32.size(), ConversionMode::STRICT),
              ConversionResult::OK);
    back32.resize(static_cast<std::size_t>(t32 - back32.data()));
    EXPECT_EQ(back32, all);
    // UTF-16 <-> UTF-32
    std::u32string from16(utf16.size(), U'\0');
    s16 = utf16.data();
    t32 = &from16[0];
    ASSERT_EQ(convertUTF16ToUTF32(&s16, s16 + utf16.size(), &t32, t32 + from16.size(), ConversionMode::STRICT),
              ConversionResult::OK);
    from16.resize(static_cast<std::size_t>(t32 - from16.data()));
    EXPECT_EQ(from16, all);
    std::u16string to16(all.size() * 2, u'\0');
    s32 = all.data();
    t16 = &to16[0];
    ASSERT_EQ(convertUTF32ToUTF16(&s32, s32 + all.size(), &t16, t16 + to16.size(), ConversionMode::STRICT),
              ConversionResult::OK);
    to16.resize(static_cast<std::size_t>(t16 - to16.data()));
    EXPECT_EQ(to16, utf16);
}

TEST(ConvertUTF, EveryTwoAndThreeByteSequenceIsAcceptedExactlyWhenWellFormed) {
    int mismatches = 0;
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        int length = getUTF8SequenceLength(static_cast<UTF8>(lead));
        if (length > 3) continue;
        for (int b1 = 0; b1 <= 0xFF; ++b1) {
            for (int b2 = 0; b2 <= (length == 3 ? 0xFF : 0); ++b2) {
                const UTF8 seq[3] = {static_cast<UTF8>(lead), static_cast<UTF8>(b1), static_cast<UTF8>(b2)};
                const UTF8* source = seq;
                UTF16 room[2];
                UTF16* target = room;
                bool converted = convertUTF8ToUTF16(&source, seq + length, &target, room + 2, ConversionMode::STRICT) ==
                                 ConversionResult::OK;
                // Independent reading: continuation bytes, shortest form, no surrogate.
                bool wellFormed = (lead & 0xC0) == 0xC0;
                UTF32 cp = static_cast<UTF32>(lead & (length == 2 ? 0x1F : 0x0F));
                for (int i = 1; i < length; ++i) {
                    wellFormed = wellFormed && (seq[i] & 0xC0) == 0x80;
                    cp = (cp << 6) | (seq[i] & 0x3F);
                }
                wellFormed = wellFormed && cp >= (length == 2 ? 0x80u : 0x800u) && (cp < 0xD800 || cp > 0xDFFF);
                if (converted != isLegalUTF8Sequence(seq, length) || converted != wellFormed) ++mismatches;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ConvertUTF, StringHelpersRoundTripEveryNonZeroScalar) {
    std::u32string all;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) all.push_back(c);
    }
    std::string utf8;
    ASSERT_TRUE(StringUtils::UTF32ToUTF8(all, utf8));
    std::u16string utf16;
    ASSERT_TRUE(StringUtils::UTF8ToUTF16(utf8, utf16));
    std::string back;
    ASSERT_TRUE(StringUtils::UTF16ToUTF8(utf16, back));
    EXPECT_EQ(back, utf8);
    std::u32string back32;
    ASSERT_TRUE(StringUtils::UTF8ToUTF32(back, back32));
    EXPECT_EQ(back32, all);
}

TEST(ConvertUTF, SurrogatesAndValuesAboveTheRangeAreNotScalars) {
    std::string out;
    EXPECT_FALSE(StringUtils::UTF32ToUTF8(std::u32string{0xD800}, out));
    EXPECT_FALSE(StringUtils::UTF32ToUTF8(std::u32string{0x110000}, out));
}

TEST(ConvertUTF, NoRoomStopsAtTheStartOfTheSequence) {
    const std::string text = bytes({'a', 0xF0, 0x9F, 0x98, 0x80});
    UTF16 room[2];
    const auto* source = reinterpret_cast<const UTF8*>(text.data());
    UTF16* target = room;
    EXPECT_EQ(convertUTF8ToUTF16(&source, source + text.size(), &target, room + 2, ConversionMode::STRICT),
              ConversionResult::TARGET_EXHAUSTED);
    EXPECT_EQ(source, reinterpret_cast<const UTF8*>(text.data()) + 1);
    EXPECT_EQ(target, room + 1);
}

TEST(ConvertUTF, TruncatedSequenceReportsSourceExhausted) {
    const std::string text = bytes({'a', 0xE2, 0x82});
    UTF32 room[4];
    const auto* source = reinterpret_cast<const UTF8*>(text.data());
    UTF32* target = room;
    EXPECT_EQ(convertUTF8ToUTF32(&source, source + text.size(), &target, room + 4, ConversionMode::STRICT),
              ConversionResult::SOURCE_EXHAUSTED);
    EXPECT_EQ(source, reinterpret_cast<const UTF8*>(text.data()) + 1);
}

TEST(ConvertUTF, LenientModePassesLoneSurrogatesThrough) {
    const std::u16string text{0xDC00, u'a'};
    UTF8 room[8];
    const UTF16* source = text.data();
    UTF8* target = room;
    EXPECT_EQ(convertUTF16ToUTF8(&source, source + text.size(), &target, room + 8, ConversionMode::LENIENT),
              ConversionResult::OK);
    EXPECT_EQ(std::string(room, target), bytes({0xED, 0xB0, 0x80, 'a'}));
}

TEST(ConvertUTF, LegalSequenceChecks) {
    const UTF8 good[] = {0xE2, 0x82, 0xAC};
    EXPECT_TRUE(isLegalUTF8Sequence(good, 3));
    EXPECT_FALSE(isLegalUTF8Sequence(good, 2));  // the lead byte states three
    const UTF8 ascii[] = {'A'};
    EXPECT_TRUE(isLegalUTF8Sequence(ascii, 1));
    EXPECT_FALSE(isLegalUTF8Sequence(ascii, 0));
    EXPECT_FALSE(isLegalUTF8Sequence(ascii, 5));

    const std::string text = bytes({'o', 'k', 0xC0, 0x80});
    const auto* cursor = reinterpret_cast<const UTF8*>(text.data());
    EXPECT_FALSE(isLegalUTF8String(&cursor, cursor + text.size()));
    EXPECT_EQ(cursor, reinterpret_cast<const UTF8*>(text.data()) + 2);
}

TEST(ConvertUTF8ToUnits, WidthOneValidatesAndCopies) {
    char room[8] = {};
    char* cursor = room;
    const unsigned char* error = nullptr;
    EXPECT_TRUE(StringUtils::convertUTF8ToUnits(1, "abc", cursor, error));
    EXPECT_EQ(cursor, room + 3);
    EXPECT_STREQ(room, "abc");

    const std::string bad = bytes({'x', 0xFF});
    cursor = room;
    EXPECT_FALSE(StringUtils::convertUTF8ToUnits(1, bad, cursor, error));
    EXPECT_EQ(error, reinterpret_cast<const unsigned char*>(bad.data()) + 1);
    EXPECT_EQ(cursor, room);
}

TEST(ConvertUTF8ToUnits, WidthFourGivesCodePoints) {
    char32_t room[4] = {};
    char* cursor = reinterpret_cast<char*>(room);
    const unsigned char* error = nullptr;
    EXPECT_TRUE(StringUtils::convertUTF8ToUnits(4, bytes({'a', 0xC3, 0xA9}), cursor, error));
    EXPECT_EQ(cursor, reinterpret_cast<char*>(room + 2));
    EXPECT_EQ(room[1], U'\u00E9');
    cursor = reinterpret_cast<char*>(room);
    EXPECT_TRUE(StringUtils::convertUTF8ToUnits(3, "a", cursor, error));
    EXPECT_EQ(cursor, reinterpret_cast<char*>(room));
}

// --- Character classes and trimming ---

TEST(StringUtils, UnicodeSpaces) {
    for (char16_t c : std::initializer_list<char16_t>{0x09, 0x0A, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A,
                                                      0x2028, 0x2029, 0x202F, 0x205F, 0x3000}) {
        EXPECT_TRUE(StringUtils::isUnicodeSpace(c)) << std::hex << int(c);
    }
    for (char16_t c : std::initializer_list<char16_t>{0x08, 0x0E, 0x1F, 0x21, 'a', 0x200B, 0x180E, 0xFEFF, 0x3001}) {
        EXPECT_FALSE(StringUtils::isUnicodeSpace(c)) << std::hex << int(c);
    }
}

TEST(StringUtils, CJKCharacters) {
    for (char16_t c : std::initializer_list<char16_t>{0x2E80, 0x3042, 0x30FF, 0x4E00, 0x6C49, 0x9FBF, 0xAC00, 0xD7AF,
                                                      0xF900, 0xFE30, 0xFE4F}) {
        EXPECT_TRUE(StringUtils::isCJKUnicode(c)) << std::hex << int(c);
    }
    for (char16_t c : std::initializer_list<char16_t>{'A', 0x2E7F, 0x2FE0, 0x9FC0, 0xD7B0, 0xFE50, 0xFF01}) {
        EXPECT_FALSE(StringUtils::isCJKUnicode(c)) << std::hex << int(c);
    }
}

TEST(StringUtils, TrimRemovesTrailingWhitespaceOnly) {
    std::vector<char16_t> text{u'a', u' ', u'b', 0x3000, u' '};
    StringUtils::trimUTF16Vector(text);
    EXPECT_THAT(text, ElementsAre(u'a', u' ', u'b'));
    std::vector<char16_t> spaces{u' ', u' ', u' '};
    StringUtils::trimUTF16Vector(spaces);
    EXPECT_TRUE(spaces.empty());
    std::vector<char16_t> empty;
    StringUtils::trimUTF16Vector(empty);
    EXPECT_TRUE(empty.empty());
}

TEST(StringUtils, IndexOfLastDifferentUnit) {
    EXPECT_EQ(StringUtils::getIndexOfLastNotChar16({u'a', u'b', u'x', u'x'}, u'x'), 1);
    EXPECT_EQ(StringUtils::getIndexOfLastNotChar16({u'x', u'x'}, u'x'), -1);
    EXPECT_EQ(StringUtils::getIndexOfLastNotChar16({}, u'x'), -1);
}

// --- Formatting ---

TEST(StringUtils, FormatWritesPrintfText) { EXPECT_EQ(StringUtils::format("%s=%d", "level", 3), "level=3"); }

TEST(StringUtils, FormatCutsAtTheWorkBuffer) {
    std::string longText(200000, 'z');
    std::string result = StringUtils::format("%s", longText.c_str());
    EXPECT_EQ(result.size(), StringUtils::kFormatBufferSize - 1);
}

// --- Numbers ---

TEST(Atof, KeepsSevenDecimals) {
    EXPECT_DOUBLE_EQ(atof("3.14159265358979"), 3.1415926);
    EXPECT_DOUBLE_EQ(atof("  -0.5"), -0.5);
    EXPECT_DOUBLE_EQ(atof("42"), 42.0);
}

TEST(Atof, ReadsExponents) {
    EXPECT_DOUBLE_EQ(atof("1e5"), 100000.0);
    EXPECT_DOUBLE_EQ(atof("2.5E-3"), 0.0025);
}

TEST(Atof, KeepsTheExponentWhenCuttingDigits) {
    EXPECT_DOUBLE_EQ(atof("1.23456789e5"), 123456.78);
    EXPECT_DOUBLE_EQ(atof("-2.0000000001E+300"), -2e300);
}

TEST(Atof, NullAndGarbageGiveZero) {
    EXPECT_EQ(atof(nullptr), 0.0);
    EXPECT_EQ(atof("abc"), 0.0);
    EXPECT_EQ(atof(""), 0.0);
}

TEST(Atof, IgnoresTheProcessLocale) {
    testing::DecimalCommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma available";
    EXPECT_DOUBLE_EQ(atof("2.25"), 2.25);
    EXPECT_DOUBLE_EQ(atof("1.5e2"), 150.0);
}

TEST(Atof, VeryLongTextIsRead) {
    std::string text = "1." + std::string(400, '5');
    EXPECT_DOUBLE_EQ(atof(text.c_str()), 1.5555555);
}

TEST(NextPowerOfTwo, RoundsUp) {
    EXPECT_EQ(nextPowerOfTwo(1), 1u);
    EXPECT_EQ(nextPowerOfTwo(2), 2u);
    EXPECT_EQ(nextPowerOfTwo(3), 4u);
    EXPECT_EQ(nextPowerOfTwo(1024), 1024u);
    EXPECT_EQ(nextPowerOfTwo(1025), 2048u);
    EXPECT_EQ(nextPowerOfTwo(0), 0u);
    EXPECT_EQ(nextPowerOfTwo(2147483648u), 2147483648u);
    EXPECT_EQ(nextPowerOfTwo(2147483649u), 0u);
}

TEST(StringUtils, VersionText) { EXPECT_STREQ(kiteVersion(), "kite 3.4"); }

}  // namespace
}  // namespace kite
