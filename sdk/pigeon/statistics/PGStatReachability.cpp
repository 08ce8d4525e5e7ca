// Network reachability of the statistics module over the platform's answer and watcher.
#include "sdk/pigeon/statistics/PGStatReachability.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {
namespace {

// The serial queue change callbacks run on; made with the first notifier, kept for the process.
StatQueue& reachabilityQueue() {
    static StatQueue queue("com.quarnwell.reachability");
    return queue;
}

struct Observers {
    std::mutex mutex;
    std::uint64_t nextToken = 1;
    std::map<std::uint64_t, std::function<void(PGStatReachability&)>> byToken;
};

Observers& observers() {
    static Observers registry;
    return registry;
}

}  // namespace

std::uint64_t PGStatReachability::addObserver(std::function<void(PGStatReachability&)> observer) {
    Observers& registry = observers();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const std::uint64_t token = registry.nextToken++;
    registry.byToken[token] = std::move(observer);
    return token;
}

void PGStatReachability::removeObserver(std::uint64_t token) {
    Observers& registry = observers();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.byToken.erase(token);
}

std::shared_ptr<PGStatReachability> PGStatReachability::initWithReachabilityRef(
    std::unique_ptr<platform::NetworkReachability> ref) {
    if (!ref) return nullptr;
    return std::shared_ptr<PGStatReachability>(new PGStatReachability(std::move(ref)));
}

std::shared_ptr<PGStatReachability> PGStatReachability::reachabilityWithHostname(const std::string& hostname) {
    return initWithReachabilityRef(platform::NetworkReachability::forHostName(hostname));
}

std::shared_ptr<PGStatReachability> PGStatReachability::reachabilityWithAddress(const sockaddr_in& address) {
    if (address.sin_family != AF_INET) return nullptr;
    return initWithReachabilityRef(platform::NetworkReachability::forAddress(address.sin_addr.s_addr));
}

std::shared_ptr<PGStatReachability> PGStatReachability::reachabilityForInternetConnection() {
    sockaddr_in zero{};
    zero.sin_family = AF_INET;
    return reachabilityWithAddress(zero);
}

std::shared_ptr<PGStatReachability> PGStatReachability::reachabilityForLocalWiFi() {
    sockaddr_in linkLocal{};
    linkLocal.sin_family = AF_INET;
    linkLocal.sin_addr.s_addr = htonl(0xA9FE0000u);  // 169.254.0.0
    return reachabilityWithAddress(linkLocal);
}

PGStatReachability::PGStatReachability(std::unique_ptr<platform::NetworkReachability> ref)
    : reachabilityRef_(std::move(ref)) {}

PGStatReachability::~PGStatReachability() {
    stopNotifier();
    reachableBlock = nullptr;
    unreachableBlock = nullptr;
}

bool PGStatReachability::startNotifier() {
    if (reachabilityObject_) return true;
    reachabilityObject_ = shared_from_this();
    reachabilitySerialQueue_ = &reachabilityQueue();
    std::weak_ptr<PGStatReachability> weak = reachabilityObject_;
    // The platform's watcher calls back on the main loop; the change itself is handled on the serial queue.
    const bool watching = reachabilityRef_->startWatching([weak] {
        std::shared_ptr<PGStatReachability> self = weak.lock();
        if (!self || !self->reachabilitySerialQueue_) return;
        const std::uint32_t flags = self->reachabilityFlags();
        self->reachabilitySerialQueue_->async([self, flags] { self->reachabilityChanged(flags); });
    });
    if (!watching) {
        statLog("SCNetworkReachabilitySetCallback() failed: %s", std::strerror(errno));
        reachabilitySerialQueue_ = nullptr;
        reachabilityObject_.reset();
        return false;
    }
    mainLoopSource_ = platform::HostLoop::main().addSource([weak] {
        if (std::shared_ptr<PGStatReachability> self = weak.lock()) self->deliverPosted();
    });
    return true;
}

void PGStatReachability::stopNotifier() {
    if (!reachabilityObject_) return;
    reachabilityRef_->stopWatching();
    platform::HostLoop::main().removeSource(mainLoopSource_);
    mainLoopSource_ = 0;
    reachabilitySerialQueue_ = nullptr;
    // Last: this may be the last reference.
    std::shared_ptr<PGStatReachability> keptUntilReturn = std::move(reachabilityObject_);
}

std::shared_ptr<PGStatReachability> PGStatReachability::reachabilityObject() const { return reachabilityObject_; }

void PGStatReachability::reachabilityChanged(std::uint32_t flags) {
    const Block& block = isReachableWithFlags(flags) ? reachableBlock : unreachableBlock;
    if (block) block(*this);
    postChangeOnMainLoop();
}

void PGStatReachability::postChangeOnMainLoop() {
    std::lock_guard<std::mutex> lock(postedMutex_);
    ++postedChanges_;
}

void PGStatReachability::deliverPosted() {
    int changes = 0;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        std::swap(changes, postedChanges_);
    }
    for (; changes > 0; --changes) {
        std::vector<std::function<void(PGStatReachability&)>> current;
        {
            Observers& registry = observers();
            std::lock_guard<std::mutex> lock(registry.mutex);
            for (const auto& entry : registry.byToken) current.push_back(entry.second);
        }
        for (const auto& observer : current) observer(*this);
    }
}

bool PGStatReachability::readFlags(std::uint32_t* flags) const { return reachabilityRef_->readFlags(flags); }

std::uint32_t PGStatReachability::reachabilityFlags() const {
    std::uint32_t flags = 0;
    return readFlags(&flags) ? flags : 0;
}

bool PGStatReachability::isReachableWithFlags(std::uint32_t flags) const {
    if (!(flags & kReachable)) return false;
    if ((flags & kConnectionRequired) && (flags & kTransientConnection)) return false;
    if ((flags & kIsWWAN) && !reachableOnWWAN) return false;
    return true;
}

bool PGStatReachability::isReachable() const {
    std::uint32_t flags = 0;
    return readFlags(&flags) && isReachableWithFlags(flags);
}

bool PGStatReachability::isReachableViaWWAN() const {
    std::uint32_t flags = 0;
    return readFlags(&flags) && (flags & kReachable) && (flags & kIsWWAN);
}

bool PGStatReachability::isReachableViaWiFi() const {
    std::uint32_t flags = 0;
    return readFlags(&flags) && (flags & kReachable) && !(flags & kIsWWAN);
}

bool PGStatReachability::isConnectionRequired() const { return reachabilityFlags() & kConnectionRequired; }

bool PGStatReachability::isConnectionOnDemand() const { return reachabilityFlags() & kConnectionOnDemand; }

bool PGStatReachability::isInterventionRequired() const { return reachabilityFlags() & kInterventionRequired; }

PGStatReachability::Status PGStatReachability::currentReachabilityStatus() const {
    if (!isReachable()) return NotReachable;
    return isReachableViaWiFi() ? ReachableViaWiFi : ReachableViaWWAN;
}

std::string PGStatReachability::currentReachabilityString() const {
    switch (currentReachabilityStatus()) {
        case ReachableViaWWAN: return "Cellular";
        case ReachableViaWiFi: return "WiFi";
        case NotReachable: break;
    }
    return "No Connection";
}

std::string PGStatReachability::currentReachabilityFlags() const {
    const std::uint32_t flags = reachabilityFlags();
    const struct {
        std::uint32_t bit;
        char letter;
    } letters[] = {{kIsWWAN, 'W'},
                   {kReachable, 'R'},
                   {kTransientConnection, 't'},
                   {kConnectionRequired, 'c'},
                   {kConnectionOnTraffic, 'C'},
                   {kInterventionRequired, 'i'},
                   {kConnectionOnDemand, 'D'}};
    std::string text;
    for (const auto& entry : letters) text += (flags & entry.bit) ? entry.letter : '-';
    return text;
}

}  // namespace pigeon
