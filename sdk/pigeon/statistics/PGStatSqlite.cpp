// SQLite helpers of the statistics store.
#include "sdk/pigeon/statistics/PGStatSqlite.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/DatabaseFile.h"
#include "platform/SaidOnce.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {
namespace statsql {

sqlite3* openDatabase(const std::string& folder, std::string* reason, std::vector<std::string>* journalStatements) {
    if (folder.empty()) {  // the data folder is refused, said where it was
        if (reason) *reason = "there is no data folder";
        return nullptr;
    }
    const std::string oldPath = folder + "/" + PGStatStore::kOldFileName;
    const std::string path = folder + "/" + PGStatStore::kFileName;
    std::error_code error;
    if (std::filesystem::exists(oldPath, error)) {
        if (std::filesystem::exists(path, error)) removeDatabase(folder);
        std::filesystem::rename(oldPath, path, error);
        if (error) statDebugLog("Unable to move file: %s", error.message().c_str());
    }
    std::string why;
    sqlite3* db = nullptr;
    // The game claims the data folder before anything else: no other process opens its statistics.
    const bool onlyThisProcess = true;
    const std::optional<platform::DatabaseOpening> opening = platform::prepareDatabaseFile(path, &why, onlyThisProcess);
    if (!opening) {
        statDebugLog("open sqlite db failed.");
    } else if (sqlite3_open_v2(opening->path.c_str(), &db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                               opening->vfs.empty() ? nullptr : opening->vfs.c_str()) != SQLITE_OK) {
        why = db ? sqlite3_errmsg(db) : "SQLite has no memory for it";
        statDebugLog("open sqlite db failed.");
        sqlite3_close(db);
        db = nullptr;
    } else {
        if (journalStatements) *journalStatements = opening->journalStatements;
        const std::string& instead = opening->withoutRecordLocks;
        if (!instead.empty() && platform::firstTimeSaid(instead)) statLog("PGStatStore: %s", instead.c_str());
    }
    if (!db && reason) *reason = why;
    return db;
}

void removeDatabase(const std::string& folder) {
    if (folder.empty()) return;
    const std::string path = folder + "/" + PGStatStore::kFileName;
    std::error_code error;
    std::filesystem::remove(path, error);
    if (error) statDebugLog("Delete database failed reason:%s", error.message().c_str());
    for (const char* suffix : platform::kDatabaseJournalSuffixes) std::filesystem::remove(path + suffix, error);
}

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        statDebugLog("Failed to execute sql:%s for reason:%s", sql, sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

int stepKept(sqlite3_stmt* statement) {
    const int code = sqlite3_step(statement);
    sqlite3_clear_bindings(statement);
    sqlite3_reset(statement);
    return code;
}

std::optional<std::vector<Row>> queryRows(sqlite3* db, const char* sql, const std::vector<std::int64_t>& numbers,
                                          int* code) {
    Statement statement = prepare(db, sql);
    if (!statement) {
        *code = sqlite3_errcode(db);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        sqlite3_bind_int64(statement.get(), static_cast<int>(i + 1), numbers[i]);
    }
    std::vector<Row> rows;
    while ((*code = sqlite3_step(statement.get())) == SQLITE_ROW) {
        Row row;
        for (int column = 0; column < sqlite3_column_count(statement.get()); ++column) {
            const unsigned char* text = sqlite3_column_text(statement.get(), column);
            row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
        }
        rows.push_back(std::move(row));
    }
    if (*code != SQLITE_DONE) {
        statDebugLog("Failed to execute sql:%s for reason:%s", sql, sqlite3_errmsg(db));
        return std::nullopt;
    }
    *code = SQLITE_OK;
    return rows;
}

std::uint32_t toUnsigned(const std::string& text) {
    return static_cast<std::uint32_t>(std::strtoull(text.c_str(), nullptr, 10));
}

}  // namespace statsql
}  // namespace pigeon
