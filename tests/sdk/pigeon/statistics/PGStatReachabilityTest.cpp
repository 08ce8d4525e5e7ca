// Reachability of the statistics module: the flags, the factories and the notifier.
#include "sdk/pigeon/statistics/PGStatReachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/Clock.h"
#include "platform/HostLoop.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {
namespace {

using R = PGStatReachability;
using platform::NetworkPath;

class PGStatReachabilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::setFixed(10.0);
        platform::HostLoop::main().setFixedStep(true);
        platform::setNetworkPathForTesting(NetworkPath::WiFi);
    }
    void TearDown() override {
        platform::setReachabilityFlagsForTesting(std::nullopt);
        platform::setNetworkPathForTesting(std::nullopt);
        platform::HostLoop::main().reset();
        platform::Clock::useRealTime();
    }

    // What happened, in order, and whether it happened on the main loop's thread.
    void note(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        happened_.push_back(what + (std::this_thread::get_id() == mainThread_ ? " on main" : " on queue"));
    }
    std::vector<std::string> happened() {
        std::lock_guard<std::mutex> lock(mutex_);
        return happened_;
    }
    // A pass of the main loop (the watcher looks), the queue's work, and a pass more (the notification).
    static void settle() {
        platform::HostLoop::main().runOnce();
        ASSERT_TRUE(StatQueue::waitUntilIdle(std::chrono::seconds(10)));
        platform::HostLoop::main().runOnce();
    }

    std::thread::id mainThread_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::vector<std::string> happened_;
};

}  // namespace

TEST_F(PGStatReachabilityTest, FlagsDecideReachability) {
    auto reach = R::reachabilityForInternetConnection();
    ASSERT_TRUE(reach);
    EXPECT_TRUE(reach->isReachableWithFlags(R::kReachable | R::kConnectionRequired));
    EXPECT_FALSE(reach->isReachableWithFlags(R::kReachable | R::kConnectionRequired | R::kTransientConnection));
    EXPECT_TRUE(reach->isReachableWithFlags(R::kReachable | R::kIsWWAN));
    reach->reachableOnWWAN = false;
    EXPECT_FALSE(reach->isReachableWithFlags(R::kReachable | R::kIsWWAN));

    platform::setNetworkPathForTesting(NetworkPath::Cellular);
    EXPECT_FALSE(reach->isReachable()) << "cellular is switched off for this wrapper";
    EXPECT_TRUE(R::reachabilityForInternetConnection()->isReachableViaWWAN());
    EXPECT_EQ(R::reachabilityForInternetConnection()->currentReachabilityString(), "Cellular");
    EXPECT_EQ(R::reachabilityForInternetConnection()->currentReachabilityFlags(), "WR-----");
    platform::setNetworkPathForTesting(NetworkPath::WiFi);
    EXPECT_EQ(reach->currentReachabilityStatus(), R::ReachableViaWiFi);
    platform::setNetworkPathForTesting(NetworkPath::None);
    EXPECT_EQ(reach->currentReachabilityString(), "No Connection");
    EXPECT_FALSE(reach->isConnectionRequired());
}

TEST_F(PGStatReachabilityTest, OnDemandAndInterventionEachReadTheirOwnFlag) {
    auto reach = R::reachabilityForInternetConnection();
    ASSERT_TRUE(reach);
    platform::setReachabilityFlagsForTesting(R::kReachable | R::kConnectionOnDemand);
    EXPECT_TRUE(reach->isConnectionOnDemand()) << "without connection-required";
    EXPECT_FALSE(reach->isInterventionRequired());
    platform::setReachabilityFlagsForTesting(R::kReachable | R::kInterventionRequired);
    EXPECT_TRUE(reach->isInterventionRequired()) << "without connection-required";
    EXPECT_FALSE(reach->isConnectionOnDemand());
    platform::setReachabilityFlagsForTesting(R::kConnectionRequired | R::kConnectionOnTraffic);
    EXPECT_FALSE(reach->isConnectionOnDemand()) << "on traffic is not on demand";
    EXPECT_TRUE(reach->isConnectionRequired());
    platform::setReachabilityFlagsForTesting(std::nullopt);
    EXPECT_FALSE(reach->isConnectionOnDemand());
}

TEST_F(PGStatReachabilityTest, FactoriesAskAfterTheirOwnTargets) {
    platform::setNetworkPathForTesting(NetworkPath::None);
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(0x7F000001u);
    auto local = R::reachabilityWithAddress(loopback);
    ASSERT_TRUE(local);
    EXPECT_TRUE(local->isReachable()) << "the machine itself is reachable without a network";
    auto host = R::reachabilityWithHostname("example.org");
    ASSERT_TRUE(host);
    EXPECT_FALSE(host->isReachable());
    auto linkLocal = R::reachabilityForLocalWiFi();
    ASSERT_TRUE(linkLocal);
    EXPECT_FALSE(linkLocal->isReachableViaWiFi());
    platform::setNetworkPathForTesting(NetworkPath::WiFi);
    EXPECT_TRUE(linkLocal->isReachableViaWiFi());
    EXPECT_TRUE(host->isReachableViaWiFi());

    sockaddr_in other{};
    other.sin_family = AF_INET6;
    EXPECT_FALSE(R::reachabilityWithAddress(other)) << "not an IPv4 address";
    EXPECT_FALSE(R::initWithReachabilityRef(nullptr));
}

TEST_F(PGStatReachabilityTest, ChangesRunTheirBlockOnTheQueueThenNotifyOnTheMainLoop) {
    auto reach = R::reachabilityForInternetConnection();
    reach->reachableBlock = [this](R&) { note("reachable"); };
    reach->unreachableBlock = [this](R&) { note("unreachable"); };
    const std::uint64_t token = R::addObserver(
        [this, &reach](R& changed) { note(&changed == reach.get() ? "notified" : "notified of another"); });
    ASSERT_TRUE(reach->startNotifier());
    EXPECT_EQ(reach->reachabilityObject(), reach);
    EXPECT_TRUE(reach->reachabilitySerialQueue());

    platform::setNetworkPathForTesting(NetworkPath::None);
    settle();
    platform::setNetworkPathForTesting(NetworkPath::WiFi);
    settle();
    EXPECT_EQ(happened(), (std::vector<std::string>{"unreachable on queue", "notified on main", "reachable on queue",
                                                    "notified on main"}));

    reach->stopNotifier();
    EXPECT_FALSE(reach->reachabilityObject());
    EXPECT_FALSE(reach->reachabilitySerialQueue());
    platform::setNetworkPathForTesting(NetworkPath::None);
    settle();
    EXPECT_EQ(happened().size(), 4u) << "nothing after the notifier stopped";
    R::removeObserver(token);
}

TEST_F(PGStatReachabilityTest, AWatchingWrapperKeepsItselfAlive) {
    std::weak_ptr<R> weak;
    {
        auto reach = R::reachabilityWithHostname("example.org");
        ASSERT_TRUE(reach->startNotifier());
        weak = reach;
    }
    ASSERT_FALSE(weak.expired());
    weak.lock()->stopNotifier();
    EXPECT_TRUE(weak.expired());
}

}  // namespace pigeon
