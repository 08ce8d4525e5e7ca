// Base64 decoding (RFC 4648 standard alphabet).
#include "kite/foundation/Base64.h"

#include "kite/foundation/Log.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace kite {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct DecodeTable {
    signed char value[256];
    constexpr DecodeTable() : value() {
        for (int i = 0; i < 256; ++i) value[i] = -1;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
};
constexpr DecodeTable kTable;

// Returns false on an incomplete last group; *written is the byte count.
bool decodeInto(const unsigned char* in, size_t length, unsigned char* out, size_t* written) {
    size_t n = 0;
    unsigned int accumulator = 0;
    int pending = 0;
    bool padded = false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = in[i];
        if (c == '=') {
            padded = true;
            break;
        }
        int v = kTable.value[c];
        if (v < 0) continue;
        accumulator = (accumulator << 6) | static_cast<unsigned int>(v);
        if (++pending == 4) {
            out[n++] = static_cast<unsigned char>(accumulator >> 16);
            out[n++] = static_cast<unsigned char>(accumulator >> 8);
            out[n++] = static_cast<unsigned char>(accumulator);
            accumulator = 0;
            pending = 0;
        }
    }
    // The last group may end at its padding or at the end of the text.
    switch (pending) {
        case 1:
            if (!padded) {
                // Six bits cannot make a byte: a stray character at the end of unpadded text.
                log("base64Decode: one stray character at the end dropped");
                break;
            }
            std::fprintf(stderr, "base64Decode: encoding incomplete: at least 2 bits missing");
            *written = n;
            return false;
        case 2: out[n++] = static_cast<unsigned char>(accumulator >> 4); break;
        case 3:
            out[n++] = static_cast<unsigned char>(accumulator >> 10);
            out[n++] = static_cast<unsigned char>(accumulator >> 2);
            break;
        default: break;
    }
    *written = n;
    return true;
}

}  // namespace

int base64Decode(const unsigned char* in, unsigned int length, unsigned char** out) {
    if (!out) return 0;
    *out = nullptr;
    if (!in && length > 0) return 0;
    // Every 4 characters give 3 bytes; a started group gives at most 2 more.
    const size_t capacity = size_t(length) / 4 * 3 + 3;
    if (capacity > size_t(INT_MAX)) {
        std::printf("Base64Utils: error decoding");
        return 0;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(capacity));
    if (!block) return 0;
    size_t written = 0;
    if (!decodeInto(in, length, block, &written)) {
        std::printf("Base64Utils: error decoding");
        std::free(block);
        return 0;
    }
    *out = block;
    return static_cast<int>(written);
}

}  // namespace kite
