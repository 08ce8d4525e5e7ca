// Network reachability from the kernel's routing table.
#include "platform/NetworkReachability.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

namespace platform {

namespace {

std::mutex overrideMutex;
std::optional<NetworkPath> overridePath;

// /proc/net/route lists IPv4 routes; a destination of 00000000 is the default route.
bool hasDefaultRoute() {
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // the column names
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string interface, destination;
        if (fields >> interface >> destination && destination == "00000000") return true;
    }
    std::ifstream routes6("/proc/net/ipv6_route");
    while (std::getline(routes6, line)) {
        if (line.compare(0, 32, std::string(32, '0')) == 0 && line.find(" lo") == std::string::npos) return true;
    }
    return false;
}

}  // namespace

NetworkPath currentNetworkPath() {
    {
        std::lock_guard<std::mutex> lock(overrideMutex);
        if (overridePath) return *overridePath;
    }
    if (const char* forced = std::getenv("STARGRID_NETWORK")) {
        if (std::strcmp(forced, "down") == 0) return NetworkPath::None;
        if (std::strcmp(forced, "up") == 0) return NetworkPath::WiFi;
    }
    return hasDefaultRoute() ? NetworkPath::WiFi : NetworkPath::None;
}

void setNetworkPathForTesting(std::optional<NetworkPath> path) {
    std::lock_guard<std::mutex> lock(overrideMutex);
    overridePath = path;
}

}  // namespace platform
