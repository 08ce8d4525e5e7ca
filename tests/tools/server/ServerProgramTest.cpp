// The stargrid-server program as scripts/play runs it: a free port printed first, a clean stop on SIGTERM.
#include <dirent.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ServerProgram.h"
#include "ServerTestSupport.h"
#include "support/NfsLocksShim.h"
#include "support/TemporaryFolder.h"

namespace stargrid_server::test {
namespace {

// Whether this machine has an IPv6 loopback address to listen on.
bool hasIpv6Loopback() {
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

// How the program ended a command line it should refuse: the first line it said, whether its usage
// followed, its exit status. One that listens after all, or says nothing, is stopped, so a test fails
// instead of hanging.
struct Refusal {
    std::string said;
    bool usage = false;
    int status = -1;
};

Refusal refusalOf(std::vector<std::string> args, const std::function<void()>& inChild = {}) {
    ServerProgram program(std::move(args), inChild);
    Refusal refusal;
    refusal.said = program.nextLine();
    if (refusal.said.rfind("stargrid-server: listening on ", 0) == 0) program.signal(SIGTERM);
    // Silent for the whole wait: stuck, and ended so that the test fails instead of hanging.
    if (refusal.said.empty()) program.signal(SIGKILL);
    refusal.usage = program.rest().rfind("usage: stargrid-server", 0) == 0;
    refusal.status = program.waitForExit();
    return refusal;
}

TEST(ServerProgram, ListensOnTheAddressItPrintsAndStopsOnSigterm) {
    ServerProgram server({"--quiet"});
    ASSERT_TRUE(server.started());
    const std::string line = server.nextLine();
    ASSERT_EQ(line.rfind(kListening, 0), 0u) << line;
    const int port = std::stoi(line.substr(std::string(kListening).size()));

    httplib::Client client("127.0.0.1", port);
    auto reply = client.Get("/bus_ser_ios.html");
    ASSERT_TRUE(reply);
    EXPECT_EQ(parseJson(reply->body)["code"].asString(), "0000");

    server.signal(SIGTERM);
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST(ServerProgram, AnIpv6HostIsPrintedAsAUrlThatReachesIt) {
    if (!hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1) to listen on";
    ServerProgram server({"--quiet", "--host", "::1", "--port", "0"});
    ASSERT_TRUE(server.started());
    const std::string line = server.nextLine();
    const std::string listening = "stargrid-server: listening on ";
    ASSERT_EQ(line.rfind(listening, 0), 0u) << line;

    httplib::Client client(line.substr(listening.size()));
    auto reply = client.Get("/bus_ser_ios.html");
    ASSERT_TRUE(reply) << line;
    EXPECT_EQ(parseJson(reply->body)["code"].asString(), "0000");

    server.signal(SIGTERM);
    EXPECT_EQ(server.waitForExit(), 0);
}

TEST(ServerProgram, APortAnotherServerHoldsIsRefusedWithItsReason) {
    ServerProgram first({"--quiet"});
    ASSERT_TRUE(first.started());
    const std::string line = first.nextLine();
    ASSERT_EQ(line.rfind(kListening, 0), 0u) << line;
    const std::string port = line.substr(std::string(kListening).size());

    ServerProgram second({"--quiet", "--port", port});
    ASSERT_TRUE(second.started());
    const std::string said = second.nextLine();
    EXPECT_EQ(said, "stargrid-server: cannot listen on 127.0.0.1:" + port + ": Address already in use");
    if (said.rfind(kListening, 0) == 0) second.signal(SIGTERM);
    EXPECT_EQ(second.waitForExit(), 1);

    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);
}

TEST(ServerProgram, AnIpv6HostThatCannotBeBoundIsWrittenInBracketsInTheError) {
    // ::2 is no address of this machine's.
    Refusal refusal = refusalOf({"--quiet", "--host", "::2", "--port", "40000"});
    EXPECT_EQ(refusal.said.rfind("stargrid-server: cannot listen on [::2]:40000: ", 0), 0u) << refusal.said;
    EXPECT_EQ(refusal.status, 1);
    refusal = refusalOf({"--quiet", "--host", "::2"});
    EXPECT_EQ(refusal.said.rfind("stargrid-server: cannot listen on [::2]: ", 0), 0u) << refusal.said;
    EXPECT_EQ(refusal.status, 1);
    if (!hasIpv6Loopback()) return;

    ServerProgram first({"--quiet", "--host", "::1"});
    const std::string line = first.nextLine();
    const std::string listening = "stargrid-server: listening on http://[::1]:";
    ASSERT_EQ(line.rfind(listening, 0), 0u) << line;
    const std::string port = line.substr(listening.size());
    refusal = refusalOf({"--quiet", "--host", "::1", "--port", port});
    EXPECT_EQ(refusal.said, "stargrid-server: cannot listen on [::1]:" + port + ": Address already in use");
    EXPECT_EQ(refusal.status, 1);
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0);
}

TEST(ServerProgram, AnEmptyHostIsRefused) {
    const Refusal refusal = refusalOf({"--quiet", "--host", ""});
    EXPECT_EQ(refusal.said, "stargrid-server: --host needs an address, not \"\"");
    EXPECT_TRUE(refusal.usage);
    EXPECT_EQ(refusal.status, 2);
}

TEST(ServerProgram, ABracketedHostIsRefusedWithTheAddressToWrite) {
    for (const std::string host : {"::1", "fe80::1%lo"}) {
        const Refusal refusal = refusalOf({"--quiet", "--host", "[" + host + "]"});
        EXPECT_EQ(refusal.said,
                  "stargrid-server: --host \"[" + host + "]\": write an IPv6 address without brackets: " + host);
        EXPECT_TRUE(refusal.usage) << host;
        EXPECT_EQ(refusal.status, 2) << host;
    }
}

TEST(ServerProgram, AFileThatIsNoDatabaseIsNamedWithTheReason) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string file = folder.put("notes.db", "These are notes, not a database.\n");
    const Refusal refusal = refusalOf({"--quiet", "--db", file});
    EXPECT_EQ(refusal.said, "stargrid-server: " + file + ": file is not a database");
    EXPECT_EQ(refusal.status, 1);
}

TEST(ServerProgram, AnEmptyDatabaseNameIsRefused) {
    const Refusal refusal = refusalOf({"--quiet", "--db", ""});
    EXPECT_EQ(refusal.said, "stargrid-server: --db needs a file, not \"\"");
    EXPECT_TRUE(refusal.usage);
    EXPECT_EQ(refusal.status, 2);
}

// A link at the database's name is not followed: what it names gets no tables and keeps its mode, and
// a FIFO there is named instead of waited on.
TEST(ServerProgram, ADatabaseThatIsALinkOrAFifoIsRefusedAndWhatItNamesLeftAlone) {
    kite::test::TemporaryFolder folder("stargrid-server");
    ASSERT_TRUE(folder.made());
    const std::string other = folder.put("other.db", "");
    ASSERT_EQ(::chmod(other.c_str(), 0644), 0);
    const std::string link = folder.path() + "/server.db";
    ASSERT_EQ(::symlink(other.c_str(), link.c_str()), 0);
    Refusal refusal = refusalOf({"--quiet", "--db", link});
    EXPECT_EQ(refusal.said, "stargrid-server: " + link + ": it is a link");
    EXPECT_EQ(refusal.status, 1);
    EXPECT_TRUE(kite::test::readWholeFile(other).empty()) << "the server's tables were made through the link";
    EXPECT_EQ(modeOf(other), 0644);

    const std::string dangling = folder.path() + "/dangling.db";
    ASSERT_EQ(::symlink((folder.path() + "/nothing.db").c_str(), dangling.c_str()), 0);
    refusal = refusalOf({"--quiet", "--db", dangling});
    EXPECT_EQ(refusal.status, 1) << refusal.said;
    EXPECT_EQ(modeOf(folder.path() + "/nothing.db"), -1) << "made through the link";

    const std::string fifo = folder.path() + "/fifo.db";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    refusal = refusalOf({"--quiet", "--db", fifo});
    EXPECT_EQ(refusal.said, "stargrid-server: " + fifo + ": not a regular file (a FIFO)");
    EXPECT_EQ(refusal.status, 1);
    EXPECT_EQ(modeOf(fifo), 0644);
}

// A --db the server refuses is left as it was found and nothing is made beside it: no claim folder (none
// in /dev either), no mode narrowed, no byte written; a missing folder is named as the one missing.
TEST(ServerProgram, ARefusedDatabasePathIsLeftAsItWasWithNothingMadeBesideIt) {
    kite::test::TemporaryFolder folder("stargrid-server");
    ASSERT_TRUE(folder.made());
    const std::string fifo = folder.path() + "/fifo.db";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string other = folder.put("other.db", "");
    const int otherMode = modeOf(other);
    const std::string link = folder.path() + "/link.db";
    ASSERT_EQ(::symlink(other.c_str(), link.c_str()), 0);
    const std::string subfolder = folder.path() + "/folder.db";
    ASSERT_EQ(::mkdir(subfolder.c_str(), 0755), 0);
    const std::string text = folder.put("text.db", "These are notes, not a database.\n");
    // SQLite would take a file of one byte for an empty one, and write its tables over it.
    const std::string byte = folder.put("one\x1b[2J.db", "x");
    const std::string missing = folder.path() + "/missing";
    struct Tried {
        std::string database;
        std::string said;
    };
    const Tried tried[] = {
        {fifo, fifo + ": not a regular file (a FIFO)"},
        {link, link + ": it is a link"},
        {subfolder, subfolder + ": a folder"},
        {"/dev/null", "/dev/null: not a regular file (a device)"},
        {text, text + ": file is not a database"},
        {byte, folder.path() + "/one\\x1b[2J.db: file is not a database"},
        {missing + "/server.db", missing + "/server.db: its folder " + missing + " does not exist"},
    };
    ASSERT_EQ(::chmod(text.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(byte.c_str(), 0644), 0);
    for (const Tried& one : tried) {
        const int mode = modeOf(one.database);
        const int claimMode = modeOf(one.database + ".claim");
        const Refusal refusal = refusalOf({"--quiet", "--db", one.database});
        EXPECT_EQ(refusal.said, "stargrid-server: " + one.said);
        EXPECT_EQ(refusal.status, 1) << one.said;
        EXPECT_EQ(modeOf(one.database), mode) << one.said;
        EXPECT_EQ(modeOf(one.database + ".claim"), claimMode) << one.said << ": a claim folder was made";
    }
    EXPECT_EQ(modeOf(missing), -1);
    EXPECT_EQ(modeOf(other), otherMode) << "changed through the link";
    EXPECT_EQ(kite::test::readWholeFile(text), "These are notes, not a database.\n");
    EXPECT_EQ(kite::test::readWholeFile(byte), "x");
}

// What a folder holds: each entry's name, owner and mode, as lstat sees it.
std::map<std::string, std::string> entriesOf(const std::string& path) {
    std::map<std::string, std::string> entries;
    DIR* folder = ::opendir(path.c_str());
    if (!folder) return entries;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (name == "." || name == ".." || ::lstat((path + "/" + name).c_str(), &info) != 0) continue;
        entries[name] = std::to_string(info.st_uid) + " " + std::to_string(info.st_mode);
    }
    ::closedir(folder);
    return entries;
}

// In a folder open to everyone (sticky, as /tmp), a database, a journal or a claim folder of another user's is
// theirs: a server run by someone else refuses it before it makes anything there, so that no claim folder or
// empty database of its own keeps the owner's server off.
TEST(ServerProgram, AnotherUsersDatabaseJournalOrClaimIsRefusedWithNothingMadeThere) {
    if (getuid() != 0) GTEST_SKIP() << "files of another user, and a server run as a third one, need root";
    constexpr uid_t kOwner = 54321;
    constexpr uid_t kStranger = 4242;
    kite::test::TemporaryFolder folder("stargrid-server");
    ASSERT_TRUE(folder.made());
    ASSERT_EQ(::chmod(folder.path().c_str(), 01777), 0);
    const std::string others = folder.put("other.db", "");
    const std::string journal = folder.put("new.db-journal", "");
    const std::string claimed = folder.path() + "/claimed.db";
    ASSERT_EQ(::mkdir((claimed + ".claim").c_str(), 0700), 0);
    for (const std::string& path : {others, journal, claimed + ".claim"})
        ASSERT_EQ(::chown(path.c_str(), kOwner, kOwner), 0) << path;
    const std::map<std::string, std::string> before = entriesOf(folder.path());
    struct Tried {
        std::string database;
        std::string said;
    };
    const Tried tried[] = {
        {others, others + ": it belongs to user 54321"},
        {folder.path() + "/new.db", folder.path() + "/new.db: " + journal + ": it belongs to user 54321"},
        {claimed, "cannot claim " + claimed + ": cannot claim " + claimed + ".claim: it belongs to user 54321"},
    };
    for (const Tried& one : tried) {
        const Refusal refusal = refusalOf({"--quiet", "--db", one.database}, [] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kStranger) != 0 || ::setuid(kStranger) != 0) _exit(126);
        });
        EXPECT_EQ(refusal.said, "stargrid-server: " + one.said);
        EXPECT_EQ(refusal.status, 1) << one.said;
        EXPECT_EQ(entriesOf(folder.path()), before) << one.said << ": something was made or changed there";
    }
}

// Links above the database are followed (a home reached through one): only the file itself is refused.
TEST(ServerProgram, ADatabaseBeyondALinkedFolderIsOpened) {
    kite::test::TemporaryFolder folder("stargrid-server");
    ASSERT_EQ(::mkdir((folder.path() + "/real").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("real", (folder.path() + "/linked").c_str()), 0);
    const Refusal run = refusalOf({"--quiet", "--db", folder.path() + "/linked/server.db"});
    EXPECT_EQ(run.said.rfind(kListening, 0), 0u) << run.said;
    EXPECT_EQ(modeOf(folder.path() + "/real/server.db"), 0600);
}

// NFS without its lock service answers every record lock with ENOLCK (the shim): the server starts all the
// same, says how it locks instead, and keeps a login.
TEST(ServerProgram, ADatabaseThatTakesNoRecordLocksKeepsALogin) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    ServerProgram server({"--quiet", "--db", database},
                         [] { kite::test::preloadNfsLocks(STARGRID_NFS_LOCKS_SHIM, "none"); });
    EXPECT_EQ(server.nextLine().rfind("stargrid-server: " + database + " takes no record locks (No locks", 0), 0u);
    const std::string line = server.nextLine();
    ASSERT_EQ(line.rfind(kListening, 0), 0u) << line;
    httplib::Client client("127.0.0.1", std::stoi(line.substr(std::string(kListening).size())));
    const auto reply =
        client.Post("/game/BindAccount", R"({"cellphone":"13812345678","password":"MTIzNA=="})", "text/plain");
    EXPECT_EQ(reply ? parseJson(reply->body)["code"].asString() : "", "0000");
    server.signal(SIGTERM);
    EXPECT_EQ(server.waitForExit(), 0);
    EXPECT_NE(kite::test::readWholeFile(database).find("13812345678"), std::string::npos);
}

// A journal that is a link refuses the database before its file is made: nothing is left behind.
TEST(ServerProgram, ARefusedDatabaseLeavesNoFileBehind) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    ASSERT_EQ(::symlink(folder.put("other", "").c_str(), (database + "-wal").c_str()), 0);
    const Refusal refusal = refusalOf({"--quiet", "--db", database});
    EXPECT_EQ(refusal.said, "stargrid-server: " + database + ": " + database + "-wal: it is a link");
    EXPECT_EQ(refusal.status, 1);
    EXPECT_EQ(modeOf(database), -1) << "an empty database was left behind";
}

// Without record locks, a dot-lock a killed server left keeps the database locked: a server run by hand
// cannot know it is no other's, and says where it is and what to do.
TEST(ServerProgram, ALeftoverDotLockIsNamedWithWhatToDo) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    ASSERT_EQ(::mkdir((database + ".lock").c_str(), 0700), 0);
    ServerProgram server({"--quiet", "--db", database},
                         [] { kite::test::preloadNfsLocks(STARGRID_NFS_LOCKS_SHIM, "none"); });
    server.nextLine();  // how it locks instead
    EXPECT_EQ(server.nextLine(), "stargrid-server: " + database + ": database is locked (its dot-lock " + database +
                                     ".lock is there: if no other stargrid-server has the database open, a killed "
                                     "one left it; remove it with rmdir " +
                                     database + ".lock and start the server again)");
    EXPECT_EQ(server.waitForExit(), 1);
    EXPECT_EQ(modeOf(database + ".lock"), 0700);
}

// SQLite's dot-lock is a folder; a link in its place is no server's, and rmdir fails on it: the advice is what
// removes it.
TEST(ServerProgram, ADotLockThatIsALinkIsNamedWithWhatRemovesIt) {
    kite::test::TemporaryFolder folder("stargrid-server");
    ASSERT_TRUE(folder.made());
    const std::string database = folder.path() + "/server.db";
    ASSERT_EQ(::mkdir((folder.path() + "/elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("elsewhere", (database + ".lock").c_str()), 0);
    ServerProgram server({"--quiet", "--db", database},
                         [] { kite::test::preloadNfsLocks(STARGRID_NFS_LOCKS_SHIM, "none"); });
    server.nextLine();  // how it locks instead
    EXPECT_EQ(server.nextLine(), "stargrid-server: " + database + ": database is locked (its dot-lock " + database +
                                     ".lock is a link, which no stargrid-server makes: remove it with rm " + database +
                                     ".lock and start the server again)");
    EXPECT_EQ(server.waitForExit(), 1);
    struct stat info {};
    ASSERT_EQ(::lstat((database + ".lock").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

// Run by scripts/play under the game's claim (it names itself, the server's parent), the server knows no
// other one has the database open: a killed one's dot-lock is removed, and the server starts.
TEST(ServerProgram, UnderPlaysClaimALeftoverDotLockIsRemoved) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string database = folder.path() + "/server.db";
    ASSERT_EQ(::mkdir((database + ".lock").c_str(), 0700), 0);
    ServerProgram server({"--quiet", "--db", database}, [] {
        kite::test::preloadNfsLocks(STARGRID_NFS_LOCKS_SHIM, "none");
        ::setenv("STARGRID_PLAY_CLAIMED", std::to_string(::getppid()).c_str(), 1);
    });
    server.nextLine();  // how it locks instead
    const std::string line = server.nextLine();
    EXPECT_EQ(line.rfind(kListening, 0), 0u) << line;
    server.signal(SIGTERM);
    EXPECT_EQ(server.waitForExit(), 0);
    EXPECT_EQ(modeOf(database + ".lock"), -1);
}

// What is no address is named as such, not as one that cannot be bound; a name of one is taken.
TEST(ServerProgram, AHostThatIsNoAddressIsNamedAsWhatIsWrong) {
    const Refusal refusal = refusalOf({"--quiet", "--host", "999.1.1.1"});
    EXPECT_EQ(refusal.said, "stargrid-server: --host \"999.1.1.1\" is not an address");
    EXPECT_TRUE(refusal.usage);
    EXPECT_EQ(refusal.status, 2);
    const std::string named = refusalOf({"--quiet", "--host", "localhost"}).said;
    EXPECT_EQ(named.rfind("stargrid-server: listening on http://localhost:", 0), 0u) << named;
}

TEST(ServerProgram, APortThatIsNoNumberIsNamedAsWhatIsWrong) {
    // Digits only, as the game takes numbers: no sign, no space.
    for (const char* port : {"abc", "70000", "-1", "", "+8080", " 8080"}) {
        const Refusal refusal = refusalOf({"--quiet", "--port", port});
        EXPECT_EQ(refusal.said,
                  std::string("stargrid-server: --port needs a port number from 0 to 65535, not \"") + port + "\"");
        EXPECT_TRUE(refusal.usage) << port;
        EXPECT_EQ(refusal.status, 2) << port;
    }
    ServerProgram bare({"--port"});
    EXPECT_EQ(bare.nextLine(), "stargrid-server: --port needs a value");
    EXPECT_EQ(bare.waitForExit(), 2);
}

// What the server quotes from its command line or from a client shows its control characters escaped: a
// newline would split the line, an escape sequence would reach the terminal showing it.
TEST(ServerProgram, ItQuotesArgumentsAndRequestsWithTheirControlCharactersEscaped) {
    EXPECT_EQ(refusalOf({"--bo\033[2J"}).said, "stargrid-server: unknown option --bo\\x1b[2J");
    EXPECT_EQ(refusalOf({"--port", "1\n2"}).said,
              "stargrid-server: --port needs a port number from 0 to 65535, not \"1\\x0a2\"");
    EXPECT_EQ(refusalOf({"--host", "no\033]0;t\a"}).said.find('\033'), std::string::npos);

    ServerProgram server({});
    const std::string line = server.nextLine();
    ASSERT_EQ(line.rfind(kListening, 0), 0u) << line;
    httplib::Client client("127.0.0.1", std::stoi(line.substr(std::string(kListening).size())));
    ASSERT_TRUE(client.Post("/game/BindAccount", "{\"x\":\"\033[2J\"}", "text/plain"));
    const std::string logged = server.nextLine();
    EXPECT_EQ(logged.find('\033'), std::string::npos) << logged;
    EXPECT_NE(logged.find("{\"x\":\"\\x1b[2J\"}"), std::string::npos) << logged;
    server.signal(SIGTERM);
    EXPECT_EQ(server.waitForExit(), 0);
}

// An argument that does not start with "-" is no option the server does not know, but one it takes none of:
// named as unexpected, quoted, with the usage.
TEST(ServerProgram, AnArgumentThatIsNoOptionIsNamedAsUnexpected) {
    for (const auto& [args, said] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"extra"}, "stargrid-server: unexpected argument \"extra\""},
             {{"--quiet", "\033[2J"}, "stargrid-server: unexpected argument \"\\x1b[2J\""},
             {{""}, "stargrid-server: unexpected argument \"\""},
             {{"--bogus"}, "stargrid-server: unknown option --bogus"}}) {
        const Refusal refusal = refusalOf(args);
        EXPECT_EQ(refusal.said, said);
        EXPECT_TRUE(refusal.usage) << said;
        EXPECT_EQ(refusal.status, 2) << said;
    }
}

TEST(ServerProgram, HelpAfterOtherOptionsShowsTheUsage) {
    ServerProgram server({"--quiet", "--help"});
    ASSERT_TRUE(server.started());
    EXPECT_EQ(server.rest().rfind("usage: stargrid-server", 0), 0u);
    EXPECT_EQ(server.waitForExit(), 0);
}

}  // namespace
}  // namespace stargrid_server::test
