// Network reachability of the statistics module over the platform's answer.
#include "sdk/pigeon/statistics/PGStatReachability.h"

#include "platform/NetworkReachability.h"

namespace pigeon {

std::uint32_t PGStatReachability::reachabilityFlags() const {
    switch (platform::currentNetworkPath()) {
        case platform::NetworkPath::WiFi: return kReachable;
        case platform::NetworkPath::Cellular: return kReachable | kIsWWAN;
        case platform::NetworkPath::None: break;
    }
    return 0;
}

bool PGStatReachability::isReachableWithFlags(std::uint32_t flags) const {
    if (!(flags & kReachable)) return false;
    if ((flags & kConnectionRequired) && (flags & kTransientConnection)) return false;
    if ((flags & kIsWWAN) && !reachableOnWWAN) return false;
    return true;
}

bool PGStatReachability::isReachableViaWWAN() const {
    const std::uint32_t flags = reachabilityFlags();
    return (flags & kReachable) && (flags & kIsWWAN);
}

bool PGStatReachability::isReachableViaWiFi() const {
    const std::uint32_t flags = reachabilityFlags();
    return (flags & kReachable) && !(flags & kIsWWAN);
}

bool PGStatReachability::isConnectionOnDemand() const {
    const std::uint32_t flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & (kConnectionOnTraffic | kConnectionOnDemand));
}

bool PGStatReachability::isInterventionRequired() const {
    const std::uint32_t flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & kInterventionRequired);
}

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
