#include "kite/foundation/ConsoleInput.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kite/foundation/DecimalCommaLocale.h"

namespace kite {
namespace {

using ::testing::ElementsAre;
using Kind = ConsoleTouch::Kind;

constexpr std::size_t kLimit = ConsoleLineReader::kMaxLineLength;

// What the reader makes of the bytes handed over in pieces of `chunk` bytes, each piece read
// out before the next arrives: the lines, and "<too long>" for each line refused.
std::vector<std::string> readLines(const std::string& bytes, std::size_t chunk) {
    ConsoleLineReader reader;
    std::vector<std::string> results;
    std::string line;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        reader.append(bytes.data() + at, std::min(chunk, bytes.size() - at));
        for (ConsoleLineReader::Next next; (next = reader.next(line)) != ConsoleLineReader::Next::None;)
            results.push_back(next == ConsoleLineReader::Next::Line ? line : "<too long>");
    }
    return results;
}

TEST(ConsoleLineReader, LinesEndAtALineFeedWithOrWithoutACarriageReturnBeforeIt) {
    EXPECT_THAT(readLines("help\r\nfps on\n\n\r\nver\rsion\n", 1000),
                ElementsAre("help", "fps on", "", "", "ver\rsion"));
    EXPECT_THAT(readLines("help\r\nfps on\n\n\r\nver\rsion\n", 1), ElementsAre("help", "fps on", "", "", "ver\rsion"));
    EXPECT_THAT(readLines(std::string("a\0b\nunfinished", 14), 3), ElementsAre(std::string("a\0b", 3)));
}

TEST(ConsoleLineReader, AnOverLongLineIsRefusedOnceAndNoPartOfItRunsHoweverItArrives) {
    const std::string longest(kLimit, 'x');
    const std::string bytes =
        longest + "\n" + longest + "y\nversion\n" + std::string(3 * kLimit, 'z') + "\r\nhelp\n" + longest + "\r\nfps\n";
    // A line of the limit passes; one byte more (a carriage return included) is refused, tail and all.
    const std::vector<std::string> expected{longest, "<too long>", "version", "<too long>",
                                            "help",  "<too long>", "fps"};
    for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(4096), kLimit, kLimit + 1, bytes.size()})
        EXPECT_EQ(readLines(bytes, chunk), expected) << "in pieces of " << chunk;
}

TEST(ConsoleLineReader, ALineThatNeverEndsIsReportedOnceAndTheLineAfterItIsRead) {
    ConsoleLineReader reader;
    std::string line;
    const std::string megabyte(1 << 20, 'x');
    reader.append(megabyte.data(), megabyte.size());
    EXPECT_EQ(reader.next(line), ConsoleLineReader::Next::TooLong);
    for (int i = 0; i < 64; ++i) {
        reader.append(megabyte.data(), 4096);
        EXPECT_EQ(reader.next(line), ConsoleLineReader::Next::None);
    }
    reader.append("\nexit\n", 6);
    EXPECT_EQ(reader.next(line), ConsoleLineReader::Next::Line);
    EXPECT_EQ(line, "exit");
    EXPECT_EQ(reader.next(line), ConsoleLineReader::Next::None);
}

TEST(ConsoleCommandLine, TheCommandEndsAtTheFirstSpaceAfterLeadingSpaces) {
    const auto split = [](const std::string& line) {
        const ConsoleCommandLine command = splitConsoleCommandLine(line);
        return command.name + "|" + command.args;
    };
    EXPECT_EQ(split("touch tap 1 2"), "touch|tap 1 2");
    EXPECT_EQ(split("   touch  tap"), "touch| tap");
    EXPECT_EQ(split("help"), "help|");
    EXPECT_EQ(split("fps "), "fps|");
    EXPECT_EQ(split("\tfps"), "\tfps|");
    EXPECT_EQ(split("    "), "|");
    EXPECT_EQ(split(""), "|");
}

TEST(ConsoleUpload, TheDataIsReadInGroupsOfFourEachDecodedOnItsOwn) {
    ConsoleUpload upload;
    ASSERT_TRUE(parseConsoleUpload("notes.txt aGVsbG8=", upload));
    EXPECT_EQ(upload.name, "notes.txt");
    EXPECT_EQ(upload.contents, "hello");
    ASSERT_TRUE(parseConsoleUpload("a aGk=aGk=d29y", upload));
    EXPECT_EQ(upload.contents, "hihiwor");
    ASSERT_TRUE(parseConsoleUpload("a aGVsbG8=QQ", upload));
    EXPECT_EQ(upload.contents, "helloA") << "a last group without its padding";
    ASSERT_TRUE(parseConsoleUpload("empty", upload));
    EXPECT_EQ(upload.name, "empty");
    EXPECT_EQ(upload.contents, "");
    ASSERT_TRUE(parseConsoleUpload("spaced ", upload));
    EXPECT_EQ(upload.contents, "");
    const std::string data(ConsoleLineReader::kMaxLineLength, 'A');
    ASSERT_TRUE(parseConsoleUpload("zeros " + data, upload));
    EXPECT_EQ(upload.contents, std::string(data.size() / 4 * 3, '\0'));
}

TEST(ConsoleUpload, DataThatIsNotBase64IsRefusedAndNothingTaken) {
    ConsoleUpload upload;
    upload.name = "unchanged";
    upload.contents = "kept";
    const std::vector<std::string> refused = {
        "!!!!~~~~aGk=", "hello world", "aGk=Q",  "aGk= aGk=",        "a===",
        "aG=k",         "=aGk",        "aGk=\r", "\xff\xff\xff\xff", std::string("aG\0k", 4)};
    for (const std::string& data : refused) {
        std::string why;
        EXPECT_FALSE(parseConsoleUpload("notes.txt " + data, upload, &why)) << '"' << data << '"';
        EXPECT_EQ(why, "invalid Base64 data") << '"' << data << '"';
    }
    EXPECT_EQ(upload.name, "unchanged");
    EXPECT_EQ(upload.contents, "kept");
    std::string why;
    EXPECT_FALSE(parseConsoleUpload("a/b aGk=", upload, &why));
    EXPECT_EQ(why, "invalid file name");
}

TEST(ConsoleUpload, OnlyAPlainFileNameOfAtMost511BytesIsTaken) {
    ConsoleUpload upload;
    const std::string long_name(600, 'n');
    ASSERT_TRUE(parseConsoleUpload(long_name + " aGk=", upload));
    EXPECT_EQ(upload.name, std::string(511, 'n'));
    EXPECT_EQ(upload.contents, "hi");
    upload.name = "unchanged";
    for (const std::string& args : {std::string(),           std::string(" aGk="),        std::string("."),
                                    std::string(".. aGk="),  std::string("../x aGk="),    std::string("a/b"),
                                    std::string("a\\b"),     std::string("a\0b aGk=", 8), std::string("\0", 1),
                                    std::string("..\0x", 4), std::string("a\tb"),         std::string("a\rb"),
                                    std::string("a:b"),      std::string("a?b"),          std::string("a%b"),
                                    std::string("a*b"),      std::string("a<b"),          std::string("a>b"),
                                    std::string("a\"b"),     std::string("a|b")}) {
        EXPECT_FALSE(parseConsoleUpload(args, upload)) << '"' << args << '"';
    }
    EXPECT_EQ(upload.name, "unchanged");
    EXPECT_TRUE(parseConsoleUpload("...", upload));
    EXPECT_TRUE(parseConsoleUpload(".hidden", upload));
    EXPECT_TRUE(parseConsoleUpload("中文.txt", upload));
}

TEST(ConsoleTouch, TapsAndSwipesTakeExactlyTheirCountOfNumbers) {
    ConsoleTouch touch = parseConsoleTouch("tap 10.5 -2e1");
    EXPECT_EQ(touch.kind, Kind::Tap);
    EXPECT_EQ(touch.x1, 10.5f);
    EXPECT_EQ(touch.y1, -20.0f);
    touch = parseConsoleTouch("swipe 0 1 2 3.25");
    EXPECT_EQ(touch.kind, Kind::Swipe);
    EXPECT_THAT((std::vector<float>{touch.x1, touch.y1, touch.x2, touch.y2}), ElementsAre(0, 1, 2, 3.25f));
    EXPECT_EQ(parseConsoleTouch("help").kind, Kind::Help);
    EXPECT_EQ(parseConsoleTouch("-h").kind, Kind::Help);
    for (const char* other : {"", "press 1 2", "Tap 1 2", " tap 1 2", "help me"})
        EXPECT_EQ(parseConsoleTouch(other).kind, Kind::Other) << other;
    for (const char* wrong :
         {"tap", "tap 1", "tap 1 2 3", "tap 1  2", "tap 1 2 ", "swipe 1 2 3", "swipe 1 2 3 4 5", "swipe 1 2  3 4"})
        EXPECT_EQ(parseConsoleTouch(wrong).kind, Kind::Invalid) << wrong;
}

TEST(ConsoleTouch, ANumberIsTheWholePieceFiniteAndWithinAFloat) {
    for (const std::string& piece :
         {std::string("x"), std::string("1x"), std::string("\t1"), std::string("1,5"), std::string("nan"),
          std::string("-nan"), std::string("inf"), std::string("-Infinity"), std::string("1e39"),
          std::string("-3.5e38"), std::string("1e999"), std::string("1\0", 2), std::string("1\0junk", 6)}) {
        EXPECT_EQ(parseConsoleTouch("tap " + piece + " 1").kind, Kind::Invalid) << piece;
        EXPECT_EQ(parseConsoleTouch("swipe 1 2 3 " + piece).kind, Kind::Invalid) << piece;
    }
    EXPECT_EQ(parseConsoleTouch("tap 3.4e38 -3.4e38").kind, Kind::Tap);
    EXPECT_EQ(parseConsoleTouch("tap 1e-50 0x10").x1, 0.0f);
    EXPECT_EQ(parseConsoleTouch("tap 1e-50 0x10").y1, 16.0f);
}

TEST(ConsoleTouch, NumbersIgnoreTheProcessLocale) {
    testing::DecimalCommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma available";
    const ConsoleTouch touch = parseConsoleTouch("tap 10.5 2.25");
    EXPECT_EQ(touch.kind, Kind::Tap);
    EXPECT_EQ(touch.x1, 10.5f);
    EXPECT_EQ(touch.y1, 2.25f);
    EXPECT_EQ(parseConsoleTouch("tap 10,5 2").kind, Kind::Invalid);
}

// A client may send any bytes: those that are no UTF-8 are carried as they are, and never read as digits.
TEST(ConsoleInput, BytesThatAreNoUtf8AreCarriedAsTheyAreAndAreNoNumbers) {
    const std::string odd = "\xff\xfe\xc3(\x80";
    EXPECT_THAT(readLines("upload " + odd + "\r\n" + odd + "\n", 2), ElementsAre("upload " + odd, odd));
    const ConsoleCommandLine command = splitConsoleCommandLine(odd + " " + odd);
    EXPECT_EQ(command.name, odd);
    EXPECT_EQ(command.args, odd);

    // A file name may hold any byte but the separator and a zero one.
    ConsoleUpload upload;
    ASSERT_TRUE(parseConsoleUpload(odd + " aGk=", upload));
    EXPECT_EQ(upload.name, odd);
    EXPECT_EQ(upload.contents, "hi");

    const std::string fullWidthOne = "\xef\xbc\x91";
    for (const std::string& args : {"tap 1 2" + odd, "tap " + fullWidthOne + " 2", std::string("swipe 1 2 3 \xff")})
        EXPECT_EQ(parseConsoleTouch(args).kind, Kind::Invalid) << args;
    ConsoleResolution resolution;
    EXPECT_FALSE(parseConsoleResolution("640 1136 2" + odd, resolution));
    EXPECT_FALSE(parseConsoleResolution(fullWidthOne + "0 1136 2", resolution));
}

TEST(ConsoleResolution, ThreeIntegersWithPositiveSizesAndAKnownPolicy) {
    ConsoleResolution resolution;
    ASSERT_TRUE(parseConsoleResolution("640 1136 2", resolution));
    EXPECT_EQ(resolution.width, 640);
    EXPECT_EQ(resolution.height, 1136);
    EXPECT_EQ(resolution.policy, 2);
    ASSERT_TRUE(parseConsoleResolution(" +320\t480  4 ", resolution));
    EXPECT_EQ(resolution.width, 320);
    EXPECT_EQ(resolution.policy, 4);
    EXPECT_TRUE(parseConsoleResolution("2147483647 1 0", resolution));
    for (const std::string& args :
         {std::string(), std::string("640"), std::string("640 1136"), std::string("640 1136 2 x"),
          std::string("640 1136 2x"), std::string("640 ten 2"), std::string("0 1136 2"), std::string("640 -1 2"),
          std::string("640 1136 5"), std::string("640 1136 -1"), std::string("2147483648 1 0"),
          std::string("4294967396 20 1"), std::string("99999999999999999999 1 1"), std::string("640 1136 2\0 x", 13),
          std::string("640.5 1136 2")}) {
        resolution = ConsoleResolution{7, 8, 1};
        EXPECT_FALSE(parseConsoleResolution(args, resolution)) << args;
        EXPECT_EQ(resolution.width, 7) << args;
    }
}

}  // namespace
}  // namespace kite
