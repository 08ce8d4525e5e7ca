// The X display going away under a client whose next step writes to it.
#include "platform/X11Display.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UnixSocketClient.h"
#include "platform/HostLoop.h"
#include "support/ForkedRun.h"
#include "support/VirtualDisplay.h"

namespace platform {
namespace {

// A socket listening at an abstract name (no file: Xlib looks there first for a display).
int listenAtAbstractName(const std::string& name) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd, 1) == 0) return fd;
    close(fd);
    return -1;
}

// Stands between one client and the X server on a display number of its own, passing bytes both ways
// until told to stop reading from the client, as a server that has just gone does, yet without closing:
// the client's next write, not a read, then meets the broken connection. A process of its own, so the
// test forks its client with no other thread about (one holding a lock at the fork would leave it held).
class StallingProxy {
public:
    explicit StallingProxy(const std::string& serverDisplay) {
        int listening = -1;
        for (int number = 640; number < 700 && listening < 0; ++number) {
            listening = listenAtAbstractName("/tmp/.X11-unix/X" + std::to_string(number));
            if (listening >= 0) display_ = ":" + std::to_string(number);
        }
        if (listening < 0 || pipe(stall_) != 0 || pipe(stalled_) != 0) {
            display_.clear();
            return;
        }
        const std::string upstream = "/tmp/.X11-unix/X" + serverDisplay.substr(1);
        pid_ = fork();
        if (pid_ == 0) {
            alarm(30);
            pump(listening, upstream);
            pause();  // the client's end stays open until the test ends this process
            _exit(0);
        }
        close(listening);
        close(stall_[0]);
        close(stalled_[1]);
    }
    ~StallingProxy() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {stall_[1], stalled_[0]})
            if (fd >= 0) close(fd);
    }

    const std::string& display() const { return display_; }
    // In the client: the proxy stops reading from it, then this returns.
    bool stopReading() {
        char c;
        return write(stall_[1], "x", 1) == 1 && read(stalled_[0], &c, 1) == 1;
    }

private:
    void pump(int listening, const std::string& upstreamPath) {
        const int client = accept(listening, nullptr, nullptr);
        const int upstream = test::connectUnixSocket(upstreamPath);
        if (client < 0 || upstream < 0) return;
        char buffer[65536];
        for (;;) {
            pollfd ends[3] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}, {stall_[0], POLLIN, 0}};
            if (poll(ends, 3, -1) <= 0 || ends[2].revents) break;
            for (int i = 0; i < 2; ++i) {
                if (!ends[i].revents) continue;
                const ssize_t got = read(ends[i].fd, buffer, sizeof buffer);
                if (got <= 0 || write(ends[1 - i].fd, buffer, static_cast<std::size_t>(got)) != got) return;
            }
        }
        shutdown(client, SHUT_RD);
        (void)!write(stalled_[1], "x", 1);
    }

    std::string display_;
    pid_t pid_ = -1;
    int stall_[2] = {-1, -1};
    int stalled_[2] = {-1, -1};
};

TEST(X11Display, AConnectionFoundBrokenByAWriteRunsTheBackgroundStepAndSaysTheDisplayWentAway) {
    stargrid::test::VirtualDisplay server;
    if (server.display().empty()) GTEST_SKIP() << "no Xvfb to connect to";
    StallingProxy proxy(server.display());
    ASSERT_FALSE(proxy.display().empty()) << "no proxy could be started";
    const kite::test::ForkedOutcome outcome = kite::test::runForked([&]() -> int {
        setenv("DISPLAY", proxy.display().c_str(), 1);
        // Loaded as SDL loads it; Xlib's own header clashes with the test framework's names, so its three
        // calls are taken by hand.
        void* xlib = dlopen("libX11.so.6", RTLD_NOW | RTLD_GLOBAL);
        if (!xlib) return 3;
        auto open = reinterpret_cast<void* (*)(const char*)>(dlsym(xlib, "XOpenDisplay"));
        auto noOp = reinterpret_cast<int (*)(void*)>(dlsym(xlib, "XNoOp"));
        auto sync = reinterpret_cast<int (*)(void*, int)>(dlsym(xlib, "XSync"));
        void* display = open ? open(nullptr) : nullptr;
        if (!display || !noOp || !sync) return 4;
        HostLoop::Handlers handlers;
        handlers.background = [] { std::fprintf(stderr, "background step\n"); };
        HostLoop::main().setHandlers(handlers);
        watchDisplayLoss();
        if (!proxy.stopReading()) return 5;
        noOp(display);
        sync(display, 0);
        return 0;
    });
    ASSERT_TRUE(outcome.exited) << "ended by signal " << outcome.signal << "; it wrote:\n" << outcome.output;
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    const std::size_t background = outcome.output.find("background step\n");
    const std::size_t gone = outcome.output.find(": the display went away\n");
    ASSERT_NE(gone, std::string::npos) << outcome.output;
    EXPECT_LT(background, gone) << outcome.output;
}

}  // namespace
}  // namespace platform
