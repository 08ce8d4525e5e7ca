// The socket a claim's holder keeps listening on for those that cannot see it.
#include "platform/ClaimWitness.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TemporaryFolder.h"

namespace platform {
namespace {

// The witness's thread, found by its name among this process's; 0 when there is none.
pid_t namedWitnessThread() {
    pid_t found = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks) return 0;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const int fd =
            ::open(("/proc/self/task/" + std::string(entry->d_name) + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
        char name[32] = {};
        const ssize_t got = fd >= 0 ? ::read(fd, name, sizeof name - 1) : -1;
        if (fd >= 0) ::close(fd);
        if (got > 0 &&
            std::string(name, static_cast<std::size_t>(got)) == std::string(ClaimWitness::kThreadName) + "\n")
            found = static_cast<pid_t>(std::atol(entry->d_name));
    }
    ::closedir(tasks);
    return found;
}

// Waits (bounded) until the witness's thread has named itself; 0 when it did not.
pid_t witnessThread() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (pid_t found = 0; std::chrono::steady_clock::now() < deadline;) {
        if ((found = namedWitnessThread()) != 0) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

// What /proc says of a thread, read again through a descriptor opened beforehand (none may be free later).
struct ThreadStatus {
    char state = '\0';
    long voluntarySwitches = -1;  // how often it went to sleep
};

ThreadStatus statusOf(int fd) {
    char text[4096];
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    ThreadStatus status;
    if (got <= 0) return status;
    text[got] = '\0';
    if (const char* state = std::strstr(text, "\nState:\t")) status.state = state[8];
    if (const char* switches = std::strstr(text, "\nvoluntary_ctxt_switches:\t"))
        status.voluntarySwitches = std::atol(switches + std::strlen("\nvoluntary_ctxt_switches:\t"));
    return status;
}

// Waits (bounded, looking again and again) until the thread's status passes the test.
template <typename Test>
bool waitForStatus(int fd, Test test) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (test(statusOf(fd))) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The soft limit on descriptors lowered for a while, and every free one below it taken.
class DescriptorsTaken {
public:
    explicit DescriptorsTaken(int copied) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = 64;
        lowered_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
        for (int fd; lowered_ && (fd = ::fcntl(copied, F_DUPFD_CLOEXEC, 0)) >= 0;) taken_.push_back(fd);
        full_ = lowered_ && errno == EMFILE;
    }
    ~DescriptorsTaken() {
        for (const int fd : taken_) ::close(fd);
        if (lowered_) ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorsTaken(const DescriptorsTaken&) = delete;
    DescriptorsTaken& operator=(const DescriptorsTaken&) = delete;
    bool full() const { return full_; }

private:
    rlimit saved_{};
    bool lowered_ = false;
    bool full_ = false;
    std::vector<int> taken_;
};

TEST(ClaimWitness, AWitnessOutOfDescriptorsSleepsBetweenItsTriesAndTakesTheConnectionOnceOneIsFree) {
    kite::test::TemporaryFolder runtime("stargrid-witness");
    ASSERT_TRUE(runtime.made());
    const std::string ownRuntime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    std::string why;
    std::unique_ptr<ClaimWitness> witness = ClaimWitness::listen("0123456789abcdef", "another holder", &why);
    ::setenv("XDG_RUNTIME_DIR", ownRuntime.c_str(), 1);
    ASSERT_TRUE(witness) << why;
    const pid_t thread = witnessThread();
    ASSERT_NE(thread, 0);
    const int status = ::open(("/proc/self/task/" + std::to_string(thread) + "/status").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(status, 0);
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(witness->path().size(), sizeof address.sun_path);
    witness->path().copy(address.sun_path, witness->path().size());
    // Asleep waiting for connections: how often it went to sleep so far.
    ThreadStatus waiting;
    ASSERT_TRUE(waitForStatus(status, [&waiting](const ThreadStatus& now) {
        waiting = now;
        return now.state == 'S';
    }));
    {
        DescriptorsTaken taken(status);
        ASSERT_TRUE(taken.full());
        ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        // The connection it cannot take wakes it; it goes to sleep again and again before it tries once more,
        // where a thread that tried at once would spin without ever sleeping.
        EXPECT_TRUE(waitForStatus(status, [&waiting](const ThreadStatus& now) {
            return now.voluntarySwitches >= waiting.voluntarySwitches + 2;
        }));
    }
    // A descriptor is free: it takes the connection, and closes it.
    pollfd end{client, POLLIN, 0};
    ASSERT_EQ(::poll(&end, 1, 20000), 1);
    char byte;
    EXPECT_EQ(::recv(client, &byte, 1, 0), 0);
    ::close(client);
    ::close(status);
    witness.reset();
}

}  // namespace
}  // namespace platform
