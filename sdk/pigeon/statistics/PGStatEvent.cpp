// Statistics events and their JSON form.
#include "sdk/pigeon/statistics/PGStatEvent.h"

#include <json/json.h>

#include <cstdlib>

#include "platform/Utf16.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatReachability.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {

namespace {

using Text = PGStatConfig::Text;

// The platform code of the phone system the events describe.
constexpr int kPlatformCode = 2;

void putIfSet(Json::Value& d, const char* key, const std::optional<std::string>& value) {
    if (value) d[key] = *value;
}

std::optional<std::string> networkKind() {
    const std::shared_ptr<PGStatReachability> reach = PGStatReachability::reachabilityForInternetConnection();
    if (reach && reach->isReachableViaWiFi()) return std::string("WIFI");
    if (reach && reach->isReachableViaWWAN()) return std::string("CellNetwork");
    return std::nullopt;
}

// The device and application facts that the session environment and error events both carry.
void putDeviceFacts(Json::Value& into) {
    PGStatHelper& helper = PGStatHelper::getInstance();
    const PGStatEnv& env = helper.getEnv();
    putIfSet(into, "pl", env.platform);
    putIfSet(into, "tz", env.timezone);
    putIfSet(into, "ov", env.os_version);
    putIfSet(into, "av", env.app_version);
    into["os"] = kPlatformCode;
    putIfSet(into, "sv", env.sdk_version);
    into["ut"] = helper.getUser().userType;
    putIfSet(into, "lg", env.language);
    putIfSet(into, "sr", env.resolution);
    putIfSet(into, "op", env.mccmnc);
    putIfSet(into, "md", env.devicename);
    putIfSet(into, "mf", env.modulename);
    putIfSet(into, "ch", PGStatConfig::getInstance().get(Text::channel));
    putIfSet(into, "cn", networkKind());
}

}  // namespace

std::size_t eventTextLength(const std::string& json) { return platform::utf16Length(json).value_or(json.size()); }

std::atomic<std::int64_t> PGStatEvent::index_{1};

PGStatEvent::PGStatEvent() : ts(static_cast<std::uint32_t>(statNow())) {}

std::int64_t PGStatEvent::currentIndex() { return index_; }
void PGStatEvent::resetIndexForTesting() { index_ = 1; }

void PGStatEvent::encode(Json::Value&) {}

std::string PGStatEvent::toJsonString(bool count) {
    PGStatConfig& config = PGStatConfig::getInstance();
    PGStatHelper& helper = PGStatHelper::getInstance();
    const PGStatEnv& env = helper.getEnv();
    Json::Value d(Json::objectValue);
    const std::optional<std::string> key = appkey ? appkey : config.get(Text::appkey);
    const std::int64_t index = count ? ++index_ : index_.load();
    const bool sessionEnv = getType() == 2;
    d["ts"] = Json::Int64(ts);
    d["si"] = Json::Int64(sid);
    d["idx"] = Json::Int64(index);
    if (!sessionEnv) {
        putIfSet(d, "sv", env.sdk_version);
        d["ut"] = helper.getUser().userType;
        putIfSet(d, "ch", config.get(Text::channel));
        putIfSet(d, "av", env.app_version);
    }
    putIfSet(d, "mc", PGStatHelper::getInstance().macAddress());
    putIfSet(d, "cui", config.get(Text::customerUserID));
    putIfSet(d, "cav", config.get(Text::customerAppVersion));
    putIfSet(d, "ui", env.deviceid);
    putIfSet(d, "ifa", config.get(Text::ifa));
    d["mid"] = config.get(Text::pushDeviceToken).value_or("none");
    putIfSet(d, "ifv", env.ifv);
    d["et"] = getType();
    putIfSet(d, "ky", key);
    encode(d);
    return PGStatHelper::getJson(d);
}

void PGStatPageView::encode(Json::Value& d) {
    putIfSet(d, "pi", page);
    d["du"] = Json::UInt(duration);
    if (refer && refer == page) refer = "-";
    putIfSet(d, "rf", refer);
}

void PGStatSessionEnv::encode(Json::Value& d) {
    PGStatHelper& helper = PGStatHelper::getInstance();
    const PGStatEnv& env = helper.getEnv();
    Json::Value ev(Json::objectValue);
    putDeviceFacts(ev);
    ev["wf"] = helper.fetchSSIDInfo();
    d["ev"] = ev;
    if (env.jailbroken) d["jb"] = 1;
    if (PGStatDataConfigHolder* holder = PGStatDataConfigHolder::getInstance()) holder->encode(d);
}

void PGStatErrorEvent::encode(Json::Value& d) {
    const std::string text = error.value_or("");
    std::string firstLines;
    std::size_t start = 0;
    for (int line = 0; line < kMaxLines; ++line) {
        const std::size_t end = text.find('\n', start);
        firstLines += text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) break;
        start = end + 1;
        if (line + 1 < kMaxLines) firstLines += '\n';
    }
    d["er"] = firstLines;
    d["ea"] = Json::Int(attr);
    PGStatConfig& config = PGStatConfig::getInstance();
    const PGStatEnv& env = PGStatHelper::getInstance().getEnv();
    Json::Value kv(Json::objectValue);
    putDeviceFacts(kv);
    putIfSet(kv, "cui", config.get(Text::customerUserID));
    putIfSet(kv, "ui", env.deviceid);
    putIfSet(kv, "qq", config.get(Text::account));
    putIfSet(kv, "qq", config.get(Text::qq));
    putIfSet(kv, "pcn", processName);
    if (availableMemory) kv["fram"] = Json::Int64(std::atoll(availableMemory->c_str()));
    if (freeDiskSpace) kv["from"] = Json::Int64(std::atoll(freeDiskSpace->c_str()));
    d["errkv"] = PGStatHelper::getJson(kv);
}

PGStatCustomEvent::PGStatCustomEvent() = default;
PGStatCustomEvent::~PGStatCustomEvent() = default;

void PGStatCustomEvent::encode(Json::Value& d) {
    d["ei"] = eventID.value_or("");
    if (args) d["ar"] = *args;
    if (kvs) d["kv"] = *kvs;
    if (duration > 0) d["du"] = Json::Int(duration);
}

void PGStatAdditionEvent::encode(Json::Value& d) { putIfSet(d, "qq", PGStatConfig::getInstance().get(Text::qq)); }

void PGStatAccountEvent::encode(Json::Value& d) {
    PGStatConfig& config = PGStatConfig::getInstance();
    const std::optional<std::string> account = config.get(Text::account);
    Json::Value acc(Json::objectValue);
    putIfSet(acc, "a", account);
    acc["t"] = Json::Int(config.accountType.load());
    putIfSet(acc, "e", config.get(Text::accountExt));
    d["acc"] = acc;
    if (account) d["qq"] = *account;
}

void PGStatMonitorStatEvent::encode(Json::Value& d) {
    if (!stat || !stat->interface) return;
    d["na"] = *stat->interface;
    d["rq"] = Json::Int(stat->requestPackageSize);
    d["rp"] = Json::Int(stat->responsePackageSize);
    d["tm"] = Json::Int(static_cast<std::int32_t>(stat->consumedMilliseconds));
    d["rc"] = stat->returnCode;
    if (stat->sampling == 0) stat->sampling = 1;
    d["sp"] = Json::Int(stat->sampling);
    d["rt"] = stat->resultType;
    putIfSet(d, "op", PGStatHelper::getInstance().getEnv().mccmnc);
    putIfSet(d, "cn", networkKind());
}

void PGStatGameUserEvent::encode(Json::Value& d) {
    putIfSet(d, "gid", uid);
    putIfSet(d, "wod", world);
    putIfSet(d, "lev", level);
}

void PGStatTestSpeedEvent::encode(Json::Value& d) {
    putIfSet(d, "sp", sp);
    putIfSet(d, "op", op);
    putIfSet(d, "cn", cn);
}

}  // namespace pigeon
