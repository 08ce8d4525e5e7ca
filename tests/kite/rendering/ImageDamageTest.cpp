// Truncated and randomly damaged files of every kind go through the decoders: each one
// fails with a log line or yields a consistent image, never a fault (run under sanitizers).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kite/foundation/Log.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/Image.h"
#include "support/TestImages.h"

namespace kite {
namespace {

using namespace testdata;

std::atomic<int> logLines{0};
void countLine(const char*) { ++logLines; }

struct Sample {
    std::string name;
    Bytes bytes;
};

std::vector<Sample> samples() {
    Lcg random(1234);
    std::vector<Sample> out;
    out.push_back({"png rgba", encodePng(8, 8, random.bytes(8 * 8 * 4), {})});
    out.push_back(
        {"png palette trns", encodePng(8, 4, random.bytes(4 * 4), {3, 4, random.bytes(16 * 3), {0, 128, 255}})});
    out.push_back({"png grey 16", encodePng(4, 4, random.bytes(4 * 4 * 2), {0, 16, {}, {}})});
    out.push_back({"jpeg grey", encodeJpeg(16, 16, 1, random.bytes(16 * 16), 90)});
    out.push_back({"jpeg colour", encodeJpeg(16, 16, 3, random.bytes(16 * 16 * 3), 90)});
    out.push_back({"tiff little", encodeTiff(4, 4, random.bytes(4 * 4 * 4), false)});
    out.push_back({"tiff big", encodeTiff(4, 4, random.bytes(4 * 4 * 4), true)});
    out.push_back({"webp", encodeWebpLossless(8, 8, random.bytes(8 * 8 * 4))});
    out.push_back({"pvr2 rgba", makePvr2(4, 4, 0x12, 32, random.bytes(64 + 16 + 4), 3)});
    out.push_back({"pvr2 pvrtc4", makePvr2(8, 8, 0x19, 4, random.bytes(32), 1)});
    out.push_back({"pvr2 pvrtc2", makePvr2(16, 8, 0x18, 2, random.bytes(32), 1)});
    const std::uint64_t rgba = 'r' | ('g' << 8) | ('b' << 16) | (std::uint64_t('a') << 24) | (0x08080808ull << 32);
    out.push_back({"pvr3 rgba", makePvr3(4, 4, rgba, 2, 2, random.bytes(64 + 16), 8)});
    out.push_back({"pvr3 etc", makePvr3(8, 8, 6, 0, 2, random.bytes(32 + 8))});
    out.push_back({"pvr3 pvrtc2", makePvr3(16, 8, 1, 0, 1, random.bytes(32))});
    out.push_back({"pvr3 pvrtc4", makePvr3(8, 8, 3, 0, 1, random.bytes(32))});
    out.push_back({"pkm", makePkm(7, 5, random.bytes(4 * 8))});
    out.push_back({"dds dxt1", makeDds(8, 8, "DXT1", 4, random.bytes(32 + 8 + 8 + 8))});
    out.push_back({"dds dxt3", makeDds(8, 4, "DXT3", 2, random.bytes(32 + 16))});
    out.push_back({"dds dxt5", makeDds(4, 4, "DXT5", 1, random.bytes(16))});
    out.push_back({"ktx rgb", makeKtx(8, 8, 0x8C92, {random.bytes(32), random.bytes(8)}, 16)});
    out.push_back({"ktx explicit", makeKtx(4, 4, 0x8C93, {random.bytes(16)})});
    out.push_back({"ktx interpolated", makeKtx(8, 4, 0x87EE, {random.bytes(32), random.bytes(16)})});
    out.push_back({"tga rgb", makeTga(2, 4, 3, 24, 0x20, random.bytes(4 * 3 * 3))});
    out.push_back(
        {"tga rle", makeTga(10, 5, 4, 32, 8, {0x84, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12, 0x8C, 13, 14, 15, 16},
                            {'i', 'd'})});
    out.push_back({"tga grey", makeTga(3, 4, 4, 8, 0, random.bytes(16), {}, 4, 24)});
    out.push_back({"tga 16", makeTga(2, 3, 2, 16, 1, random.bytes(12))});
    out.push_back({"gzip tga", gzip(makeTga(2, 4, 3, 24, 0, random.bytes(36)))});
    out.push_back({"ktz png", ktz(encodePng(4, 4, random.bytes(64), {}))});
    return out;
}

// Every byte the image claims to own is read, so that a sanitizer sees a bad buffer.
unsigned touch(const Image& image) {
    unsigned sum = 0;
    for (std::int64_t i = 0; i < image.getDataLen(); ++i) sum += image.getData()[i];
    for (int m = 0; m < image.getNumberOfMipmaps(); ++m) {
        const MipmapInfo& level = image.getMipmaps()[m];
        for (std::int64_t i = 0; i < level.len; ++i) sum += level.address[i];
    }
    return sum;
}

class ImageDamageTest : public ::testing::Test {
protected:
    void SetUp() override {
        setLogForwarder(countLine);
        std::fflush(stdout);
        savedStdout_ = dup(STDOUT_FILENO);
        null_ = open("/dev/null", O_WRONLY);
    }
    void TearDown() override {
        close(null_);
        close(savedStdout_);
        setLogForwarder(nullptr);
        Configuration::destroyInstance();
    }

    // The decoders log a line per failure, thousands here: kept off the test output.
    RefPtr<Image> quietDecode(const Bytes& bytes) {
        std::fflush(stdout);
        dup2(null_, STDOUT_FILENO);
        RefPtr<Image> image = decode(bytes);
        std::fflush(stdout);
        dup2(savedStdout_, STDOUT_FILENO);
        return image;
    }

    // Once with nothing supported, once with every compressed format the loaders know.
    static void forEachSupport(const std::function<void()>& body) {
        Configuration::destroyInstance();
        body();
        Configuration::getInstance()->updateExtensionSupport(
            "GL_IMG_texture_compression_pvrtc GL_EXT_texture_compression_s3tc GL_AMD_compressed_ATC_texture "
            "GL_IMG_texture_format_BGRA8888");
        body();
    }

    int savedStdout_ = -1;
    int null_ = -1;
};

TEST_F(ImageDamageTest, EverySampleDecodesWhole) {
    forEachSupport([&] {
        for (const Sample& sample : samples()) {
            auto image = quietDecode(sample.bytes);
            ASSERT_TRUE(image) << sample.name;
            touch(*image);
        }
    });
}

TEST_F(ImageDamageTest, EveryTruncationFailsWithALogLine) {
    forEachSupport([&] {
        for (const Sample& sample : samples()) {
            // A JPEG that lacks only its two-byte end marker has every pixel, and decodes.
            const std::size_t cutMarker = sample.name.rfind("jpeg", 0) == 0 ? 2 : 0;
            for (std::size_t length = 0; length + cutMarker < sample.bytes.size(); ++length) {
                const Bytes cut(sample.bytes.begin(), sample.bytes.begin() + length);
                const int before = logLines;
                auto image = quietDecode(cut);
                EXPECT_FALSE(image) << sample.name << " cut to " << length << " of " << sample.bytes.size();
                EXPECT_GT(logLines, before) << sample.name << " cut to " << length;
                if (image) touch(*image);
            }
        }
    });
}

TEST_F(ImageDamageTest, RandomDamageNeverFaults) {
    Lcg random(99);
    const std::uint32_t extremes[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x10000u, 0u, 1u};
    forEachSupport([&] {
        for (const Sample& sample : samples()) {
            for (int round = 0; round < 500; ++round) {
                Bytes damaged = sample.bytes;
                const int edits = 1 + random.next() % 4;
                for (int e = 0; e < edits; ++e) {
                    const std::size_t at = random.next() % damaged.size();
                    if (random.next() % 3 == 0 && at + 4 <= damaged.size()) {
                        // A header-sized field set to an extreme value.
                        const std::uint32_t v = extremes[random.next() % 6];
                        for (int b = 0; b < 4; ++b) damaged[at + b] = static_cast<std::uint8_t>(v >> (8 * b));
                    } else {
                        damaged[at] = random.byte();
                    }
                }
                const int before = logLines;
                auto image = quietDecode(damaged);
                if (image) {
                    touch(*image);
                    EXPECT_GT(image->getWidth(), 0) << sample.name;
                } else {
                    EXPECT_GT(logLines, before) << sample.name << " round " << round;
                }
            }
        }
    });
}

}  // namespace
}  // namespace kite
