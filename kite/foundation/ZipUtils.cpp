// gzip/zlib inflation and the KTZ container, plain and enciphered.
#include "kite/foundation/ZipUtils.h"

#include "kite/foundation/Log.h"

#include <zlib.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kite {
namespace {

constexpr ssize_t kKTZHeaderSize = 16;
constexpr int kKeyTableWords = 1024;
// zlib cannot expand more than about 1032:1; anything announcing more is lying.
constexpr ssize_t kMaxDeflateRatio = 1032;

// Containers may be deciphered on a loading thread and the main thread at
// once: the key and its table are used under `mutex`.
struct KTZKey {
    std::mutex mutex;
    std::uint32_t words[4] = {0, 0, 0, 0};
    std::uint32_t table[kKeyTableWords] = {};
    bool tableBuilt = false;
};

KTZKey& ktzKey() {
    static KTZKey key;
    return key;
}

std::uint32_t readBigEndian32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
}

std::uint16_t readBigEndian16(const unsigned char* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

// Corrected Block TEA (XXTEA) enciphering of a whole block in place.
void encipherXXTEA(std::uint32_t* v, int n, const std::uint32_t key[4]) {
    const std::uint32_t delta = 0x9e3779b9;
    unsigned rounds = 6 + 52 / n;
    std::uint32_t sum = 0, y, z = v[n - 1];
    auto mx = [&](int p, std::uint32_t e) {
        return (((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((sum ^ y) + (key[(p & 3) ^ e] ^ z));
    };
    do {
        sum += delta;
        std::uint32_t e = (sum >> 2) & 3;
        int p;
        for (p = 0; p < n - 1; ++p) {
            y = v[p + 1];
            z = v[p] += mx(p, e);
        }
        y = v[0];
        z = v[n - 1] += mx(p, e);
    } while (--rounds);
}

void decipherKTZ(unsigned char* buffer, ssize_t length) {
    KTZKey& key = ktzKey();
    std::lock_guard<std::mutex> lock(key.mutex);
    if (!key.tableBuilt) {
        std::memset(key.table, 0, sizeof key.table);
        encipherXXTEA(key.table, kKeyTableWords, key.words);
        key.tableBuilt = true;
    }
    const ssize_t words = (length - 12) / 4;
    int tableIndex = 0;
    auto xorWord = [&](ssize_t word) {
        unsigned char* p = buffer + 12 + word * 4;
        std::uint32_t v = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                          (std::uint32_t(p[3]) << 24);
        v ^= key.table[tableIndex];
        tableIndex = (tableIndex + 1) % kKeyTableWords;
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
        p[2] = static_cast<unsigned char>(v >> 16);
        p[3] = static_cast<unsigned char>(v >> 24);
    };
    const ssize_t head = std::min<ssize_t>(words, 512);
    for (ssize_t i = 0; i < head; ++i) xorWord(i);
    for (ssize_t i = 512; i < words; i += 64) xorWord(i);
}

// Returns a zlib status; on Z_OK *out holds the block and *outLength its length.
int inflateWithHint(const unsigned char* in, ssize_t inLength, unsigned char** out, ssize_t* outLength, ssize_t hint) {
    ssize_t bufferSize = std::clamp<ssize_t>(hint, 1024, ZipUtils::kMaxInflatedSize);
    *out = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(bufferSize)));
    if (!*out) return Z_MEM_ERROR;

    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = 0;
    stream.next_out = *out;
    stream.avail_out = static_cast<uInt>(bufferSize);
    // 15 + 32: the stream's own header says zlib or gzip.
    int status = inflateInit2(&stream, 15 + 32);
    if (status != Z_OK) return status;

    ssize_t remainingIn = inLength;
    for (;;) {
        // zlib counts input in 32-bit units; feed large inputs in slices.
        if (stream.avail_in == 0 && remainingIn > 0) {
            uInt slice = static_cast<uInt>(std::min<ssize_t>(remainingIn, 1u << 30));
            stream.avail_in = slice;
            remainingIn -= slice;
        }
        status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            *outLength = bufferSize - static_cast<ssize_t>(stream.avail_out);
            return inflateEnd(&stream);
        }
        if (status == Z_NEED_DICT || status == Z_STREAM_ERROR) status = Z_DATA_ERROR;
        if (status != Z_OK && status != Z_BUF_ERROR) {
            inflateEnd(&stream);
            return status;
        }
        if (stream.avail_in == 0 && remainingIn == 0 && stream.avail_out > 0) {
            // Every input byte is used and there is room left, yet no end:
            // the stream is truncated. Growing further would never help.
            inflateEnd(&stream);
            return Z_DATA_ERROR;
        }
        if (stream.avail_out > 0) continue;
        if (bufferSize >= ZipUtils::kMaxInflatedSize) {
            inflateEnd(&stream);
            return Z_MEM_ERROR;
        }
        auto* grown = static_cast<unsigned char*>(std::realloc(*out, static_cast<size_t>(bufferSize * 2)));
        if (!grown) {
            inflateEnd(&stream);
            return Z_MEM_ERROR;
        }
        *out = grown;
        stream.next_out = grown + bufferSize;
        stream.avail_out = static_cast<uInt>(bufferSize);
        bufferSize *= 2;
    }
}

}  // namespace

bool ZipUtils::isGZipBuffer(const unsigned char* buffer, ssize_t length) {
    return buffer && length >= 2 && buffer[0] == 0x1F && buffer[1] == 0x8B;
}

bool ZipUtils::isKTZBuffer(const unsigned char* buffer, ssize_t length) {
    return buffer && length >= kKTZHeaderSize && buffer[0] == 'K' && buffer[1] == 'T' && buffer[2] == 'Z' &&
           (buffer[3] == '!' || buffer[3] == 'p');
}

ssize_t ZipUtils::inflateKTZBuffer(unsigned char* buffer, ssize_t length, unsigned char** out) {
    if (out) *out = nullptr;
    if (!out || !isKTZBuffer(buffer, length)) {
        log("KTZ: not a KTZ container");
        return -1;
    }
    const std::uint16_t compression = readBigEndian16(buffer + 4);
    const std::uint16_t version = readBigEndian16(buffer + 6);
    if (buffer[3] == '!') {
        if (version > 2 || compression != 0) {
            log("KTZ: unsupported version %u or compression %u", version, compression);
            return -1;
        }
    } else {
        if (version != 0 || compression != 0) {
            log("KTZ: unsupported enciphered version %u or compression %u", version, compression);
            return -1;
        }
        decipherKTZ(buffer, length);
    }

    const ssize_t announced = readBigEndian32(buffer + 12);
    const ssize_t payload = length - kKTZHeaderSize;
    if (announced == 0 || announced > kMaxInflatedSize || payload == 0 || announced / kMaxDeflateRatio > payload) {
        log("KTZ: announced length %zd does not fit a payload of %zd bytes", announced, payload);
        return -1;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(announced)));
    if (!block) return -1;
    uLongf unpacked = static_cast<uLongf>(announced);
    int status = uncompress(block, &unpacked, buffer + kKTZHeaderSize, static_cast<uLong>(payload));
    if (status != Z_OK || static_cast<ssize_t>(unpacked) != announced) {
        log("KTZ: payload does not unpack to the announced %zd bytes", announced);
        std::free(block);
        return -1;
    }
    *out = block;
    return announced;
}

ssize_t ZipUtils::inflateMemoryWithHint(const unsigned char* in, ssize_t inLength, unsigned char** out, ssize_t hint) {
    if (!out) return 0;
    *out = nullptr;
    if (!in || inLength <= 0) return 0;
    ssize_t outLength = 0;
    int status = inflateWithHint(in, inLength, out, &outLength, hint);
    if (status != Z_OK || !*out) {
        log("ZipUtils: cannot inflate a %zd-byte stream (zlib status %d)", inLength, status);
        std::free(*out);
        *out = nullptr;
        return 0;
    }
    return outLength;
}

ssize_t ZipUtils::inflateMemory(const unsigned char* in, ssize_t inLength, unsigned char** out) {
    return inflateMemoryWithHint(in, inLength, out, kDefaultInflateHint);
}

void ZipUtils::setKTZKey(std::uint32_t k0, std::uint32_t k1, std::uint32_t k2, std::uint32_t k3) {
    KTZKey& key = ktzKey();
    std::lock_guard<std::mutex> lock(key.mutex);
    key.words[0] = k0;
    key.words[1] = k1;
    key.words[2] = k2;
    key.words[3] = k3;
    key.tableBuilt = false;
}

}  // namespace kite
