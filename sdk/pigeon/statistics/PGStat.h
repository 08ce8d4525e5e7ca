// The statistics core: start with a key, sessions, life cycle, and the send/store/drop decision per event.
#pragma once
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sdk/pigeon/statistics/PGStatEvent.h"
#include "sdk/pigeon/statistics/PGStatRecords.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {

using StatKey = std::optional<std::string>;
using StatArgs = std::vector<std::string>;
// Key-value properties in the caller's order.
using StatProps = std::vector<std::pair<std::string, std::string>>;

class PGStat {
public:
    static constexpr std::size_t kMaxPendingEvents = 128;

    // The shared core; the first call starts it (queue, store, configuration, user, life cycle).
    static PGStat& getInstance();
    static bool exists();

    static void startWithAppkey(const std::string& appkey);
    static bool startWithAppkey(const std::string& appkey, const std::string& checkedSdkVersion);
    static void commitCachedStats(std::int32_t count);
    static void startNewSession(bool isRealTime = false);
    static void stopSession();
    static std::string getPGStatUDID();

    // Tracking operations; each short form passes no key and not real-time.
    static void trackPageViewBegin(const std::string& page, const StatKey& appkey = std::nullopt);
    static void trackPageViewEnd(const std::string& page, const StatKey& appkey = std::nullopt,
                                 bool isRealTime = false);
    static void trackException(const std::exception* exception, const StatKey& appkey = std::nullopt,
                               bool isRealTime = false);
    static void trackError(const std::string& error, const StatKey& appkey = std::nullopt, bool isRealTime = false);
    static void trackCustomEvent(const std::optional<std::string>& eventID, const StatArgs& args,
                                 const StatKey& appkey = std::nullopt, bool isRealTime = false);
    static void trackCustomEventBegin(const std::string& eventID, const StatArgs& args,
                                      const StatKey& appkey = std::nullopt);
    static void trackCustomEventEnd(const std::string& eventID, const StatArgs& args,
                                    const StatKey& appkey = std::nullopt, bool isRealTime = false);
    static void trackCustomKeyValueEvent(const std::string& eventID, const StatProps& props,
                                         const StatKey& appkey = std::nullopt, bool isRealTime = false);
    static void trackCustomKeyValueEventBegin(const std::string& eventID, const StatProps& props,
                                              const StatKey& appkey = std::nullopt);
    static void trackCustomKeyValueEventEnd(const std::string& eventID, const StatProps& props,
                                            const StatKey& appkey = std::nullopt, bool isRealTime = false);
    static void reportQQ(const std::string& qq, const StatKey& appkey = std::nullopt, bool isRealTime = false);
    static void reportAccount(const std::optional<std::string>& account, std::int8_t type,
                              const std::optional<std::string>& ext, const StatKey& appkey = std::nullopt,
                              bool isRealTime = false);
    static void reportAppMonitorStat(const std::optional<PGStatAppMonitorStat>& stat,
                                     const StatKey& appkey = std::nullopt, bool isRealTime = false);
    static void trackGameUser(const std::optional<std::string>& uid, const std::string& world, const std::string& level,
                              const StatKey& appkey = std::nullopt, bool isRealTime = false);

    // Used by the life-cycle handlers as well: only statEnable is checked.
    static void trackDirectPageViewBegin(const std::string& page, const StatKey& appkey);
    static void trackDirectPageViewEnd(const std::string& page, const StatKey& appkey, bool isRealTime);

    // Life-cycle handlers, observers of the application's notifications.
    void onWillApplicationWillTerminate();
    void onWillApplicationEnterForeground();
    void onDidApplicationBecomeActive();
    void onWillApplicationEnterBackground();
    void onWillApplicationResignActive();

    // The serial queue "PigeonAnalysis", on which every report decision runs in submission order.
    StatQueue& getTaskQueue() { return task_queue; }

    std::optional<std::string> currentPage() const;
    std::optional<std::string> lastPage() const;

    // Internal operations of the tracking code.
    static std::uint32_t refreshSession(bool checkIdle, const StatKey& appkey, bool isRealTime);
    static void submitEvent(PGStatEventPtr event);
    static void reportQQIfNeeded(bool force, const StatKey& appkey, bool isRealTime);
    static std::uint32_t newSessionId();
    static std::uint32_t currentSessionId();

    // Session state, timing tables and pending events back to a fresh process (tests).
    static void resetSessionForTesting();

private:
    PGStat();
    void reportEvent(PGStatEventPtr event);
    void dispatchEvent(const std::shared_ptr<PGStatEvent>& event);
    void sendEventNow(const std::shared_ptr<PGStatEvent>& event);
    static void onNewSession(const StatKey& appkey, bool isRealTime);
    static void reportAccountEvent(const StatKey& appkey, bool isRealTime);
    static void resetTimingTables();
    void setCurrentPage(std::optional<std::string> page);
    void endPage(const std::string& page);

    StatQueue task_queue;
    mutable std::mutex pageMutex_;
    std::optional<std::string> PGStatCurrentPage;
    std::optional<std::string> lastPage_;
};

}  // namespace pigeon
