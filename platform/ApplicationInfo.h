// What the phone's main bundle would say about the application, read from the bundle's Info.plist.
#pragma once
#include <string>

namespace platform {

// "CFBundleIdentifier" of the bundle's Info.plist, such as "com.quarnwell.stargrid"; empty when
// the list is missing or names none. Read at each call.
std::string bundleIdentifier();
// The version shown to players: "CFBundleShortVersionString", else "CFBundleVersion"; empty when
// the list names neither. Read at each call.
std::string bundleShortVersion();

}  // namespace platform
