#include "platform/UrlHandover.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
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
using Outcome = UrlHandover::Receipt::Outcome;

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

    // Sends from another thread while the loop turns (or turn runs), as a second launch would; bounded.
    UrlHandover::Receipt handOver(
        const std::string& url, const std::function<void()>& turn = [] { HostLoop::main().runOnce(); }) {
        auto sent = std::async(std::launch::async, [url] { return UrlHandover::sendToRunning("stargrid-test", url); });
        for (int pass = 0; pass < 20000 && sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
             ++pass) {
            turn();
            usleep(100);
        }
        return sent.get();
    }
    // The running game's answer on a sender's socket, up to its end (bounded).
    static std::string answerOn(int fd) {
        std::string answer;
        char buffer[256];
        pollfd ready{fd, POLLIN, 0};
        for (ssize_t n = 1; n > 0 && poll(&ready, 1, 5000) == 1;) {
            n = recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) answer.append(buffer, static_cast<std::size_t>(n));
        }
        return answer;
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
    EXPECT_EQ(UrlHandover::sendToRunning("stargrid-test", "game://nobody-listens").outcome, Outcome::NobodyListens);
    std::vector<std::string> received;
    auto handover = UrlHandover::listen("stargrid-test", [&](const std::string& url) { received.push_back(url); });
    ASSERT_TRUE(handover);
    EXPECT_EQ(handover->path(), folder.path() + "/stargrid-test.sock");
    EXPECT_FALSE(UrlHandover::listen("stargrid-test", nullptr));  // one game listens at a time
    EXPECT_EQ(handOver("game://first").outcome, Outcome::Accepted);
    EXPECT_EQ(handOver("game://second?x=1").outcome, Outcome::Accepted);
    EXPECT_EQ(handOver("not a url").outcome, Outcome::Refused);
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
    EXPECT_EQ(handOver(longest).outcome, Outcome::Accepted);
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
    // 160 URLs, four senders between passes (what the socket's backlog holds), none waiting for its answer
    // before the next is sent. Each is answered in the pass that reads it.
    std::vector<std::string> accepted;
    int refused = 0;
    for (int sent = 0, batch = 0; batch < 40; ++batch) {
        std::vector<std::pair<int, std::string>> senders;
        for (int i = 0; i < 4; ++i, ++sent) {
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, handover->path().c_str(), sizeof address.sun_path - 1);
            ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << sent;
            const std::string url = "game://flood/" + std::to_string(sent);
            const std::string line = url + "\n";
            ASSERT_EQ(send(fd, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
            senders.emplace_back(fd, url);
        }
        HostLoop::main().runOnce();
        for (const auto& [fd, url] : senders) {
            const std::string answer = answerOn(fd);
            close(fd);
            if (answer == "accepted\n") {
                accepted.push_back(url);
            } else {
                EXPECT_EQ(answer, "refused: 16 URLs wait already\n") << url;
                ++refused;
            }
        }
    }
    EXPECT_GT(refused, 100);
    // A second launch while the queue is full (the last pass filled it and was not a turn) learns why;
    // the clock stands still meanwhile, so nothing is handed on to make room.
    const UrlHandover::Receipt late = handOver("game://flood/late", [&] { handover->poll(); });
    EXPECT_EQ(late.outcome, Outcome::Refused);
    EXPECT_EQ(late.reason, "16 URLs wait already");
    // What waits is handed on after the flood, at the same pace: exactly the URLs whose senders heard
    // "accepted".
    const std::size_t duringFlood = received.size();
    EXPECT_LE(duringFlood, 4u);  // 40 passes of 1/60 s at one URL per quarter second
    for (int pass = 0; pass < 1000; ++pass) HostLoop::main().runOnce();
    ASSERT_GE(received.size(), UrlHandover::kMostWaiting);
    EXPECT_LE(received.size(), duringFlood + UrlHandover::kMostWaiting);
    std::vector<std::string> handedOn;
    int previous = -1;
    for (std::size_t i = 0; i < received.size(); ++i) {
        handedOn.push_back(received[i].url);
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
    EXPECT_EQ(handedOn, accepted);
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
