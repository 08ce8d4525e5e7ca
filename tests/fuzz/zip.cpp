// Packed files as the engine unpacks them: zlib and gzip streams, KTZ containers plain and
// enciphered, Base64 text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kite/foundation/Base64.h"
#include "kite/foundation/ZipUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto length = static_cast<ssize_t>(size);
    unsigned char* out = nullptr;
    kite::ZipUtils::inflateMemory(data, length, &out);
    std::free(out);
    out = nullptr;
    std::vector<unsigned char> ktz(data, data + size);  // deciphered in place
    if (kite::ZipUtils::isKTZBuffer(ktz.data(), length)) {
        kite::ZipUtils::inflateKTZBuffer(ktz.data(), length, &out);
        std::free(out);
        out = nullptr;
    }
    kite::base64Decode(data, static_cast<unsigned int>(size), &out);
    std::free(out);
    return 0;
}
