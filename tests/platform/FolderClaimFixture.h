// The claim's tests' folders: a player's data and config folder under a folder of the test's own, the data
// folder's claim link, other processes holding them, and a launch in a sandbox of its own.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/ClaimLink.h"
#include "platform/FolderClaim.h"
#include "support/ForkedRun.h"
#include "support/LinkingProcess.h"
#include "support/TemporaryFolder.h"

namespace platform {

using State = FolderClaim::State;
constexpr uid_t kOtherUser = 54321;

class FolderClaimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        ASSERT_EQ(mkdir(data().c_str(), 0700), 0);
        ASSERT_EQ(mkdir(config().c_str(), 0700), 0);
    }
    std::string data() const { return folder.path() + "/data"; }
    std::string config() const { return folder.path() + "/config"; }
    std::string link() const { return data() + "/" + kClaimLinkName; }
    // The process the data folder's claim link names; 0 when there is none in the game's form.
    long long linkedProcess() const {
        char target[512];
        const ssize_t size = readlink(link().c_str(), target, sizeof target);
        const auto named = size > 0 ? claimLinkIdentity(std::string(target, size)) : std::nullopt;
        return named ? named->pid : 0;
    }

    // Another process holding the folders, as a running game does, until the returned process ends.
    pid_t holdElsewhere(const std::vector<std::string>& folders, uid_t user = getuid()) {
        int ready[2];
        if (pipe(ready) != 0) return -1;
        const pid_t other = fork();
        if (other == 0) {
            if (user != getuid() && (setgid(user) != 0 || setuid(user) != 0)) _exit(1);
            FolderClaim::Result held = FolderClaim::take(folders);
            const char state = held.state == State::Taken ? 't' : 'x';
            (void)!write(ready[1], &state, 1);
            pause();
            _exit(0);
        }
        char state = 0;
        const bool told = read(ready[0], &state, 1) == 1;
        close(ready[0]);
        close(ready[1]);
        if (!told || state != 't') {
            kill(other, SIGKILL);
            waitpid(other, nullptr, 0);
            return -1;
        }
        return other;
    }
    // Dates a link back, as if it was made `ago`.
    static bool madeAgo(const std::string& path, std::chrono::seconds ago) {
        timespec times[2];
        if (clock_gettime(CLOCK_REALTIME, &times[0]) != 0) return false;
        times[0].tv_sec -= ago.count();
        times[1] = times[0];
        return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
    }
    static void end(pid_t other) {
        kill(other, SIGKILL);  // however it ends, the kernel lets go
        waitpid(other, nullptr, 0);
    }
    // The state a claim of the data folder comes to in a launch of a pid namespace of its own, a sandbox's, whose
    // runtime folder is the test's (root only); -1 when the sandbox cannot be made.
    int stateInASandbox() {
        const kite::test::ForkedOutcome run = kite::test::runForked([this] {
            if (setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1) != 0 || unshare(CLONE_NEWPID) != 0) return 100;
            const pid_t launch = fork();
            if (launch == 0) _exit(static_cast<int>(FolderClaim::take(data()).state));
            int status = 0;
            return launch > 0 && waitpid(launch, &status, 0) == launch && WIFEXITED(status) ? WEXITSTATUS(status) : 101;
        });
        return run.exited && run.status < 100 ? run.status : -1;
    }

    kite::test::TemporaryFolder folder{"stargrid-claim"};
};

}  // namespace platform
