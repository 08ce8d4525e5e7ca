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

std::string preferredLanguageCode() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        // "zh_CN.UTF-8@variant": the language is what comes before the territory, codeset and modifier.
        const std::string locale(value);
        const std::string language = locale.substr(0, locale.find_first_of("_.@"));
        if (language.empty() || language == "C" || language == "POSIX") return "en";
        return language;
    }
    return "en";
}

}  // namespace platform
