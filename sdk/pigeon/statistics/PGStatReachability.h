// Whether the network is reachable for the statistics module, by which path, and
// word of changes: on platform::NetworkReachability and its watcher.
#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/HostLoop.h"
#include "platform/NetworkReachability.h"

namespace pigeon {

class StatQueue;

// Made by the factories and held by shared pointer: while it watches, the
// wrapper keeps itself alive (reachabilityObject). Queries work from any
// thread; startNotifier and stopNotifier run on the main loop's thread, as the
// platform's watcher does.
class PGStatReachability : public std::enable_shared_from_this<PGStatReachability> {
public:
    enum Flags : std::uint32_t {
        kTransientConnection = platform::reachability::kTransientConnection,
        kReachable = platform::reachability::kReachable,
        kConnectionRequired = platform::reachability::kConnectionRequired,
        kConnectionOnTraffic = platform::reachability::kConnectionOnTraffic,
        kInterventionRequired = platform::reachability::kInterventionRequired,
        kConnectionOnDemand = platform::reachability::kConnectionOnDemand,
        kIsWWAN = platform::reachability::kIsWWAN,
    };
    enum Status { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };
    using Block = std::function<void(PGStatReachability& reachability)>;

    // Posted on the main loop after every change, with the wrapper.
    static constexpr char kReachabilityChangedNotification[] = "kReachabilityChangedNotification";
    static std::uint64_t addObserver(std::function<void(PGStatReachability& reachability)> observer);
    static void removeObserver(std::uint64_t token);

    // Each answers a new wrapper, or null when the platform object cannot be made.
    static std::shared_ptr<PGStatReachability> reachabilityWithHostname(const std::string& hostname);
    // An IPv4 socket address; null for another family.
    static std::shared_ptr<PGStatReachability> reachabilityWithAddress(const sockaddr_in& address);
    // The all-zero address: the internet at large.
    static std::shared_ptr<PGStatReachability> reachabilityForInternetConnection();
    // 169.254.0.0: the link-local network.
    static std::shared_ptr<PGStatReachability> reachabilityForLocalWiFi();
    static std::shared_ptr<PGStatReachability> initWithReachabilityRef(
        std::unique_ptr<platform::NetworkReachability> ref);
    ~PGStatReachability();
    PGStatReachability(const PGStatReachability&) = delete;
    PGStatReachability& operator=(const PGStatReachability&) = delete;

    // Watches the platform object: each change runs reachabilityChanged on the
    // serial queue "com.quarnwell.reachability". False (with a log line) when
    // the platform cannot watch.
    bool startNotifier();
    void stopNotifier();
    // A change: reachableBlock or unreachableBlock with the wrapper, then the notification.
    void reachabilityChanged(std::uint32_t flags);

    bool isReachableWithFlags(std::uint32_t flags) const;
    bool isReachable() const;
    bool isReachableViaWWAN() const;
    bool isReachableViaWiFi() const;
    bool isConnectionRequired() const;
    bool connectionRequired() const { return isConnectionRequired(); }
    bool isConnectionOnDemand() const;
    bool isInterventionRequired() const;
    Status currentReachabilityStatus() const;
    // 0 when the flags cannot be read.
    std::uint32_t reachabilityFlags() const;
    std::string currentReachabilityString() const;
    // One letter or "-" per flag, for logging.
    std::string currentReachabilityFlags() const;

    // Cellular counts as reachable unless this is cleared.
    bool reachableOnWWAN = true;
    // Run on the serial queue; set them before starting the notifier.
    Block reachableBlock;
    Block unreachableBlock;

    platform::NetworkReachability& reachabilityRef() const { return *reachabilityRef_; }
    // The serial queue while watching, else null.
    StatQueue* reachabilitySerialQueue() const { return reachabilitySerialQueue_; }
    // The wrapper itself while watching, else null.
    std::shared_ptr<PGStatReachability> reachabilityObject() const;

private:
    explicit PGStatReachability(std::unique_ptr<platform::NetworkReachability> ref);
    bool readFlags(std::uint32_t* flags) const;
    void postChangeOnMainLoop();
    void deliverPosted();

    std::unique_ptr<platform::NetworkReachability> reachabilityRef_;
    StatQueue* reachabilitySerialQueue_ = nullptr;
    std::shared_ptr<PGStatReachability> reachabilityObject_;
    platform::HostLoop::SourceId mainLoopSource_ = 0;
    mutable std::mutex postedMutex_;
    int postedChanges_ = 0;
};

}  // namespace pigeon
