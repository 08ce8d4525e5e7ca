#include "kite/foundation/ZipUtils.h"

#include <gtest/gtest.h>

#include <zlib.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kite {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes sampleData(size_t size, unsigned seed = 1) {
    std::mt19937 rng(seed);
    Bytes data(size);
    // Compressible but not trivial: short random runs.
    for (size_t i = 0; i < size;) {
        unsigned char b = static_cast<unsigned char>(rng() % 16);
        size_t run = 1 + rng() % 8;
        for (size_t k = 0; k < run && i < size; ++k) data[i++] = b;
    }
    return data;
}

Bytes deflateStream(const Bytes& data, int windowBits) {
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&s, data.size()) + 32);
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

Bytes zlibStream(const Bytes& data) { return deflateStream(data, 15); }
Bytes gzipStream(const Bytes& data) { return deflateStream(data, 15 + 16); }

Bytes ktz(const Bytes& payload, char kind, uint16_t version, uint16_t compression, uint32_t length) {
    const unsigned char header[16] = {'K',
                                      'T',
                                      'Z',
                                      static_cast<unsigned char>(kind),
                                      static_cast<unsigned char>(compression >> 8),
                                      static_cast<unsigned char>(compression),
                                      static_cast<unsigned char>(version >> 8),
                                      static_cast<unsigned char>(version),
                                      0,
                                      0,
                                      0,
                                      0,
                                      static_cast<unsigned char>(length >> 24),
                                      static_cast<unsigned char>(length >> 16),
                                      static_cast<unsigned char>(length >> 8),
                                      static_cast<unsigned char>(length)};
    Bytes out(16 + payload.size());
    std::memcpy(out.data(), header, 16);
    if (!payload.empty()) std::memcpy(out.data() + 16, payload.data(), payload.size());
    return out;
}

Bytes plainKTZ(const Bytes& data, uint16_t version = 2) {
    return ktz(zlibStream(data), '!', version, 0, static_cast<uint32_t>(data.size()));
}

struct Unpacked {
    ssize_t length;
    Bytes bytes;
    bool nullOut;
};

Unpacked unpackKTZ(Bytes buffer) {
    unsigned char* out = reinterpret_cast<unsigned char*>(1);
    ssize_t n = ZipUtils::inflateKTZBuffer(buffer.data(), static_cast<ssize_t>(buffer.size()), &out);
    Unpacked result{n, {}, out == nullptr};
    if (out && n > 0) result.bytes.assign(out, out + n);
    std::free(out);
    return result;
}

Unpacked inflate(const Bytes& in, ssize_t hint = ZipUtils::kDefaultInflateHint) {
    unsigned char* out = nullptr;
    ssize_t n = ZipUtils::inflateMemoryWithHint(in.data(), static_cast<ssize_t>(in.size()), &out, hint);
    Unpacked result{n, {}, out == nullptr};
    if (out) result.bytes.assign(out, out + n);
    std::free(out);
    return result;
}

TEST(ZipUtils, RecognisesGzipByItsMagicBytes) {
    const unsigned char gz[] = {0x1F, 0x8B};
    EXPECT_TRUE(ZipUtils::isGZipBuffer(gz, 2));
    EXPECT_FALSE(ZipUtils::isGZipBuffer(gz, 1));
    const unsigned char other[] = {0x1F, 0x8C};
    EXPECT_FALSE(ZipUtils::isGZipBuffer(other, 2));
}

TEST(ZipUtils, AKTZBufferNeedsTheWholeHeader) {
    Bytes header = ktz({}, '!', 2, 0, 0);
    EXPECT_TRUE(ZipUtils::isKTZBuffer(header.data(), 16));
    EXPECT_FALSE(ZipUtils::isKTZBuffer(header.data(), 15));
    header[3] = 'p';
    EXPECT_TRUE(ZipUtils::isKTZBuffer(header.data(), 16));
    header[3] = 'q';
    EXPECT_FALSE(ZipUtils::isKTZBuffer(header.data(), 16));
}

TEST(ZipUtils, GzipAndZlibStreamsOfTheSameDataInflateToTheSameBytes) {
    Bytes data = sampleData(100000);
    Unpacked fromZlib = inflate(zlibStream(data));
    Unpacked fromGzip = inflate(gzipStream(data));
    EXPECT_EQ(fromZlib.length, static_cast<ssize_t>(data.size()));
    EXPECT_EQ(fromZlib.bytes, data);
    EXPECT_EQ(fromGzip.bytes, data);
}

TEST(ZipUtils, InflationGrowsPastASmallHintAndReturnsTheExactLength) {
    Bytes data = sampleData(1 << 20, 2);
    Unpacked small = inflate(zlibStream(data), 1000);
    EXPECT_EQ(small.bytes, data);
    unsigned char* out = nullptr;
    Bytes stream = zlibStream(data);
    EXPECT_EQ(ZipUtils::inflateMemory(stream.data(), static_cast<ssize_t>(stream.size()), &out), ssize_t(1) << 20);
    std::free(out);
}

TEST(ZipUtils, ATruncatedStreamFailsInsteadOfGrowing) {
    Bytes data = sampleData(50000, 3);
    Bytes stream = gzipStream(data);
    for (size_t cut : {size_t(1), size_t(10), stream.size() / 2, stream.size() - 9}) {
        Bytes truncated(stream.begin(), stream.begin() + static_cast<long>(cut));
        Unpacked r = inflate(truncated);
        EXPECT_EQ(r.length, 0) << "cut at " << cut;
        EXPECT_TRUE(r.nullOut);
    }
}

TEST(ZipUtils, RandomAndCorruptStreamsFailCleanly) {
    std::mt19937 rng(42);
    Bytes good = zlibStream(sampleData(20000, 4));
    for (int round = 0; round < 200; ++round) {
        Bytes noise(1 + rng() % 512);
        for (auto& b : noise) b = static_cast<unsigned char>(rng());
        if (round % 2) noise[0] = 0x1F, noise[1 % noise.size()] = 0x8B;
        Unpacked r = inflate(noise);
        EXPECT_EQ(r.nullOut, r.length == 0);
        Bytes flipped = good;
        flipped[rng() % flipped.size()] ^= static_cast<unsigned char>(1 + rng() % 255);
        inflate(flipped);  // either a clean failure or some bytes; never a fault
    }
    EXPECT_EQ(inflate({}).length, 0);
}

TEST(ZipUtils, PlainKTZUnpacksForVersionsUpToTwo) {
    Bytes data = sampleData(4096, 5);
    for (uint16_t version : {0, 1, 2}) {
        Unpacked r = unpackKTZ(plainKTZ(data, version));
        EXPECT_EQ(r.length, 4096);
        EXPECT_EQ(r.bytes, data);
    }
}

TEST(ZipUtils, KTZWithAnUnknownVersionOrCompressionFails) {
    Bytes data = sampleData(100);
    Unpacked v3 = unpackKTZ(plainKTZ(data, 3));
    EXPECT_EQ(v3.length, -1);
    EXPECT_TRUE(v3.nullOut);
    EXPECT_EQ(unpackKTZ(ktz(zlibStream(data), '!', 0, 1, 100)).length, -1);
    EXPECT_EQ(unpackKTZ(ktz(zlibStream(data), 'p', 1, 0, 100)).length, -1);
}

TEST(ZipUtils, EncipheredKTZWithAWrongVersionIsNotDeciphered) {
    Bytes buffer = ktz(zlibStream(sampleData(100)), 'p', 1, 0, 100);
    Bytes before = buffer;
    unsigned char* out = nullptr;
    EXPECT_EQ(ZipUtils::inflateKTZBuffer(buffer.data(), static_cast<ssize_t>(buffer.size()), &out), -1);
    EXPECT_EQ(buffer, before);
}

TEST(ZipUtils, KTZThatUnpacksShortOfItsAnnouncedLengthFails) {
    Bytes data = sampleData(1000, 6);
    Unpacked r = unpackKTZ(ktz(zlibStream(data), '!', 2, 0, 1500));
    EXPECT_EQ(r.length, -1);
    EXPECT_TRUE(r.nullOut);
}

TEST(ZipUtils, KTZWithHostileHeadersFailsCleanly) {
    Bytes data = sampleData(1000, 7);
    // Announces far more than the payload could ever hold.
    EXPECT_EQ(unpackKTZ(ktz(zlibStream(data), '!', 2, 0, 0xFFFFFFFFu)).length, -1);
    // Announces more than was packed.
    EXPECT_EQ(unpackKTZ(ktz(zlibStream(data), '!', 2, 0, 999)).length, -1);
    // Header only, no payload; a header cut short.
    EXPECT_EQ(unpackKTZ(ktz({}, '!', 2, 0, 10)).length, -1);
    Bytes shortHeader = plainKTZ(data);
    shortHeader.resize(12);
    EXPECT_EQ(unpackKTZ(shortHeader).length, -1);
    // Truncated payload.
    Bytes truncated = plainKTZ(data);
    truncated.resize(truncated.size() - 5);
    EXPECT_EQ(unpackKTZ(truncated).length, -1);
    // Random tails after a valid signature.
    std::mt19937 rng(9);
    for (int round = 0; round < 200; ++round) {
        Bytes b = ktz({}, round % 2 ? '!' : 'p', 0, 0, static_cast<uint32_t>(rng()));
        b.resize(16 + rng() % 300);
        for (size_t i = 16; i < b.size(); ++i) b[i] = static_cast<unsigned char>(rng());
        Unpacked r = unpackKTZ(b);
        if (r.length < 0) {
            EXPECT_TRUE(r.nullOut);
        }
    }
}

// Independent XXTEA (Corrected Block TEA) to build enciphered containers.
void xxteaEncipher(uint32_t* v, int n, const uint32_t k[4]) {
    uint32_t sum = 0, z = v[n - 1], y;
    for (int rounds = 6 + 52 / n; rounds > 0; --rounds) {
        sum += 0x9e3779b9;
        uint32_t e = (sum >> 2) & 3;
        for (int p = 0; p < n; ++p) {
            y = v[(p + 1) % n];
            uint32_t mx = (((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
            z = v[p] += mx;
        }
    }
}

Bytes encipheredKTZ(const Bytes& data, const uint32_t key[4]) {
    std::vector<uint32_t> table(1024, 0);
    xxteaEncipher(table.data(), 1024, key);
    Bytes b = ktz(zlibStream(data), 'p', 0, 0, static_cast<uint32_t>(data.size()));
    size_t words = (b.size() - 12) / 4;
    size_t t = 0;
    for (size_t w = 0; w < words; w = (w < 512 ? w + 1 : w + 64)) {
        uint32_t x = table[t++ % 1024];
        for (int k = 0; k < 4; ++k) b[12 + w * 4 + k] ^= static_cast<unsigned char>(x >> (8 * k));
    }
    return b;
}

TEST(ZipUtils, EncipheredKTZUnpacksWithTheMatchingKey) {
    const uint32_t key[4] = {0x12345678, 0x9abcdef0, 0x0f1e2d3c, 0x4b5a6978};
    ZipUtils::setKTZKey(key[0], key[1], key[2], key[3]);
    Bytes data = sampleData(300000, 8);  // long enough to reach the sparse words
    Unpacked r = unpackKTZ(encipheredKTZ(data, key));
    EXPECT_EQ(r.length, static_cast<ssize_t>(data.size()));
    EXPECT_EQ(r.bytes, data);

    ZipUtils::setKTZKey(1, 2, 3, 4);
    EXPECT_EQ(unpackKTZ(encipheredKTZ(data, key)).length, -1);
    ZipUtils::setKTZKey(0, 0, 0, 0);
}

TEST(ZipUtils, EncipheredKTZUnpacksOnTwoThreadsAtOnce) {
    // A loading thread and the main thread may both meet enciphered containers
    // just after the key was set: the key table is built once, not torn.
    const uint32_t key[4] = {0x0badf00d, 0x600df00d, 0x12121212, 0x34343434};
    const Bytes data = sampleData(4000, 3);
    const Bytes container = encipheredKTZ(data, key);
    int failures = 0;
    for (int round = 0; round < 300 && failures == 0; ++round) {
        ZipUtils::setKTZKey(key[0], key[1], key[2], key[3]);
        std::atomic<int> ready{0};
        std::atomic<int> bad{0};
        auto unpack = [&] {
            ++ready;
            while (ready.load() < 2) {}
            if (unpackKTZ(container).bytes != data) ++bad;
        };
        std::thread other(unpack);
        unpack();
        other.join();
        failures += bad.load();
    }
    ZipUtils::setKTZKey(0, 0, 0, 0);
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace kite
