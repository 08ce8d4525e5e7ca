// How long a stargrid-server lives: its database is opened only once it listens, one server at a time has
// a database open, and a server asked to ends when its standard input does.
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ServerProgram.h"
#include "platform/ClaimProcess.h"
#include "platform/FolderClaim.h"
#include "support/NfsLocksShim.h"
#include "support/TemporaryFolder.h"

namespace stargrid_server::test {
namespace {

// A loopback port this test listens on, so that no server can.
class TakenPort {
public:
    TakenPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), size) == 0 && ::listen(fd_, 1) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~TakenPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    TakenPort(const TakenPort&) = delete;
    TakenPort& operator=(const TakenPort&) = delete;
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

TEST(ServerLifetime, AServerThatCannotListenLeavesNoDatabase) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    const TakenPort taken;
    ASSERT_NE(taken.port(), 0);
    // "1.2.3" is an address (1.2.0.3), but none of this machine's.
    for (const std::vector<std::string>& where : {std::vector<std::string>{"--port", std::to_string(taken.port())},
                                                  std::vector<std::string>{"--host", "1.2.3"}}) {
        std::vector<std::string> args{"--quiet", "--db", database};
        args.insert(args.end(), where.begin(), where.end());
        ServerProgram server(args);
        const std::string said = server.nextLine();
        EXPECT_EQ(said.rfind("stargrid-server: cannot listen on ", 0), 0u) << said;
        if (said.rfind("stargrid-server: listening on ", 0) == 0) server.signal(SIGTERM);
        EXPECT_EQ(server.waitForExit(), 1) << where[1];
        EXPECT_EQ(modeOf(database), -1) << where[1] << ": the database was made";
        EXPECT_EQ(modeOf(database + ".claim"), -1) << where[1] << ": the database was claimed";
    }
}

// The server says it listens; the test fails when it does not.
void listeningLine(ServerProgram& server) {
    const std::string line = server.nextLine();
    EXPECT_EQ(line.rfind(kListening, 0), 0u) << line;
}

// A server's home as NFS without its lock service answers locks (in the child, before the program).
void withoutLockService() { kite::test::preloadNfsLocks(STARGRID_NFS_LOCKS_SHIM, "none"); }

// There, the server first says how it locks instead, then that it listens.
void listeningWithoutLocks(ServerProgram& server) {
    server.nextLine();
    listeningLine(server);
}

TEST(ServerLifetime, ASecondServerOnADatabaseIsRefusedNamingTheFirst) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    ServerProgram first({"--quiet", "--db", database});
    listeningLine(first);
    ServerProgram second({"--quiet", "--db", database});
    const std::string refusal = "stargrid-server: " + database +
                                " is open in another stargrid-server: the claim on it is held by process " +
                                std::to_string(first.pid()) + " of this host (it holds " + database +
                                ".claim/claim.link)";
    EXPECT_EQ(second.nextLine(), refusal + "; waiting up to 10 s for it to stop");
    const std::string refused = second.nextLine();
    EXPECT_EQ(refused, refusal);
    // One that serves the database all the same is ended, so that the test fails instead of hanging.
    if (refused != refusal) second.signal(SIGKILL);
    EXPECT_EQ(second.waitForExit(), 1);
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);
}

// Waits (bounded, looking again and again) until /proc shows the process stopped by a signal.
bool seenStopped(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string line;
        std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), line);
        const auto close = line.rfind(") ");
        if (close != std::string::npos && line.compare(close + 2, 1, "T") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(ServerLifetime, ASecondServerNamesAStoppedFirstAsStoppedWithoutWaitingForIt) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    ServerProgram first({"--quiet", "--db", database});
    listeningLine(first);
    first.signal(SIGSTOP);
    ASSERT_TRUE(seenStopped(first.pid()));
    ServerProgram second({"--quiet", "--db", database});
    const std::string pid = std::to_string(first.pid());
    // A stopped server does not let the database go: no wait for it is said, as none is had.
    const std::string held = "stargrid-server: " + database +
                             " is open in another stargrid-server: the claim on it is held by process " + pid +
                             " of this host (it holds " + database + ".claim/claim.link), which is stopped; ";
    const std::string refusal =
        held + "end it, or let it go on (kill -CONT " + pid + "), and start the stargrid-server again";
    const std::string refused = second.nextLine();
    EXPECT_EQ(refused, refusal);
    // One that serves the database all the same is ended, so that the test fails instead of hanging.
    if (refused.find("listening on") != std::string::npos) second.signal(SIGKILL);
    EXPECT_EQ(second.waitForExit(), 1);
    first.signal(SIGCONT);
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);
}

// A server in a sandbox of its own (pid and mount namespaces, /proc its own) whose home is mounted apart: it locks
// there (the NFS shim's locks of its own), not in this kernel. For the forked child that becomes the server: the
// process outside ends with the server's status, and the server with it.
void inASandboxWithLocksApart(const std::string& locks, const std::string& runtime) {
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    kite::test::preloadNfsLocks(STARGRID_NFS_LOCKS_SHIM, "nolock");
    ::setenv("STARGRID_TEST_NFS_LOCKS_DIR", locks.c_str(), 1);
    if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) ::_exit(126);
    const pid_t server = ::fork();
    if (server < 0) ::_exit(126);
    if (server > 0) {
        int status = 0;
        ::waitpid(server, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
    }
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("proc", "/proc", "proc", 0, nullptr) != 0)
        ::_exit(126);
}

TEST(ServerLifetime, AServerThatCannotSeeTheOneServingTheDatabaseAsksItsSocketAndDoesNotServe) {
    if (getuid() != 0) GTEST_SKIP() << "a sandbox of its own needs root";
    // The first serves on the host; the second, in a sandbox whose locks are apart, takes its own lock and cannot
    // see the first, whose link its judgement would take over: the first's socket answers for it.
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    const std::string locks = folder.path() + "/locks-apart";
    ASSERT_EQ(::mkdir(locks.c_str(), 0700), 0);
    const std::string runtime = folder.path();
    ServerProgram first({"--quiet", "--db", database}, [&] { ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1); });
    listeningLine(first);
    ServerProgram second({"--quiet", "--db", database}, [&] { inASandboxWithLocksApart(locks, runtime); });
    const std::string open = "stargrid-server: " + database +
                             " is open in another stargrid-server: the claim on it "
                             "is held by process " +
                             std::to_string(first.pid()) +
                             " in another pid namespace of "
                             "this host: a container's, a sandbox's or the host's own (so says " +
                             database + ".claim/claim.link)";
    const std::string waiting = second.nextLine();
    EXPECT_EQ(waiting, open + "; waiting up to 10 s for it to stop");
    // One that serves the database all the same is ended, so that the test fails instead of hanging.
    if (waiting.find("listening on") != std::string::npos) second.signal(SIGKILL);
    EXPECT_EQ(second.nextLine(), open + ", which answers on its socket");
    EXPECT_EQ(second.waitForExit(), 1);
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);
}

TEST(ServerLifetime, AProcessOnTheServersSocketIsNamedAsAnotherServer) {
    // A process of this user listens where the server's socket goes (the socket's name is the claim folder's):
    // only another server's witness would, so it is named as one, never as a game.
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    const std::string runtime = folder.path();
    ASSERT_EQ(::mkdir((database + ".claim").c_str(), 0700), 0);
    const std::string identity = platform::FolderClaim::identityOf(database + ".claim");
    const std::string socket = runtime + "/" + platform::FolderClaim::socketName(identity) + ".sock";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket.size(), sizeof address.sun_path);
    socket.copy(address.sun_path, socket.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ServerProgram server({"--quiet", "--db", database}, [&] { ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1); });
    EXPECT_EQ(server.nextLine(), "stargrid-server: no socket tells that this server has " + database +
                                     " open (another stargrid-server listens on " + socket +
                                     "): a server that cannot see this one may take it over");
    listeningLine(server);
    server.signal(SIGTERM);
    EXPECT_EQ(server.waitForExit(), 0);
    ::close(listener);
}

// On a home without a lock service too (the claim is a link there), a server waiting for the database
// starts once the one that has it open stops.
TEST(ServerLifetime, AServerWaitingForADatabaseStartsOnceTheFirstStops) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    ServerProgram first({"--quiet", "--db", database}, withoutLockService);
    listeningWithoutLocks(first);
    ServerProgram second({"--quiet", "--db", database}, withoutLockService);
    const std::string waiting = second.nextLine();
    EXPECT_NE(waiting.find("waiting up to 10 s for it to stop"), std::string::npos) << waiting;
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);
    listeningWithoutLocks(second);
    second.signal(SIGTERM);
    EXPECT_EQ(second.waitForExit(), 0);
}

// Without record locks, a dot-lock left by a server killed while it had the database open (its claim link
// names it, and it no longer runs) is that server's: removed, and the next server starts.
TEST(ServerLifetime, AKilledServersDotLockIsRemovedOnceItIsKnownGone) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    {
        ServerProgram killed({"--quiet", "--db", database}, withoutLockService);
        listeningWithoutLocks(killed);
        killed.signal(SIGKILL);
        EXPECT_EQ(killed.waitForExit(), -1);
    }
    ASSERT_EQ(::mkdir((database + ".lock").c_str(), 0700), 0);  // as a transaction of it left it
    ServerProgram next({"--quiet", "--db", database}, withoutLockService);
    listeningWithoutLocks(next);
    EXPECT_EQ(modeOf(database + ".lock"), -1);
    next.signal(SIGTERM);
    EXPECT_EQ(next.waitForExit(), 0);
}

// A server of a machine cloned from this one (its machine id, another boot and name) holds the claim, on a home
// without a lock service: its dot-lock is none of a gone server's, and the database is not served beside it.
TEST(ServerLifetime, AClonedMachinesServerKeepsItsClaimAndItsDotLock) {
    const std::optional<platform::ProcessIdentity> self = platform::thisProcessIdentity();
    ASSERT_TRUE(self);
    if (self->machine.empty()) GTEST_SKIP() << "this host has no machine id";
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    const std::string link = database + ".claim/claim.link";
    ASSERT_EQ(::mkdir((database + ".claim").c_str(), 0700), 0);
    const std::string clone = "pid=4242 start=1 ns=1 boot=0-0 machine=" + self->machine + " host=clone.example";
    ASSERT_EQ(::symlink(clone.c_str(), link.c_str()), 0);
    ASSERT_EQ(::mkdir((database + ".lock").c_str(), 0700), 0);  // as its transaction leaves it
    ServerProgram server({"--quiet", "--db", database}, withoutLockService);
    const std::string refusal = "stargrid-server: " + database +
                                " may be open in another stargrid-server: the claim on it is held by process 4242 on "
                                "clone.example (so says " +
                                link +
                                "), which cannot be asked from here; if no "
                                "stargrid-server runs there, not even a stopped one, remove " +
                                link + " and start it again";
    const std::string refused = server.nextLine();
    EXPECT_EQ(refused, refusal);
    // One that serves the database all the same is ended, so that the test fails instead of hanging.
    if (refused != refusal) server.signal(SIGKILL);
    EXPECT_EQ(server.waitForExit(), 1);
    EXPECT_NE(modeOf(database + ".lock"), -1);
}

TEST(ServerLifetime, AServerAskedToEndsWhenItsInputEnds) {
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    ServerProgram server({"--quiet", "--until-input-ends"}, [&input] {
        ::dup2(input[0], STDIN_FILENO);
        ::close(input[0]);
        ::close(input[1]);
    });
    ::close(input[0]);
    listeningLine(server);
    // What is written before the end is no end.
    ASSERT_EQ(::write(input[1], "x\n", 2), 2);
    ::close(input[1]);
    EXPECT_EQ(server.nextLine(), "stargrid-server: stopped");
    EXPECT_EQ(server.waitForExit(), 0);
}

}  // namespace
}  // namespace stargrid_server::test
