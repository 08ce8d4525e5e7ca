#include "platform/SoundFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <vector>

#include <gtest/gtest.h>

#include "support/SoundFiles.h"
#include "support/TemporaryFolder.h"

namespace {

using kite::test::Tone;
using kite::test::writeTone;

class SoundFileTest : public ::testing::Test {
protected:
    kite::test::TemporaryFolder folder{"sound-file"};
    std::string path(const char* name) const { return folder.path() + "/" + name; }
};

TEST_F(SoundFileTest, SixteenBitWaveDecodesAsStored) {
    Tone tone;
    tone.channels = 2;
    tone.sampleRate = 22050;
    tone.frames = 2205;
    ASSERT_TRUE(writeTone(path("stereo.wav"), tone));
    const platform::DecodeResult result = platform::decodeSoundFile(path("stereo.wav"));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.sound.channels, 2);
    EXPECT_EQ(result.sound.bitsPerSample, 16);
    EXPECT_EQ(result.sound.sampleRate, 22050);
    EXPECT_EQ(result.sound.data.size(), 2205u * 2 * 2);
}

TEST_F(SoundFileTest, EightBitWaveStaysEightBitUnsigned) {
    Tone tone;
    tone.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
    tone.frames = 100;
    ASSERT_TRUE(writeTone(path("byte.wav"), tone));
    const platform::DecodeResult result = platform::decodeSoundFile(path("byte.wav"));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.sound.bitsPerSample, 8);
    ASSERT_EQ(result.sound.data.size(), 100u);
    EXPECT_NEAR(result.sound.data[0], 128, 1);  // the sine starts at silence, the middle of the range
}

TEST_F(SoundFileTest, Mp3DecodesToSixteenBitWithItsRateAndLength) {
    Tone tone;
    tone.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    tone.frames = 44100;
    ASSERT_TRUE(writeTone(path("tone.mp3"), tone));
    const platform::DecodeResult result = platform::decodeSoundFile(path("tone.mp3"));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.sound.channels, 1);
    EXPECT_EQ(result.sound.bitsPerSample, 16);
    EXPECT_EQ(result.sound.sampleRate, 44100);
    EXPECT_EQ(result.sound.data.size(), 44100u * 2);
}

TEST_F(SoundFileTest, WaveThatIsNotPlainPcmIsRefused) {
    Tone fourChannels;
    fourChannels.channels = 4;
    ASSERT_TRUE(writeTone(path("four.wav"), fourChannels));
    Tone floats;
    floats.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    ASSERT_TRUE(writeTone(path("float.wav"), floats));
    Tone bigEndian;
    bigEndian.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG;
    ASSERT_TRUE(writeTone(path("rifx.wav"), bigEndian));
    Tone empty;
    empty.frames = 0;
    ASSERT_TRUE(writeTone(path("empty.wav"), empty));

    for (const char* name : {"four.wav", "float.wav", "rifx.wav", "empty.wav", "missing.wav"}) {
        const platform::DecodeResult result = platform::decodeSoundFile(path(name));
        EXPECT_FALSE(result.ok) << name;
        EXPECT_FALSE(result.error.empty()) << name;
    }
}

TEST_F(SoundFileTest, DamagedFilesFailWithoutHarm) {
    Tone tone;
    ASSERT_TRUE(writeTone(path("whole.wav"), tone));
    const std::string bytes = kite::test::readWholeFile(path("whole.wav"));
    // A header that claims far more data than there is, and one cut short.
    std::string lying = bytes;
    lying[40] = lying[41] = lying[42] = '\x7f';
    folder.put("lying.wav", lying);
    folder.put("cut.wav", bytes.substr(0, 30));
    folder.put("noise.mp3", std::string(4096, '\x55'));

    EXPECT_FALSE(platform::decodeSoundFile(path("cut.wav")).ok);
    EXPECT_FALSE(platform::decodeSoundFile(path("noise.mp3")).ok);
    const platform::DecodeResult lied = platform::decodeSoundFile(path("lying.wav"));
    if (lied.ok) {
        EXPECT_LE(lied.sound.data.size(), bytes.size());
    }
}

// What is wrong is the contents, not the kind of file: libsndfile, given a name, calls any file it
// does not recognise "not a regular file (possibly a pipe?)".
TEST_F(SoundFileTest, AFileOfNoSoundFormatSaysSoNamingIt) {
    folder.put("noise.mp3", std::string(4096, '\x55'));
    const platform::DecodeResult result = platform::decodeSoundFile(path("noise.mp3"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "cannot read " + path("noise.mp3") + ": Format not recognised.");
    std::string error;
    EXPECT_EQ(platform::SoundFileReader::open(path("noise.mp3"), error), nullptr);
    EXPECT_EQ(error, "cannot read " + path("noise.mp3") + ": Format not recognised.");
}

// A FIFO is refused at once, not waited on for a writer; a folder and a missing file are named with why.
TEST_F(SoundFileTest, OnlyARegularFileIsRead) {
    ASSERT_EQ(::mkfifo(path("pipe.wav").c_str(), 0600), 0);
    auto decoding = std::async(std::launch::async, [this] { return platform::decodeSoundFile(path("pipe.wav")); });
    const bool answered = decoding.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!answered) {
        // A reader waiting for a writer is let go: it reads an empty file.
        const int writer = ::open(path("pipe.wav").c_str(), O_WRONLY);
        ::close(writer);
    }
    const platform::DecodeResult fromPipe = decoding.get();
    EXPECT_TRUE(answered) << "the decoder waited for a writer";
    EXPECT_EQ(fromPipe.error, "cannot read " + path("pipe.wav") + ": not a regular file (a FIFO)");
    ASSERT_EQ(::mkdir(path("folder.wav").c_str(), 0700), 0);
    EXPECT_EQ(platform::decodeSoundFile(path("folder.wav")).error, "cannot read " + path("folder.wav") + ": a folder");
    EXPECT_EQ(platform::decodeSoundFile(path("missing.wav")).error,
              "cannot read " + path("missing.wav") + ": No such file or directory");
}

TEST_F(SoundFileTest, AnMp3OfUnknownLengthIsRefusedNamingTheFile) {
    ASSERT_TRUE(kite::test::writeMp3OfUnknownLength(path("unknown.mp3")));
    SF_INFO info{};
    SNDFILE* file = sf_open(path("unknown.mp3").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    sf_close(file);
    ASSERT_EQ(info.frames, SF_COUNT_MAX) << "the file must be one whose length libsndfile cannot tell";

    const platform::DecodeResult result = platform::decodeSoundFile(path("unknown.mp3"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.sound.data.empty());
    EXPECT_NE(result.error.find(path("unknown.mp3")), std::string::npos) << result.error;
    EXPECT_NE(result.error.find("length"), std::string::npos) << result.error;
}

TEST_F(SoundFileTest, Mp3ClaimingFarMoreFramesThanItHoldsDecodesWhatItHoldsWithoutReservingTheClaim) {
    // 230,000 MPEG frames of 576 samples: about 265 MB of 16-bit PCM, just under the decoded-size limit.
    ASSERT_TRUE(kite::test::writeMp3ClaimingFrames(path("claims.mp3"), 230000));
    SF_INFO info{};
    SNDFILE* file = sf_open(path("claims.mp3").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<std::int16_t> held;
    std::vector<std::int16_t> chunk(4096);
    for (sf_count_t got; (got = sf_readf_short(file, chunk.data(), 4096)) > 0;) {
        held.insert(held.end(), chunk.begin(), chunk.begin() + got);
    }
    sf_close(file);
    const std::int64_t claimedBytes = std::int64_t{info.frames} * 2;
    ASSERT_GT(claimedBytes, std::int64_t{200} * 1000 * 1000) << "the header must claim far more than the file holds";
    ASSERT_FALSE(held.empty());

    const platform::DecodeResult result = platform::decodeSoundFile(path("claims.mp3"));
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.sound.data.size(), held.size() * 2);
    EXPECT_EQ(std::memcmp(result.sound.data.data(), held.data(), result.sound.data.size()), 0);
    // The buffer grew with what was decoded; the claim was never reserved.
    EXPECT_LT(result.sound.data.capacity(), std::size_t{1} << 20);
}

TEST_F(SoundFileTest, ReaderSeeksAndReadsFrames) {
    Tone tone;
    tone.frames = 1000;
    ASSERT_TRUE(writeTone(path("read.wav"), tone));
    std::string error;
    auto reader = platform::SoundFileReader::open(path("read.wav"), error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->frames(), 1000);
    std::vector<std::int16_t> samples(600);
    EXPECT_EQ(reader->read(samples.data(), 600), 600u);
    EXPECT_EQ(reader->read(samples.data(), 600), 400u);
    ASSERT_TRUE(reader->seek(0));
    EXPECT_EQ(reader->read(samples.data(), 10), 10u);
    EXPECT_EQ(samples[0], 0);
}

}  // namespace
