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
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "UnixSocketClient.h"
#include "platform/Clock.h"
#include "platform/HostLoop.h"
#include "support/ForkedRun.h"
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
    // Turns the loop until the test holds (bounded).
    static bool turnUntil(const std::function<bool()>& done) {
        for (int pass = 0; pass < 1000 && !done(); ++pass) HostLoop::main().runOnce();
        return done();
    }

    // Handlers that record what the game would open (URLs of any scheme).
    static UrlHandover::Handlers recording(std::vector<std::string>& received) {
        UrlHandover::Handlers handlers;
        handlers.open = [&received](const std::string& url) { received.push_back(url); };
        return handlers;
    }
    // A sender that writes bytes straight to the socket, as a program other than the game could.
    static bool sendRaw(int fd, const std::string& bytes) {
        return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // The running game's answer line on a raw sender's socket, without its newline (bounded).
    static std::string answerLineOn(int fd) {
        std::string answer;
        char c;
        pollfd ready{fd, POLLIN, 0};
        while (answer.size() < 256 && poll(&ready, 1, 5000) == 1 && recv(fd, &c, 1, 0) == 1 && c != '\n') answer += c;
        return answer;
    }

    // A launch handing `url` over from another thread; `told` is set once the game says it is starting.
    static std::future<UrlHandover::Receipt> handingOverWhileStarting(const std::string& url,
                                                                      std::promise<void>& told) {
        return std::async(std::launch::async, [url, &told] {
            UrlHandover::Waits waits;
            waits.starting = [&told](std::chrono::steady_clock::duration) { told.set_value(); };
            return UrlHandover::sendToRunning({"stargrid-test"}, url, waits);
        });
    }
    // How long a start-up may take on a loaded machine, at most.
    static constexpr std::chrono::seconds kStartBound{30};

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

TEST_F(UrlHandoverTest, ARefusedUrlsReasonSaysWhatIsWrongAndWhere) {
    for (const auto& [url, why] : std::vector<std::pair<std::string, std::string>>{
             {"abc://x y", "a space at byte 8"},
             {"abc://x\ny", "a control character (0x0a) at byte 8"},
             {"abc://\xe4\xbd\xa0", "a byte beyond ASCII (0xe4) at byte 7"},
             {"ab_c://x", "\"_\" at byte 3 cannot be in a scheme"}}) {
        std::string reason;
        EXPECT_FALSE(UrlHandover::checkUrl(url, &reason));
        EXPECT_EQ(reason, why) << url;
    }
}

TEST_F(UrlHandoverTest, ASecondLaunchHandsItsUrlToTheRunningGame) {
    std::vector<std::string> received;
    auto handover = UrlHandover::listen("stargrid-test", recording(received));
    ASSERT_TRUE(handover);
    EXPECT_EQ(handover->path(), folder.path() + "/stargrid-test.sock");
    std::string error;
    EXPECT_FALSE(UrlHandover::listen("stargrid-test", {}, &error));  // one game listens at a time
    EXPECT_EQ(error, "another game listens on " + handover->path());
    EXPECT_EQ(handOver("game://first").outcome, Outcome::Accepted);
    EXPECT_EQ(handOver("game://second?x=1").outcome, Outcome::Accepted);
    EXPECT_EQ(handOver("not a url").outcome, Outcome::Refused);
    EXPECT_TRUE(turnUntil([&] { return received.size() == 2; }));
    EXPECT_THAT(received, ElementsAre("game://first", "game://second?x=1"));
}

TEST_F(UrlHandoverTest, ALaunchWithNobodyListeningIsToldSoOnceItsPatienceIsOver) {
    EXPECT_EQ(UrlHandover::sendToRunning("stargrid-test", "game://nobody-listens").outcome, Outcome::NobodyListens);
    // Or as soon as it need not wait any more (the game it waited for let its folders go).
    int asked = 0;
    UrlHandover::Waits noLonger;
    noLonger.keepWaiting = [&asked] {
        ++asked;
        return false;
    };
    const UrlHandover::Receipt stopped = UrlHandover::sendToRunning({"stargrid-test"}, "game://x", noLonger);
    EXPECT_EQ(stopped.outcome, Outcome::NobodyListens);
    EXPECT_EQ(asked, 1);
}

TEST_F(UrlHandoverTest, ALaunchWithoutAUrlAsksTheRunningGameToShowItself) {
    int shown = 0;
    UrlHandover::Handlers handlers;
    handlers.show = [&shown] { ++shown; };
    auto handover = UrlHandover::listen("stargrid-test", handlers);
    ASSERT_TRUE(handover);
    auto asked = std::async(std::launch::async, [] { return UrlHandover::showRunning("stargrid-test"); });
    while (asked.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) HostLoop::main().runOnce();
    EXPECT_EQ(asked.get().outcome, Outcome::Accepted);
    EXPECT_TRUE(turnUntil([&] { return shown == 1; }));
}

TEST_F(UrlHandoverTest, ALaunchThatOnlyAsksWhetherAGameAnswersLeavesNothingDoneAndNothingSaid) {
    // A run of its own (--frames) asks the game only whether it answers: the game shows nothing, and has no
    // sender to speak of that left before confirming.
    const kite::test::ForkedOutcome run = kite::test::runForked([] {
        int shown = 0;
        UrlHandover::Handlers handlers;
        handlers.show = [&shown] { ++shown; };
        auto handover = UrlHandover::listen("stargrid-test", handlers);
        if (!handover) return 10;
        auto asked = std::async(std::launch::async, [] { return UrlHandover::askRunning({"stargrid-test"}); });
        while (asked.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) HostLoop::main().runOnce();
        if (asked.get().outcome != Outcome::Accepted) return 11;
        // What it wrote before the ask returned is there by now.
        for (int pass = 0; pass < 100; ++pass) HostLoop::main().runOnce();
        return shown;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "");
}

TEST_F(UrlHandoverTest, AnAnswerAsLongAsALaunchCanCarryArrivesWhole) {
    std::vector<std::string> received;
    auto handover = UrlHandover::listen("stargrid-test", recording(received));
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
    auto handover = UrlHandover::listen("stargrid-test", recording(received));
    ASSERT_TRUE(handover);
    // Written, then answered; a sender that heard "accepted" confirms.
    auto exchange = [&](const std::string& bytes) {
        const int fd = test::connectUnixSocket(handover->path());
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(sendRaw(fd, bytes));
        auto answer = std::async(std::launch::async, [fd] { return answerLineOn(fd); });
        while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) HostLoop::main().runOnce();
        const std::string line = answer.get();
        if (line == "accepted") sendRaw(fd, "ok\n");
        close(fd);
        for (int pass = 0; pass < 50; ++pass) HostLoop::main().runOnce();
        return line;
    };
    EXPECT_EQ(exchange(std::string(UrlHandover::kLongestUrl + 100, 'a')),
              "refused: longer than " + std::to_string(UrlHandover::kLongestUrl) + " bytes");
    EXPECT_EQ(exchange("game://x\x01y\n"), "refused: not a URL");
    EXPECT_EQ(exchange("game://ok\n"), "accepted");
    EXPECT_THAT(received, ElementsAre("game://ok"));
}

TEST_F(UrlHandoverTest, TheSocketRefusesWhatTheGameWouldDropWithItsReason) {
    std::vector<std::string> received;
    UrlHandover::Handlers handlers = recording(received);
    handlers.scheme = "game";
    auto handover = UrlHandover::listen("stargrid-test", handlers);
    ASSERT_TRUE(handover);
    for (const std::string url : {"http://127.0.0.1/page", "gamer://x", "game:no-slashes"}) {
        const UrlHandover::Receipt receipt = handOver(url);
        EXPECT_EQ(receipt.outcome, Outcome::Refused) << url;
        EXPECT_EQ(receipt.reason, "not a URL of the game's scheme game://") << url;
    }
    EXPECT_EQ(handOver("game://x").outcome, Outcome::Accepted);
    EXPECT_TRUE(turnUntil([&] { return !received.empty(); }));
    for (int pass = 0; pass < 100; ++pass) HostLoop::main().runOnce();
    EXPECT_THAT(received, ElementsAre("game://x"));
}

TEST_F(UrlHandoverTest, AUrlWhoseSenderDidNotHearItAcceptedIsNeverOpened) {
    std::vector<std::string> received;
    auto handover = UrlHandover::listen("stargrid-test", recording(received));
    ASSERT_TRUE(handover);
    // The game does not serve its socket while the launch waits (a long frame, a stopped process).
    const UrlHandover::Receipt late = UrlHandover::sendToRunning("stargrid-test", "game://once");
    EXPECT_EQ(late.outcome, Outcome::Refused);
    EXPECT_EQ(late.reason, "no answer within 2 s");
    // The game catches up, and the launch is tried again.
    for (int pass = 0; pass < 100; ++pass) HostLoop::main().runOnce();
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(handOver("game://once").outcome, Outcome::Accepted);
    for (int pass = 0; pass < 100; ++pass) HostLoop::main().runOnce();
    EXPECT_THAT(received, ElementsAre("game://once"));
    // A sender that heard "accepted" but left without confirming it is not opened either.
    const int fd = test::connectUnixSocket(handover->path());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendRaw(fd, "game://unconfirmed\n"));
    auto answer = std::async(std::launch::async, [fd] { return answerLineOn(fd); });
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) HostLoop::main().runOnce();
    EXPECT_EQ(answer.get(), "accepted");
    close(fd);
    for (int pass = 0; pass < 100; ++pass) HostLoop::main().runOnce();
    EXPECT_THAT(received, ElementsAre("game://once"));
}

TEST_F(UrlHandoverTest, ALaunchToAGameStuckForGoodIsAnsweredWithinItsPatience) {
    auto handover = UrlHandover::listen("stargrid-test", {});
    ASSERT_TRUE(handover);
    // The game never serves its socket: connections fill its listen queue until it takes no more.
    std::vector<int> waiting;
    for (int i = 0; i < 64; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, handover->path().c_str(), sizeof address.sun_path - 1);
        const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (!connected) {
            close(fd);
            break;
        }
        waiting.push_back(fd);
    }
    ASSERT_LT(waiting.size(), 64u) << "the listen queue never filled";
    auto sent = std::async(std::launch::async, [] { return UrlHandover::sendToRunning("stargrid-test", "game://x"); });
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "the launch hangs";
    const UrlHandover::Receipt receipt = sent.get();
    EXPECT_EQ(receipt.outcome, Outcome::Refused);
    EXPECT_EQ(receipt.reason, "no answer within 2 s");
    for (int fd : waiting) close(fd);
}

TEST_F(UrlHandoverTest, AFloodIsHandedOnOneAtATimeAndOnlyABoundedNumberWaits) {
    struct Received {
        double at;
        std::string url;
    };
    std::vector<Received> received;
    UrlHandover::Handlers handlers;
    handlers.open = [&](const std::string& url) { received.push_back({Clock::now(), url}); };
    auto handover = UrlHandover::listen("stargrid-test", handlers);
    ASSERT_TRUE(handover);
    // 160 URLs, four senders between passes (what the socket's backlog holds), none waiting for its answer
    // before the next is sent. Each is answered in the pass that reads it, and confirmed when accepted.
    std::vector<std::string> accepted;
    int refused = 0;
    for (int sent = 0, batch = 0; batch < 40; ++batch) {
        std::vector<std::pair<int, std::string>> senders;
        for (int i = 0; i < 4; ++i, ++sent) {
            const int fd = test::connectUnixSocket(handover->path());
            ASSERT_GE(fd, 0) << sent;
            const std::string url = "game://flood/" + std::to_string(sent);
            ASSERT_TRUE(sendRaw(fd, url + "\n"));
            senders.emplace_back(fd, url);
        }
        HostLoop::main().runOnce();
        for (const auto& [fd, url] : senders) {
            const std::string answer = answerLineOn(fd);
            if (answer == "accepted") {
                EXPECT_TRUE(sendRaw(fd, "ok\n"));
                accepted.push_back(url);
            } else {
                EXPECT_EQ(answer, "refused: 16 URLs wait already") << url;
                ++refused;
            }
            close(fd);
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

TEST_F(UrlHandoverTest, AQuitOpensEveryConfirmedUrlBeforeItsBackgroundStep) {
    std::vector<std::string> received;
    std::size_t openedBeforeBackground = 0;
    HostLoop::Handlers loopHandlers;
    loopHandlers.background = [&] { openedBeforeBackground = received.size(); };
    HostLoop::main().setHandlers(loopHandlers);
    auto handover = UrlHandover::listen("stargrid-test", recording(received));
    ASSERT_TRUE(handover);
    // Seven senders, answered in the pass after they came (a few at a time, as the socket's backlog
    // holds them); six confirm, one never does.
    std::vector<int> senders;
    for (int i = 0; i < 7; ++i) {
        senders.push_back(test::connectUnixSocket(handover->path()));
        ASSERT_GE(senders.back(), 0);
        ASSERT_TRUE(sendRaw(senders.back(), "game://confirmed/" + std::to_string(i) + "\n"));
        if (i % 4 == 3 || i == 6) HostLoop::main().runOnce();
    }
    for (const int fd : senders) ASSERT_EQ(answerLineOn(fd), "accepted");
    // Three confirmations are read before the quit (one of those URLs is opened in its turn, two
    // wait theirs); three are sent but not read yet.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(sendRaw(senders[i], "ok\n"));
    HostLoop::main().runOnce();
    ASSERT_EQ(received.size(), 1u);
    for (int i = 3; i < 6; ++i) ASSERT_TRUE(sendRaw(senders[i], "ok\n"));
    // One more sender arrives and is not answered yet.
    const int late = test::connectUnixSocket(handover->path());
    ASSERT_GE(late, 0);
    ASSERT_TRUE(sendRaw(late, "game://late\n"));
    HostLoop::main().quit();
    EXPECT_EQ(openedBeforeBackground, 6u);
    EXPECT_EQ(received, (std::vector<std::string>{"game://confirmed/0", "game://confirmed/1", "game://confirmed/2",
                                                  "game://confirmed/3", "game://confirmed/4", "game://confirmed/5"}));
    // The seventh can no longer confirm, and the late one is told why it is not taken.
    EXPECT_FALSE(sendRaw(senders[6], "ok\n"));
    EXPECT_EQ(answerLineOn(late), "refused: the game is quitting");
    for (const int fd : senders) close(fd);
    close(late);
    // The socket is gone: a launch now finds nobody, and waits for the game's folders instead.
    EXPECT_EQ(test::connectUnixSocket(handover->path()), -1);
    UrlHandover::Waits foldersFree;
    foldersFree.keepWaiting = [] { return false; };
    EXPECT_EQ(UrlHandover::sendToRunning({"stargrid-test"}, "game://after", foldersFree).outcome,
              Outcome::NobodyListens);
}

TEST_F(UrlHandoverTest, ALaunchTellsAGameThatQuitsFromOneThatRefuses) {
    // A game's socket served by hand, answering as a game that quits does.
    const std::string path = UrlHandover::socketPath("stargrid-test");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    auto serve = [listener](const std::string& answer) {
        return std::async(std::launch::async, [listener, answer] {
            const int fd = accept(listener, nullptr, nullptr);
            std::string line = answerLineOn(fd);
            if (!answer.empty()) sendRaw(fd, answer);
            close(fd);
            return line;
        });
    };
    auto quitting = serve("refused: the game is quitting\n");
    const UrlHandover::Receipt toldSo = UrlHandover::sendToRunning("stargrid-test", "game://x");
    EXPECT_EQ(quitting.get(), "game://x");
    EXPECT_EQ(toldSo.outcome, Outcome::Gone);
    EXPECT_EQ(toldSo.reason, "the game is quitting");
    auto silent = serve("");
    const UrlHandover::Receipt closed = UrlHandover::showRunning("stargrid-test");
    silent.get();
    EXPECT_EQ(closed.outcome, Outcome::Gone);
    EXPECT_EQ(closed.reason, "the running game closed the connection without an answer");
    auto refusing = serve("refused: 16 URLs wait already\n");
    const UrlHandover::Receipt refused = UrlHandover::sendToRunning("stargrid-test", "game://x");
    refusing.get();
    EXPECT_EQ(refused.outcome, Outcome::Refused);
    EXPECT_EQ(refused.reason, "16 URLs wait already");
    close(listener);
}

TEST_F(UrlHandoverTest, AStaleSocketOfAGameThatEndedIsReplaced) {
    {
        auto first = UrlHandover::listen("stargrid-test", {});
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
    EXPECT_TRUE(UrlHandover::listen("stargrid-test", {}));
}

// From the moment the game holds the player's folders until its loop runs, launches are told that it is starting,
// and what they hand over waits for the loop.
TEST_F(UrlHandoverTest, WhileTheGameStartsAnAskIsAnsweredAtOnceAndAUrlWaitsForTheLoopWhichOpensItOnce) {
    std::unique_ptr<UrlHandover> game = UrlHandover::listenWhileStarting({"stargrid-test"});
    ASSERT_TRUE(game);
    // Whether a game answers: it does, while it starts, and nothing is kept of the ask.
    const UrlHandover::Receipt asked = UrlHandover::askRunning({"stargrid-test"});
    EXPECT_EQ(asked.outcome, Outcome::Accepted);
    EXPECT_TRUE(asked.starting);
    std::promise<void> told;
    auto sent = handingOverWhileStarting("game://oauth?code=early", told);
    ASSERT_EQ(told.get_future().wait_for(kStartBound), std::future_status::ready);
    // Told it starts, the launch waits on past its patience for as long as the game takes to reach its loop.
    EXPECT_EQ(sent.wait_for(UrlHandover::kPatience + std::chrono::milliseconds(500)), std::future_status::timeout);
    std::vector<std::string> opened;
    UrlHandover::Handlers handlers = recording(opened);
    int shown = 0;
    handlers.show = [&shown] { ++shown; };
    game->serve(handlers);
    const auto deadline = std::chrono::steady_clock::now() + kStartBound;
    while (sent.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < deadline)
        HostLoop::main().runOnce();
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    const UrlHandover::Receipt receipt = sent.get();
    EXPECT_EQ(receipt.outcome, Outcome::Accepted) << receipt.reason;
    ASSERT_TRUE(turnUntil([&opened] { return !opened.empty(); }));
    for (int pass = 0; pass < 60; ++pass) HostLoop::main().runOnce();
    EXPECT_THAT(opened, ElementsAre("game://oauth?code=early"));
    EXPECT_EQ(shown, 0);  // the ask was withdrawn
}

TEST_F(UrlHandoverTest, AGameThatEndsBeforeItsLoopTellsTheLaunchWaitingOnItThatItQuits) {
    std::unique_ptr<UrlHandover> game = UrlHandover::listenWhileStarting({"stargrid-test"});
    ASSERT_TRUE(game);
    std::promise<void> told;
    auto sent = handingOverWhileStarting("game://oauth?code=lost", told);
    ASSERT_EQ(told.get_future().wait_for(kStartBound), std::future_status::ready);
    game.reset();
    ASSERT_EQ(sent.wait_for(kStartBound), std::future_status::ready);
    const UrlHandover::Receipt receipt = sent.get();
    // As from a game that quits: its launch waits for the folders to come free, then runs the game itself.
    EXPECT_EQ(receipt.outcome, Outcome::Gone);
    EXPECT_EQ(receipt.reason, "the game is quitting");
    EXPECT_TRUE(receipt.starting);
}

}  // namespace
}  // namespace platform
