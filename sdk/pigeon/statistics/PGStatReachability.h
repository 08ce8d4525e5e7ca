// Whether the network is reachable for the statistics module, and by which path.
#pragma once
#include <cstdint>
#include <string>

namespace pigeon {

// The module only polls; the state is read from the platform at each query.
class PGStatReachability {
public:
    enum Flags : std::uint32_t {
        kTransientConnection = 1,
        kReachable = 2,
        kConnectionRequired = 4,
        kConnectionOnTraffic = 8,
        kInterventionRequired = 0x10,
        kConnectionOnDemand = 0x20,
        kIsWWAN = 0x40000,
    };
    enum Status { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };

    static PGStatReachability reachabilityForInternetConnection() { return PGStatReachability(); }

    bool reachableOnWWAN = true;

    bool isReachableWithFlags(std::uint32_t flags) const;
    bool isReachable() const { return isReachableWithFlags(reachabilityFlags()); }
    bool isReachableViaWWAN() const;
    bool isReachableViaWiFi() const;
    bool isConnectionRequired() const { return reachabilityFlags() & kConnectionRequired; }
    bool isConnectionOnDemand() const;
    bool isInterventionRequired() const;
    Status currentReachabilityStatus() const;
    std::uint32_t reachabilityFlags() const;
    std::string currentReachabilityString() const;
    std::string currentReachabilityFlags() const;
};

}  // namespace pigeon
