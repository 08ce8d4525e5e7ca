// The exchange dictionary on the messenger's pasteboards.
#include "sdk/pigeon/AppCommunicate.h"

#include <cstdio>

#include "platform/PrintableText.h"
#include "sdk/pigeon/PigeonApiUtil.h"

namespace pigeon {
namespace {

constexpr char kItemType[] = "content";

// Takes the dictionary of all applications off a pasteboard. Text that does
// not parse is left where it is, as is a dictionary `take` answers false for;
// whatever else parses is wiped, even when it is not a dictionary.
std::optional<AppCommunicate::Dictionary> takeAllApps(
    platform::Pasteboard& pasteboard, const std::function<bool(const AppCommunicate::Dictionary&)>& take = nullptr) {
    std::optional<platform::PlistValue> parsed;
    const auto parses = [&parsed, &take](const platform::Pasteboard::Data& bytes) {
        parsed = PigeonApiUtil::propertyListFromData(bytes);
        if (!parsed) return false;
        const AppCommunicate::Dictionary* all = parsed->asDictionary();
        return !all || !take || take(*all);
    };
    if (!pasteboard.takeData(kItemType, parses) || !parsed) return std::nullopt;
    if (!parsed->asDictionary()) {
        std::fprintf(stderr, "AppCommunicate: the pasteboard \"%s\" holds no dictionary\n",
                     platform::printableText(pasteboard.name()).c_str());
        return std::nullopt;
    }
    return *parsed->asDictionary();
}

std::optional<AppCommunicate::Dictionary> entryFor(const AppCommunicate::Dictionary& all, const std::string& appid) {
    const auto found = all.find(appid);
    if (found == all.end()) return std::nullopt;
    if (!found->second.asDictionary()) {
        std::fprintf(stderr, "AppCommunicate: the exchange for \"%s\" is not a dictionary\n",
                     platform::printableText(appid).c_str());
        return std::nullopt;
    }
    return *found->second.asDictionary();
}

bool putAllApps(platform::Pasteboard& pasteboard, const AppCommunicate::Dictionary& all) {
    const std::optional<Bytes> bytes = PigeonApiUtil::dataFromPropertyList(platform::PlistValue(all));
    return bytes && pasteboard.setData(kItemType, *bytes);
}

std::optional<platform::Pasteboard> persistentPasteboard(const char* name) {
    std::optional<platform::Pasteboard> pasteboard = platform::Pasteboard::named(name, true);
    if (pasteboard) pasteboard->setPersistent(true);
    return pasteboard;
}

}  // namespace

std::optional<platform::Pasteboard> AppCommunicate::getDataPasteboard() {
    return persistentPasteboard(getDataPasteboardName());
}

platform::Pasteboard AppCommunicate::getDataPasteboardForiOS7Plus() { return platform::Pasteboard::general(); }

std::optional<platform::Pasteboard> AppCommunicate::getFilePasteboard() {
    return persistentPasteboard(getFilePasteboardName());
}

std::optional<AppCommunicate::Dictionary> AppCommunicate::propertyListForAllApp() {
    std::optional<platform::Pasteboard> pasteboard = getDataPasteboard();
    return pasteboard ? takeAllApps(*pasteboard) : std::nullopt;
}

std::optional<AppCommunicate::Dictionary> AppCommunicate::propertyListForAllAppForiOS7Plus() {
    platform::Pasteboard pasteboard = getDataPasteboardForiOS7Plus();
    return takeAllApps(pasteboard);
}

std::optional<AppCommunicate::Dictionary> AppCommunicate::propertyListForAppID(const std::string& appid) {
    const std::optional<Dictionary> all = propertyListForAllApp();
    return all ? entryFor(*all, appid) : std::nullopt;
}

std::optional<AppCommunicate::Dictionary> AppCommunicate::propertyListForAppIDForiOS7Plus(const std::string& appid) {
    const std::optional<Dictionary> all = propertyListForAllAppForiOS7Plus();
    return all ? entryFor(*all, appid) : std::nullopt;
}

bool AppCommunicate::setPropertyList(const Dictionary& exchange, const std::string& appid) {
    // Other applications' entries stay on this pasteboard.
    Dictionary all = propertyListForAllApp().value_or(Dictionary());
    all[appid] = exchange;
    std::optional<platform::Pasteboard> pasteboard = getDataPasteboard();
    return pasteboard && putAllApps(*pasteboard, all);
}

bool AppCommunicate::setPropertyListForiOS7Plus(const Dictionary& exchange, const std::string& appid) {
    platform::Pasteboard pasteboard = getDataPasteboardForiOS7Plus();
    return putAllApps(pasteboard, Dictionary{{appid, platform::PlistValue(exchange)}});
}

bool AppCommunicate::setFileData(const Bytes& bytes, const std::string&) {
    std::optional<platform::Pasteboard> pasteboard = getFilePasteboard();
    return pasteboard && pasteboard->setData(kItemType, bytes);
}

Bytes AppCommunicate::fileDataForAppID(const std::string&) {
    std::optional<platform::Pasteboard> pasteboard = getFilePasteboard();
    if (!pasteboard) return Bytes();
    return pasteboard->takeData(kItemType).value_or(Bytes());
}

bool AppCommunicate::setAppCommunicateData(const AppCommunicateData& data, const std::string& appid) {
    if (appid.empty()) return false;
    if (PigeonApiUtil::isiOS7plus()) return setPropertyListForiOS7Plus(data.propertList(), appid);
    if (!setPropertyList(data.propertList(), appid)) return false;
    setFileData(data.fileData(), appid);
    return true;
}

std::optional<AppCommunicateData> AppCommunicate::appCommunicateDataForAppID(const std::string& appid,
                                                                             const Take& take) {
    if (appid.empty()) return std::nullopt;
    // Read under the pasteboard's lock, so that what is judged is what is taken or left.
    std::optional<AppCommunicateData> data;
    bool taken = true;
    const auto readEntry = [&appid, &take, &data, &taken](const Dictionary& all) {
        const std::optional<Dictionary> entry = entryFor(all, appid);
        data = entry ? AppCommunicateData::initWithPropertList(*entry) : std::nullopt;
        taken = !data || !take || take(*data);
        return taken;
    };
    const bool iOS7plus = PigeonApiUtil::isiOS7plus();
    std::optional<platform::Pasteboard> pasteboard =
        iOS7plus ? std::optional<platform::Pasteboard>(getDataPasteboardForiOS7Plus()) : getDataPasteboard();
    if (!pasteboard || !takeAllApps(*pasteboard, readEntry)) return std::nullopt;
    // Before system 7 the file data rides on a pasteboard of its own, taken with the exchange.
    if (data && !iOS7plus && taken) data->setFileData(fileDataForAppID(appid));
    return data;
}

}  // namespace pigeon
