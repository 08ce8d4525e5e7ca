// The preferences file ("UserDefaults.plist") as another program or a damaged disk may leave it,
// and the old "UserDefault.xml" the store moves its keys from, read through the game's keys.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "kite/foundation/UserDefault.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Without the files set aside before or a store written before.
    const std::string folder = fuzz::PrivateUserFolders::once().freshFolder("stargrid");
    // The first byte picks the file the rest becomes.
    const char* name = data[0] % 2 ? "/UserDefault.xml" : "/UserDefaults.plist";
    if (!fuzz::writeFile(folder + name, data + 1, size - 1)) return 0;
    kite::UserDefault* store = kite::UserDefault::getInstance();
    for (const char* key : {"currentScore", "cellphone", "playerStatus", "colorKey0", "isSoundOn", "diamond"}) {
        store->getIntegerForKey(key);
        store->getStringForKey(key);
        store->getBoolForKey(key);
    }
    kite::UserDefault::destroyInstance();
    return 0;
}
