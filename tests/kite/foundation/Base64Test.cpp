#include "kite/foundation/Base64.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

namespace kite {
namespace {

struct Decoded {
    int length;
    std::string bytes;
    bool nullOut;
};

Decoded decode(const std::string& text) {
    unsigned char* out = nullptr;
    int n =
        base64Decode(reinterpret_cast<const unsigned char*>(text.data()), static_cast<unsigned int>(text.size()), &out);
    Decoded d{n, out ? std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n)) : std::string(),
              out == nullptr};
    std::free(out);
    return d;
}

TEST(Base64, DecodesTheRfc4648Vectors) {
    EXPECT_EQ(decode("").bytes, "");
    EXPECT_EQ(decode("Zg==").bytes, "f");
    EXPECT_EQ(decode("Zm8=").bytes, "fo");
    EXPECT_EQ(decode("Zm9v").bytes, "foo");
    EXPECT_EQ(decode("Zm9vYg==").bytes, "foob");
    EXPECT_EQ(decode("Zm9vYmE=").bytes, "fooba");
    EXPECT_EQ(decode("Zm9vYmFy").bytes, "foobar");
    EXPECT_EQ(decode("Zm9vYmFy").length, 6);
}

TEST(Base64, DecodesAFinalGroupWithoutPadding) {
    EXPECT_EQ(decode("Zm8").bytes, "fo");
    EXPECT_EQ(decode("Zm9vYg").bytes, "foob");
}

TEST(Base64, SkipsLineBreaksAndStopsAtPadding) {
    EXPECT_EQ(decode("Zm9v\nYmFy").bytes, "foobar");
    EXPECT_EQ(decode("Zm9v\r\n YmFy\n").length, 6);
    EXPECT_EQ(decode("Zg==Zm9v").bytes, "f");
}

TEST(Base64, DecodesBinaryBytes) {
    Decoded d = decode("AP8Q7w==");
    ASSERT_EQ(d.length, 4);
    EXPECT_EQ(static_cast<unsigned char>(d.bytes[0]), 0x00);
    EXPECT_EQ(static_cast<unsigned char>(d.bytes[1]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(d.bytes[2]), 0x10);
    EXPECT_EQ(static_cast<unsigned char>(d.bytes[3]), 0xEF);
}

TEST(Base64, ALoneLastCharacterIsAnErrorWithNoBlock) {
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    Decoded d = decode("Zm9vY=");
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(d.length, 0);
    EXPECT_TRUE(d.nullOut);
    EXPECT_EQ(err, "base64Decode: encoding incomplete: at least 2 bits missing");
    EXPECT_EQ(out, "Base64Utils: error decoding");
}

TEST(Base64, AStrayLastCharacterWithoutPaddingIsDroppedWithALogLine) {
    testing::internal::CaptureStdout();
    Decoded d = decode("QUJDR");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(d.bytes, "ABC");
    EXPECT_NE(out.find("stray"), std::string::npos) << out;
    testing::internal::CaptureStdout();
    d = decode("Z");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(d.length, 0);
    EXPECT_FALSE(d.nullOut);
}

TEST(Base64, RandomTextNeverWritesPastTheBlock) {
    std::mt19937 rng(5);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    for (int round = 0; round < 500; ++round) {
        std::string text(rng() % 64, '\0');
        for (auto& c : text) c = static_cast<char>(rng());
        Decoded d = decode(text);
        EXPECT_LE(d.length, static_cast<int>(text.size()));
        if (d.nullOut) {
            EXPECT_EQ(d.length, 0);
        }
    }
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
}

TEST(Base64, NullOutputPointerIsRefused) {
    EXPECT_EQ(base64Decode(reinterpret_cast<const unsigned char*>("Zm9v"), 4, nullptr), 0);
}

}  // namespace
}  // namespace kite
