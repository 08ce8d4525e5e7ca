#include "platform/UrlHandover.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/HostLoop.h"
#include "support/TemporaryFolder.h"

namespace platform {
namespace {

using ::testing::ElementsAre;

class UrlHandoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        savedRuntime = runtime ? runtime : "";
        setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
        HostLoop::main().setFixedStep(true);
    }
    void TearDown() override {
        HostLoop::main().reset();
        Clock::useRealTime();
        setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    }

    // Sends from another thread while the loop turns, as a second launch would; bounded.
    bool handOver(const std::string& url) {
        auto sent = std::async(std::launch::async, [url] { return UrlHandover::sendToRunning("stargrid-test", url); });
        for (int pass = 0; pass < 20000 && sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
             ++pass) {
            HostLoop::main().runOnce();
            usleep(100);
        }
        return sent.get();
    }
    // Turns the loop until the test holds (bounded).
    static bool turnUntil(const std::function<bool()>& done) {
        for (int pass = 0; pass < 1000 && !done(); ++pass) HostLoop::main().runOnce();
        return done();
    }

    kite::test::TemporaryFolder folder{"stargrid-runtime"};
    std::string savedRuntime;
};

TEST_F(UrlHandoverTest, UrlsAreCheckedStrictly) {
    EXPECT_TRUE(UrlHandover::checkUrl("pg5e18c0a7d94b2f63://platformId=pigeon&state=1"));
    EXPECT_FALSE(UrlHandover::checkUrl(""));
    EXPECT_FALSE(UrlHandover::checkUrl("no scheme here"));
    EXPECT_FALSE(UrlHandover::checkUrl("1abc://x"));
    EXPECT_FALSE(UrlHandover::checkUrl("abc://x y"));
    EXPECT_FALSE(UrlHandover::checkUrl("abc://x\ny"));
    EXPECT_FALSE(UrlHandover::checkUrl("abc://\xe4\xbd\xa0"));
    EXPECT_FALSE(UrlHandover::checkUrl("abc://" + std::string(UrlHandover::kLongestUrl, 'a')));
}

TEST_F(UrlHandoverTest, ASecondLaunchHandsItsUrlToTheRunningGame) {
    EXPECT_FALSE(UrlHandover::sendToRunning("stargrid-test", "game://nobody-listens"));
    std::vector<std::string> received;
    auto handover = UrlHandover::listen("stargrid-test", [&](const std::string& url) { received.push_back(url); });
    ASSERT_TRUE(handover);
    EXPECT_EQ(handover->path(), folder.path() + "/stargrid-test.sock");
    EXPECT_FALSE(UrlHandover::listen("stargrid-test", nullptr));  // one game listens at a time
    EXPECT_TRUE(handOver("game://first"));
    EXPECT_TRUE(handOver("game://second?x=1"));
    EXPECT_FALSE(handOver("not a url"));
    EXPECT_TRUE(turnUntil([&] { return received.size() == 2; }));
    EXPECT_THAT(received, ElementsAre("game://first", "game://second?x=1"));
}

TEST_F(UrlHandoverTest, AnAnswerAsLongAsALaunchCanCarryArrivesWhole) {
    std::vector<std::string> received;
    auto handover = UrlHandover::listen("stargrid-test", [&](const std::string& url) { received.push_back(url); });
    ASSERT_TRUE(handover);
    const std::string prefix = "pg5e18c0a7d94b2f63://cardPackage/x?addCardInfo=";
    const std::string longest = prefix + std::string(UrlHandover::kLongestUrl - prefix.size(), 'c');
    ASSERT_GT(longest.size(), 100000u);
    EXPECT_TRUE(handOver(longest));
    EXPECT_TRUE(turnUntil([&] { return !received.empty(); }));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], longest);
}

TEST_F(UrlHandoverTest, OversizedAndBrokenTextsNeverReachTheHandler) {
    std::vector<std::string> received;
    auto handover = UrlHandover::listen("stargrid-test", [&](const std::string& url) { received.push_back(url); });
    ASSERT_TRUE(handover);
    auto sendRaw = [&](const std::string& bytes) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, handover->path().c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_GT(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), 0);
        close(fd);
        for (int pass = 0; pass < 50; ++pass) HostLoop::main().runOnce();
    };
    sendRaw(std::string(UrlHandover::kLongestUrl + 100, 'a'));
    sendRaw("game://x\x01y\n");
    sendRaw("game://ok\ntrailing junk");
    EXPECT_THAT(received, ElementsAre("game://ok"));
}

TEST_F(UrlHandoverTest, AFloodIsHandedOnOneAtATimeAndOnlyABoundedNumberWaits) {
    struct Received {
        double at;
        std::string url;
    };
    std::vector<Received> received;
    auto handover = UrlHandover::listen("stargrid-test", [&](const std::string& url) {
        received.push_back({Clock::now(), url});
    });
    ASSERT_TRUE(handover);
    // 160 URLs, four senders between passes (what the socket's backlog holds), none waiting for its receipt.
    int sent = 0;
    for (int batch = 0; batch < 40; ++batch) {
        for (int i = 0; i < 4; ++i, ++sent) {
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, handover->path().c_str(), sizeof address.sun_path - 1);
            ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << sent;
            const std::string line = "game://flood/" + std::to_string(sent) + "\n";
            ASSERT_EQ(send(fd, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
            close(fd);
        }
        HostLoop::main().runOnce();
    }
    // What waits is handed on after the flood, at the same pace; the rest was refused.
    const std::size_t duringFlood = received.size();
    EXPECT_LE(duringFlood, 4u);  // 40 passes of 1/60 s at one URL per quarter second
    for (int pass = 0; pass < 1000; ++pass) HostLoop::main().runOnce();
    ASSERT_GE(received.size(), UrlHandover::kMostWaiting);
    EXPECT_LE(received.size(), duringFlood + UrlHandover::kMostWaiting);
    int previous = -1;
    for (std::size_t i = 0; i < received.size(); ++i) {
        const int index = std::stoi(received[i].url.substr(std::string("game://flood/").size()));
        if (i < UrlHandover::kMostWaiting) {
            EXPECT_EQ(index, static_cast<int>(i)) << "the first ones all wait";
        }
        EXPECT_GT(index, previous) << "in the order sent";
        previous = index;
        if (i > 0) {
            EXPECT_GE(received[i].at - received[i - 1].at, UrlHandover::kUrlInterval - 1e-9);
        }
    }
}

TEST_F(UrlHandoverTest, AStaleSocketOfAGameThatEndedIsReplaced) {
    {
        auto first = UrlHandover::listen("stargrid-test", nullptr);
        ASSERT_TRUE(first);
    }
    // A socket file nobody answers on, as a killed game leaves it.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = UrlHandover::socketPath("stargrid-test");
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
    EXPECT_TRUE(UrlHandover::listen("stargrid-test", nullptr));
}

}  // namespace
}  // namespace platform
