// What the phone's main bundle would say about the application.
#include "platform/ApplicationInfo.h"

namespace platform {

std::string bundleIdentifier() { return "com.quarnwell.stargrid"; }
std::string bundleShortVersion() { return "1.0"; }

}  // namespace platform
