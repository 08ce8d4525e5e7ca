#include "app-shell/Reachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "platform/Clock.h"
#include "platform/HostLoop.h"
#include "platform/NetworkReachability.h"

namespace {

namespace flags = platform::reachability;

TEST(Reachability, StatusFollowsTheFlags) {
    auto host = Reachability::reachabilityWithHostName("www.example.com");
    ASSERT_TRUE(host);
    EXPECT_EQ(host->networkStatusForFlags(0), NotReachable);
    EXPECT_EQ(host->networkStatusForFlags(flags::kReachable | flags::kIsWWAN), ReachableViaWWAN);
    EXPECT_EQ(host->networkStatusForFlags(flags::kReachable), ReachableViaWiFi);
    EXPECT_EQ(host->networkStatusForFlags(flags::kReachable | flags::kTransientConnection | flags::kConnectionRequired),
              NotReachable);
    EXPECT_EQ(host->networkStatusForFlags(flags::kReachable | flags::kConnectionRequired), ReachableViaWiFi);
    EXPECT_EQ(host->networkStatusForFlags(flags::kReachable | flags::kConnectionOnTraffic), NotReachable);
    EXPECT_EQ(host->networkStatusForFlags(flags::kReachable | flags::kIsDirect | flags::kIsLocalAddress),
              ReachableViaWiFi);

    auto local = Reachability::reachabilityForLocalWiFi();
    EXPECT_EQ(local->key(), "LocalWiFiConnection");
    EXPECT_EQ(local->networkStatusForFlags(flags::kReachable), NotReachable);
    EXPECT_EQ(local->networkStatusForFlags(flags::kReachable | flags::kIsDirect), ReachableViaWiFi);
}

TEST(Reachability, KeysNameTheTargetAndMakeInstancesEqual) {
    EXPECT_TRUE(Reachability::reachabilityWithHostName("a.example")
                    ->isEqual(*Reachability::reachabilityWithHostName("a.example")));
    EXPECT_FALSE(Reachability::reachabilityWithHostName("a.example")
                     ->isEqual(*Reachability::reachabilityWithHostName("b.example")));
    in_addr address{};
    address.s_addr = htonl(0xC0A80102u);
    EXPECT_EQ(Reachability::makeAddressKey(address), "192.168.1.2");
    EXPECT_EQ(Reachability::reachabilityForInternetConnection()->key(), "InternetConnection");
}

TEST(Reachability, ForcedStatesAnswerAndAChangeNotifiesTheListeners) {
    platform::Clock::setFixed(10.0);
    platform::HostLoop::main().setFixedStep(true);
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    auto host = Reachability::reachabilityWithHostName("www.example.com");
    EXPECT_TRUE(host->isReachableViaWiFi());
    EXPECT_FALSE(host->isConnectionRequired());

    std::vector<Reachability*> notified;
    auto* listener = kite::EventListenerCustom::create(kReachabilityChangedNotification, [&](kite::EventCustom* event) {
        notified.push_back(static_cast<Reachability*>(event->getUserData()));
    });
    kite::EventDispatcher* dispatcher = kite::Director::getInstance()->getEventDispatcher();
    // Without a GL view the director keeps its dispatcher off.
    const bool wasEnabled = dispatcher->isEnabled();
    dispatcher->setEnabled(true);
    dispatcher->addEventListenerWithFixedPriority(listener, 1);
    ASSERT_TRUE(host->startNotifier());
    platform::setNetworkPathForTesting(platform::NetworkPath::None);
    platform::HostLoop::main().runOnce();
    EXPECT_FALSE(host->isReachable());
    EXPECT_EQ(host->currentReachabilityStatus(), NotReachable);
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0], host.get());

    host->stopNotifier();
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    platform::HostLoop::main().runOnce();
    EXPECT_EQ(notified.size(), 1u);
    dispatcher->removeEventListener(listener);
    dispatcher->setEnabled(wasEnabled);
    platform::setNetworkPathForTesting(std::nullopt);
    platform::HostLoop::main().reset();
    platform::Clock::useRealTime();
}

}  // namespace
