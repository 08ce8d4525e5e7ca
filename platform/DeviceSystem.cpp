// What the game's phone would say about its system.
#include "platform/DeviceSystem.h"

#include <cstdlib>

#include "platform/DeviceProfile.h"

namespace platform {

std::string systemVersionString() {
    const char* version = std::getenv("STARGRID_SYSTEM_VERSION");
    return version && *version ? version : "7.0";
}

double mainScreenScale() { return currentDeviceProfile().pad ? 1.0 : 2.0; }

}  // namespace platform
