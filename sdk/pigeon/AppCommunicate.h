// Puts the exchange dictionary on the messenger's pasteboard and takes it off again.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "platform/Pasteboard.h"
#include "platform/PlistValue.h"
#include "sdk/pigeon/AppCommunicateData.h"

namespace pigeon {

// The "content" item of the dictionary pasteboard is a property list mapping
// application ids to their exchange dictionaries. From system 7 on it is the
// general pasteboard and file data rides inside the dictionary; before, the
// named pasteboards "pigeon_data" and "pigeon_file" carry the two apart.
// Every read wipes what it read, so an exchange is delivered at most once.
class AppCommunicate {
public:
    using Dictionary = platform::PlistValue::Dictionary;

    static const char* getDataPasteboardName() { return "pigeon_data"; }
    static const char* getFilePasteboardName() { return "pigeon_file"; }
    static std::optional<platform::Pasteboard> getDataPasteboard();
    static platform::Pasteboard getDataPasteboardForiOS7Plus();
    static std::optional<platform::Pasteboard> getFilePasteboard();

    static std::optional<Dictionary> propertyListForAllApp();
    static std::optional<Dictionary> propertyListForAllAppForiOS7Plus();
    static std::optional<Dictionary> propertyListForAppID(const std::string& appid);
    static std::optional<Dictionary> propertyListForAppIDForiOS7Plus(const std::string& appid);
    static bool setPropertyList(const Dictionary& exchange, const std::string& appid);
    static bool setPropertyListForiOS7Plus(const Dictionary& exchange, const std::string& appid);
    static bool setFileData(const Bytes& bytes, const std::string& appid);
    static Bytes fileDataForAppID(const std::string& appid);

    static bool setAppCommunicateData(const AppCommunicateData& data, const std::string& appid);
    // Asked, under the pasteboard's lock, whether an exchange that was read is taken off the pasteboard.
    using Take = std::function<bool(const AppCommunicateData&)>;
    // The application's exchange, taken off the pasteboard; one for which `take` answers false is left
    // there as it is (for another reader) and returned all the same.
    static std::optional<AppCommunicateData> appCommunicateDataForAppID(const std::string& appid,
                                                                        const Take& take = nullptr);
};

}  // namespace pigeon
