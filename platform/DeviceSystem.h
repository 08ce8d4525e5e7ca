// What the game's phone would say about its system: version string, screen scale, language.
#pragma once
#include <string>

namespace platform {

// The phone system's version the game runs as: "7.0" unless
// STARGRID_SYSTEM_VERSION names another (read at each call).
std::string systemVersionString();

// Pixels per point of the main screen: 2 for the phone profiles, 1 for the
// tablet (see DeviceProfile).
double mainScreenScale();

// The user's language code ("en", "zh"...), from the locale messages are shown
// in: the first of LC_ALL, LC_MESSAGES and LANG that is set decides, and the
// "C" and "POSIX" locales (any variant, "C.UTF-8" among them) read as "en".
std::string preferredLanguageCode();

}  // namespace platform
