// What the phone's main bundle would say about the application.
#pragma once
#include <string>

namespace platform {

// The application's reverse-domain identifier, "com.quarnwell.stargrid".
std::string bundleIdentifier();
// The short version string shown to players.
std::string bundleShortVersion();

}  // namespace platform
