// Where the handover's socket lives and who may be at either end of it.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "UnixSocketClient.h"
#include "platform/Clock.h"
#include "platform/HostLoop.h"
#include "platform/UrlHandover.h"
#include "platform/UserFolders.h"
#include "support/TemporaryFolder.h"

namespace platform {
namespace {

using Outcome = UrlHandover::Receipt::Outcome;
// A user id nobody on the machine has: the other user.
constexpr uid_t kOtherUser = 54321;

// A socket listening at the path; -1 when it cannot be made.
int listenOn(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 4) == 0) return fd;
    close(fd);
    return -1;
}

// What arrives on the socket until its end or a newline (bounded).
std::string lineOn(int fd) {
    std::string line;
    char c;
    pollfd ready{fd, POLLIN, 0};
    while (line.size() < 256 && poll(&ready, 1, 5000) == 1 && recv(fd, &c, 1, 0) == 1 && c != '\n') line += c;
    return line;
}

class UrlHandoverPeersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME"}) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
        HostLoop::main().setFixedStep(true);
    }
    void TearDown() override {
        HostLoop::main().reset();
        Clock::useRealTime();
        for (const auto& [name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    // A process of the other user (the test runs as root, so it can switch to one); -1 when not root.
    template <class Step>
    pid_t asOtherUser(Step step) {
        if (getuid() != 0) return -1;
        const pid_t child = fork();
        if (child == 0) {
            alarm(20);  // a guard against a step that blocks for good
            if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) _exit(10);
            _exit(step());
        }
        return child;
    }

    kite::test::TemporaryFolder folder{"stargrid-peers"};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(UrlHandoverPeersTest, TheSocketLivesInThePlayersOwnRuntimeFolder) {
    // Without XDG_RUNTIME_DIR it used to be a fixed name in /tmp, which another user could take first.
    unsetenv("XDG_RUNTIME_DIR");
    setenv("XDG_CACHE_HOME", (folder.path() + "/cache").c_str(), 1);
    EXPECT_EQ(UrlHandover::socketPath("stargrid-test"), folder.path() + "/cache/stargrid/runtime/stargrid-test.sock");
    // A runtime folder that is not the player's own means no handover at all.
    // (Another user's, or, where the test cannot make one, a link.)
    std::string open = folder.path() + "/open";
    ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
    if (getuid() == 0) {
        ASSERT_EQ(chown(open.c_str(), kOtherUser, kOtherUser), 0);
    } else {
        ASSERT_EQ(symlink(open.c_str(), (folder.path() + "/link").c_str()), 0);
        open = folder.path() + "/link";
    }
    setenv("XDG_RUNTIME_DIR", open.c_str(), 1);
    EXPECT_EQ(UrlHandover::socketPath("stargrid-test"), "");
    std::string error;
    EXPECT_FALSE(UrlHandover::listen("stargrid-test", {}, &error));
    EXPECT_EQ(error, "there is no runtime folder for its socket");
    const UrlHandover::Receipt receipt = UrlHandover::sendToRunning("stargrid-test", "game://x");
    EXPECT_EQ(receipt.outcome, Outcome::Refused);
    EXPECT_EQ(receipt.reason, "there is no runtime folder to reach it through");
    struct stat found;
    EXPECT_NE(lstat((open + "/stargrid-test.sock").c_str(), &found), 0);
}

TEST_F(UrlHandoverPeersTest, ALaunchReachesTheRuntimeFolderItCheckedWhateverIsSwappedInAboveIt) {
    unsetenv("XDG_RUNTIME_DIR");
    const std::string cache = folder.path() + "/cache";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    // Another user's runtime folder, with a socket where the game's would be.
    const std::string elsewhere = folder.path() + "/elsewhere";
    ASSERT_TRUE(!runtimeFolder().empty() && makeFolders(elsewhere + "/runtime"));
    std::promise<std::vector<int>> listeners;
    std::thread answering([&listeners] {
        // Each listener tells whoever reaches it which folder it is in.
        const std::vector<int> fds = listeners.get_future().get();
        pollfd ready[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        const bool reached = poll(ready, 2, 10000) > 0;
        for (int i = 0; reached && i < 2; ++i) {
            const int fd = ready[i].revents & POLLIN ? accept(fds[i], nullptr, nullptr) : -1;
            if (fd >= 0) send(fd, i == 0 ? "refused: checked\n" : "refused: swapped\n", 17, MSG_NOSIGNAL);
            if (fd >= 0) close(fd);
        }
    });
    bool asked = false, swapped = false;
    UrlHandover::Waits swapping;
    swapping.keepWaiting = [&] {
        // After the launch's check and its first try, the folder above the runtime folder becomes a link.
        if (!asked) {
            asked = true;
            swapped = rename((cache + "/stargrid").c_str(), (cache + "/checked").c_str()) == 0 &&
                      symlink(elsewhere.c_str(), (cache + "/stargrid").c_str()) == 0;
            listeners.set_value({listenOn(cache + "/checked/runtime/stargrid-test.sock"),
                                 listenOn(elsewhere + "/runtime/stargrid-test.sock")});
        }
        return true;
    };
    const UrlHandover::Receipt receipt = UrlHandover::sendToRunning({"stargrid-test"}, "game://x", swapping);
    if (!asked) listeners.set_value({-1, -1});
    answering.join();
    EXPECT_TRUE(swapped);
    EXPECT_EQ(receipt.reason, "checked");
}

TEST_F(UrlHandoverPeersTest, ALaunchHandsItsUrlOnlyToAGameOfItsOwnUser) {
    // Another user's program listens where the game's socket is (planted while the folder was open).
    const std::string path = folder.path() + "/stargrid-test.sock";
    ASSERT_EQ(chmod(folder.path().c_str(), 0777), 0);
    int ready[2], report[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(report), 0);
    const pid_t other = asOtherUser([&] {
        const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0)
            return 1;
        (void)!write(ready[1], "r", 1);
        // Takes whatever the two launches below write and says it was taken, as a planted socket would.
        for (int launch = 0; launch < 2; ++launch) {
            const int fd = accept(listener, nullptr, nullptr);
            const std::string line = lineOn(fd);
            if (!line.empty()) send(fd, "accepted\n", 9, MSG_NOSIGNAL);
            lineOn(fd);
            (void)!write(report[1], line.data(), line.size());
            close(fd);
        }
        return 0;
    });
    if (other < 0) GTEST_SKIP() << "switching to another user needs root";
    close(report[1]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(chmod(folder.path().c_str(), 0700), 0);  // closed again: an open runtime folder is refused
    const UrlHandover::Receipt receipt = UrlHandover::sendToRunning("stargrid-test", "game://oauth?code=secret");
    EXPECT_EQ(receipt.outcome, Outcome::Refused);
    EXPECT_EQ(receipt.reason, "the socket belongs to user " + std::to_string(kOtherUser));
    // The player's own game, on a socket of another of its folders, is reached past it.
    std::vector<std::string> received;
    UrlHandover::Handlers handlers;
    handlers.open = [&received](const std::string& url) { received.push_back(url); };
    auto own = UrlHandover::listen("stargrid-own", handlers);
    ASSERT_TRUE(own);
    auto sent = std::async(std::launch::async, [] {
        return UrlHandover::sendToRunning(std::vector<std::string>{"stargrid-test", "stargrid-own"}, "game://own");
    });
    while (sent.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) HostLoop::main().runOnce();
    EXPECT_EQ(sent.get().outcome, Outcome::Accepted);
    for (int pass = 0; pass < 100 && received.empty(); ++pass) HostLoop::main().runOnce();
    EXPECT_EQ(received, std::vector<std::string>{"game://own"});
    std::string heard;
    char buffer[256];
    for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
        heard.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(heard, "") << "not a byte of the URL reaches it";
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ready[0], ready[1], report[0]}) close(fd);
}

TEST_F(UrlHandoverPeersTest, TheGameTakesRequestsOnlyFromItsOwnUser) {
    std::vector<std::string> received;
    UrlHandover::Handlers handlers;
    handlers.open = [&received](const std::string& url) { received.push_back(url); };
    auto handover = UrlHandover::listen("stargrid-test", handlers);
    ASSERT_TRUE(handover);
    // Opened up by hand, as a careless mask or a tool run as root might leave them.
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chmod(handover->path().c_str(), 0777), 0);
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const std::string path = handover->path();
    const pid_t other = asOtherUser([&] {
        const int fd = test::connectUnixSocket(path);
        if (fd < 0) return 1;
        send(fd, "game://planted\n", 15, MSG_NOSIGNAL);
        const std::string answer = lineOn(fd);
        send(fd, "ok\n", 3, MSG_NOSIGNAL);
        (void)!write(report[1], answer.data(), answer.size());
        return 0;
    });
    if (other < 0) GTEST_SKIP() << "switching to another user needs root";
    close(report[1]);
    int status = 0;
    for (int pass = 0; pass < 20000 && waitpid(other, &status, WNOHANG) == 0; ++pass) {
        HostLoop::main().runOnce();
        usleep(100);
    }
    std::string answer;
    char buffer[256];
    for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<std::size_t>(n));
    close(report[0]);
    EXPECT_EQ(answer, "refused: the game takes URLs only from its own user");
    for (int pass = 0; pass < 100; ++pass) HostLoop::main().runOnce();
    EXPECT_TRUE(received.empty());
}

TEST_F(UrlHandoverPeersTest, OnlyASocketNobodyAnswersOnIsReplaced) {
    const std::string path = UrlHandover::socketPath("stargrid-test");
    const std::string file = folder.put("stargrid-test.sock", "the player's own file");
    std::string error;
    EXPECT_FALSE(UrlHandover::listen("stargrid-test", {}, &error));
    EXPECT_EQ(error, path + " is not a socket (a regular file); it is left as it is");
    EXPECT_EQ(kite::test::readWholeFile(file), "the player's own file");
    ASSERT_EQ(unlink(file.c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent", path.c_str()), 0);
    EXPECT_FALSE(UrlHandover::listen("stargrid-test", {}, &error));
    EXPECT_EQ(error, path + " is not a socket (a link); it is left as it is");
}

TEST_F(UrlHandoverPeersTest, AGameListensUnderEveryNameItIsGiven) {
    std::vector<std::string> received;
    UrlHandover::Handlers handlers;
    handlers.open = [&received](const std::string& url) { received.push_back(url); };
    auto handover = UrlHandover::listen(std::vector<std::string>{"stargrid-data", "stargrid-config"}, handlers);
    ASSERT_TRUE(handover);
    EXPECT_EQ(handover->paths(), (std::vector<std::string>{folder.path() + "/stargrid-data.sock",
                                                           folder.path() + "/stargrid-config.sock"}));
    for (const std::vector<std::string>& names :
         std::vector<std::vector<std::string>>{{"stargrid-config"}, {"stargrid-elsewhere", "stargrid-data"}}) {
        EXPECT_TRUE(UrlHandover::listening(names));
        auto sent = std::async(std::launch::async, [&names] { return UrlHandover::sendToRunning(names, "game://x"); });
        for (int pass = 0; pass < 20000 && sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
             ++pass) {
            HostLoop::main().runOnce();
            usleep(100);
        }
        EXPECT_EQ(sent.get().outcome, Outcome::Accepted);
    }
    EXPECT_FALSE(UrlHandover::listening({"stargrid-elsewhere"}));
    for (int pass = 0; pass < 100; ++pass) HostLoop::main().runOnce();
    EXPECT_EQ(received.size(), 2u);
}

}  // namespace
}  // namespace platform
