// Whatever either reader accepts, the writers give back unchanged: over the game's own property
// lists, damaged copies of them, and the lists another implementation (plistutil) writes and reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/PlistBinary.h"
#include "platform/PlistXml.h"
#include "support/TemporaryFolder.h"

using platform::PlistValue;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool holdsNaN(const PlistValue& value) {
    if (const double* real = value.asReal()) return std::isnan(*real);
    if (const double* date = value.asDate()) return std::isnan(*date);
    if (const PlistValue::Array* items = value.asArray()) {
        for (const PlistValue& item : *items) {
            if (holdsNaN(item)) return true;
        }
    }
    if (const PlistValue::Dictionary* entries = value.asDictionary()) {
        for (const auto& entry : *entries) {
            if (holdsNaN(entry.second)) return true;
        }
    }
    return false;
}

// Writes what was read in both forms and reads each back: the same value, and the same bytes
// when written once more.
void expectWrittenBackUnchanged(const PlistValue& read, const std::string& origin) {
    const auto binary = platform::encodePlistBinary(read);
    ASSERT_TRUE(binary) << origin;
    const auto fromBinary = platform::decodePlistBinary(binary->data(), binary->size());
    ASSERT_TRUE(fromBinary) << origin;
    EXPECT_EQ(platform::encodePlistBinary(*fromBinary), binary) << origin;
    const std::string xml = platform::encodePlistXml(read);
    std::string error;
    const auto fromXml = platform::decodePlistXml(xml, &error);
    ASSERT_TRUE(fromXml) << origin << ": " << error;
    if (!holdsNaN(read)) {
        EXPECT_EQ(*fromBinary, read) << origin;
        // The text form keeps whole seconds of a date; every other value comes back exactly.
        if (xml.find("<date>") == std::string::npos) {
            EXPECT_EQ(*fromXml, read) << origin;
        }
    }
    EXPECT_EQ(platform::encodePlistXml(*fromXml), xml) << origin;
}

std::vector<std::string> gamePropertyLists() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(STARGRID_SOURCE_DIR "/Resources")) {
        if (entry.path().extension() == ".plist") paths.push_back(entry.path().string());
    }
    return paths;
}

// The fuzz targets' corpora of property lists, when the tree has them: any file in a folder named for plists.
std::vector<std::string> fuzzCorpus() {
    std::vector<std::string> paths;
    std::error_code error;
    const std::filesystem::path root = STARGRID_SOURCE_DIR "/tests/fuzz";
    if (!std::filesystem::is_directory(root, error)) return paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
        const std::string folder = entry.path().parent_path().filename().string();
        if (entry.is_regular_file(error) && folder.find("plist") != std::string::npos) {
            paths.push_back(entry.path().string());
        }
    }
    return paths;
}

}  // namespace

TEST(PlistRoundTrip, EveryListTheReadersAcceptIsWrittenBackUnchanged) {
    const std::vector<std::string> paths = gamePropertyLists();
    ASSERT_GE(paths.size(), 3u);
    std::mt19937 random(11);
    std::size_t accepted = 0;
    for (const std::string& path : paths) {
        const Bytes original = fileBytes(path);
        const auto read = platform::decodePlist(original.data(), original.size());
        ASSERT_TRUE(read) << path;
        expectWrittenBackUnchanged(*read, path);
        // Damaged copies of its binary form: each one a reader accepts must survive writing too.
        const Bytes binary = *platform::encodePlistBinary(*read);
        for (int round = 0; round < 300; ++round) {
            Bytes damaged = binary;
            for (int change = 0, changes = 1 + int(random() % 3); change < changes; ++change) {
                damaged[8 + random() % (damaged.size() - 8)] = std::uint8_t(random());
            }
            const auto damagedRead = platform::decodePlist(damaged.data(), damaged.size());
            if (!damagedRead) continue;
            ++accepted;
            expectWrittenBackUnchanged(*damagedRead, path + " damaged in round " + std::to_string(round));
        }
    }
    EXPECT_GT(accepted, 0u) << "some damage leaves a readable list";
}

TEST(PlistRoundTrip, EveryListOfTheFuzzCorpusTheReadersAcceptIsWrittenBackUnchanged) {
    for (const std::string& path : fuzzCorpus()) {
        const Bytes bytes = fileBytes(path);
        if (const auto read = platform::decodePlist(bytes.data(), bytes.size()))
            expectWrittenBackUnchanged(*read, path);
    }
}

namespace {

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// Records sharing a few long texts (ASCII, CJK, mixed), as lists of messages or
// scores do: thousands of them, holding megabytes of text the writer keeps once.
PlistValue recordsSharingText(std::uint32_t seed) {
    std::mt19937 random(seed);
    const std::string texts[] = {std::string(1000, char('a' + seed % 26)), repeated("星", 400),
                                 std::string(300, 'x') + "é\U0001F31F", repeated("text ", 200)};
    PlistValue::Array records;
    for (std::size_t i = 0, count = 9000 + random() % 3000; i < count; ++i) {
        const PlistValue text(texts[random() % 4]);
        switch (random() % 3) {
            case 0: records.push_back(text); break;
            case 1:
                records.push_back(PlistValue(
                    PlistValue::Dictionary{{"id", PlistValue::integer(std::int64_t(i))}, {texts[random() % 3], text}}));
                break;
            default: records.push_back(PlistValue(PlistValue::Array{text, PlistValue::boolean(i % 2 == 0)}));
        }
    }
    return PlistValue(std::move(records));
}

// A dictionary of texts that are ASCII but for one character each, so the binary
// form holds them in UTF-16: twice their length in UTF-8.
PlistValue mostlyAsciiTexts(std::uint32_t seed, std::size_t entries) {
    std::mt19937 random(seed);
    const char* const others[] = {"é", "星", "\U0001F31F"};
    PlistValue::Dictionary texts;
    for (std::size_t i = 0; i < entries; ++i) {
        std::string text(20 + random() % 2000, char('a' + random() % 26));
        text.insert(random() % text.size(), others[random() % 3]);
        texts["key " + std::to_string(i)] = PlistValue(std::move(text));
    }
    return PlistValue(std::move(texts));
}

}  // namespace

TEST(PlistRoundTrip, ValuesWhoseTextRepeatsReadBackEqualInBothForms) {
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        const PlistValue value = recordsSharingText(seed);
        std::string error;
        const auto binary = platform::encodePlistBinary(value, &error);
        ASSERT_TRUE(binary) << "seed " << seed << ": " << error;
        const auto fromBinary = platform::decodePlistBinary(binary->data(), binary->size(), &error);
        ASSERT_TRUE(fromBinary) << "seed " << seed << ": " << error;
        EXPECT_TRUE(*fromBinary == value) << "seed " << seed;
        const auto fromXml = platform::decodePlistXml(platform::encodePlistXml(value), &error);
        ASSERT_TRUE(fromXml) << "seed " << seed << ": " << error;
        EXPECT_TRUE(*fromXml == value) << "seed " << seed;
    }
}

TEST(PlistRoundTrip, WhatTheTextReaderTakesTheBinaryReaderTakesWithTheSameLimits) {
    for (std::uint32_t seed : {4u, 5u, 6u}) {
        const std::size_t entries = 200;
        const PlistValue value = mostlyAsciiTexts(seed, entries);
        const std::string xml = platform::encodePlistXml(value);
        platform::PlistLimits tight;
        tight.maxBytes = xml.size();
        tight.maxValues = entries + 1;
        tight.maxDepth = 1;
        std::string error;
        ASSERT_TRUE(platform::decodePlistXml(xml, &error, tight)) << "seed " << seed << ": " << error;
        const auto binary = platform::encodePlistBinary(value, &error, tight);
        ASSERT_TRUE(binary) << "seed " << seed << ": " << error;
        const auto read = platform::decodePlistBinary(binary->data(), binary->size(), &error, tight);
        ASSERT_TRUE(read) << "seed " << seed << ": " << error;
        EXPECT_TRUE(*read == value) << "seed " << seed;
    }
}

class PlistutilTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(STARGRID_PLISTUTIL).empty()) GTEST_SKIP() << "plistutil (libplist-utils) is not installed";
        ASSERT_TRUE(folder_.made());
    }
    // plistutil's conversion of the bytes to the other form (or to `format`).
    Bytes converted(const Bytes& bytes, const char* format) {
        writeBytes(folder_.path() + "/in", bytes);
        const std::string command = std::string(STARGRID_PLISTUTIL) + " -i " + folder_.path() + "/in -o " +
                                    folder_.path() + "/out -f " + format;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return fileBytes(folder_.path() + "/out");
    }
    kite::test::TemporaryFolder folder_{"plistutil"};
};

PlistValue sampleForOtherWriters() {
    PlistValue::Dictionary entries{
        {"appID", PlistValue("pg5e18c0a7d94b2f63")},
        {"appName", PlistValue("星格 Stargrid, with a name longer than fifteen")},
        {"appIcon", PlistValue(PlistValue::Data{0x89, 'P', 'N', 'G', 0, 1, 2})},
        {"lines", PlistValue("one\ntwo\tthree & <four>")},
        {"count", PlistValue::integer(-42)},
        {"large", PlistValue::integer(5000000000)},
        {"ratio", PlistValue::real(0.25)},
        {"created", PlistValue::date(600000000)},
        {"on", PlistValue::boolean(true)},
        {"nested", PlistValue(PlistValue::Array{PlistValue("x"), PlistValue(PlistValue::Dictionary{})})},
    };
    for (int i = 0; i < 40; ++i) entries["slot " + std::to_string(i)] = PlistValue::integer(i * 1000);
    return PlistValue(entries);
}

TEST_F(PlistutilTest, ItReadsOurBinaryFormAndWeReadItsBinaryForm) {
    const PlistValue sample = sampleForOtherWriters();
    const Bytes ours = *platform::encodePlistBinary(sample);
    const Bytes asXml = converted(ours, "xml");
    std::string error;
    const auto throughXml = platform::decodePlistXml(reinterpret_cast<const char*>(asXml.data()), asXml.size(), &error);
    ASSERT_TRUE(throughXml) << error;
    EXPECT_EQ(*throughXml, sample);

    const Bytes theirs = converted(ours, "bin");
    const auto decoded = platform::decodePlistBinary(theirs.data(), theirs.size(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, sample);
}

TEST_F(PlistutilTest, ItReadsOurTextFormAndWeReadItsTextForm) {
    const PlistValue sample = sampleForOtherWriters();
    const std::string xml = platform::encodePlistXml(sample);
    const Bytes asBinary = converted(Bytes(xml.begin(), xml.end()), "bin");
    std::string error;
    const auto decoded = platform::decodePlistBinary(asBinary.data(), asBinary.size(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, sample);
    const Bytes theirs = converted(asBinary, "xml");
    const auto throughXml =
        platform::decodePlistXml(reinterpret_cast<const char*>(theirs.data()), theirs.size(), &error);
    ASSERT_TRUE(throughXml) << error;
    EXPECT_EQ(*throughXml, sample);
}
