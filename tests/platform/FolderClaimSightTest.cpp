// What a launch makes of a link whose process it may not see: one /proc hides, one in a time namespace of its own,
// one held still by its tracer or its cgroup, one just made by a game that does not listen yet, and one beside
// which a game listens on the folder's socket.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "FolderClaimFixture.h"
#include "platform/ClaimLink.h"
#include "platform/ClaimRules.h"
#include "support/ForkedRun.h"
#include "support/LinkingProcess.h"

namespace platform {
namespace {

using kite::test::LinkingProcess;
namespace linkTarget = kite::test::linkTarget;
using std::chrono::seconds;

class FolderClaimSightTest : public FolderClaimTest {
protected:
    // XDG_RUNTIME_DIR names the folder while it lives.
    class RuntimeFolder {
    public:
        explicit RuntimeFolder(const std::string& path) {
            const char* before = std::getenv("XDG_RUNTIME_DIR");
            if (before) before_ = before;
            setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
        }
        ~RuntimeFolder() {
            if (before_)
                setenv("XDG_RUNTIME_DIR", before_->c_str(), 1);
            else
                unsetenv("XDG_RUNTIME_DIR");
        }
        RuntimeFolder(const RuntimeFolder&) = delete;
        RuntimeFolder& operator=(const RuntimeFolder&) = delete;

    private:
        std::optional<std::string> before_;
    };
    // Listens on the folder's socket in the runtime folder (the test's), as a game on it would; -1 when it cannot.
    int listenAsAGame() const {
        const std::string path =
            folder.path() + "/" + FolderClaim::socketName(FolderClaim::identityOf(data())) + ".sock";
        const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 4) != 0) {
            if (listener >= 0) close(listener);
            return -1;
        }
        return listener;
    }
    // In a forked child: becomes the player (another user) with /proc mounted hidepid=2 in a mount namespace of
    // its own, and checks that /proc hides the process of `stat` from it; 0, else the step that failed (10: no
    // such mount here).
    static int playerProcHidesFrom(const std::string& stat) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("proc", "/proc", "proc", 0, "hidepid=2") != 0)
            return 10;
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 11;
        if (access(stat.c_str(), F_OK) == 0 || errno != ENOENT) return 12;  // it is hidden
        return 0;
    }
    // Waits (bounded) until the process is in this state ('T', 't', 'D'...), as /proc shows it.
    static bool inState(pid_t pid, char state) {
        for (int look = 0; look < 2000; ++look) {
            std::string line;
            std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), line);
            const auto close = line.rfind(") ");
            if (close != std::string::npos && line[close + 2] == state) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(FolderClaimSightTest, AProcessProcHidesIsNotTakenForGone) {
    if (getuid() != 0) GTEST_SKIP() << "another user and a /proc of its own need root";
    // /proc mounted with hidepid=2 hides from its own user a game that cannot be dumped (installed so that its player
    // may run it but not read it): in the launch's pid namespace, or in a sandbox's, running or stopped. No lock
    // proves it gone (it held none), and no game listens.
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chown(data().c_str(), kOtherUser, kOtherUser), 0);
    const auto undumpable = [] {
        return setgid(kOtherUser) == 0 && setuid(kOtherUser) == 0 && prctl(PR_SET_DUMPABLE, 0) == 0;
    };
    struct Case {
        const char* what;
        bool sandboxed;
        bool stopped;
    };
    for (const Case& each : {Case{"of this pid namespace", false, false}, Case{"of a sandbox", true, false},
                             Case{"of a sandbox, stopped", true, true}}) {
        LinkingProcess hidden(data(), linkTarget::asItIs, undumpable, each.sandboxed);
        ASSERT_TRUE(hidden.planted()) << each.what;
        if (each.stopped) {
            ASSERT_TRUE(kill(hidden.seen(), SIGSTOP) == 0 && inState(hidden.seen(), 'T'));
        }
        const std::string stat = "/proc/" + std::to_string(hidden.seen()) + "/stat";
        const kite::test::ForkedOutcome run = kite::test::runForked([this, &stat] {
            if (const int failed = playerProcHidesFrom(stat)) return failed;
            const FolderClaim::Result claimed = FolderClaim::take(data());
            if (claimed.state != State::HeldOutOfSight) return 20 + static_cast<int>(claimed.state);
            // From the host's pid namespace, another one is never the host's own.
            const std::string named = claimHolderText(claimed.holder);
            std::fprintf(stderr, "%s\n", named.c_str());
            return named.find("the host's own") == std::string::npos ? 0 : 13;
        });
        ASSERT_TRUE(run.exited) << each.what;
        if (run.status == 10) GTEST_SKIP() << "no mount namespace with a /proc of its own here";
        EXPECT_EQ(run.status, 0) << each.what << ": " << run.output;
        EXPECT_EQ(linkedProcess(), each.sandboxed ? 1 : hidden.pid()) << each.what << ": its link stays";
        ASSERT_EQ(unlink(link().c_str()), 0);
    }
}

TEST_F(FolderClaimSightTest, APidTheKernelSaysIsAnotherUsersIsALeftoverThoughProcHidesIt) {
    if (getuid() != 0) GTEST_SKIP() << "another user and a /proc of its own need root";
    // The player's game was killed, and its pid is now a process of another user's, which /proc mounted with
    // hidepid=2 hides from the player: the kernel still says whose it is (kill(PID, 0) may not signal it).
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    ASSERT_EQ(chown(data().c_str(), kOtherUser, kOtherUser), 0);
    LinkingProcess others(data());
    ASSERT_TRUE(others.planted());
    ASSERT_EQ(lchown(link().c_str(), kOtherUser, kOtherUser), 0);  // the player's game made it
    const std::string stat = "/proc/" + std::to_string(others.pid()) + "/stat";
    const kite::test::ForkedOutcome run = kite::test::runForked([this, &stat] {
        if (const int failed = playerProcHidesFrom(stat)) return failed;
        const FolderClaim::Result claimed = FolderClaim::take(data());
        if (claimed.state != State::Taken) return 20 + static_cast<int>(claimed.state);
        return claimed.tookOverLeftover ? 0 : 13;
    });
    ASSERT_TRUE(run.exited);
    if (run.status == 10) GTEST_SKIP() << "no mount namespace with a /proc of its own here";
    EXPECT_EQ(run.status, 0) << run.output;
}

TEST_F(FolderClaimSightTest, NoLinkIsTakenOverNorTheFolderClaimedByItsLockAloneWhileAGameListensThere) {
    // A sandbox's game whose home is mounted apart (it locks there, not in this kernel) listens on the folder's
    // socket, its link a leftover by what this launch can tell, or one it cannot read at all.
    const RuntimeFolder runtime(folder.path());
    const int listener = listenAsAGame();
    ASSERT_GE(listener, 0);
    std::optional<LinkingProcess> reused(std::in_place, data(), linkTarget::anotherStart);
    ASSERT_TRUE(reused->planted());
    FolderClaim::Result held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::HeldOutOfSight) << held.error;
    EXPECT_TRUE(held.holder.listens);
    EXPECT_EQ(linkedProcess(), reused->pid());
    reused.reset();
    const std::string junk = "pid=1 pid=1 start=1 ns=1 boot=0-0 host=x";
    ASSERT_EQ(unlink(link().c_str()), 0);
    ASSERT_EQ(symlink(junk.c_str(), link().c_str()), 0);
    held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::HeldOutOfSight) << held.error;
    EXPECT_TRUE(held.holder.listens);
    // Once nothing listens, the lock claims the folder beside the link it cannot read, as before.
    close(listener);
    held = FolderClaim::take(data());
    EXPECT_EQ(held.state, State::Taken) << held.error;
    char target[512] = {};
    EXPECT_EQ(readlink(link().c_str(), target, sizeof target - 1), static_cast<ssize_t>(junk.size()));
}

TEST_F(FolderClaimSightTest, AYoungLinkWhoseProcessCannotBeSeenIsAStartingGamesAndAnOldOneALeftover) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // A sandbox's game whose home is mounted apart has just made its link and does not listen yet: a launch in
    // another sandbox takes the lock and cannot see it. By the file system's clock the link is young; one made long
    // ago is a leftover at once (its game held a lock, and this launch took it).
    LinkingProcess starting(data(), linkTarget::otherNamespace);
    ASSERT_TRUE(starting.planted());
    EXPECT_EQ(stateInASandbox(), static_cast<int>(State::HeldOutOfSight));
    EXPECT_EQ(linkedProcess(), starting.pid());
    ASSERT_TRUE(madeAgo(link(), kStartUpWait + seconds(1)));
    EXPECT_EQ(stateInASandbox(), static_cast<int>(State::Taken));
    EXPECT_NE(linkedProcess(), starting.pid());
}

TEST_F(FolderClaimSightTest, AHeldLaunchTimesAYoungLinkOnceAndCountsOnByItsOwnClock) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // As above, the link made 4 s ago: a launch in another sandbox holds off, trying again every few milliseconds
    // until the link is old enough to take over. It times the link against one it makes beside it once, not on
    // every try (each is a round trip on NFS and a change to the player's folder).
    LinkingProcess starting(data(), linkTarget::otherNamespace);
    ASSERT_TRUE(starting.planted());
    ASSERT_TRUE(madeAgo(link(), kStartUpWait - seconds(1)));
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, data().c_str(), IN_CREATE), 0);
    const kite::test::ForkedOutcome run = kite::test::runForked([this] {
        if (setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1) != 0 || unshare(CLONE_NEWPID) != 0) return 100;
        const pid_t launch = fork();
        if (launch == 0) _exit(static_cast<int>(FolderClaim::take({data()}, std::chrono::seconds(60)).state));
        int status = 0;
        return launch > 0 && waitpid(launch, &status, 0) == launch && WIFEXITED(status) ? WEXITSTATUS(status) : 101;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, static_cast<int>(State::Taken)) << run.output;
    EXPECT_NE(linkedProcess(), starting.pid());
    int clockLinks = 0;
    alignas(inotify_event) char events[64 * 1024];
    for (ssize_t size; (size = read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->len > 0 && std::string(event->name).rfind("claim.link.clock.", 0) == 0) ++clockLinks;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(watch);
    EXPECT_EQ(clockLinks, 1);
}

TEST_F(FolderClaimSightTest, AGameInATimeNamespaceOfItsOwnIsToldByItsStartThroughTheNamespacesOffsets) {
    if (getuid() != 0) GTEST_SKIP() << "a time namespace of its own needs root";
    const std::optional<ProcessIdentity> self = thisProcessIdentity();
    ASSERT_TRUE(self);
    if (self->ns != 0xEFFFFFFCull) GTEST_SKIP() << "this test runs outside the kernel's first pid namespace";
    // Its boot clock an hour ahead: the start it wrote is not the one this launch reads. In this pid namespace or a
    // sandbox's, it holds the folder; a link of its namespace naming another start is a leftover.
    for (const bool sandboxed : {false, true}) {
        std::optional<LinkingProcess> game(std::in_place, data(), linkTarget::asItIs, nullptr, sandboxed, 3600);
        if (!game->planted() && sandboxed == false) GTEST_SKIP() << "no time namespaces here";
        ASSERT_TRUE(game->planted()) << sandboxed;
        FolderClaim::Result held = FolderClaim::take(data());
        EXPECT_EQ(held.state, State::HeldElsewhere) << sandboxed << ": " << held.error;
        EXPECT_EQ(held.holder.names, LinkNames::GameHere) << sandboxed;
        EXPECT_EQ(seeHolder(held.holder).pid, game->seen()) << sandboxed;
        game.reset();
        ASSERT_EQ(unlink(link().c_str()), 0);
        game.emplace(data(), linkTarget::anotherStart, nullptr, sandboxed, 3600);
        ASSERT_TRUE(game->planted()) << sandboxed;
        held = FolderClaim::take(data());
        EXPECT_EQ(held.state, State::Taken) << sandboxed << ": " << held.error;
        held.claim.reset();
    }
}

TEST_F(FolderClaimSightTest, AGameHeldStillByItsTracerOrItsCgroupIsSeenStoppedSo) {
    if (getuid() != 0) GTEST_SKIP() << "tracing and freezing another process need root";
    LinkingProcess game(data());
    ASSERT_TRUE(game.planted());
    const FolderClaim::Result held = FolderClaim::take(data());
    ASSERT_EQ(held.state, State::HeldElsewhere) << held.error;
    EXPECT_EQ(seeHolder(held.holder).stopped, Stopped::No);
    // A debugger holds it: letting it go is the tracer's to do, not a SIGCONT's.
    ASSERT_EQ(ptrace(PTRACE_SEIZE, game.pid(), nullptr, nullptr), 0);
    ASSERT_EQ(ptrace(PTRACE_INTERRUPT, game.pid(), nullptr, nullptr), 0);
    int status = 0;
    ASSERT_EQ(waitpid(game.pid(), &status, 0), game.pid());  // its stop, told to the tracer
    ASSERT_TRUE(WIFSTOPPED(status));
    ASSERT_TRUE(inState(game.pid(), 't'));
    EXPECT_EQ(seeHolder(held.holder).stopped, Stopped::ByTracer);
    EXPECT_EQ(claimRemedyText(held.holder, HolderSeen::Traced, "game").find("kill -CONT"), std::string::npos);
    ASSERT_EQ(ptrace(PTRACE_DETACH, game.pid(), nullptr, nullptr), 0);
    // Its cgroup frozen (the v1 freezer, or v2's cgroup.freeze): it waits in the kernel, stopped all the same.
    const std::string name = "stargrid-claim-" + std::to_string(getpid());
    std::string group = "/sys/fs/cgroup/freezer/" + name;
    std::string freeze = group + "/freezer.state";
    const char* frozen = "FROZEN";
    const char* thawed = "THAWED";
    if (mkdir(group.c_str(), 0700) != 0) {
        group = "/sys/fs/cgroup/" + name;
        freeze = group + "/cgroup.freeze";
        frozen = "1";
        thawed = "0";
        if (mkdir(group.c_str(), 0700) != 0) GTEST_SKIP() << "no cgroup freezer to put a process in here";
    }
    const bool moved = static_cast<bool>(std::ofstream(group + "/cgroup.procs") << game.pid() << "\n");
    const bool froze = moved && static_cast<bool>(std::ofstream(freeze) << frozen << "\n");
    bool seenFrozen = false;
    for (int look = 0; froze && look < 2000 && !seenFrozen; ++look) {
        seenFrozen = seeHolder(held.holder).stopped == Stopped::Frozen;
        if (!seenFrozen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ofstream(freeze) << thawed << "\n";
    std::ofstream("/sys/fs/cgroup/freezer/cgroup.procs") << game.pid() << "\n";
    std::ofstream("/sys/fs/cgroup/cgroup.procs") << game.pid() << "\n";
    EXPECT_TRUE(froze);
    EXPECT_TRUE(seenFrozen);
    for (int look = 0; look < 200 && rmdir(group.c_str()) != 0; ++look)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace
}  // namespace platform
