// The store's database file: never opened through a link, an unusable one said once, and a quit that a
// lock held by another connection cannot hold, saying what was not stored.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "StatTestSupport.h"
#include "support/NfsLocksShim.h"

namespace pigeon {
namespace test {
namespace {

constexpr uid_t kOtherUser = 54321;
constexpr int kHeldEvents = 20;

const char* childMode() { return std::getenv("STARGRID_STAT_DB_CHILD"); }

std::unique_ptr<PGStatCustomEvent> custom(const std::string& id) {
    auto event = std::make_unique<PGStatCustomEvent>();
    event->eventID = id;
    event->ts = 1;
    return event;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

std::vector<std::string> tables(const std::string& path) {
    sqlite3* db = nullptr;
    std::vector<std::string> names;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "select name from sqlite_master where type='table' order by name", -1, &statement,
                           nullptr);
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return names;
}

struct ChildRun {
    int status = -1;  // the exit code; -1 when a signal ended it or it was stuck and killed
    std::string said;
};

// This binary again, running only the child test in the given mode with its standard error kept;
// `inChild` runs in the child first. A child that has not ended after 60 s is killed.
ChildRun runChild(const std::string& mode, const std::function<void()>& inChild = {}) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("STARGRID_STAT_DB_CHILD", mode.c_str(), 1);
        if (inChild) inChild();
        ::dup2(out[1], STDERR_FILENO);
        ::execl("/proc/self/exe", "pigeon_statistics_tests", "--gtest_filter=PGStatDatabaseChild.Runs", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    ChildRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    pollfd ready{out[0], POLLIN, 0};
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline && ::poll(&ready, 1, 100) >= 0) {
        if (!(ready.revents & (POLLIN | POLLHUP))) continue;
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0) break;
        run.said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    if (child < 0) return run;
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == 0) ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

// The child: stores two events on the store alone, or, with the database held elsewhere, leaves with
// a session of events still queued, so the exit's own waiting is what ends it.
TEST(PGStatDatabaseChild, Runs) {
    if (!childMode()) GTEST_SKIP() << "runs as a child of PGStatDatabaseFile";
    if (std::string(childMode()) == "store") {
        PGStatStore::getInstance().storeEvent(custom("a"), nullptr);
        PGStatStore::getInstance().storeEvent(custom("b"), nullptr);
        ASSERT_TRUE(StatQueue::waitUntilIdle(std::chrono::seconds(30)));
        return;
    }
    PGStatConfig::getInstance().reportStrategy = 6;
    PGStat::startWithAppkey("KEY");
    for (int i = 0; i < kHeldEvents; ++i) PGStat::trackCustomEvent("x" + std::to_string(i), {});
}

class PGStatDatabaseFile : public StatTest {
protected:
    void SetUp() override {
        if (childMode()) GTEST_SKIP();
        StatTest::SetUp();
        path_ = store().databasePath();
        store().deleteDB();  // each case puts its own file there
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    }
    PGStatStore& store() { return PGStatStore::getInstance(); }
    // Two events stored: neither is, and the unusable file is said once, naming it and why.
    void expectOffSaidOnce(const std::string& reason) {
        captureLog();
        int stored = 0;
        store().storeEvent(custom("a"), [&](bool ok) { stored += ok; });
        store().storeEvent(custom("b"), [&](bool ok) { stored += ok; });
        ASSERT_TRUE(idle());
        EXPECT_EQ(stored, 0);
        std::lock_guard<std::mutex> lock(logMutex_);
        EXPECT_EQ(std::count(log_.begin(), log_.end(),
                             "PGStatStore: cannot use " + path_ + ": " + reason + "; statistics are off"),
                  1)
            << ::testing::PrintToString(log_);
    }

    std::string path_;
};

TEST_F(PGStatDatabaseFile, ALinkToAnotherDatabaseGetsNoTablesAndKeepsItsMode) {
    const std::string other = folder_.path() + "/other.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "create table mine(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(::chmod(other.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(other.c_str(), path_.c_str()), 0);

    expectOffSaidOnce("it is a link");
    EXPECT_EQ(tables(other), std::vector<std::string>{"mine"});
    EXPECT_EQ(modeOf(other), 0644u);
    EXPECT_EQ(modeOf(path_), static_cast<mode_t>(0777));  // the link itself, left as it is
}

TEST_F(PGStatDatabaseFile, AJournalThatIsALinkKeepsItsTargetsMode) {
    ASSERT_TRUE(store().hasDatabase());
    store().closeDB();
    const std::string target = folder_.put("elsewhere", "");
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    std::filesystem::remove(path_ + "-wal");
    ASSERT_EQ(::symlink(target.c_str(), (path_ + "-wal").c_str()), 0);

    expectOffSaidOnce(path_ + "-wal: it is a link");
    EXPECT_EQ(modeOf(target), 0644u);
    EXPECT_EQ(kite::test::readWholeFile(target), "");
}

TEST_F(PGStatDatabaseFile, AFolderOrAFifoInItsPlaceIsSaidOnce) {
    ASSERT_EQ(::mkdir(path_.c_str(), 0700), 0);
    expectOffSaidOnce("a folder");
    ASSERT_EQ(::rmdir(path_.c_str()), 0);

    ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0);
    expectOffSaidOnce("not a regular file (a FIFO)");
    EXPECT_EQ(modeOf(path_), 0644u);
}

// Links above the file are followed: a home through a link with no XDG variable, XDG_DATA_HOME as a link,
// a folder above it as a link (each: the variable, its value under linked/, the data folder under real/).
TEST_F(PGStatDatabaseFile, LinksAboveItsFolderAreFollowed) {
    const std::string& f = folder_.path();
    for (const char* made : {"/real/home", "/real/data", "/real/parent/data", "/linked"})
        std::filesystem::create_directories(f + made);
    for (const char* link : {"home", "data", "parent"})
        ::symlink((f + "/real/" + link).c_str(), (f + "/linked/" + link).c_str());
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
    for (const auto& [variable, value, data] :
         std::vector<std::array<std::string, 3>>{{"HOME", "home", "home/.local/share"},
                                                 {"XDG_DATA_HOME", "data", "data"},
                                                 {"XDG_DATA_HOME", "parent/data", "parent/data"}}) {
        store().closeDB();
        ::unsetenv("XDG_DATA_HOME");
        ::setenv(variable.c_str(), (f + "/linked/" + value).c_str(), 1);
        store().storeEvent(custom("a"), nullptr);
        EXPECT_TRUE(idle());
        EXPECT_EQ(storedRows(), 1u) << variable << "=" << value;
        EXPECT_EQ(modeOf(f + "/real/" + data + "/stargrid/" + PGStatStore::kFileName), 0600u)
            << variable << "=" << value;
    }
    ::setenv("HOME", home.c_str(), 1);
}

// NFS without its lock service answers every record lock with ENOLCK (the shim, in a child): the events
// are kept all the same, under a dot-lock and a rollback journal, which is said once. A dot-lock a killed
// run left is no one's: the game holds the folder.
TEST_F(PGStatDatabaseFile, AFileThatTakesNoRecordLocksKeepsItsEvents) {
    std::filesystem::create_directories(path_ + ".lock");
    const ChildRun run = runChild("store", [] { kite::test::preloadNfsLocks(STARGRID_NFS_LOCKS_SHIM, "none"); });
    EXPECT_EQ(run.status, 0) << run.said;
    const std::string line = "PGStat: PGStatStore: " + path_ + " takes no record locks (No locks available)";
    EXPECT_TRUE(run.said.find(line) != std::string::npos && run.said.find(line) == run.said.rfind(line)) << run.said;
    EXPECT_EQ(modeOf(path_ + ".lock"), 07777u) << "a dot-lock was left behind";
    EXPECT_EQ(storedRows(), 2u);
}

// Run as another user (a child switched to an unused user id), for whom mode 000 means no access.
TEST_F(PGStatDatabaseFile, AFileItsOwnerCannotOpenIsSaidOnce) {
    std::ofstream(path_) << "";
    ASSERT_EQ(::chmod(path_.c_str(), 0), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_.path())) {
        ASSERT_EQ(::lchown(entry.path().c_str(), kOtherUser, kOtherUser), 0) << entry.path();
    }
    ASSERT_EQ(::chown(folder_.path().c_str(), kOtherUser, kOtherUser), 0);
    const ChildRun run = runChild("store", [] {
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0) ::_exit(126);
    });
    EXPECT_EQ(run.status, 0) << run.said;
    const std::string line = "PGStat: PGStatStore: cannot use " + path_ + ": Permission denied; statistics are off\n";
    std::size_t count = 0;
    for (std::size_t at = run.said.find(line); at != std::string::npos; at = run.said.find(line, at + 1)) ++count;
    EXPECT_EQ(count, 1u) << run.said;
}

TEST_F(PGStatDatabaseFile, EventsALockHeldElsewhereKeptOutAreCountedOnce) {
    ASSERT_TRUE(store().hasDatabase());
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    store().beginQuit();
    captureLog();
    for (const char* id : {"a", "b", "c"}) store().storeEvent(custom(id), nullptr);
    ASSERT_TRUE(idle());
    store().reportNotStored();
    store().reportNotStored();
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    std::lock_guard<std::mutex> lock(logMutex_);
    EXPECT_EQ(log_, std::vector<std::string>{"PGStatStore: 3 events of this run could not be stored in " + path_ +
                                             ": database is locked"});
}

// The real exit of a process whose database another connection holds: it ends, cleanly, and says
// how many of its events were not stored and why.
TEST_F(PGStatDatabaseFile, AQuitWithTheDatabaseHeldElsewhereEndsAndSaysWhatWasLost) {
    ASSERT_TRUE(store().hasDatabase());
    store().closeDB();
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    setenv("STARGRID_NETWORK", "down", 1);  // stored, never sent
    const ChildRun run = runChild("held");
    unsetenv("STARGRID_NETWORK");
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);

    EXPECT_EQ(run.status, 0) << run.said;
    const std::regex line("PGStat: PGStatStore: ([0-9]+) events of this run could not be stored in " + path_ +
                          ": database is locked\n");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(run.said, found, line)) << run.said;
    EXPECT_GE(std::stoi(found[1]), kHeldEvents);
    EXPECT_EQ(storedRows(), 0u);
}

}  // namespace
}  // namespace test
}  // namespace pigeon
