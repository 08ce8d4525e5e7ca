// The statistics module's SQLite store.
#include "sdk/pigeon/statistics/PGStatStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/PrintableText.h"
#include "platform/SaidOnce.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatDispatcher.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatOpenUDID.h"
#include "sdk/pigeon/statistics/PGStatSqlite.h"

namespace pigeon {

using namespace statsql;

namespace {

constexpr char kCreateEvents[] =
    "create table if not exists events(event_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, content TEXT, status "
    "INTEGER, send_count INTEGER, ts INTEGER)";
constexpr char kCreateUser[] =
    "create table if not exists user(uid TEXT, user_type INTEGER, app_ver TEXT, ts INTEGER, PRIMARY KEY(uid))";
constexpr char kCreateConfig[] =
    "create table if not exists config(type INTEGER, content TEXT, md5sum TEXT, version INTEGER, PRIMARY KEY(type))";
constexpr char kInsertEvent[] =
    "insert into events(content, status, send_count,ts) values(@CONTENT, @STATUS, @SENDCOUNT, @TS)";
// A statement waits this long for a lock another connection holds; once the quit has begun, every
// statement left shares kQuitLockWait instead, however many are queued.
constexpr auto kLockWait = std::chrono::seconds(2);
constexpr auto kQuitLockWait = std::chrono::seconds(1);
constexpr auto kLockPoll = std::chrono::milliseconds(10);

}  // namespace

void PGStatStore::DatabaseCloser::operator()(sqlite3* db) const { sqlite3_close(db); }

PGStatStore& PGStatStore::getInstance() {
    static PGStatStore instance;
    return instance;
}

PGStatStore::PGStatStore() : statements_(std::make_unique<Statements>()), task_queue("StatStore") {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    initDBLocked();
}

std::string PGStatStore::databasePath() const {
    const std::string folder = platform::documentsFolder();
    return folder.empty() ? std::string(kFileName) : folder + "/" + kFileName;
}

sqlite3* PGStatStore::getDBLocked() {
    if (db_) return db_.get();
    std::string reason;
    std::vector<std::string> journalStatements;
    sqlite3* db = openDatabase(platform::documentsFolder(), &reason, &journalStatements);
    if (!db) {
        // Said once for each thing wrong with the file, not at every event that cannot be kept.
        const std::string line = "PGStatStore: cannot use " + platform::printableText(databasePath()) + ": " + reason +
                                 "; statistics are off";
        if (platform::firstTimeSaid(line)) statLog("%s", line.c_str());
        return nullptr;
    }
    sqlite3_busy_handler(db, &PGStatStore::waitForLock, this);
    db_.reset(db);
    // A write-ahead log synced at checkpoints (the rollback journal where the file takes no record
    // locks): each insert stays its own transaction and survives the process being killed, without a
    // disk flush per event.
    for (const std::string& statement : journalStatements) updateDatabase(statement.c_str());
    updateDatabase("PRAGMA synchronous=NORMAL");
    // Every opening makes the tables, so a store reopened or rebuilt is whole.
    createTablesLocked();
    // The count belongs to the file just opened.
    int code = 0;
    const auto rows =
        db_ ? queryRows(db_.get(), "select count(*) from events where status=?1", {kWaiting}, &code) : std::nullopt;
    numStoredEvents_ = rows && rows->size() == 1 && rows->front().size() == 1 ? toUnsigned(rows->front()[0]) : 0;
    return db_.get();
}

void PGStatStore::createTablesLocked() {
    platform::UserDefaults& defaults = PGStatOpenUDID::defaults();
    if (defaults.integer("PGSTAT_SDK_DB_VER") == 0) defaults.set("PGSTAT_SDK_DB_VER", platform::PlistValue::integer(1));
    for (const char* sql : {kCreateEvents, kCreateUser, kCreateConfig}) {
        if (updateDatabase(sql) != SQLITE_OK) break;  // a damaged file was rebuilt inside updateDatabase
    }
}

void PGStatStore::initDBLocked() {
    const bool opened = db_ != nullptr;
    if (!getDBLocked()) {
        statDebugLog("NULL database to init table.");
    } else if (opened) {
        createTablesLocked();  // a fresh opening has made them already
    }
}

sqlite3* PGStatStore::getDB() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return getDBLocked();
}

void PGStatStore::initDB() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    initDBLocked();
}

bool PGStatStore::hasDatabase() { return getDB() != nullptr; }

void PGStatStore::closeDB() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    statements_ = std::make_unique<Statements>();
    db_.reset();
}

void PGStatStore::deleteDB() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    closeDB();
    removeDatabase(platform::documentsFolder());
}

int PGStatStore::runKept(statsql::Statement& kept, const char* failureLine) {
    const int code = stepKept(kept.get());
    if (code == SQLITE_DONE) return code;
    statDebugLog("%s", failureLine);
    kept.reset();  // prepared again at the next use
    checkDamage(code);
    return code;
}

int PGStatStore::waitForLock(void* self, int attempt) {
    auto* store = static_cast<PGStatStore*>(self);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point now = Clock::now();
    if (attempt == 0) store->lockWaitStart_ = now;
    const Clock::time_point quitEnds{Clock::duration(store->quitDeadline_.load())};
    const Clock::time_point until = std::min(store->lockWaitStart_ + kLockWait, quitEnds);
    if (now >= until) return 0;
    std::this_thread::sleep_for(std::min<Clock::duration>(kLockPoll, until - now));
    return 1;
}

void PGStatStore::beginQuit() {
    const auto deadline = (std::chrono::steady_clock::now() + kQuitLockWait).time_since_epoch().count();
    auto unset = std::chrono::steady_clock::duration::max().count();
    quitDeadline_.compare_exchange_strong(unset, deadline);
}

void PGStatStore::noteNotStored(const std::string& reason) {
    std::lock_guard<std::mutex> lock(notStoredMutex_);
    ++notStored_;
    notStoredReason_ = reason;
}

void PGStatStore::reportNotStored() {
    std::lock_guard<std::mutex> lock(notStoredMutex_);
    if (notStored_ == 0) return;
    statLog("PGStatStore: %u event%s of this run could not be stored in %s: %s", notStored_, notStored_ == 1 ? "" : "s",
            platform::printableText(databasePath()).c_str(), notStoredReason_.c_str());
    notStored_ = 0;
}

void PGStatStore::resetForTesting() {
    quitDeadline_ = std::chrono::steady_clock::duration::max().count();
    std::lock_guard<std::mutex> lock(notStoredMutex_);
    notStored_ = 0;
    notStoredReason_.clear();
}

bool PGStatStore::checkDamage(int code) {
    const int primary = code & 0xff;
    if (primary != SQLITE_CORRUPT && primary != SQLITE_NOTADB) return false;
    // What cannot be read is lost already; a fresh store keeps the module working.
    statLog("PGStatStore: %s is damaged (%s), making it anew", platform::printableText(databasePath()).c_str(),
            sqlite3_errstr(code));
    static thread_local bool rebuilding = false;
    if (rebuilding) return true;
    rebuilding = true;
    deleteDB();
    initDBLocked();
    numStoredEvents_ = 0;
    rebuilding = false;
    return true;
}

int PGStatStore::updateDatabase(const char* sql, const std::vector<std::int64_t>& numbers) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    sqlite3* db = getDBLocked();
    if (!db) return -1;
    sqlite3_stmt* raw = nullptr;
    int code = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (code == SQLITE_OK) {
        for (std::size_t i = 0; i < numbers.size(); ++i) sqlite3_bind_int64(raw, static_cast<int>(i + 1), numbers[i]);
        while ((code = sqlite3_step(raw)) == SQLITE_ROW) {}
        if (code == SQLITE_DONE) code = SQLITE_OK;
    }
    if (code != SQLITE_OK) {
        statDebugLog("Failed to execute sql:%s for reason:%s", sql, sqlite3_errmsg(db));
        statement.reset();
        checkDamage(code);
    }
    return code;
}

namespace {

// A batch of row changes in one transaction when it holds more than one row, rolled back when one fails.
class RowTransaction {
public:
    RowTransaction(std::function<int(const char*)> run, bool active) : run_(std::move(run)), active_(active) {
        if (active_) run_("BEGIN TRANSACTION");
    }
    void failed() { failed_ = true; }
    ~RowTransaction() {
        if (active_) run_(failed_ ? "ROLLBACK" : "END TRANSACTION");
    }

private:
    std::function<int(const char*)> run_;
    bool active_;
    bool failed_ = false;
};

}  // namespace

void PGStatStore::launch() {
    task_queue.async([this] {
        updateDatabase("update events set status=?1 where status = ?2", {kWaiting, kSending});
        numStoredEvents_ = getStoredEventsNum();
    });
}

std::uint32_t PGStatStore::getStoredEventsNum() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    sqlite3* db = getDBLocked();
    if (!db) return 0;
    int code = 0;
    const auto rows = queryRows(db, "select count(*) from events where status=?1", {kWaiting}, &code);
    if (!rows) {
        checkDamage(code);
        return 0;
    }
    const std::uint32_t count = rows->size() == 1 && rows->front().size() == 1 ? toUnsigned(rows->front()[0]) : 0;
    statDebugLog("%u unsent events.", count);
    return count;
}

std::vector<PGStatStoreEvent> PGStatStore::loadCachedEvents() {
    std::vector<PGStatStoreEvent> events;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    sqlite3* db = getDBLocked();
    if (!db) return events;
    int code = 0;
    const auto rows = queryRows(db,
                                "select event_id, content, status, send_count,ts from events where status = ?1 "
                                "order by ts, event_id limit ?2",
                                {kWaiting, PGStatConfig::getInstance().maxLoadEventCount.load()}, &code);
    if (!rows) {
        checkDamage(code);
        return events;
    }
    for (const Row& row : *rows) {
        if (row.size() != 5) continue;
        events.push_back({toUnsigned(row[0]), toUnsigned(row[2]), toUnsigned(row[3]), toUnsigned(row[4]), row[1]});
    }
    return events;
}

void PGStatStore::storeEvent(std::shared_ptr<PGStatEvent> event, std::function<void(bool stored)> callback) {
    if (!event) return;
    task_queue.async([this, event = std::move(event), callback = std::move(callback)] {
        const bool stored = storeEventNow(*event);
        if (callback) callback(stored);
    });
}

bool PGStatStore::storeEventNow(PGStatEvent& event) {
    PGStatConfig& config = PGStatConfig::getInstance();
    const std::string content = event.toJsonString(false);  // encoded before the lock: it reads the user record
    const std::size_t length = eventTextLength(content);
    if (length > config.maxReportEventLength && event.getType() != 3) {
        statDebugLog("[ERROR]Too large event content length to report:%lu", static_cast<unsigned long>(length));
        return false;
    }
    // Room is made only for an event that will be stored: a refused one must not cost a stored one.
    if (numStoredEvents_ >= config.maxStoreEventCount) {
        statDebugLog("Too many events stored in db, erase oldest event");
        // One row, the oldest: rows of the same second are told apart by their id.
        updateDatabase("delete from events where event_id = (select event_id from events order by ts, event_id limit 1)");
    }
    std::lock_guard<std::recursive_mutex> lock(lock_);
    sqlite3* db = getDBLocked();
    if (!db) return false;  // said once already: statistics are off
    if (!statements_->insertEvent) statements_->insertEvent = prepare(db, kInsertEvent);
    sqlite3_stmt* insert = statements_->insertEvent.get();
    if (!insert) {
        statDebugLog("Failed to prepare insert events");
        const int code = sqlite3_errcode(db);
        noteNotStored(sqlite3_errstr(code));
        checkDamage(code);
        return false;
    }
    bindText(insert, 1, content);
    sqlite3_bind_int64(insert, 2, kWaiting);
    sqlite3_bind_int64(insert, 3, 0);
    sqlite3_bind_int64(insert, 4, event.ts);
    const int code = runKept(statements_->insertEvent, "Failed to exec satement to insert events.");
    if (code != SQLITE_DONE) {
        noteNotStored(sqlite3_errstr(code));
        return false;
    }
    ++numStoredEvents_;
    return true;
}

void PGStatStore::updateEvents(std::vector<PGStatStoreEvent> events, int status) {
    task_queue.async([this, events = std::move(events), status] { updateEventsNow(events, status); });
}

void PGStatStore::deleteEvents(std::vector<PGStatStoreEvent> events, std::function<void()> callback) {
    task_queue.async([this, events = std::move(events), callback = std::move(callback)] {
        deleteEventsNow(events);
        if (callback) callback();
    });
}

void PGStatStore::updateSendFailedEvents(std::vector<PGStatStoreEvent> events) {
    task_queue.async([this, events = std::move(events)] { updateSendFailedEventsNow(events); });
}

void PGStatStore::sendCachedEvents(int count) {
    task_queue.async([this, count] { sendCachedEventsNow(count); });
}

void PGStatStore::sendCachedEventsNow(int count) {
    if (!PGStatConfig::getInstance().statEnable || numStoredEvents_ == 0) return;
    std::vector<PGStatStoreEvent> events = loadCachedEvents();
    if (events.empty()) return;
    std::vector<std::string> texts;
    for (const PGStatStoreEvent& event : events) texts.push_back(event.content);
    // Marked before they leave, in this same job: a later send never picks them up again.
    updateEventsNow(events, kSending);
    PGStatDispatcher::getInstance().send(std::move(texts), [this, events = std::move(events), count](bool delivered) {
        // The rows' fate is written at once, on the dispatcher's thread under the database lock: a
        // process killed later never sends a delivered batch again.
        if (!delivered) {
            updateSendFailedEventsNow(events);
            return;
        }
        deleteEventsNow(events);
        const int sent = static_cast<int>(events.size());
        task_queue.async([this, sent, count] { sendMoreAfter(sent, count); });
    });
}

void PGStatStore::sendMoreAfter(int sent, int count) {
    if (count < 0) sendCachedEventsNow(-1);
    if (count > 0 && count > sent) sendCachedEventsNow(count - sent);
    if (count > 0 && numStoredEvents_ >= static_cast<std::uint32_t>(count)) sendCachedEventsNow(count);
}

void PGStatStore::updateEventsNow(const std::vector<PGStatStoreEvent>& events, int status) {
    {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        RowTransaction transaction([this](const char* sql) { return updateDatabase(sql); }, events.size() > 1);
        for (const PGStatStoreEvent& event : events) {
            if (updateDatabase("update events set status = ?1 where event_id = ?2", {status, event.eventId}) != SQLITE_OK) {
                transaction.failed();
                break;
            }
        }
    }
    numStoredEvents_ = getStoredEventsNum();
}

void PGStatStore::deleteEventsNow(const std::vector<PGStatStoreEvent>& events) {
    {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        RowTransaction transaction([this](const char* sql) { return updateDatabase(sql); }, events.size() > 1);
        for (const PGStatStoreEvent& event : events) {
            if (updateDatabase("delete from events where event_id = ?1", {event.eventId}) != SQLITE_OK) {
                transaction.failed();
                break;
            }
        }
    }
    numStoredEvents_ = getStoredEventsNum();
}

void PGStatStore::updateSendFailedEventsNow(const std::vector<PGStatStoreEvent>& events) {
    const std::uint32_t maxRetries = PGStatConfig::getInstance().maxSendRetryCount;
    {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        RowTransaction transaction([this](const char* sql) { return updateDatabase(sql); }, events.size() > 1);
        for (const PGStatStoreEvent& event : events) {
            const std::uint32_t sendCount = event.sendCount + 1;
            const int code = sendCount >= maxRetries
                                 ? updateDatabase("delete from events where event_id = ?1", {event.eventId})
                                 : updateDatabase("update events set status=?1,send_count=?2 where event_id = ?3",
                                           {kWaiting, sendCount, event.eventId});
            if (code != SQLITE_OK) {
                transaction.failed();
                break;
            }
        }
    }
    numStoredEvents_ = getStoredEventsNum();
}

}  // namespace pigeon
