#include "platform/NetworkReachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Clock.h"
#include "platform/HostLoop.h"

namespace platform {
namespace {

// Whether /proc lists an IPv4 default route in the main table.
bool procListsIpv4DefaultRoute() {
    std::ifstream table("/proc/net/route");
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string interface, destination, gateway, flags, refs, use, metric, mask;
        fields >> interface >> destination >> gateway >> flags >> refs >> use >> metric >> mask;
        if (destination == "00000000" && mask == "00000000") return true;
    }
    return false;
}

class NetworkReachabilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::setFixed(10.0);
        HostLoop::main().setFixedStep(true);
    }
    void TearDown() override {
        setNetworkPathForTesting(std::nullopt);
        HostLoop::main().reset();
        Clock::useRealTime();
    }
};

TEST_F(NetworkReachabilityTest, TheRoutingTableIsReadThroughNetlink) {
    setNetworkPathForTesting(std::nullopt);
    std::optional<RouteState> state = NetworkReachability::routeState();
    ASSERT_TRUE(state);
    if (procListsIpv4DefaultRoute()) {
        EXPECT_TRUE(state->defaultRoute);
    }
    std::uint32_t flags = 0;
    ASSERT_TRUE(NetworkReachability::forHostName("example.org")->readFlags(&flags));
    EXPECT_EQ((flags & reachability::kReachable) != 0, state->defaultRoute);
}

TEST_F(NetworkReachabilityTest, ForcedStatesDecideTheFlagsOfEveryTarget) {
    auto host = NetworkReachability::forHostName("example.org");
    auto local = NetworkReachability::forLocalLink();
    auto loopback = NetworkReachability::forAddress(htonl(0x7F000001u));
    std::uint32_t flags = 1234;
    setNetworkPathForTesting(NetworkPath::None);
    ASSERT_TRUE(host->readFlags(&flags));
    EXPECT_EQ(flags, 0u);
    ASSERT_TRUE(local->readFlags(&flags));
    EXPECT_EQ(flags, 0u);
    ASSERT_TRUE(loopback->readFlags(&flags));
    EXPECT_NE(flags & reachability::kIsLocalAddress, 0u);
    setNetworkPathForTesting(NetworkPath::WiFi);
    ASSERT_TRUE(host->readFlags(&flags));
    EXPECT_EQ(flags, reachability::kReachable);
    ASSERT_TRUE(local->readFlags(&flags));
    EXPECT_EQ(flags, reachability::kReachable | reachability::kIsDirect);
    setNetworkPathForTesting(NetworkPath::Cellular);
    EXPECT_EQ(currentNetworkPath(), NetworkPath::Cellular);
    ASSERT_TRUE(host->readFlags(&flags));
    EXPECT_EQ(flags, reachability::kReachable | reachability::kIsWWAN);
}

TEST_F(NetworkReachabilityTest, AnUnknownForcedStateIsReportedOnceAndTheRoutingTableDecides) {
    setNetworkPathForTesting(std::nullopt);
    setenv("STARGRID_NETWORK", "sideways", 1);
    testing::internal::CaptureStderr();
    const NetworkPath path = currentNetworkPath();
    std::uint32_t flags = 0;
    const bool read = NetworkReachability::forHostName("example.org")->readFlags(&flags);
    const std::string said = testing::internal::GetCapturedStderr();
    unsetenv("STARGRID_NETWORK");
    EXPECT_EQ(said, "NetworkReachability: unknown STARGRID_NETWORK \"sideways\"; the routing table decides\n");
    const std::optional<RouteState> state = NetworkReachability::routeState();
    ASSERT_TRUE(state && read);
    EXPECT_EQ(path, state->defaultRoute ? NetworkPath::WiFi : NetworkPath::None);
    EXPECT_EQ((flags & reachability::kReachable) != 0, state->defaultRoute);
}

TEST_F(NetworkReachabilityTest, WatchersHearOfAChangeOnTheNextLoopPassAndOfNothingElse) {
    setNetworkPathForTesting(NetworkPath::WiFi);
    auto host = NetworkReachability::forHostName("example.org");
    int changes = 0;
    ASSERT_TRUE(host->startWatching([&] { ++changes; }));
    HostLoop::main().runOnce();
    EXPECT_EQ(changes, 0);
    setNetworkPathForTesting(NetworkPath::None);
    HostLoop::main().runOnce();
    HostLoop::main().runOnce();
    EXPECT_EQ(changes, 1);
    setNetworkPathForTesting(NetworkPath::None);
    HostLoop::main().runOnce();
    EXPECT_EQ(changes, 1);
    host->stopWatching();
    setNetworkPathForTesting(NetworkPath::WiFi);
    HostLoop::main().runOnce();
    EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace platform
