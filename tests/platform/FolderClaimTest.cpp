#include "platform/FolderClaim.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "FolderClaimFixture.h"
#include "platform/ClaimLink.h"
#include "support/ForkedRun.h"
#include "support/LinkingProcess.h"
#include "support/TemporaryFolder.h"

namespace platform {
namespace {

using kite::test::LinkingProcess;
namespace linkTarget = kite::test::linkTarget;
using std::chrono::seconds;

TEST_F(FolderClaimTest, OneClaimAtATimeEvenWithinOneProcess) {
    FolderClaim::Result first = FolderClaim::take(data());
    ASSERT_EQ(first.state, State::Taken);
    EXPECT_EQ(FolderClaim::take(data()).state, State::HeldElsewhere);
    first.claim.reset();
    EXPECT_EQ(FolderClaim::take(data()).state, State::Taken);
}

TEST_F(FolderClaimTest, AnotherProcessHoldingAFolderKeepsItUntilItEnds) {
    const pid_t other = holdElsewhere({data()});
    ASSERT_GT(other, 0);
    const FolderClaim::Result held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::HeldElsewhere);
    EXPECT_EQ(held.others, std::vector<std::string>{FolderClaim::identityOf(data())});
    end(other);
    EXPECT_EQ(FolderClaim::take(data()).state, State::Taken);
}

TEST_F(FolderClaimTest, EveryFolderOfTheStoreIsClaimed) {
    // Two players' data folders, one config folder: the second game would overwrite the first one's
    // preferences.
    const std::string otherData = folder.path() + "/other-data";
    ASSERT_EQ(mkdir(otherData.c_str(), 0700), 0);
    FolderClaim::Result first = FolderClaim::take({data(), config()});
    ASSERT_EQ(first.state, State::Taken);
    EXPECT_EQ(first.claim->identities(),
              (std::vector<std::string>{FolderClaim::identityOf(data()), FolderClaim::identityOf(config())}));
    const FolderClaim::Result second = FolderClaim::take({otherData, config()});
    EXPECT_EQ(second.state, State::HeldElsewhere);
    EXPECT_EQ(second.others, std::vector<std::string>{FolderClaim::identityOf(config())});
    // Nothing of the refused claim is kept: the other data folder is free.
    EXPECT_EQ(FolderClaim::take(otherData).state, State::Taken);
}

TEST_F(FolderClaimTest, TwoPathsToOneFolderAreOneFolder) {
    // Homes reached through links are common: links above the folder are followed.
    const std::string above = folder.path() + "/above";
    ASSERT_EQ(symlink(folder.path().c_str(), above.c_str()), 0);
    const std::string link = above + "/data";
    const std::string identity = FolderClaim::identityOf(data());
    ASSERT_EQ(identity.size(), 16u);
    EXPECT_EQ(FolderClaim::identityOf(link), identity);
    EXPECT_EQ(FolderClaim::identityOf(data() + "/."), identity);
    EXPECT_NE(FolderClaim::identityOf(config()), identity);
    FolderClaim::Result claimed = FolderClaim::take({data(), link});
    ASSERT_EQ(claimed.state, State::Taken);
    EXPECT_EQ(claimed.claim->identities(), std::vector<std::string>{identity});
    EXPECT_EQ(FolderClaim::take(link).state, State::HeldElsewhere);
}

TEST_F(FolderClaimTest, TheLaunchersLocksOnDescriptorsItHandedDownAreTheClaim) {
    // As a launcher leaves them: locked on descriptors this process has and did not open for a claim.
    const int launchersData = open(data().c_str(), O_RDONLY | O_DIRECTORY);
    const int launchersConfig = open(config().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(launchersData, 0);
    ASSERT_GE(launchersConfig, 0);
    ASSERT_EQ(flock(launchersData, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(flock(launchersConfig, LOCK_EX | LOCK_NB), 0);
    FolderClaim::Result claimed = FolderClaim::take({data(), config()});
    ASSERT_EQ(claimed.state, State::Taken);
    for (const int fd : {launchersData, launchersConfig})
        EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC) << "programs the game starts must not hold it";
    // Released with the claim.
    claimed.claim.reset();
    EXPECT_EQ(FolderClaim::take({data(), config()}).state, State::Taken);
}

TEST_F(FolderClaimTest, InheritedDescriptorsAreKeptFromStartedProgramsWhateverTheOutcome) {
    const pid_t other = holdElsewhere({data()});
    ASSERT_GT(other, 0);
    const int inherited = open(data().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(inherited, 0);
    EXPECT_EQ(FolderClaim::take(data()).state, State::HeldElsewhere);
    EXPECT_EQ(fcntl(inherited, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    end(other);
    ASSERT_EQ(fcntl(inherited, F_SETFD, 0), 0);
    EXPECT_EQ(FolderClaim::take({data(), folder.path() + "/missing"}).state, State::Failed);
    EXPECT_EQ(fcntl(inherited, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    close(inherited);
}

TEST_F(FolderClaimTest, ALeftoverLockFileOfAnyKindIsNoHindrance) {
    ASSERT_EQ(mkdir((data() + "/game.lock").c_str(), 0700), 0);
    ASSERT_EQ(symlink("/nonexistent/target", (config() + "/game.lock").c_str()), 0);
    for (const std::string& place : {data(), config()}) {
        FolderClaim::Result first = FolderClaim::take(place);
        ASSERT_EQ(first.state, State::Taken) << place << ": " << first.error;
        EXPECT_EQ(FolderClaim::take(place).state, State::HeldElsewhere) << place;
    }
}

TEST_F(FolderClaimTest, AFolderThePlayerCannotWriteIsClaimedAllTheSame) {
    if (getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chown(data().c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(data().c_str(), 0500), 0);
    // As the player (root writes anywhere): the first claim holds, the second is kept off.
    const kite::test::ForkedOutcome run = kite::test::runForked([this] {
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 10;
        FolderClaim::Result first = FolderClaim::take(data());
        if (first.state != State::Taken) {
            std::fprintf(stderr, "%s\n", first.error.c_str());
            return 1;
        }
        return FolderClaim::take(data()).state == State::HeldElsewhere ? 0 : 2;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.output;
    struct stat info;
    ASSERT_EQ(stat(data().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0500u);
}

TEST_F(FolderClaimTest, AFolderThatCannotBeLockedIsAFailureWithTheReason) {
    FolderClaim::Result claimed = FolderClaim::take({data(), folder.path() + "/missing"});
    EXPECT_EQ(claimed.state, State::Failed);
    EXPECT_EQ(claimed.error, "cannot open " + folder.path() + "/missing: No such file or directory");
    EXPECT_TRUE(claimed.others.empty());
    EXPECT_EQ(FolderClaim::take(data()).state, State::Taken) << "what was taken is let go";
    const std::string file = folder.put("file", "");
    claimed = FolderClaim::take(file);
    EXPECT_EQ(claimed.state, State::Failed);
    EXPECT_EQ(claimed.error, "cannot open " + file + ": it is not a folder");
    // One that is there but out of reach names itself, so a game on it can still be asked.
    if (getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chown(config().c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(config().c_str(), 0), 0);
    const kite::test::ForkedOutcome run = kite::test::runForked([this] {
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 10;
        const FolderClaim::Result closed = FolderClaim::take(config());
        if (closed.state != State::Failed) return 1;
        if (closed.error != "cannot open " + config() + ": Permission denied") return 2;
        return closed.others == std::vector<std::string>{FolderClaim::identityOf(config())} ? 0 : 3;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0);
}

TEST_F(FolderClaimTest, ALinkAtTheFolderOrAFolderNotThePlayersOwnIsRefused) {
    const std::string link = folder.path() + "/link";
    ASSERT_EQ(symlink(data().c_str(), link.c_str()), 0);
    EXPECT_EQ(FolderClaim::take(link).error, "cannot claim " + link + ": it is a link");
    ASSERT_EQ(chmod(config().c_str(), 0750), 0);
    EXPECT_EQ(FolderClaim::take(config()).error, "cannot claim " + config() + ": it is open to others (mode 0750)");
    // Another user's game on its own folder is no game of this player's: refused, never "already running".
    if (getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chown(data().c_str(), kOtherUser, kOtherUser), 0);
    const pid_t other = holdElsewhere({data()}, kOtherUser);
    ASSERT_GT(other, 0);
    const FolderClaim::Result claimed = FolderClaim::take(data());
    end(other);
    EXPECT_EQ(claimed.state, State::Failed);
    EXPECT_EQ(claimed.error, "cannot claim " + data() + ": it belongs to user 54321");
    EXPECT_TRUE(claimed.others.empty());
}

TEST_F(FolderClaimTest, ALinkWhoseProcessIsNotTheOneThatMadeItIsTakenOverAndOneThatIsHolds) {
    // Its pid another process's now (another start time), or made before this host last started.
    for (const auto& leftover : {linkTarget::anotherStart, linkTarget::earlierBoot}) {
        LinkingProcess other(data(), leftover);
        ASSERT_TRUE(other.planted());
        FolderClaim::Result claimed = FolderClaim::take(data());
        ASSERT_EQ(claimed.state, State::Taken) << claimed.error;
        EXPECT_EQ(linkedProcess(), getpid());
        claimed.claim.reset();
        EXPECT_EQ(linkedProcess(), 0) << "the game's link goes with it";
    }
    // The process that made it runs: a lock taken here does not outrank it.
    LinkingProcess running(data());
    ASSERT_TRUE(running.planted());
    const FolderClaim::Result held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::HeldElsewhere);
    EXPECT_EQ(held.holder.names, LinkNames::GameHere);
    EXPECT_EQ(held.holder.named.pid, running.pid());
    EXPECT_EQ(held.holder.link, link());
}

TEST_F(FolderClaimTest, ALinkOfAZombieIsTakenOver) {
    // A game killed with -9 whose parent has not reaped it: its pid and start time are there still.
    LinkingProcess killed(data());
    ASSERT_TRUE(killed.planted());
    ASSERT_EQ(kill(killed.pid(), SIGKILL), 0);
    siginfo_t ended{};
    ASSERT_EQ(waitid(P_PID, killed.pid(), &ended, WEXITED | WNOWAIT), 0);
    FolderClaim::Result claimed = FolderClaim::take(data());
    EXPECT_EQ(claimed.state, State::Taken) << claimed.error;
    EXPECT_EQ(linkedProcess(), getpid());
}

TEST_F(FolderClaimTest, ALinkOfThisBootIsOfThisHostWhateverItsHostName) {
    // A container has a host name of its own: its game's link is judged by its process.
    std::optional<LinkingProcess> renamed(std::in_place, data(), linkTarget::anotherHostName);
    ASSERT_TRUE(renamed->planted());
    const FolderClaim::Result held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::HeldElsewhere);
    EXPECT_EQ(held.holder.named.pid, renamed->pid());
    renamed.reset();
    FolderClaim::Result claimed = FolderClaim::take(data());
    EXPECT_EQ(claimed.state, State::Taken) << claimed.error;
    EXPECT_EQ(linkedProcess(), getpid());
}

TEST_F(FolderClaimTest, WhereTheLockIsTakenALinkOfAnotherPidNamespaceOfThisHostIsALeftover) {
    // A game in a sandbox of its own killed with -9: a game there that runs would hold the lock.
    LinkingProcess sandboxed(data(), linkTarget::otherNamespace);
    ASSERT_TRUE(sandboxed.planted());
    FolderClaim::Result claimed = FolderClaim::take(data());
    EXPECT_EQ(claimed.state, State::Taken) << claimed.error;
    EXPECT_EQ(linkedProcess(), getpid());
}

TEST_F(FolderClaimTest, ALinkOfAMachineClonedFromThisOneHoldsTheFolder) {
    // Machines made from one image share a machine id; their boot ids and names differ. The clone's game runs,
    // and no lock of this machine's speaks for it.
    LinkingProcess clone(data(), linkTarget::clone);
    ASSERT_TRUE(clone.planted());
    const FolderClaim::Result held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::HeldOutOfSight) << held.error;
    EXPECT_EQ(held.holder.names, LinkNames::OtherHost);
    EXPECT_EQ(held.holder.named.host, "clone.example");
}

TEST_F(FolderClaimTest, WhereTheLockIsTakenALinkOfAnotherPidNamespaceWhoseMakerHeldNoneHoldsTheFolder) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // A game that started while the lock service was down, in a sandbox of its own, for a launch in another
    // sandbox, which cannot see it: it holds no lock for this launch's to outrank.
    LinkingProcess unlocked(data(), linkTarget::otherNamespaceWithoutLock);
    ASSERT_TRUE(unlocked.planted());
    EXPECT_EQ(stateInASandbox(), static_cast<int>(State::HeldOutOfSight));
    EXPECT_EQ(linkedProcess(), unlocked.pid());
}

TEST_F(FolderClaimTest, FromTheKernelsFirstPidNamespaceALinkOfAnotherIsJudgedByTheProcessItSees) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    const std::optional<ProcessIdentity> self = thisProcessIdentity();
    ASSERT_TRUE(self);
    if (self->ns != 0xEFFFFFFCull) GTEST_SKIP() << "this test runs outside the kernel's first pid namespace";
    // A sandbox's game, its maker holding a lock or none (this launch takes one either way): it runs, and is
    // named by the pid this launch sees it by, stopped or not.
    const std::vector<LinkingProcess::Target> makers{linkTarget::asItIs,
                                                     linkTarget::changed([](ProcessIdentity&) {}, MakersLock::Held)};
    for (const auto& made : makers) {
        std::optional<LinkingProcess> sandboxed(std::in_place, data(), made, nullptr, true);
        ASSERT_TRUE(sandboxed->planted());
        ASSERT_EQ(linkedProcess(), 1);
        FolderClaim::Result held = FolderClaim::take(data());
        EXPECT_EQ(held.state, State::HeldElsewhere) << held.error;
        EXPECT_EQ(held.holder.names, LinkNames::GameHere);
        EXPECT_EQ(held.holder.seen, sandboxed->seen());
        EXPECT_EQ(seeHolder(held.holder).stopped, Stopped::No);
        ASSERT_EQ(kill(sandboxed->seen(), SIGSTOP), 0);
        for (int look = 0; look < 1000 && seeHolder(held.holder).stopped == Stopped::No; ++look) usleep(10000);
        EXPECT_EQ(seeHolder(held.holder).stopped, Stopped::BySignal);
        EXPECT_EQ(seeHolder(held.holder).pid, sandboxed->seen());
        // Killed, it leaves a link nothing in its namespace runs under: taken over at once.
        sandboxed.reset();
        held = FolderClaim::take(data());
        EXPECT_EQ(held.state, State::Taken) << held.error;
        EXPECT_EQ(linkedProcess(), getpid());
        held.claim.reset();
    }
}

TEST_F(FolderClaimTest, ALinkWhoseProcessCannotBeSeenIsNotTakenOverWhileAGameListensOnTheFolder) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // A sandbox's game whose home is mounted apart, locked there and not here: the launch, in another sandbox,
    // takes the lock and cannot see the game, but the game listens for launches.
    LinkingProcess sandboxed(data(), linkTarget::otherNamespace);
    ASSERT_TRUE(sandboxed.planted());
    const std::string socket = folder.path() + "/" + FolderClaim::socketName(FolderClaim::identityOf(data())) + ".sock";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    EXPECT_EQ(stateInASandbox(), static_cast<int>(State::HeldOutOfSight));
    EXPECT_EQ(linkedProcess(), sandboxed.pid());
    // Once nothing listens, the link, older than a starting game's, is a leftover as the table says.
    close(listener);
    ASSERT_TRUE(madeAgo(link(), kStartUpWait + seconds(1)));
    EXPECT_EQ(stateInASandbox(), static_cast<int>(State::Taken));
    EXPECT_NE(linkedProcess(), sandboxed.pid());
}

TEST_F(FolderClaimTest, ALinkOfALaterFormIsReadByTheFieldsItKnows) {
    // A later version's link, a field more before host=: another machine's game, as this version would judge
    // it; not junk, which the lock taken here would outrank.
    LinkingProcess later(data(), [](ProcessIdentity named) {
        named.boot = "0-0";
        named.machine = "00000000000000000000000000000000";
        named.host = "far-host";
        const std::string text = claimLinkText(named, MakersLock::Held);
        return text.substr(0, text.find(" host=")) + " since=1765000000 host=far-host";
    });
    ASSERT_TRUE(later.planted());
    const FolderClaim::Result held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::HeldOutOfSight) << held.error;
    EXPECT_EQ(held.holder.names, LinkNames::OtherHost);
    EXPECT_EQ(held.holder.named.host, "far-host");
    EXPECT_EQ(held.holder.named.pid, later.pid());
    // Its own fields are read as they are: a field said twice, or one without a value, is no form the game writes.
    for (const char* junk :
         {"pid=1 pid=2 start=1 ns=1 boot=0-0 host=x", "pid=1 start=1 ns=1 since= boot=0-0 host=x",
          "pid=1 start=1 ns=1 boot=0-0 lock=shared host=x"})
        EXPECT_FALSE(claimLinkIdentity(junk)) << junk;
}

TEST_F(FolderClaimTest, ALinkOfAProcessOutOfSightHoldsTheFolder) {
    // Another machine (whatever its host name: two machines may share one), or an older version's form naming
    // a pid that runs; held however this launch locks the folder.
    const bool machineKnown = !thisProcessIdentity()->machine.empty();
    const std::vector<std::pair<LinkingProcess::Target, LinkNames>> unseenOnes{
        {linkTarget::otherHost, LinkNames::OtherHost},
        {linkTarget::otherMachine, machineKnown ? LinkNames::NameSake : LinkNames::Nothing},
        {linkTarget::olderForm, LinkNames::OlderRunning}};
    for (const auto& [unseen, names] : unseenOnes) {
        if (names == LinkNames::Nothing) continue;  // without a machine id, a host is known by its name
        LinkingProcess other(data(), unseen);
        ASSERT_TRUE(other.planted());
        const FolderClaim::Result held = FolderClaim::take(data());
        EXPECT_EQ(held.state, State::HeldOutOfSight) << held.error;
        EXPECT_EQ(held.holder.names, names);
        EXPECT_EQ(held.holder.link, link());
        EXPECT_EQ(held.others, std::vector<std::string>{FolderClaim::identityOf(data())});
        ASSERT_EQ(unlink(link().c_str()), 0);
    }
}

TEST_F(FolderClaimTest, ALinkNamingAnotherUsersProcessIsALeftoverWhatProcHides) {
    if (getuid() != 0) GTEST_SKIP() << "another user and a /proc of its own need root";
    // The player's leftover link names a pid another user's process has now (this one, root's, even with its
    // start time), and /proc is mounted with hidepid=1: the player cannot read that process's stat.
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chown(data().c_str(), kOtherUser, kOtherUser), 0);
    const std::optional<ProcessIdentity> self = thisProcessIdentity();
    ASSERT_TRUE(self);
    ASSERT_EQ(symlink(claimLinkText(*self, MakersLock::None).c_str(), link().c_str()), 0);
    ASSERT_EQ(lchown(link().c_str(), kOtherUser, kOtherUser), 0);
    const std::string stat = "/proc/" + std::to_string(getpid()) + "/stat";
    const kite::test::ForkedOutcome run = kite::test::runForked([this, &stat] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("proc", "/proc", "proc", 0, "hidepid=1") != 0)
            return 10;
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 11;
        if (access(stat.c_str(), R_OK) == 0) return 12;
        const FolderClaim::Result claimed = FolderClaim::take(data());
        if (claimed.state == State::Taken) return 0;
        std::fprintf(stderr, "not taken (%d): %s\n", static_cast<int>(claimed.state), claimed.error.c_str());
        return 1;
    });
    ASSERT_TRUE(run.exited);
    if (run.status == 10) GTEST_SKIP() << "no mount namespace with a /proc of its own here";
    EXPECT_EQ(run.status, 0) << run.output;
}

TEST_F(FolderClaimTest, LinksMovedAsideByALaunchThatNoLongerRunsAreRemoved) {
    // As the previous version named them, HOST-PID-START-ROUND: one left by a launch killed between moving a
    // leftover aside and removing it goes; one of a launch that runs, or of another host, stays.
    const std::optional<ProcessIdentity> self = thisProcessIdentity();
    ASSERT_TRUE(self);
    std::string host;
    for (const char c : self->host.substr(0, 64))
        host += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    const std::string aside = data() + "/claim.link.leftover.";
    const std::string start = std::to_string(self->start);
    const std::string killed = aside + host + "-" + std::to_string(gone) + "-" + start + "-0";
    const std::string running = aside + host + "-" + std::to_string(getpid()) + "-" + start + "-1";
    const std::string elsewhere = aside + "else.example-" + std::to_string(gone) + "-" + start + "-2";
    for (const std::string& moved : {killed, running, elsewhere}) ASSERT_EQ(symlink("x", moved.c_str()), 0);
    // Another user's, set aside or moved aside, stay as they are.
    const std::string usersSetAside = data() + "/claim.link.user-54321.else-1-1-0";
    const std::string usersMovedAside = killed + "0";
    if (getuid() == 0) {
        for (const std::string& users : {usersSetAside, usersMovedAside}) {
            ASSERT_EQ(symlink("x", users.c_str()), 0);
            ASSERT_EQ(lchown(users.c_str(), kOtherUser, kOtherUser), 0);
        }
    }
    const FolderClaim::Result claimed = FolderClaim::take(data());
    ASSERT_EQ(claimed.state, State::Taken) << claimed.error;
    struct stat info;
    EXPECT_NE(lstat(killed.c_str(), &info), 0);
    for (const std::string& kept : {running, elsewhere}) EXPECT_EQ(lstat(kept.c_str(), &info), 0) << kept;
    if (getuid() != 0) return;
    for (const std::string& kept : {usersSetAside, usersMovedAside}) EXPECT_EQ(lstat(kept.c_str(), &info), 0) << kept;
}

TEST_F(FolderClaimTest, LinksMovedAsideByALaunchOfAClonedMachineStay) {
    // Moved aside under names that tell the launch's boot, its machine id and (now) its host name: one of another
    // boot goes only when it was this machine's, by both; a clone shares the machine id and may run still.
    const std::optional<ProcessIdentity> self = thisProcessIdentity();
    ASSERT_TRUE(self);
    if (self->machine.empty()) GTEST_SKIP() << "this host has no machine id";
    std::string host;
    for (const char c : self->host.substr(0, 64))
        host += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
    const std::string aside = data() + "/claim.link.leftover.4242.1.1.0-0.";
    const std::string previousForm = aside + "m" + self->machine + ".0";  // no host beside the machine id
    const std::string clone = aside + "none.m" + self->machine + ".hclone-example.1";
    const std::string earlierBoot = aside + "none.m" + self->machine + ".h" + host + ".2";
    for (const std::string& moved : {previousForm, clone, earlierBoot}) ASSERT_EQ(symlink("x", moved.c_str()), 0);
    const FolderClaim::Result claimed = FolderClaim::take(data());
    ASSERT_EQ(claimed.state, State::Taken) << claimed.error;
    struct stat info;
    for (const std::string& kept : {previousForm, clone}) EXPECT_EQ(lstat(kept.c_str(), &info), 0) << kept;
    EXPECT_NE(lstat(earlierBoot.c_str(), &info), 0);
}

TEST_F(FolderClaimTest, AnotherUsersLinkIsNoClaimAndIsSetAside) {
    if (getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
    // Planted while the folder was open to others, before the game narrowed it.
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chmod(data().c_str(), 0777), 0);
    LinkingProcess planted(
        data(), [](const ProcessIdentity&) { return std::string("elsewhere.example:4242"); },
        [] { return setgid(kOtherUser) == 0 && setuid(kOtherUser) == 0; });
    ASSERT_TRUE(planted.planted());
    ASSERT_EQ(chmod(data().c_str(), 0700), 0);
    const FolderClaim::Result claimed = FolderClaim::take(data());
    ASSERT_EQ(claimed.state, State::Taken) << claimed.error;
    EXPECT_EQ(linkedProcess(), getpid());
    ASSERT_EQ(claimed.notes.size(), 1u);
    const std::string said = link() + " is no claim: it belongs to user 54321, not to the player; it is set aside as ";
    ASSERT_THAT(claimed.notes[0], ::testing::StartsWith(said + link() + ".user-54321."));
    struct stat aside;
    ASSERT_EQ(lstat(claimed.notes[0].substr(said.size()).c_str(), &aside), 0);
    EXPECT_EQ(aside.st_uid, kOtherUser);
}

TEST_F(FolderClaimTest, WithPatienceAClaimHeldElsewhereIsTakenOnceItIsGivenUp) {
    const pid_t other = holdElsewhere({data(), config()});
    ASSERT_GT(other, 0);
    EXPECT_EQ(FolderClaim::take({data(), config()}).state, State::HeldElsewhere);
    auto waiting = std::async(std::launch::async, [this] {
        return FolderClaim::take({data(), config()}, seconds(60));
    });
    end(other);
    ASSERT_EQ(waiting.wait_for(seconds(90)), std::future_status::ready);
    EXPECT_EQ(waiting.get().state, State::Taken);
}

}  // namespace
}  // namespace platform
