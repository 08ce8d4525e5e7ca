// Binary property lists ("bplist00") from other programs, read as the pasteboards and the messenger
// SDK read them, and what was read written back as XML.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kite/foundation/PropertyList.h"
#include "kite/foundation/Value.h"
#include "platform/PlistBinary.h"
#include "platform/PlistXml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    if (std::optional<platform::PlistValue> value = platform::decodePlistBinary(data, size, &error))
        platform::decodePlistXml(platform::encodePlistXml(*value), &error);
    kite::Value root;
    kite::PropertyList::parse(reinterpret_cast<const char*>(data), size, root, "fuzz");
    return 0;
}
