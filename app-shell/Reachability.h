// Whether a host, an address, the internet or the local network can be reached, and by which
// kind of network; posts "NetworkReachabilityChangedNotification" (a custom event carrying this
// object) on the director's event dispatcher whenever the platform reports a change.
#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class NetworkReachability;
}

extern const char* const kReachabilityChangedNotification;

enum NetworkStatus { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };

class Reachability {
public:
    // Null when the platform cannot make the reachability object.
    static std::unique_ptr<Reachability> reachabilityWithHostName(const std::string& hostName);
    static std::unique_ptr<Reachability> reachabilityWithAddress(const sockaddr_in& address);
    static std::unique_ptr<Reachability> reachabilityForInternetConnection();
    static std::unique_ptr<Reachability> reachabilityForLocalWiFi();
    // "%d.%d.%d.%d" of the address's bytes in network order.
    static std::string makeAddressKey(in_addr address);

    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // Change notifications are posted from the main loop until stopNotifier.
    bool startNotifier();
    void stopNotifier();

    NetworkStatus currentReachabilityStatus() const;
    NetworkStatus networkStatusForFlags(std::uint32_t flags) const;
    bool isReachable() const { return currentReachabilityStatus() != NotReachable; }
    bool isReachableViaWWAN() const { return currentReachabilityStatus() == ReachableViaWWAN; }
    bool isReachableViaWiFi() const { return currentReachabilityStatus() == ReachableViaWiFi; }
    bool isConnectionRequired() const;
    bool connectionRequired() const { return isConnectionRequired(); }
    bool isConnectionOnDemand() const;
    bool isInterventionRequired() const;
    // 0 when the flags cannot be read.
    std::uint32_t reachabilityFlags() const;

    bool isEqual(const Reachability& other) const { return key_ == other.key_; }
    const std::string& key() const { return key_; }

private:
    Reachability(std::unique_ptr<platform::NetworkReachability> reachability, std::string key);

    std::unique_ptr<platform::NetworkReachability> reachability_;
    std::string key_;
};
