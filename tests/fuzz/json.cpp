// Any text from outside is one JSON value or a refusal: never a throw, never a deep recursion.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/JsonReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    platform::readJson(fuzz::text(data, size), &error);
    return 0;
}
