// A device identifier shared by the cooperating applications of the device.
#pragma once
#include <optional>
#include <string>

#include "platform/PlistValue.h"

namespace platform {
class Pasteboard;
class UserDefaults;
}  // namespace platform

namespace pigeon {

// 40 lowercase hexadecimal characters, kept in the user defaults and copied onto
// up to 100 slot pasteboards so that the value most applications agree on wins.
class PGStatOpenUDID {
public:
    struct Error {
        int code = 0;  // 0 retrieved, 1 opted out, 2 slots disagree with the stored value
        std::string description;
    };

    static std::string value();
    static std::string valueWithError(Error* error);
    static void setOptOut(bool optOut);

    // The user-defaults store the module keeps its own values in.
    static platform::UserDefaults& defaults();
    static void clearCacheForTesting();

    static std::string _generateFreshOpenUDID();
    static platform::PlistValue::Dictionary _getDictFromPasteboard(const platform::Pasteboard& board);
    static bool _setDict(const platform::PlistValue::Dictionary& dict, platform::Pasteboard& board);
};

}  // namespace pigeon
