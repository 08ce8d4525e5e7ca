// The Wi-Fi network the machine is joined to, as its wireless interfaces report it through the
// kernel's wireless extensions: in place of the phone's captive-network information.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct WirelessNetwork {
    std::string ssid;   // the network's name; empty when the interface is joined to none
    std::string bssid;  // the access point's hardware address ("aa:bb:cc:dd:ee:ff"); empty when none
};

// The interfaces that speak wireless, in the system's order.
std::vector<std::string> supportedWirelessInterfaces();

// What the interface is joined to; none when it is not a wireless interface (or does not exist).
std::optional<WirelessNetwork> currentWirelessNetwork(const std::string& interfaceName);

}  // namespace platform
