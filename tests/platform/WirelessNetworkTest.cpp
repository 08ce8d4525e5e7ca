// The Wi-Fi network as the kernel's wireless extensions report it, interface by interface.
#include "platform/WirelessNetwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace platform {
namespace {

TEST(WirelessNetwork, OnlyWirelessInterfacesAnswerAndNamesAreChecked) {
    const std::vector<std::string> wireless = supportedWirelessInterfaces();
    EXPECT_EQ(std::count(wireless.begin(), wireless.end(), "lo"), 0);
    // Whatever this machine has: each wireless interface answers, joined to a network or not.
    for (const std::string& name : wireless) EXPECT_TRUE(currentWirelessNetwork(name)) << name;
    EXPECT_FALSE(currentWirelessNetwork("lo"));
    EXPECT_FALSE(currentWirelessNetwork("nosuchif0"));
    EXPECT_FALSE(currentWirelessNetwork(""));
    EXPECT_FALSE(currentWirelessNetwork(std::string(64, 'w')));  // longer than any interface name
}

}  // namespace
}  // namespace platform
