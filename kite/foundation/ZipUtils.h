// Recognising and unpacking gzip/zlib streams and KTZ containers.
#pragma once
#include <sys/types.h>
#include <cstdint>

namespace kite {

class ZipUtils {
public:
    // At least 2 bytes, starting 0x1F 0x8B.
    static bool isGZipBuffer(const unsigned char* buffer, ssize_t length);
    // At least the 16-byte header, starting "KTZ!" (plain) or "KTZp" (enciphered).
    static bool isKTZBuffer(const unsigned char* buffer, ssize_t length);

    // Unpacks a KTZ container into a malloc'ed block handed to the caller and
    // returns its length, or -1 with *out null. The enciphered form is
    // deciphered in place, so the input changes.
    static ssize_t inflateKTZBuffer(unsigned char* buffer, ssize_t length, unsigned char** out);

    // Inflates a zlib or gzip stream (the header decides) into a malloc'ed
    // block handed to the caller and returns its exact length; on failure
    // returns 0 with *out null. The block starts at `hint` bytes and doubles.
    static ssize_t inflateMemoryWithHint(const unsigned char* in, ssize_t inLength, unsigned char** out, ssize_t hint);
    static ssize_t inflateMemory(const unsigned char* in, ssize_t inLength, unsigned char** out);

    // The four key words of the enciphered KTZ form; the table derived from
    // them is rebuilt on the next use.
    static void setKTZKey(std::uint32_t k0, std::uint32_t k1, std::uint32_t k2, std::uint32_t k3);

    // Nothing larger is unpacked: a bigger announced length or a stream that
    // keeps growing past it is treated as hostile.
    static constexpr ssize_t kMaxInflatedSize = ssize_t(1) << 30;
    static constexpr ssize_t kDefaultInflateHint = 256 * 1024;
};

}  // namespace kite
