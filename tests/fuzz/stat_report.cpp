// Statistics reports as the local server receives them: RC4, the length prefix, gzip, the events.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "tools/server/StatReport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the Content-Encoding the report claims.
    static const char* const kEncodings[] = {"", "rc4", "rc4,gzip", "gzip"};
    std::string error;
    stargrid_server::decodeStatReport(fuzz::text(data + 1, size - 1), kEncodings[data[0] % 4], &error);
    return 0;
}
