// Online configuration records and the switches the module record carries.
#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"

#include <json/json.h>
#include <sqlite3.h>

#include <sstream>

#include "platform/JsonReader.h"
#include "platform/PrintableText.h"
#include "platform/UserFolders.h"
#include "sdk/pigeon/statistics/PGStat.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatSqlite.h"
#include "sdk/pigeon/statistics/PGStatStore.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {

namespace {

std::mutex instanceMutex;
std::unique_ptr<PGStatDataConfigHolder> instance;

// Numeric comparison of dotted versions: "1.10" is above "1.9".
int compareVersions(const std::string& left, const std::string& right) {
    std::istringstream a(left), b(right);
    for (;;) {
        std::string x, y;
        const bool moreA = static_cast<bool>(std::getline(a, x, '.'));
        const bool moreB = static_cast<bool>(std::getline(b, y, '.'));
        if (!moreA && !moreB) return 0;
        const long numberA = moreA ? std::atol(x.c_str()) : 0;
        const long numberB = moreB ? std::atol(y.c_str()) : 0;
        if (numberA != numberB) return numberA < numberB ? -1 : 1;
    }
}

}  // namespace

bool PGStatDataConfig::decode(const Json::Value& server) {
    if (!server.isObject() || !server.isMember("c") || !server.isMember("v") || !server.isMember("m")) return false;
    if (!server["c"].isObject()) {
        statDebugLog("Not NSDictionary for decoded config content:%s", "not an object");
        return false;
    }
    if (!server["v"].isUInt()) {
        statDebugLog("Not NSDictionary for decoded config version:%s", "not an unsigned number");
        return false;
    }
    if (!server["m"].isString()) {
        statDebugLog("Not NSDictionary for decoded config md5:%s", "not a text");
        return false;
    }
    md5 = server["m"].asString();
    content = PGStatHelper::getJson(server["c"]);
    version = server["v"].asUInt();
    return true;
}

void PGStatDataConfig::encodeWithNoContent(Json::Value& into) const { into["v"] = Json::UInt(version); }

PGStatDataConfigHolder::PGStatDataConfigHolder() : task_queue("StatStore") {}

PGStatDataConfigHolder* PGStatDataConfigHolder::initSingleton(const std::function<void()>& loaded) {
    PGStatDataConfigHolder* holder = nullptr;
    {
        std::lock_guard<std::mutex> lock(instanceMutex);
        if (instance) return instance.get();
        instance.reset(new PGStatDataConfigHolder());
        holder = instance.get();
    }
    PGStatStore::getInstance().loadConfig([holder](const PGStatDataConfig& config) { holder->setConfig(config); });
    if (loaded) loaded();
    return holder;
}

PGStatDataConfigHolder* PGStatDataConfigHolder::getInstance() {
    std::lock_guard<std::mutex> lock(instanceMutex);
    return instance.get();
}

void PGStatDataConfigHolder::setConfig(const PGStatDataConfig& config) {
    statDebugLog("start set config");
    std::string errors;
    const std::optional<Json::Value> parsed = platform::readJson(config.content, &errors);
    if (!parsed) {
        const std::string line = "Decode response config JSON error :" + errors;
        statDebugLog("%s", platform::printableText(line).c_str());
        PGStat::trackError(line);
        return;
    }
    const Json::Value& settings = *parsed;
    if (!settings.isObject()) {
        const std::string line = "Not NSDictionary for decoded response config object:" + config.content;
        statDebugLog("%s", platform::printableText(line).c_str());
        PGStat::trackError(line);
        return;
    }
    if (config.type == 1) {
        statDebugLog("sdk cfg start %s", platform::printableText(config.content).c_str());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sdkCfg_ = config;
        }
        applyModuleSwitches(settings);
    } else if (config.type == 2) {
        std::lock_guard<std::mutex> lock(mutex_);
        appCfg_ = config;
        appProperties_ = std::make_unique<Json::Value>(settings);
    }
}

void PGStatDataConfigHolder::applyModuleSwitches(const Json::Value& settings) {
    PGStatConfig& config = PGStatConfig::getInstance();
    const Json::Value& strategy = settings["rs"];
    if (strategy.isInt() && strategy.asInt() >= 1) config.reportStrategy = strategy.asInt();
    const Json::Value& hibernate = settings["__HIBERNATE__"];
    if (hibernate.isString() && compareVersions(hibernate.asString(), PGStatHelper::kSdkVersion) >= 0) {
        config.statEnable = false;
    }
    const Json::Value& kill = settings["__PGSTAT_KILL__"];
    if (kill.isObject()) {
        const PGStatEnv& env = PGStatHelper::getInstance().getEnv();
        auto matches = [&kill](const char* key, const std::optional<std::string>& value) {
            return kill[key].isString() && value && kill[key].asString() == *value;
        };
        if (matches("sv", env.sdk_version) || matches("md", env.modulename) || matches("av", env.app_version)) {
            PGStatHelper::getInstance().setPGStatEnableFlag(false);
        }
    }
}

std::optional<PGStatDataConfig> PGStatDataConfigHolder::getConfig(std::uint32_t type) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (type == 1) return sdkCfg_;
    if (type == 2) return appCfg_;
    return std::nullopt;
}

void PGStatDataConfigHolder::updateConfig(const Json::Value& server, std::uint32_t type) {
    PGStatDataConfig incoming;
    if (!incoming.decode(server)) {
        statDebugLog("[ERROR]Failed to decode config for %u", type);
        return;
    }
    incoming.type = type;
    const std::optional<PGStatDataConfig> held = getConfig(type);
    if (!held) return;
    if (incoming.version <= held->version) {
        statDebugLog("[WARN]Local has version:%u for config:%u, while remote has version:%u", held->version, type,
                     incoming.version);
        return;
    }
    setConfig(incoming);
    PGStatStore::getInstance().storeConfig(incoming);
}

void PGStatDataConfigHolder::updateOnlineConfig(const Json::Value& answer) {
    if (!answer.isObject() || answer.isMember("mid")) return;
    statDebugLog("Start update configuration from PGStat's reponse content");
    const Json::Value& cfg = answer["cfg"];
    if (!cfg.isObject()) return;
    if (cfg["1"].isObject()) updateConfig(cfg["1"], 1);
    if (cfg["2"].isObject()) updateConfig(cfg["2"], 2);
}

void PGStatDataConfigHolder::encode(Json::Value& into) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Json::Value cfg(Json::objectValue);
    sdkCfg_.encodeWithNoContent(cfg["1"]);
    appCfg_.encodeWithNoContent(cfg["2"]);
    into["cfg"] = cfg;
}

std::optional<std::string> PGStatDataConfigHolder::getAppProperty(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!appProperties_ || !appProperties_->isMember(key)) return std::nullopt;
    const Json::Value& value = (*appProperties_)[key];
    return value.isString() ? value.asString() : PGStatHelper::getJson(value);
}

void PGStatDataConfigHolder::DatabaseCloser::operator()(sqlite3* db) const { sqlite3_close(db); }

sqlite3* PGStatDataConfigHolder::getDB() {
    std::lock_guard<std::mutex> lock(dbMutex_);
    if (!db_) db_.reset(statsql::openDatabase(platform::documentsFolder()));
    return db_.get();
}

void PGStatDataConfigHolder::closeDB() {
    std::lock_guard<std::mutex> lock(dbMutex_);
    db_.reset();
}

void PGStatDataConfigHolder::deleteDB() {
    closeDB();
    statsql::removeDatabase(platform::documentsFolder());
}

void PGStatDataConfigHolder::resetForTesting() {
    closeDB();
    std::lock_guard<std::mutex> lock(mutex_);
    sdkCfg_ = PGStatDataConfig{1, 0, {}, {}};
    appCfg_ = PGStatDataConfig{2, 0, {}, {}};
    appProperties_.reset();
}

}  // namespace pigeon
