// The registration record on the "pigeon_register" pasteboard.
#include "sdk/pigeon/MMApiRegister.h"

#include <ctime>
#include <fstream>
#include <iterator>

#include "platform/AppNotifications.h"
#include "platform/MainBundle.h"
#include "platform/Utf16.h"
#include "sdk/pigeon/ExchangeKeys.h"
#include "sdk/pigeon/PigeonApiUtil.h"

namespace pigeon {
namespace {

constexpr char kItemType[] = "content";
constexpr std::size_t kDescriptionLimit = 1024;

MMApiRegister::StatisticsHooks& statisticsHooks() {
    static MMApiRegister::StatisticsHooks hooks;
    return hooks;
}

std::function<std::uint32_t()>& clock() {
    static std::function<std::uint32_t()> now;
    return now;
}

std::string currentTimeText() {
    const std::uint32_t seconds = clock() ? clock()() : std::uint32_t(std::time(nullptr));
    return std::to_string(seconds);
}

const std::string* infoString(const MMApiRegister::Dictionary& info, const char* key) {
    return exchange::stringAt(info, key);
}

// The icon name the information list chooses for this screen.
std::string iconName(const MMApiRegister::Dictionary& info) {
    const bool doubleScale = PigeonApiUtil::is2xScreen();
    const auto files = info.find("CFBundleIconFiles");
    const platform::PlistValue::Array* list = files == info.end() ? nullptr : files->second.asArray();
    if (list && !list->empty()) {
        for (const platform::PlistValue& entry : *list) {
            const std::string* name = entry.asString();
            if (name && (name->find("@2x") != std::string::npos) == doubleScale) return *name;
        }
        const std::string* last = list->back().asString();
        if (last) return *last;
    }
    if (const std::string* single = infoString(info, "CFBundleIconFile")) return *single;
    return doubleScale ? "Icon@2x.png" : "Icon.png";
}

std::optional<Bytes> fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

void putApplicationNames(MMApiRegister::Dictionary& entry) {
    const std::optional<MMApiRegister::Dictionary> info = platform::mainBundleInfoDictionary();
    if (!info) return;
    if (const std::string* identifier = infoString(*info, "CFBundleIdentifier")) entry["appIdentifier"] = *identifier;
    const std::string* display = infoString(*info, "CFBundleDisplayName");
    const std::string* name = (display && !display->empty()) ? display : infoString(*info, "CFBundleName");
    if (name) entry["appName"] = *name;
}

}  // namespace

void MMApiRegister::setStatisticsHooks(StatisticsHooks hooks) { statisticsHooks() = std::move(hooks); }

void MMApiRegister::setClockForTesting(std::function<std::uint32_t()> now) { clock() = std::move(now); }

MMApiRegister& MMApiRegister::shareInstance() {
    static MMApiRegister instance;
    return instance;
}

bool MMApiRegister::registerApp(const std::string& appid) { return registerApp(appid, std::string()); }

bool MMApiRegister::registerApp(const std::string& appid, const std::string& description) {
    if (appid.empty()) return false;
    // Statistics start even when the record cannot be written.
    shareInstance().startStat(appid);
    std::optional<platform::Pasteboard> pasteboard = platform::Pasteboard::named(getRegisterPasteboardName(), true);
    if (!pasteboard || !pasteboard->setPersistent(true)) return false;
    Dictionary all = getRegisterDictionary(*pasteboard).value_or(Dictionary());
    const auto previous = all.find(appid);
    const Dictionary* oldEntry = previous == all.end() ? nullptr : previous->second.asDictionary();
    std::optional<Dictionary> entry = buildAppDictionary(appid, oldEntry);
    if (!entry) return false;
    const std::optional<std::size_t> length = platform::utf16Length(description);
    if (length && *length >= 1 && *length <= kDescriptionLimit) (*entry)["appDescriptionSDK"] = description;
    all[appid] = std::move(*entry);
    const std::optional<Bytes> data = PigeonApiUtil::dataFromPropertyList(platform::PlistValue(std::move(all)));
    return data && pasteboard->setData(kItemType, *data);
}

void MMApiRegister::startStat(const std::string& appid) {
    if (statisticsHooks().startWithAppkey) statisticsHooks().startWithAppkey(appid);
    platform::addAppObserver(platform::AppNotification::DidEnterBackground, [this] { DidEnterBackground(); });
}

void MMApiRegister::DidEnterBackground() {
    if (statisticsHooks().onBackground) statisticsHooks().onBackground();
}

std::optional<MMApiRegister::Dictionary> MMApiRegister::getRegisterDictionary(const platform::Pasteboard& pasteboard) {
    const std::optional<platform::Pasteboard::Data> data = pasteboard.data(kItemType);
    if (!data) return std::nullopt;
    const std::optional<platform::PlistValue> all = PigeonApiUtil::propertyListFromData(*data);
    if (!all || !all->asDictionary()) return std::nullopt;
    return *all->asDictionary();
}

std::string MMApiRegister::getIconString() {
    const std::optional<Dictionary> info = platform::mainBundleInfoDictionary();
    if (!info) return std::string();
    return platform::mainBundlePath() + "/" + iconName(*info);
}

std::optional<MMApiRegister::Dictionary> MMApiRegister::buildAppDictionary(const std::string& appid,
                                                                           const Dictionary* oldAppDictionary) {
    Dictionary entry;
    const std::string iconPath = getIconString();
    if (!iconPath.empty()) {
        std::optional<Bytes> icon = fileBytes(iconPath);
        if (!icon) icon = fileBytes(platform::mainBundlePath() + "/Icon.png");
        if (icon) entry["appIcon"] = std::move(*icon);
    }
    putApplicationNames(entry);
    const std::string now = currentTimeText();
    const std::string* first = oldAppDictionary ? exchange::stringAt(*oldAppDictionary, "firstLaunchTime") : nullptr;
    entry["firstLaunchTime"] = first ? *first : now;
    entry["laststLaunchTime"] = now;
    entry["appID"] = appid;
    return entry;
}

}  // namespace pigeon
