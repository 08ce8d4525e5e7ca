#include "app-shell/Reachability.h"

#include <arpa/inet.h>

#include <cstdio>

#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "platform/NetworkReachability.h"

const char* const kReachabilityChangedNotification = "NetworkReachabilityChangedNotification";

namespace {
const char* const kInternetKey = "InternetConnection";
const char* const kLocalWiFiKey = "LocalWiFiConnection";
}  // namespace

namespace flags = platform::reachability;

Reachability::Reachability(std::unique_ptr<platform::NetworkReachability> reachability, std::string key)
    : reachability_(std::move(reachability)), key_(std::move(key)) {}

Reachability::~Reachability() { stopNotifier(); }

std::unique_ptr<Reachability> Reachability::reachabilityWithHostName(const std::string& hostName) {
    auto platformReachability = platform::NetworkReachability::forHostName(hostName);
    if (!platformReachability) return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(std::move(platformReachability), hostName));
}

std::unique_ptr<Reachability> Reachability::reachabilityWithAddress(const sockaddr_in& address) {
    auto platformReachability = platform::NetworkReachability::forAddress(address.sin_addr.s_addr);
    if (!platformReachability) return nullptr;
    return std::unique_ptr<Reachability>(
        new Reachability(std::move(platformReachability), makeAddressKey(address.sin_addr)));
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection() {
    sockaddr_in zero{};
    zero.sin_family = AF_INET;
    std::unique_ptr<Reachability> reachability = reachabilityWithAddress(zero);
    if (reachability) reachability->key_ = kInternetKey;
    return reachability;
}

std::unique_ptr<Reachability> Reachability::reachabilityForLocalWiFi() {
    auto platformReachability = platform::NetworkReachability::forLocalLink();
    if (!platformReachability) return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(std::move(platformReachability), kLocalWiFiKey));
}

std::string Reachability::makeAddressKey(in_addr address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

bool Reachability::startNotifier() {
    return reachability_->startWatching([this] {
        kite::Director::getInstance()->getEventDispatcher()->dispatchCustomEvent(kReachabilityChangedNotification,
                                                                                 this);
    });
}

void Reachability::stopNotifier() {
    if (reachability_) reachability_->stopWatching();
}

NetworkStatus Reachability::networkStatusForFlags(std::uint32_t value) const {
    if (!(value & flags::kReachable)) return NotReachable;
    if (key_ == kLocalWiFiKey) return (value & flags::kIsDirect) ? ReachableViaWiFi : NotReachable;
    if (value & flags::kIsWWAN) return ReachableViaWWAN;
    const std::uint32_t rest = value & ~(flags::kReachable | flags::kIsDirect | flags::kIsLocalAddress);
    if (rest == (flags::kTransientConnection | flags::kConnectionRequired)) return NotReachable;
    if ((rest & flags::kTransientConnection) || rest == 0) return ReachableViaWiFi;
    return (rest & flags::kConnectionRequired) ? ReachableViaWiFi : NotReachable;
}

NetworkStatus Reachability::currentReachabilityStatus() const {
    std::uint32_t value = 0;
    if (!reachability_->readFlags(&value)) return NotReachable;
    return networkStatusForFlags(value);
}

std::uint32_t Reachability::reachabilityFlags() const {
    std::uint32_t value = 0;
    return reachability_->readFlags(&value) ? value : 0;
}

bool Reachability::isConnectionRequired() const { return (reachabilityFlags() & flags::kConnectionRequired) != 0; }

bool Reachability::isConnectionOnDemand() const {
    const std::uint32_t value = reachabilityFlags();
    return (value & flags::kConnectionRequired) && (value & (flags::kConnectionOnTraffic | flags::kConnectionOnDemand));
}

bool Reachability::isInterventionRequired() const {
    const std::uint32_t value = reachabilityFlags();
    return (value & flags::kConnectionRequired) && (value & flags::kInterventionRequired);
}
