// The statistics core: start, sessions, life cycle and the report decision.
#include "sdk/pigeon/statistics/PGStat.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <random>

#include "platform/AppNotifications.h"
#include "platform/UserDefaults.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"
#include "sdk/pigeon/statistics/PGStatDispatcher.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatOpenUDID.h"
#include "sdk/pigeon/statistics/PGStatReachability.h"
#include "sdk/pigeon/statistics/PGStatStore.h"

namespace pigeon {

namespace {

using Text = PGStatConfig::Text;
constexpr char kDataSentKey[] = "PGSTAT_SDK_DATA_SENT_TS";
// Longer than one report's time-out, so a report under way at exit ends first.
constexpr std::chrono::seconds kExitDrainTime{12};

// Session state: read and changed from the caller's thread and the core's queue.
struct SessionState {
    std::mutex mutex;
    std::uint32_t currentSessionId = 0;
    std::uint32_t lastActiveTime = 0;
    std::int64_t nextDayStart = 0;
    std::uint32_t sessionEventCount = 0;
    bool qqReported = false;
    // The module's own engine, seeded once: sessions begun within one second still get different numbers.
    std::mt19937 random{std::random_device{}()};
};

SessionState& session() {
    static SessionState state;
    return state;
}

std::mutex pendingMutex;
std::vector<PGStatEventPtr> pendingEvents;
std::atomic<bool> instanceCreated{false};

// The first second of the local day after t.
std::int64_t nextLocalMidnight(std::int64_t t) {
    const std::time_t now = static_cast<std::time_t>(t);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_mday += 1;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&local));
}

// The work queued at exit ends first; a lock another program holds on the database is not waited for
// long, and what it kept out is said.
void drainAtExit() {
    PGStatStore& store = PGStatStore::getInstance();
    store.beginQuit();
    StatQueue::waitUntilIdle(kExitDrainTime);
    store.reportNotStored();
}

}  // namespace

PGStat& PGStat::getInstance() {
    static PGStat instance;
    // Registered once the core is made, so it runs before the module's objects are destroyed at
    // exit: work still queued then finishes while every object it touches is alive.
    static const bool drainsAtExit = std::atexit(drainAtExit) == 0;
    (void)drainsAtExit;
    return instance;
}

bool PGStat::exists() { return instanceCreated; }

PGStat::PGStat() : task_queue("PigeonAnalysis") {
    PGStatHelper::getInstance().setPGStatEnableFlag(true);
    // Made before the store, whose work calls it, so it is destroyed after the store at exit.
    PGStatDispatcher::getInstance();
    PGStatStore& store = PGStatStore::getInstance();
    PGStatDataConfigHolder::initSingleton([] {});
    PGStatHelper::getInstance().getUser();
    store.launch();
    if (PGStatConfig::getInstance().reportStrategy == 3) store.sendCachedEvents(-1);
    using platform::AppNotification;
    platform::addAppObserver(AppNotification::WillTerminate, [this] { onWillApplicationWillTerminate(); });
    platform::addAppObserver(AppNotification::WillEnterForeground, [this] { onWillApplicationEnterForeground(); });
    platform::addAppObserver(AppNotification::DidBecomeActive, [this] { onDidApplicationBecomeActive(); });
    platform::addAppObserver(AppNotification::DidEnterBackground, [this] { onWillApplicationEnterBackground(); });
    platform::addAppObserver(AppNotification::WillResignActive, [this] { onWillApplicationResignActive(); });
    instanceCreated = true;
}

void PGStat::startWithAppkey(const std::string& appkey) {
    PGStatConfig& config = PGStatConfig::getInstance();
    if (!config.statEnable) return;
    if (appkey.empty()) {
        statDebugLog("[ERROR]Failed to start PGStat sdk with nil/empty appkey.");
        return;
    }
    const std::optional<std::string> old = config.get(Text::appkey);
    config.set(Text::appkey, old ? *old + "|" + appkey : appkey);
    statDebugLog("PGStat instance started");
    getInstance();
    refreshSession(true, std::nullopt, false);
}

bool PGStat::startWithAppkey(const std::string& appkey, const std::string& checkedSdkVersion) {
    const std::string current = PGStatHelper::kSdkVersion;
    auto numbers = [](const std::string& version) {
        std::vector<long> parts;
        std::size_t start = 0;
        while (start <= version.size()) {
            const std::size_t dot = version.find('.', start);
            parts.push_back(std::atol(version.substr(start, dot - start).c_str()));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        while (!parts.empty() && parts.back() == 0) parts.pop_back();
        return parts;
    };
    if (numbers(checkedSdkVersion) > numbers(current)) {
        statDebugLog("[ERROR]Current SDK's version %s is lower than expected %s, use latest PGStat SDK instead.",
                     current.c_str(), checkedSdkVersion.c_str());
        PGStatConfig::getInstance().statEnable = false;
        return false;
    }
    startWithAppkey(appkey);
    return true;
}

void PGStat::commitCachedStats(std::int32_t count) {
    if (!PGStatConfig::getInstance().statEnable) return;
    if (!exists()) {
        statLog("[WARN]PGStat's init method is NOT invoked.");
        return;
    }
    PGStatStore::getInstance().sendCachedEvents(count);
}

void PGStat::startNewSession(bool isRealTime) {
    if (PGStatConfig::getInstance().statEnable) refreshSession(true, std::nullopt, isRealTime);
}

void PGStat::stopSession() {
    if (!exists()) {
        statLog("[WARN]PGStat's init method is NOT invoked.");
        return;
    }
    std::lock_guard<std::mutex> lock(session().mutex);
    session().lastActiveTime = 0;
}

std::string PGStat::getPGStatUDID() { return PGStatStore::getInstance().getPGStatOpenUDID(); }

std::uint32_t PGStat::currentSessionId() {
    std::lock_guard<std::mutex> lock(session().mutex);
    return session().currentSessionId;
}

std::uint32_t PGStat::newSessionId() {
    SessionState& state = session();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.sessionEventCount = 0;
    state.nextDayStart = nextLocalMidnight(statNow());
    return static_cast<std::uint32_t>(state.random());
}

std::uint32_t PGStat::refreshSession(bool checkIdle, const StatKey& appkey, bool isRealTime) {
    SessionState& state = session();
    const auto now = static_cast<std::uint32_t>(statNow());
    bool begins = false;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        const std::uint32_t timeout = PGStatConfig::getInstance().sessionTimeoutSecs;
        if (checkIdle && now - state.lastActiveTime >= timeout) begins = true;
        if (static_cast<std::int64_t>(now) >= state.nextDayStart) begins = true;
        state.lastActiveTime = now;
        if (state.currentSessionId == 0 && !begins) {
            statLog("session == 0");
            begins = true;
        }
    }
    if (begins) {
        const std::uint32_t id = newSessionId();
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.currentSessionId = id;
        }
        onNewSession(appkey, isRealTime);
    }
    return currentSessionId();
}

void PGStat::onNewSession(const StatKey& appkey, bool isRealTime) {
    const std::uint32_t id = currentSessionId();
    if (id != 0 && PGStatConfig::getInstance().reportStrategy == 3) PGStatStore::getInstance().sendCachedEvents(-1);
    auto event = std::make_unique<PGStatSessionEnv>();
    event->sid = id;
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    submitEvent(std::move(event));
    reportQQIfNeeded(true, appkey, false);
}

void PGStat::reportQQIfNeeded(bool force, const StatKey& appkey, bool isRealTime) {
    if (!PGStatConfig::getInstance().statEnable) return;
    {
        std::lock_guard<std::mutex> lock(session().mutex);
        if (!force && session().qqReported) return;
        session().qqReported = true;
    }
    if (!PGStatConfig::getInstance().get(Text::qq)) return;
    auto event = std::make_unique<PGStatAdditionEvent>();
    event->sid = currentSessionId();
    event->appkey = appkey;
    event->isRealTime = isRealTime;
    submitEvent(std::move(event));
}

void PGStat::submitEvent(PGStatEventPtr event) {
    if (!exists()) {
        statLog("[WARN]PGStat's init method is NOT invoked.");
        std::lock_guard<std::mutex> lock(pendingMutex);
        if (pendingEvents.size() >= kMaxPendingEvents) {
            statLog("[ERROR]Too many cached sending events befor PGStat started.");
            return;
        }
        pendingEvents.push_back(std::move(event));
        return;
    }
    PGStat& core = getInstance();
    {
        std::lock_guard<std::mutex> lock(pendingMutex);
        for (PGStatEventPtr& pending : pendingEvents) core.reportEvent(std::move(pending));
        pendingEvents.clear();
    }
    core.reportEvent(std::move(event));
}

void PGStat::reportEvent(PGStatEventPtr event) {
    if (!event) {
        statDebugLog("[WARN]NULL event to report.");
        return;
    }
    const int cap = PGStatConfig::getInstance().maxSessionStatReportCount;
    {
        std::lock_guard<std::mutex> lock(session().mutex);
        if (cap > 0 && session().sessionEventCount >= static_cast<std::uint32_t>(cap)) return;
        ++session().sessionEventCount;
    }
    task_queue.async([this, shared = std::shared_ptr<PGStatEvent>(std::move(event))] { dispatchEvent(shared); });
}

void PGStat::dispatchEvent(const std::shared_ptr<PGStatEvent>& event) {
    PGStatConfig& config = PGStatConfig::getInstance();
    if (!config.statEnable) return;
    // The counting encoding, written to the debug log.
    const std::string text = event->toJsonString();
    statDebugLog("Report event :%s", text.c_str());
    int strategy = event->isRealTime ? 1 : config.reportStrategy.load();
    const std::shared_ptr<PGStatReachability> reach = PGStatReachability::reachabilityForInternetConnection();
    const bool wifi = reach && reach->isReachableViaWiFi();
    PGStatStore& store = PGStatStore::getInstance();
    if (strategy == 7 && !wifi) {
        statDebugLog("Disard event since no active wifi network.");
        return;
    }
    if (strategy != 7 && !(reach && reach->isReachable())) {
        statDebugLog("Store event since no active network.");
        store.storeEvent(event, nullptr);
        return;
    }
    if (strategy != 7 && config.smartReporting && wifi) strategy = 1;
    switch (strategy) {
        case 1: sendEventNow(event); break;
        case 2:
            store.storeEvent(event, [&store](bool stored) {
                const std::uint32_t batch = PGStatConfig::getInstance().minBatchReportCount;
                if (stored && store.storedEventCount() >= batch) {
                    store.sendCachedEvents(static_cast<int>(batch));
                } else {
                    statDebugLog("Stored event count:%u", store.storedEventCount());
                }
            });
            break;
        case 3:
        case 6: store.storeEvent(event, nullptr); break;
        case 4:
            if (wifi) {
                sendEventNow(event);
            } else {
                store.storeEvent(event, nullptr);
            }
            break;
        case 5: {
            store.storeEvent(event, nullptr);
            platform::UserDefaults& defaults = PGStatOpenUDID::defaults();
            const std::int64_t last = defaults.integer(kDataSentKey);
            const std::int64_t now = statNow();
            if (last == 0) {
                defaults.set(kDataSentKey, platform::PlistValue::integer(now));
            } else if (now - last >= static_cast<std::int64_t>(config.sendPeriodMinutes) * 60) {
                store.sendCachedEvents(-1);
                defaults.set(kDataSentKey, platform::PlistValue::integer(now));
            }
            break;
        }
        case 7: PGStatDispatcher::getInstance().sendEvent(*event, nullptr); break;
        default: statDebugLog("Not supported report strategy:%d", strategy); break;
    }
}

void PGStat::sendEventNow(const std::shared_ptr<PGStatEvent>& event) {
    PGStatStore& store = PGStatStore::getInstance();
    if (store.storedEventCount() > 0) {
        // The stored ones leave first, in order.
        store.storeEvent(event, [&store](bool) { store.sendCachedEvents(-1); });
        return;
    }
    PGStatDispatcher::getInstance().sendEvent(*event, [event, &store](bool delivered) {
        if (delivered) {
            store.sendCachedEvents(-1);
        } else {
            store.storeEvent(event, nullptr);
        }
    });
}

std::optional<std::string> PGStat::currentPage() const {
    std::lock_guard<std::mutex> lock(pageMutex_);
    return PGStatCurrentPage;
}

std::optional<std::string> PGStat::lastPage() const {
    std::lock_guard<std::mutex> lock(pageMutex_);
    return lastPage_;
}

void PGStat::onWillApplicationWillTerminate() {
    statDebugLog("PGStat shutdown.");
    PGStatStore::getInstance().beginQuit();
    PGStatStore::getInstance().close();
}

void PGStat::onWillApplicationResignActive() {
    if (!PGStatConfig::getInstance().statEnable) return;
    refreshSession(false, std::nullopt, false);
    if (const std::optional<std::string> page = currentPage()) {
        statDebugLog("nil != [[PGStat getInstance] currentPage] ,currentPage is %s", page->c_str());
        trackDirectPageViewEnd(*page, std::nullopt, false);
    }
}

void PGStat::onDidApplicationBecomeActive() {
    if (!PGStatConfig::getInstance().statEnable) return;
    refreshSession(true, std::nullopt, false);
    if (const std::optional<std::string> page = currentPage()) trackDirectPageViewBegin(*page, std::nullopt);
}

void PGStat::onWillApplicationEnterForeground() {
    if (PGStatConfig::getInstance().statEnable) refreshSession(true, std::nullopt, false);
}

void PGStat::onWillApplicationEnterBackground() {
    if (PGStatConfig::getInstance().statEnable) refreshSession(false, std::nullopt, false);
}

void PGStat::resetSessionForTesting() {
    {
        std::lock_guard<std::mutex> lock(session().mutex);
        session().currentSessionId = 0;
        session().lastActiveTime = 0;
        session().nextDayStart = 0;
        session().sessionEventCount = 0;
        session().qqReported = false;
    }
    {
        std::lock_guard<std::mutex> lock(pendingMutex);
        pendingEvents.clear();
    }
    resetTimingTables();
    if (exists()) {
        getInstance().setCurrentPage(std::nullopt);
        std::lock_guard<std::mutex> lock(getInstance().pageMutex_);
        getInstance().lastPage_.reset();
    }
}

void PGStat::setCurrentPage(std::optional<std::string> page) {
    std::lock_guard<std::mutex> lock(pageMutex_);
    PGStatCurrentPage = std::move(page);
}

}  // namespace pigeon
