// Network reachability on Linux: the network counts as reachable while the machine has a default
// route (a desktop's link counts as Wi-Fi; there is no cellular link here); route changes are
// watched on a netlink route socket polled from the host loop. STARGRID_NETWORK=up or down, or
// setNetworkPathForTesting, fixes the answer; another value is told once on stderr and left to the table.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

enum class NetworkPath { None, Cellular, WiFi };

// The path to the network now: the test's choice, else STARGRID_NETWORK, else the routing table.
NetworkPath currentNetworkPath();
// Tests fix the answer; nothing returns to the real state. Watchers report the change at their next poll.
void setNetworkPathForTesting(std::optional<NetworkPath> path);
// Tests fix the flags every reachability object reads, bits a desktop never shows among them; they
// win over the path above. Empty hands the flags back to the path.
void setReachabilityFlagsForTesting(std::optional<std::uint32_t> flags);

// The flag bits the game reads, with the values the phone's reachability service gives them.
namespace reachability {
constexpr std::uint32_t kTransientConnection = 1;
constexpr std::uint32_t kReachable = 2;
constexpr std::uint32_t kConnectionRequired = 4;
constexpr std::uint32_t kConnectionOnTraffic = 8;
constexpr std::uint32_t kInterventionRequired = 16;
constexpr std::uint32_t kConnectionOnDemand = 32;
constexpr std::uint32_t kIsLocalAddress = 0x10000;
constexpr std::uint32_t kIsDirect = 0x20000;
constexpr std::uint32_t kIsWWAN = 0x40000;
}  // namespace reachability

// What the routing table says.
struct RouteState {
    bool defaultRoute = false;  // some route leads off this network
    bool directRoute = false;   // some network is attached without a gateway
    bool operator==(const RouteState& other) const {
        return defaultRoute == other.defaultRoute && directRoute == other.directRoute;
    }
};

class NetworkReachability {
public:
    enum class Target { HostName, Address, LocalLink };

    // A host name (only the route matters: nothing is resolved), an IPv4 address in network
    // order (0 stands for the internet at large), or the link-local network.
    static std::unique_ptr<NetworkReachability> forHostName(const std::string& name);
    static std::unique_ptr<NetworkReachability> forAddress(std::uint32_t ipv4NetworkOrder);
    static std::unique_ptr<NetworkReachability> forLocalLink();
    ~NetworkReachability();
    NetworkReachability(const NetworkReachability&) = delete;
    NetworkReachability& operator=(const NetworkReachability&) = delete;

    // The current flags; false when the routing table cannot be read.
    bool readFlags(std::uint32_t* flags) const;

    // Opens the route socket and polls it on the main host loop; onChange runs there whenever
    // the flags change. False when the socket cannot be opened.
    bool startWatching(std::function<void()> onChange);
    void stopWatching();
    bool isWatching() const;

    // The routing table now; empty when it cannot be read.
    static std::optional<RouteState> routeState();

private:
    struct Watch;
    NetworkReachability(Target target, std::uint32_t address);
    void poll();

    Target target_;
    std::uint32_t address_ = 0;
    std::unique_ptr<Watch> watch_;
};

}  // namespace platform
