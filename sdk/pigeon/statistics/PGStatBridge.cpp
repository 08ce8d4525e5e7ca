// The statistics bridge of the messenger SDK.
#include "sdk/pigeon/statistics/PGStatBridge.h"

#include "sdk/pigeon/statistics/PGStat.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {

namespace {

constexpr char kKeyPrefix[] = "PGSTA";

}  // namespace

PGStatBridge& PGStatBridge::getInstance() {
    static PGStatBridge* instance = [] {
        static PGStatBridge bridge;
        statDebugLog("instance obj :%p", static_cast<void*>(&bridge));
        return &bridge;
    }();
    return *instance;
}

std::optional<std::string> PGStatBridge::ConvertPGappkey(const std::optional<std::string>& appid) {
    if (!appid) {
        statLog("[WARN]appkey is nil");
        return std::nullopt;
    }
    const std::string key = kKeyPrefix + *appid;
    statDebugLog("PGappkey:%s", key.c_str());
    return key;
}

void PGStatBridge::startWithAppkey(const std::optional<std::string>& appid) {
    const std::optional<std::string> key = ConvertPGappkey(appid);
    PGStatBridge& bridge = getInstance();
    {
        std::lock_guard<std::mutex> lock(bridge.mutex_);
        bridge.appkey_ = key;
    }
    statDebugLog("PGStatBridge appkey :%s", key ? key->c_str() : "(null)");
    PGStat::startWithAppkey(key.value_or(""));
}

void PGStatBridge::onBackground() {
    const std::optional<std::string> key = getInstance().appkey();
    statDebugLog("onBackground appkey :%s", key ? key->c_str() : "(null)");
    PGStat::trackCustomKeyValueEvent("onBackground_PG", {}, key, true);
}

std::optional<std::string> PGStatBridge::appkey() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return appkey_;
}

}  // namespace pigeon
