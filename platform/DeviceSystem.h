// What the game's phone would say about its system: version string and screen scale.
#pragma once
#include <string>

namespace platform {

// The phone system's version the game runs as: "7.0" unless
// STARGRID_SYSTEM_VERSION names another (read at each call).
std::string systemVersionString();

// Pixels per point of the main screen: 2 for the phone profiles, 1 for the
// tablet (see DeviceProfile).
double mainScreenScale();

}  // namespace platform
