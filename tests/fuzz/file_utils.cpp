// Property lists (XML or binary, told apart by their first bytes) through the engine's file
// utilities, as the game reads its sprite sheets, fonts and word table: from data, and from a file.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "FuzzSupport.h"
#include "kite/foundation/FileUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > std::size_t(std::numeric_limits<int>::max())) return 0;
    kite::FileUtils* files = kite::FileUtils::getInstance();
    files->getValueMapFromData(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const fuzz::MemoryFile file(data, size);
    files->getValueVectorFromFile(file.path());
    files->getValueMapFromFile(file.path());
    return 0;
}
