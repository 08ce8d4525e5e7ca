// The statistics module's SQLite store: queued events, the user record and online configuration.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"
#include "sdk/pigeon/statistics/PGStatEvent.h"
#include "sdk/pigeon/statistics/PGStatRecords.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pigeon {

namespace statsql {
struct StatementFinalizer;
}

struct PGStatStoreEvent {
    std::uint32_t eventId = 0;
    std::uint32_t status = 0;
    std::uint32_t sendCount = 0;
    std::uint32_t ts = 0;
    std::string content;
};

class PGStatStore {
public:
    enum Status : int { kWaiting = 1, kSending = 2 };
    static constexpr char kFileName[] = ".pigeon_stat_analysis.db";
    static constexpr char kOldFileName[] = "pigeon_stat_analysis.db";

    static PGStatStore& getInstance();

    // Events left in sending by an earlier process wait again.
    void launch();
    // Queues one event; the callback learns whether it was stored.
    void storeEvent(std::shared_ptr<PGStatEvent> event, std::function<void(bool stored)> callback);
    // Sends waiting events in batches; a negative count sends until none waits.
    void sendCachedEvents(int count);
    std::uint32_t storedEventCount() const { return numStoredEvents_; }
    std::uint32_t getStoredEventsNum();
    std::vector<PGStatStoreEvent> loadCachedEvents();

    void storeUser(const PGStatUser& user);
    // The stored user, or a new one stored now; none when the database fails.
    std::optional<PGStatUser> loadUser();
    std::string getPGStatOpenUDID();
    void storeConfig(const PGStatDataConfig& config);
    void loadConfig(const std::function<void(const PGStatDataConfig&)>& each);

    // Queued on the store's queue: each row's status; the rows removed, then the callback; a failed
    // send counted, a row that reached the retry limit removed and the others waiting again.
    void updateEvents(std::vector<PGStatStoreEvent> events, int status);
    void deleteEvents(std::vector<PGStatStoreEvent> events, std::function<void()> callback);
    void updateSendFailedEvents(std::vector<PGStatStoreEvent> events);

    // The handle, opened (with its tables) on first need; null when the file cannot be opened.
    sqlite3* getDB();
    // Opens the database when needed and makes the tables that are missing.
    void initDB();
    bool hasDatabase();
    // Runs one statement, its numbers bound to ?1, ?2...; SQLite's code, -1 without a database.
    // Values are bound, never written into the text. A damaged file is made anew.
    int updateDatabase(const char* sql, const std::vector<std::int64_t>& numbers = {});
    void closeDB();
    void deleteDB();
    void close() { closeDB(); }
    std::string databasePath() const;

    // Runs after every job queued on the store so far (tests and benchmarks).
    void waitForQueue() {
        task_queue.sync([] {});
    }

    // From now on a lock another connection holds on the database is waited for only while the
    // quit's own short time lasts, whatever is still queued: the quit is never held by it.
    void beginQuit();
    // The one line on events of this run that could not be stored (how many, and why); none when
    // every event was.
    void reportNotStored();
    // Back to a run that has not begun to quit and has lost nothing (tests).
    void resetForTesting();

private:
    PGStatStore();
    struct Statements;
    struct DatabaseCloser {
        void operator()(sqlite3* db) const;
    };

    sqlite3* getDBLocked();
    void initDBLocked();
    bool storeEventNow(PGStatEvent& event);
    void sendCachedEventsNow(int count);
    // After a delivered batch of `sent` events: more batches while the count asks for them.
    void sendMoreAfter(int sent, int count);
    void createTablesLocked();
    void updateEventsNow(const std::vector<PGStatStoreEvent>& events, int status);
    void deleteEventsNow(const std::vector<PGStatStoreEvent>& events);
    void updateSendFailedEventsNow(const std::vector<PGStatStoreEvent>& events);
    bool checkDamage(int code);
    // Steps a kept statement; a failure logs the line, drops the statement and checks for damage.
    // SQLite's code (SQLITE_DONE when it ran).
    int runKept(std::unique_ptr<sqlite3_stmt, statsql::StatementFinalizer>& kept, const char* failureLine);
    // SQLite's busy handler: another connection's lock is waited for a while, then given up.
    static int waitForLock(void* store, int attempt);
    void noteNotStored(const std::string& reason);

    std::recursive_mutex lock_;  // every statement on the database runs under it
    std::unique_ptr<sqlite3, DatabaseCloser> db_;
    std::unique_ptr<Statements> statements_;
    std::atomic<std::uint32_t> numStoredEvents_{0};
    std::chrono::steady_clock::time_point lockWaitStart_;  // under lock_
    std::atomic<std::chrono::steady_clock::rep> quitDeadline_{std::chrono::steady_clock::duration::max().count()};
    std::mutex notStoredMutex_;
    std::uint32_t notStored_ = 0;
    std::string notStoredReason_;
    // Last, so it goes first at exit: a job it still runs then finds every other member alive.
    StatQueue task_queue;
};

}  // namespace pigeon
