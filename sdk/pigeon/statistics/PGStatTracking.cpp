// The tracking operations through which a host records page views, errors and custom events.
#include <execinfo.h>
#include <json/json.h>

#include <map>
#include <mutex>

#include "sdk/pigeon/statistics/PGStat.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"

namespace pigeon {

namespace {

using Text = PGStatConfig::Text;

// Start times of open timed page views or custom events, by page or timing key.
struct TimingTable {
    std::mutex mutex;
    std::map<std::string, std::uint32_t> starts;
};

TimingTable& timedPages() {
    static TimingTable table;
    return table;
}

TimingTable& timedEvents() {
    static TimingTable table;
    return table;
}

bool enabled() { return PGStatHelper::getInstance().checkPGStatEnable() && PGStatConfig::getInstance().statEnable; }

std::uint32_t now32() { return static_cast<std::uint32_t>(statNow()); }

bool acceptedPage(const std::string& page) {
    if (!page.empty()) return true;
    statDebugLog("[ERROR]Failed to trace nil/empty page.");
    return false;
}

// The checks of every operation named by an event id that must not be empty.
bool enabledWithEventID(const std::string& eventID) {
    if (!enabled()) return false;
    if (!eventID.empty()) return true;
    statDebugLog("[ERROR]Failed to trace nil/empty event_id.");
    return false;
}

std::uint32_t durationSince(std::uint32_t start) {
    const std::int64_t elapsed = statNow() - static_cast<std::int64_t>(start);
    return elapsed <= 0 ? 1 : static_cast<std::uint32_t>(elapsed);
}

std::string timingKeyForArgs(const std::string& eventID, const StatArgs& args) {
    std::string key = eventID + "[";
    for (const std::string& argument : args) key += argument;
    return key;
}

std::string timingKeyForProps(const std::string& eventID, const StatProps& props) {
    std::string key = eventID + "{";
    for (const auto& [name, value] : props) key += name + value;
    return key;
}

std::unique_ptr<Json::Value> argsValue(const StatArgs& args) {
    auto value = std::make_unique<Json::Value>(Json::arrayValue);
    for (const std::string& argument : args) value->append(argument);
    return value;
}

std::unique_ptr<Json::Value> propsValue(const StatProps& props) {
    auto value = std::make_unique<Json::Value>(Json::objectValue);
    for (const auto& [name, text] : props) (*value)[name] = text;
    return value;
}

// Begins timing under the key; false (with the caller's log lines) when it is open already or the table is full.
enum class BeginResult { Begun, Duplicate, Full };
BeginResult beginTiming(TimingTable& table, const std::string& key) {
    std::lock_guard<std::mutex> lock(table.mutex);
    if (table.starts.count(key)) return BeginResult::Duplicate;
    if (table.starts.size() >= PGStatConfig::getInstance().maxParallelTimingEvents) return BeginResult::Full;
    table.starts[key] = now32();
    return BeginResult::Begun;
}

std::optional<std::uint32_t> endTiming(TimingTable& table, const std::string& key) {
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.starts.find(key);
    if (found == table.starts.end()) return std::nullopt;
    const std::uint32_t start = found->second;
    table.starts.erase(found);
    return start;
}

void submitCustom(const std::string& eventID, std::unique_ptr<Json::Value> args, std::unique_ptr<Json::Value> kvs,
                  std::uint32_t duration, const StatKey& appkey, bool isRealTime) {
    const std::uint32_t sid = PGStat::refreshSession(false, appkey, isRealTime);
    auto event = std::make_unique<PGStatCustomEvent>();
    event->eventID = eventID;
    event->args = std::move(args);
    event->kvs = std::move(kvs);
    event->sid = sid;
    event->appkey = appkey;
    event->duration = duration;
    event->isRealTime = isRealTime;
    PGStat::submitEvent(std::move(event));
}

void beginCustom(const std::string& eventID, const std::string& timingKey, const StatKey& appkey) {
    PGStat::reportQQIfNeeded(false, appkey, false);
    switch (beginTiming(timedEvents(), timingKey)) {
        case BeginResult::Duplicate:
            statDebugLog("[ERROR]Duplicate key %s for event_id:%s", timingKey.c_str(), eventID.c_str());
            break;
        case BeginResult::Full: statDebugLog("[ERROR]Too many parallel events in memory."); break;
        case BeginResult::Begun: break;
    }
}

std::optional<std::uint32_t> endCustom(const std::string& eventID, const std::string& timingKey) {
    const std::optional<std::uint32_t> start = endTiming(timedEvents(), timingKey);
    if (!start) statDebugLog("[ERROR]NULL key %s for event_id:%s", timingKey.c_str(), eventID.c_str());
    return start;
}

}  // namespace

void PGStat::resetTimingTables() {
    for (TimingTable* table : {&timedPages(), &timedEvents()}) {
        std::lock_guard<std::mutex> lock(table->mutex);
        table->starts.clear();
    }
}

void PGStat::trackPageViewBegin(const std::string& page, const StatKey& appkey) {
    if (!enabled() || !acceptedPage(page)) return;
    getInstance().setCurrentPage(page);
    trackDirectPageViewBegin(page, appkey);
}

void PGStat::trackDirectPageViewBegin(const std::string& page, const StatKey& appkey) {
    if (!PGStatConfig::getInstance().statEnable || !acceptedPage(page)) return;
    statDebugLog("Trace begin page:%s", page.c_str());
    reportQQIfNeeded(false, appkey, false);
    switch (beginTiming(timedPages(), page)) {
        case BeginResult::Duplicate: statDebugLog("[ERROR]Duplicate entry page %s", page.c_str()); return;
        case BeginResult::Full: statDebugLog("[ERROR]Too many parallel page events in memory."); return;
        case BeginResult::Begun: break;
    }
    statDebugLog("set timedPageDis success,%s", page.c_str());
    refreshSession(true, appkey, false);
}

void PGStat::trackPageViewEnd(const std::string& page, const StatKey& appkey, bool isRealTime) {
    if (!enabled() || !acceptedPage(page)) return;
    trackDirectPageViewEnd(page, appkey, isRealTime);
    getInstance().setCurrentPage(std::nullopt);
}

void PGStat::trackDirectPageViewEnd(const std::string& page, const StatKey& appkey, bool isRealTime) {
    if (!PGStatConfig::getInstance().statEnable || !acceptedPage(page)) return;
    const std::optional<std::uint32_t> start = endTiming(timedPages(), page);
    if (!start) {
        statDebugLog("[ERROR]NULL entry for page:%s", page.c_str());
        return;
    }
    auto event = std::make_unique<PGStatPageView>();
    event->page = page;
    event->duration = durationSince(*start);
    event->sid = refreshSession(false, appkey, isRealTime);
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    event->refer = getInstance().lastPage();
    getInstance().endPage(page);
    submitEvent(std::move(event));
}

void PGStat::endPage(const std::string& page) {
    std::lock_guard<std::mutex> lock(pageMutex_);
    lastPage_ = page;
}

void PGStat::trackException(const std::exception* exception, const StatKey& appkey, bool isRealTime) {
    if (!enabled()) return;
    if (!exception) {
        statDebugLog("[ERROR]Failed to trace nil exception.");
        return;
    }
    std::string stack = "(";
    void* frames[64];
    const int count = backtrace(frames, 64);
    if (char** symbols = backtrace_symbols(frames, count)) {
        for (int i = 0; i < count; ++i) stack += std::string("\n    ") + symbols[i];
        std::free(symbols);
    }
    auto event = std::make_unique<PGStatErrorEvent>();
    event->error = std::string(exception->what()) + "\n" + stack + "\n)";
    event->attr = 1;
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    event->sid = newSessionId();  // a number of its own; the current session stays
    submitEvent(std::move(event));
}

void PGStat::trackError(const std::string& error, const StatKey& appkey, bool isRealTime) {
    if (!enabled()) return;
    if (error.empty()) {
        statDebugLog("[ERROR]Failed to trace nil/empty error.");
        return;
    }
    auto event = std::make_unique<PGStatErrorEvent>();
    event->error = error;
    event->attr = 0;
    event->sid = refreshSession(false, appkey, isRealTime);
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    submitEvent(std::move(event));
}

void PGStat::trackCustomEvent(const std::optional<std::string>& eventID, const StatArgs& args, const StatKey& appkey,
                              bool isRealTime) {
    if (!enabled()) return;
    if (!eventID) {
        statDebugLog("[ERROR]Failed to trace nil event_id.");
        return;
    }
    reportQQIfNeeded(false, std::nullopt, false);
    submitCustom(*eventID, argsValue(args), nullptr, 0, appkey, isRealTime);
}

void PGStat::trackCustomEventBegin(const std::string& eventID, const StatArgs& args, const StatKey& appkey) {
    if (!enabledWithEventID(eventID)) return;
    beginCustom(eventID, timingKeyForArgs(eventID, args), appkey);
}

void PGStat::trackCustomEventEnd(const std::string& eventID, const StatArgs& args, const StatKey& appkey,
                                 bool isRealTime) {
    if (!enabledWithEventID(eventID)) return;
    const std::optional<std::uint32_t> start = endCustom(eventID, timingKeyForArgs(eventID, args));
    if (start) submitCustom(eventID, argsValue(args), nullptr, durationSince(*start), appkey, isRealTime);
}

void PGStat::trackCustomKeyValueEvent(const std::string& eventID, const StatProps& props, const StatKey& appkey,
                                      bool isRealTime) {
    if (!enabledWithEventID(eventID)) return;
    reportQQIfNeeded(false, std::nullopt, false);
    submitCustom(eventID, nullptr, props.empty() ? nullptr : propsValue(props), 0, appkey, isRealTime);
}

void PGStat::trackCustomKeyValueEventBegin(const std::string& eventID, const StatProps& props, const StatKey& appkey) {
    if (!enabledWithEventID(eventID)) return;
    beginCustom(eventID, timingKeyForProps(eventID, props), appkey);
}

void PGStat::trackCustomKeyValueEventEnd(const std::string& eventID, const StatProps& props, const StatKey& appkey,
                                         bool isRealTime) {
    if (!enabledWithEventID(eventID)) return;
    const std::optional<std::uint32_t> start = endCustom(eventID, timingKeyForProps(eventID, props));
    if (start) submitCustom(eventID, nullptr, propsValue(props), durationSince(*start), appkey, isRealTime);
}

void PGStat::reportQQ(const std::string& qq, const StatKey& appkey, bool isRealTime) {
    if (!enabled()) return;
    PGStatConfig::getInstance().set(Text::qq, qq);
    refreshSession(false, appkey, isRealTime);
    reportQQIfNeeded(true, appkey, isRealTime);
}

void PGStat::reportAccount(const std::optional<std::string>& account, std::int8_t type,
                           const std::optional<std::string>& ext, const StatKey& appkey, bool isRealTime) {
    if (!enabled()) return;
    PGStatConfig& config = PGStatConfig::getInstance();
    config.set(Text::account, account);
    config.accountType = type;
    config.set(Text::accountExt, ext);
    refreshSession(false, appkey, isRealTime);
    reportAccountEvent(appkey, isRealTime);
}

void PGStat::reportAccountEvent(const StatKey& appkey, bool isRealTime) {
    PGStatConfig& config = PGStatConfig::getInstance();
    if (!config.statEnable || !config.get(Text::account)) return;
    auto event = std::make_unique<PGStatAccountEvent>();
    event->sid = currentSessionId();
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    submitEvent(std::move(event));
}

void PGStat::reportAppMonitorStat(const std::optional<PGStatAppMonitorStat>& stat, const StatKey& appkey,
                                  bool isRealTime) {
    if (!enabled()) return;
    if (!stat || !stat->interface) {
        statDebugLog(
            "[ERROR]Invalid arguments for reportAppMonitorStat:NULL stat object or null interface name in "
            "stat object.");
        return;
    }
    auto event = std::make_unique<PGStatMonitorStatEvent>();
    event->stat = stat;
    event->sid = refreshSession(false, appkey, isRealTime);
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    submitEvent(std::move(event));
}

void PGStat::trackGameUser(const std::optional<std::string>& uid, const std::string& world, const std::string& level,
                           const StatKey& appkey, bool isRealTime) {
    if (!enabled()) return;
    if (!uid) {
        statDebugLog("[ERROR]Invalid arguments for trackGameUser: null uid.");
        return;
    }
    auto event = std::make_unique<PGStatGameUserEvent>();
    event->sid = refreshSession(false, appkey, isRealTime);
    event->uid = uid;
    event->world = world;
    event->level = level;
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    submitEvent(std::move(event));
}

}  // namespace pigeon
