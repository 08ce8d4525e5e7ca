// A process killed while it stores and sends events loses nothing stored and repeats only the batch in flight.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "StatTestSupport.h"

extern char** environ;

namespace pigeon {
namespace test {
namespace {

constexpr int kBatch = 5;
constexpr int kMaxChildEvents = 20000;

const char* childMode() { return std::getenv("STARGRID_STAT_CHILD"); }

// Starts this test binary again running only the child test, in the given mode.
pid_t spawnChild(const std::string& mode) {
    std::vector<std::string> variables = {"STARGRID_STAT_CHILD=" + mode};
    for (char** entry = environ; *entry; ++entry) variables.emplace_back(*entry);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string program = "/proc/self/exe", filter = "--gtest_filter=PGStatKillChild.StoresAndSends";
    char* argv[] = {program.data(), filter.data(), nullptr};
    pid_t pid = -1;
    return posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()) == 0 ? pid : -1;
}

std::vector<std::string> lines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> all;
    for (std::string line; std::getline(file, line);) all.push_back(line);
    return all;
}

// The child: stores numbered events and sends them in batches until it is killed, or,
// resuming, sends what the killed one left and writes how many rows remain.
TEST(PGStatKillChild, StoresAndSends) {
    if (!childMode()) GTEST_SKIP() << "runs as a child of PGStatKill";
    const std::string progress = std::getenv("STARGRID_STAT_PROGRESS");
    const int out = open(progress.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ASSERT_GE(out, 0);
    PGStatConfig::getInstance().maxLoadEventCount = kBatch;
    PGStatStore& store = PGStatStore::getInstance();
    store.launch();
    if (std::string(childMode()) == "exit") {
        // Leaves with its events still queued: the exit waits for them.
        PGStatConfig::getInstance().reportStrategy = 6;
        PGStat::startWithAppkey("KEY");
        for (int i = 0; i < 50; ++i) PGStat::trackCustomEvent("x" + std::to_string(i), {});
        return;
    }
    if (std::string(childMode()) == "resume") {
        store.sendCachedEvents(-1);
        ASSERT_TRUE(StatQueue::waitUntilIdle(std::chrono::seconds(30)));
        const std::string line = "remaining " + std::to_string(store.getStoredEventsNum()) + "\n";
        ASSERT_EQ(write(out, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        return;
    }
    for (int i = 0; i < kMaxChildEvents; ++i) {
        auto event = std::make_unique<PGStatCustomEvent>();
        event->eventID = "e" + std::to_string(i);
        store.storeEvent(std::move(event), [out, i](bool stored) {
            const std::string line = (stored ? "stored " : "refused ") + std::to_string(i) + "\n";
            (void)!write(out, line.data(), line.size());
        });
        if (i % kBatch == kBatch - 1) store.sendCachedEvents(kBatch);
        if (i % 50 == 49) store.waitForQueue();  // keeps the queue short, so the kill finds work in flight
    }
    StatQueue::waitUntilIdle(std::chrono::seconds(30));
}

class PGStatKill : public StatTest {};

TEST_F(PGStatKill, NothingStoredIsLostAndOnlyTheBatchInFlightRepeats) {
    if (childMode()) GTEST_SKIP();
    StatServer server;
    const std::string progress = folder_.path() + "/progress";
    setenv("STARGRID_STAT_URL", server.url().c_str(), 1);
    setenv("STARGRID_STAT_PROGRESS", progress.c_str(), 1);
    const pid_t child = spawnChild("store");
    ASSERT_GT(child, 0);
    // Kill it once it has stored a good number of events and reports are arriving.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline &&
           (lines(progress).size() < 300 || server.reports().size() < 20)) {
        server.waitForReports(server.reports().size() + 1, std::chrono::milliseconds(100));
    }
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended before it was killed";
    std::set<std::string> stored;
    for (const std::string& line : lines(progress)) {
        if (line.rfind("stored ", 0) == 0) stored.insert("e" + line.substr(7));
    }
    ASSERT_GE(stored.size(), 300u);

    const pid_t resumed = spawnChild("resume");
    ASSERT_GT(resumed, 0);
    ASSERT_EQ(waitpid(resumed, &status, 0), resumed);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(lines(progress).back(), "remaining 0");
    unsetenv("STARGRID_STAT_URL");
    unsetenv("STARGRID_STAT_PROGRESS");

    std::map<std::string, int> received;
    for (const Json::Value& event : server.events()) ++received[event["ei"].asString()];
    for (const std::string& id : stored) EXPECT_TRUE(received.count(id)) << id << " was stored and never sent";
    int repeated = 0;
    for (const auto& [id, count] : received) repeated += count - 1;
    EXPECT_LE(repeated, kBatch);  // at most the batch the kill caught between send and delete
}

TEST_F(PGStatKill, ExitingWithQueuedEventsKeepsThemAll) {
    if (childMode()) GTEST_SKIP();
    setenv("STARGRID_STAT_PROGRESS", (folder_.path() + "/progress").c_str(), 1);
    // Offline, so no send (whose failures count towards dropping) races the exit.
    setenv("STARGRID_NETWORK", "down", 1);
    const pid_t child = spawnChild("exit");
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    unsetenv("STARGRID_NETWORK");
    unsetenv("STARGRID_STAT_PROGRESS");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(storedRows(), 51u);  // the session event and the fifty
}

}  // namespace
}  // namespace test
}  // namespace pigeon
