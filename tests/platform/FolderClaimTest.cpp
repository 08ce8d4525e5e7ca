#include "platform/FolderClaim.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/TemporaryFolder.h"

namespace platform {
namespace {

using State = FolderClaim::State;

class FolderClaimTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.made()); }
    std::string lock() const { return folder.path() + "/" + FolderClaim::kLockName; }

    kite::test::TemporaryFolder folder{"stargrid-claim"};
};

TEST_F(FolderClaimTest, OneClaimAtATimeEvenWithinOneProcess) {
    FolderClaim::Result first = FolderClaim::take(folder.path());
    ASSERT_EQ(first.state, State::Taken);
    EXPECT_EQ(FolderClaim::take(folder.path()).state, State::HeldElsewhere);
    first.claim.reset();
    EXPECT_EQ(FolderClaim::take(folder.path()).state, State::Taken);
}

TEST_F(FolderClaimTest, AnotherProcessHoldingTheFolderKeepsItUntilItEnds) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t other = fork();
    if (other == 0) {
        FolderClaim::Result held = FolderClaim::take(folder.path());
        const char state = held.state == State::Taken ? 't' : 'x';
        (void)!write(ready[1], &state, 1);
        pause();
        _exit(0);
    }
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, 't');
    EXPECT_EQ(FolderClaim::take(folder.path()).state, State::HeldElsewhere);
    kill(other, SIGKILL);  // however it ends, the kernel lets go
    waitpid(other, nullptr, 0);
    EXPECT_EQ(FolderClaim::take(folder.path()).state, State::Taken);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(FolderClaimTest, TheLaunchersLockOnADescriptorItHandedDownIsTheClaim) {
    // As a launcher leaves it: locked on a descriptor this process has and did not open for a claim.
    const int launchers = open(lock().c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(launchers, 0);
    ASSERT_EQ(flock(launchers, LOCK_EX | LOCK_NB), 0);
    FolderClaim::Result claimed = FolderClaim::take(folder.path());
    ASSERT_EQ(claimed.state, State::Taken);
    EXPECT_EQ(fcntl(launchers, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC) << "programs the game starts must not hold it";
    // Released with the claim.
    claimed.claim.reset();
    const int other = open(lock().c_str(), O_RDWR);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);
}

TEST_F(FolderClaimTest, AFolderThatIsNotThereIsAFailureWithTheReason) {
    const FolderClaim::Result claimed = FolderClaim::take(folder.path() + "/missing");
    EXPECT_EQ(claimed.state, State::Failed);
    EXPECT_EQ(claimed.error, "cannot open " + folder.path() + "/missing/game.lock: No such file or directory");
}

}  // namespace
}  // namespace platform
