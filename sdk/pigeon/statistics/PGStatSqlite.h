// SQLite helpers of the statistics store: statements held by unique_ptr, bindings, rows as texts.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sdk/pigeon/statistics/PGStatStore.h"

namespace pigeon {
namespace statsql {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;
using Row = std::vector<std::string>;

// The module's database ".pigeon_stat_analysis.db" in the folder, opened after an older
// visible "pigeon_stat_analysis.db" there is moved onto that name. The file and the
// journals SQLite makes beside it are the owner's only (0600). Only a regular file is
// opened, never one through a link at its name (links above it are followed). Where it
// takes no record locks, SQLite locks it with a dot-lock file, said once. The statements
// that set its journal, to run first, go to `journalStatements`. Null, with the debug log
// line and the reason, when it cannot be opened.
sqlite3* openDatabase(const std::string& folder, std::string* reason = nullptr,
                      std::vector<std::string>* journalStatements = nullptr);
// Removes the database and its journals; the debug log line when the file stays.
void removeDatabase(const std::string& folder);

// Null (with a debug log line) when the statement does not compile.
Statement prepare(sqlite3* db, const char* sql);
void bindText(sqlite3_stmt* statement, int index, const std::string& text);
// Runs a kept statement once, then clears its bindings for the next use.
int stepKept(sqlite3_stmt* statement);
// Every row of a query as its column texts (a NULL column reads as ""); none when it fails.
std::optional<std::vector<Row>> queryRows(sqlite3* db, const char* sql, const std::vector<std::int64_t>& numbers,
                                          int* code);
std::uint32_t toUnsigned(const std::string& text);

}  // namespace statsql

// The two statements the store keeps prepared for reuse.
struct PGStatStore::Statements {
    statsql::Statement insertEvent;
    statsql::Statement replaceConfig;
};

}  // namespace pigeon
