// XML property lists from other programs (pasteboards, the ledger, preferences, sprite sheets), read
// by the platform's reader and by the engine's, and what was read written back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/Value.h"
#include "platform/PlistXml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::text(data, size);
    std::string error;
    if (std::optional<platform::PlistValue> value = platform::decodePlistXml(text, &error))
        platform::decodePlistXml(platform::encodePlistXml(*value), &error);
    kite::Value root;
    if (kite::PropertyList::parse(text.data(), text.size(), root, "fuzz")) kite::PropertyList::serialize(root);
    return 0;
}
