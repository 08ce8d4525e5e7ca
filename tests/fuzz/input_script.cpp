// Input scripts (--script FILE): steps, frames, coordinates and shot paths.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/InputScript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::text(data, size);
    std::string error;
    platform::InputScript::parse(text, &error);
    platform::InputScript::parseShot(text, &error);
    return 0;
}
