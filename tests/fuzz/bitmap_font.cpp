// Bitmap font descriptions (".fnt"), in text and in binary "BMF" form, as the label code reads them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "kite/scene/BMFontConfiguration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (bool binary : {false, true}) {
        auto* config = new kite::BMFontConfiguration();
        const bool read = binary ? config->parseBinaryConfigFile(data, size, "fuzz.fnt")
                                 : config->parseConfigFile(fuzz::text(data, size), "fuzz.fnt");
        if (read) {
            config->forEachFontDef([&config](const auto& def) { config->getKerningAmount(def.charID, 'A'); });
            config->description();
        }
        config->release();
    }
    return 0;
}
