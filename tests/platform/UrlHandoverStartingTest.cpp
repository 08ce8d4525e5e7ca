// The handover from the moment the game holds the player's folders until its loop runs: launches are told that
// the game is starting, and what they hand over waits for the loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/HostLoop.h"
#include "platform/UrlHandover.h"
#include "support/TemporaryFolder.h"

namespace platform {
namespace {

using ::testing::ElementsAre;
using Outcome = UrlHandover::Receipt::Outcome;

class UrlHandoverStartingTest : public ::testing::Test {
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
        setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    }

    // A launch handing `url` over from another thread; `told` is set once the game says it is starting.
    static std::future<UrlHandover::Receipt> launch(const std::string& url, std::promise<void>& told) {
        return std::async(std::launch::async, [url, &told] {
            UrlHandover::Waits waits;
            waits.starting = [&told](std::chrono::steady_clock::duration) { told.set_value(); };
            return UrlHandover::sendToRunning({"stargrid-test"}, url, waits);
        });
    }
    // Bounded: a start-up on a loaded machine.
    static constexpr std::chrono::seconds kBound{30};

    kite::test::TemporaryFolder folder{"stargrid-starting"};
    std::string savedRuntime;
};

TEST_F(UrlHandoverStartingTest, AnAskIsAnsweredAtOnceAndAUrlWaitsForTheLoopWhichOpensItOnce) {
    std::unique_ptr<UrlHandover> game = UrlHandover::listenWhileStarting({"stargrid-test"});
    ASSERT_TRUE(game);
    // Whether a game answers: it does, while it starts, and nothing is kept of the ask.
    const UrlHandover::Receipt asked = UrlHandover::askRunning({"stargrid-test"});
    EXPECT_EQ(asked.outcome, Outcome::Accepted);
    EXPECT_TRUE(asked.starting);
    std::promise<void> told;
    auto sent = launch("game://oauth?code=early", told);
    ASSERT_EQ(told.get_future().wait_for(kBound), std::future_status::ready);
    // Told it starts, the launch waits on for as long as the game takes to reach its loop.
    EXPECT_EQ(sent.wait_for(std::chrono::milliseconds(2500)), std::future_status::timeout);
    std::vector<std::string> opened;
    int shown = 0;
    UrlHandover::Handlers handlers;
    handlers.open = [&opened](const std::string& url) { opened.push_back(url); };
    handlers.show = [&shown] { ++shown; };
    game->serve(handlers);
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    while (sent.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < deadline)
        HostLoop::main().runOnce();
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    const UrlHandover::Receipt receipt = sent.get();
    EXPECT_EQ(receipt.outcome, Outcome::Accepted) << receipt.reason;
    for (int pass = 0; pass < 600 && opened.empty(); ++pass) HostLoop::main().runOnce();
    for (int pass = 0; pass < 60; ++pass) HostLoop::main().runOnce();
    EXPECT_THAT(opened, ElementsAre("game://oauth?code=early"));
    EXPECT_EQ(shown, 0);  // the ask was withdrawn
}

TEST_F(UrlHandoverStartingTest, AGameThatEndsBeforeItsLoopTellsTheWaitingLaunchThatItQuits) {
    std::unique_ptr<UrlHandover> game = UrlHandover::listenWhileStarting({"stargrid-test"});
    ASSERT_TRUE(game);
    std::promise<void> told;
    auto sent = launch("game://oauth?code=lost", told);
    ASSERT_EQ(told.get_future().wait_for(kBound), std::future_status::ready);
    game.reset();
    ASSERT_EQ(sent.wait_for(kBound), std::future_status::ready);
    const UrlHandover::Receipt receipt = sent.get();
    // As from a game that quits: its launch waits for the folders to come free, then runs the game itself.
    EXPECT_EQ(receipt.outcome, Outcome::Gone);
    EXPECT_EQ(receipt.reason, "the game is quitting");
    EXPECT_TRUE(receipt.starting);
}

}  // namespace
}  // namespace platform
