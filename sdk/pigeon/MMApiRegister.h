// Tells the messenger that this application exists: the registration record on
// the "pigeon_register" pasteboard, and the start of statistics for the id.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Pasteboard.h"
#include "platform/PlistValue.h"

namespace pigeon {

class MMApiRegister {
public:
    using Dictionary = platform::PlistValue::Dictionary;

    // What registration asks of the statistics module: start for an id, and
    // note a move to the background. The statistics bridge installs itself
    // here; until then both do nothing.
    struct StatisticsHooks {
        std::function<void(const std::string& appid)> startWithAppkey;
        std::function<void()> onBackground;
    };
    static void setStatisticsHooks(StatisticsHooks hooks);

    static MMApiRegister& shareInstance();

    static bool registerApp(const std::string& appid);
    // A description of 1 to 1024 characters goes into the record as "appDescriptionSDK".
    static bool registerApp(const std::string& appid, const std::string& description);

    // Starts statistics for the id and observes the move to the background
    // (each call observes once more).
    void startStat(const std::string& appid);
    void DidEnterBackground();

    static const char* getRegisterPasteboardName() { return "pigeon_register"; }
    static std::optional<Dictionary> getRegisterDictionary(const platform::Pasteboard& pasteboard);
    // The full path of the icon file the bundle names; empty when it has no information list.
    static std::string getIconString();
    // The entry of this application; the previous one keeps its "firstLaunchTime".
    static std::optional<Dictionary> buildAppDictionary(const std::string& appid, const Dictionary* oldAppDictionary);

    // Seconds since 1970 as the record writes them ("%u"); tests fix the clock.
    static void setClockForTesting(std::function<std::uint32_t()> clock);

private:
    MMApiRegister() = default;
};

}  // namespace pigeon
