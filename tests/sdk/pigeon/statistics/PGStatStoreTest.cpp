// The SQLite store: queue limits, oversized events, retries, rows left in flight, damaged files.
#include "sdk/pigeon/statistics/PGStatStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "StatTestSupport.h"

namespace pigeon {
namespace test {
namespace {

std::unique_ptr<PGStatCustomEvent> custom(const std::string& id, std::uint32_t ts) {
    auto event = std::make_unique<PGStatCustomEvent>();
    event->eventID = id;
    event->ts = ts;
    return event;
}

// Column values of the events table, read with SQLite directly.
std::vector<std::string> column(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::vector<std::string> values;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, 0);
            values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return values;
}

class PGStatStoreTest : public StatTest {
protected:
    PGStatStore& store() { return PGStatStore::getInstance(); }
    std::vector<std::string> eventIds() {
        std::vector<std::string> ids;
        for (const std::string& content :
             column(store().databasePath(), "select content from events order by event_id")) {
            Json::Value value;
            std::istringstream text(content);
            Json::CharReaderBuilder builder;
            std::string errors;
            Json::parseFromStream(builder, text, &value, &errors);
            ids.push_back(value["ei"].asString());
        }
        return ids;
    }
};

TEST_F(PGStatStoreTest, FullQueueLosesOnlyItsOldestRow) {
    PGStatConfig::getInstance().maxStoreEventCount = 3;
    store().launch();
    // Two events of the same second: only one of them is the oldest.
    store().storeEvent(custom("a", 100), nullptr);
    store().storeEvent(custom("b", 100), nullptr);
    store().storeEvent(custom("c", 101), nullptr);
    store().storeEvent(custom("d", 102), nullptr);
    ASSERT_TRUE(idle());
    EXPECT_EQ(eventIds(), (std::vector<std::string>{"b", "c", "d"}));
}

TEST_F(PGStatStoreTest, AnEventRefusedForItsSizeCostsAFullQueueNothing) {
    PGStatConfig::getInstance().maxStoreEventCount = 3;
    store().launch();
    store().storeEvent(custom("a", 100), nullptr);
    store().storeEvent(custom("b", 101), nullptr);
    store().storeEvent(custom("c", 102), nullptr);
    bool bigStored = true;
    store().storeEvent(custom(std::string(4200, 'x'), 103), [&](bool stored) { bigStored = stored; });
    ASSERT_TRUE(idle());
    EXPECT_FALSE(bigStored);
    EXPECT_EQ(eventIds(), (std::vector<std::string>{"a", "b", "c"}));
    // The next event that is stored still makes room by the oldest.
    store().storeEvent(custom("d", 104), nullptr);
    ASSERT_TRUE(idle());
    EXPECT_EQ(eventIds(), (std::vector<std::string>{"b", "c", "d"}));
}

TEST_F(PGStatStoreTest, OversizedEventsAreDroppedButErrorsKept) {
    bool customStored = true, errorStored = false;
    auto big = custom(std::string(4200, 'x'), 1);
    store().storeEvent(std::move(big), [&](bool stored) { customStored = stored; });
    auto error = std::make_unique<PGStatErrorEvent>();
    error->error = std::string(4200, 'y');
    store().storeEvent(std::move(error), [&](bool stored) { errorStored = stored; });
    ASSERT_TRUE(idle());
    EXPECT_FALSE(customStored);
    EXPECT_TRUE(errorStored);
    EXPECT_EQ(storedRows(), 1u);
}

TEST_F(PGStatStoreTest, TheSizeLimitCountsCharactersNotBytes) {
    std::string chinese;
    for (int i = 0; i < 1400; ++i) chinese += "星";  // 4,200 bytes, 1,400 characters
    bool stored = false;
    store().storeEvent(custom(chinese, 1), [&](bool ok) { stored = ok; });
    ASSERT_TRUE(idle());
    EXPECT_TRUE(stored);
    EXPECT_EQ(eventIds(), std::vector<std::string>{chinese});
}

TEST_F(PGStatStoreTest, TheDatabaseAndItsJournalsAreTheOwnersOnly) {
    // A file an older version left open to others.
    ASSERT_TRUE(store().hasDatabase());
    store().closeDB();
    const std::string path = store().databasePath();
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    store().storeEvent(custom("a", 1), nullptr);
    ASSERT_TRUE(idle());
    for (const std::string& file : {path, path + "-wal", path + "-shm"}) {
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
}

TEST_F(PGStatStoreTest, RowsChangeStatusCountFailuresAndLeaveOnTheStoresQueue) {
    PGStatConfig::getInstance().maxSendRetryCount = 2;
    store().storeEvent(custom("a", 1), nullptr);
    store().storeEvent(custom("b", 2), nullptr);
    ASSERT_TRUE(idle());
    std::vector<PGStatStoreEvent> events = store().loadCachedEvents();
    ASSERT_EQ(events.size(), 2u);

    store().updateEvents(events, PGStatStore::kSending);
    ASSERT_TRUE(idle());
    EXPECT_EQ(store().getStoredEventsNum(), 0u);
    EXPECT_EQ(column(store().databasePath(), "select status from events"), (std::vector<std::string>{"2", "2"}));

    store().updateSendFailedEvents(events);  // first failure of each: both wait again
    ASSERT_TRUE(idle());
    events = store().loadCachedEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].sendCount, 1u);
    store().updateSendFailedEvents({events[0]});  // the limit: "a" goes
    ASSERT_TRUE(idle());
    EXPECT_EQ(eventIds(), std::vector<std::string>{"b"});

    std::uint32_t leftWhenCalled = 99;
    store().deleteEvents(store().loadCachedEvents(), [&] { leftWhenCalled = store().getStoredEventsNum(); });
    ASSERT_TRUE(idle());
    EXPECT_EQ(leftWhenCalled, 0u);
    EXPECT_TRUE(eventIds().empty());
}

TEST_F(PGStatStoreTest, StatementsBindTheirValuesAndMissingTablesAreMadeAgain) {
    ASSERT_NE(store().getDB(), nullptr);
    store().storeEvent(custom("a", 1), nullptr);
    ASSERT_TRUE(idle());
    EXPECT_EQ(store().updateDatabase("update events set send_count = ?1 where ts = ?2", {7, 1}), SQLITE_OK);
    EXPECT_EQ(column(store().databasePath(), "select send_count from events"), std::vector<std::string>{"7"});
    captureLog();
    PGStatConfig::getInstance().debugEnable = true;
    EXPECT_NE(store().updateDatabase("update nowhere set x = 1"), SQLITE_OK);
    EXPECT_TRUE(logged("Failed to execute sql:update nowhere set x = 1 for reason:no such table: nowhere"));

    EXPECT_EQ(store().updateDatabase("drop table events"), SQLITE_OK);
    store().initDB();
    store().storeEvent(custom("b", 2), nullptr);
    ASSERT_TRUE(idle());
    EXPECT_EQ(eventIds(), std::vector<std::string>{"b"});

    store().closeDB();
    ASSERT_NE(store().getDB(), nullptr);  // opened again on need
    EXPECT_EQ(store().getStoredEventsNum(), 1u);
}

TEST_F(PGStatStoreTest, FailedSendsCountUntilTheLimit) {
    StatServer server;
    server.answer(500);
    store().launch();
    store().storeEvent(custom("a", 1), nullptr);
    for (int attempt = 1; attempt <= 9; ++attempt) {
        store().sendCachedEvents(-1);
        ASSERT_TRUE(idle());
    }
    EXPECT_EQ(column(store().databasePath(), "select send_count from events"), std::vector<std::string>{"9"});
    EXPECT_EQ(column(store().databasePath(), "select status from events"), std::vector<std::string>{"1"});
    store().sendCachedEvents(-1);
    ASSERT_TRUE(idle());
    EXPECT_EQ(storedRows(), 0u);
    EXPECT_TRUE(column(store().databasePath(), "select event_id from events").empty());
    EXPECT_EQ(server.reports().size(), 10u);
}

TEST_F(PGStatStoreTest, DeliveredBatchesLeaveInOrderAndAreDeleted) {
    StatServer server;
    PGStatConfig::getInstance().maxLoadEventCount = 4;
    store().launch();
    for (int i = 0; i < 10; ++i) store().storeEvent(custom("e" + std::to_string(i), 10 + i), nullptr);
    store().sendCachedEvents(-1);
    ASSERT_TRUE(idle());
    const std::vector<Report> reports = server.reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].events.size(), 4u);
    EXPECT_EQ(reports[2].events.size(), 2u);
    std::vector<std::string> ids;
    for (const Json::Value& event : server.events()) ids.push_back(event["ei"].asString());
    EXPECT_EQ(ids.front(), "e0");
    EXPECT_EQ(ids.back(), "e9");
    EXPECT_EQ(storedRows(), 0u);
}

TEST_F(PGStatStoreTest, RowsLeftInFlightWaitAgainAfterLaunch) {
    store().storeEvent(custom("a", 1), nullptr);
    ASSERT_TRUE(idle());
    const std::string path = store().databasePath();
    store().closeDB();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "update events set status=2", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(storedRows(), 0u);
    store().launch();
    ASSERT_TRUE(idle());
    EXPECT_EQ(store().storedEventCount(), 1u);
}

TEST_F(PGStatStoreTest, VisibleOldFileReplacesTheHiddenOne) {
    store().storeEvent(custom("old", 1), nullptr);
    ASSERT_TRUE(idle());
    const std::string hidden = store().databasePath();
    const std::string visible = std::filesystem::path(hidden).parent_path() / PGStatStore::kOldFileName;
    store().closeDB();
    std::filesystem::rename(hidden, visible);
    std::ofstream(hidden) << "a hidden file of an earlier version";
    EXPECT_TRUE(store().hasDatabase());
    EXPECT_FALSE(std::filesystem::exists(visible));
    EXPECT_EQ(eventIds(), std::vector<std::string>{"old"});
}

TEST_F(PGStatStoreTest, FileThatIsNoDatabaseIsMadeAnew) {
    captureLog();
    const std::string path = store().databasePath();
    store().closeDB();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(4096, 'z');
    bool stored = false;
    store().storeEvent(custom("a", 1), [&](bool ok) { stored = ok; });
    ASSERT_TRUE(idle());
    EXPECT_TRUE(stored);
    EXPECT_EQ(eventIds(), std::vector<std::string>{"a"});
    bool rebuilt = false;
    for (const std::string& line : log_) rebuilt |= line.find("is damaged") != std::string::npos;
    EXPECT_TRUE(rebuilt);
}

TEST_F(PGStatStoreTest, UserRecordIsCreatedOnceAndKeptWithQuotes) {
    std::optional<PGStatUser> user = store().loadUser();
    ASSERT_TRUE(user);
    EXPECT_EQ(user->uid.size(), 40u);
    EXPECT_EQ(user->tagTime, static_cast<std::uint32_t>(now_.load()));
    user->appVer = "1.0 'quoted'";
    user->userType = 3;
    store().storeUser(*user);
    ASSERT_TRUE(idle());
    const std::optional<PGStatUser> again = store().loadUser();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->appVer, "1.0 'quoted'");
    EXPECT_EQ(again->userType, 3);
    EXPECT_EQ(store().getPGStatOpenUDID(), user->uid);
}

}  // namespace
}  // namespace test
}  // namespace pigeon
