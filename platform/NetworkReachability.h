// Whether the network can be reached, and by which path.
#pragma once
#include <optional>

namespace platform {

enum class NetworkPath { None, Cellular, WiFi };

// Reachable when a default route exists (a desktop's link counts as Wi-Fi; there
// is no cellular link here). STARGRID_NETWORK=up or down forces the answer.
NetworkPath currentNetworkPath();

// Tests fix the answer; nothing returns to the real state.
void setNetworkPathForTesting(std::optional<NetworkPath> path);

}  // namespace platform
