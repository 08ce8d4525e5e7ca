#include "tools/server/GameStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <utility>

#include "platform/DatabaseFile.h"
#include "platform/SaidOnce.h"
#include "tools/server/DatabaseClaim.h"
#include "tools/server/DatabasePath.h"

namespace stargrid_server {
namespace {

constexpr long kDiamondsPerRedPacket = 10;

// What SQLite last refused on this thread, for the log line of the request being answered.
thread_local std::string lastFailure;

void noteFailure(sqlite3* db) { lastFailure = sqlite3_errmsg(db); }

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS accounts (
  cellphone TEXT PRIMARY KEY, password TEXT NOT NULL,
  best_score INTEGER NOT NULL DEFAULT 0, diamond_credit INTEGER NOT NULL DEFAULT 0,
  red_packets INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS levels (
  game_id TEXT NOT NULL, cellphone TEXT NOT NULL, level INTEGER NOT NULL,
  history TEXT NOT NULL, remain INTEGER NOT NULL, score INTEGER NOT NULL,
  PRIMARY KEY (game_id, cellphone, level));
CREATE TABLE IF NOT EXISTS games (
  game_id TEXT NOT NULL, cellphone TEXT NOT NULL, last_level INTEGER NOT NULL,
  PRIMARY KEY (game_id, cellphone));
CREATE TABLE IF NOT EXISTS prizes (
  cellphone TEXT PRIMARY KEY, type INTEGER NOT NULL, amount INTEGER NOT NULL,
  claimed INTEGER NOT NULL DEFAULT 0, award_phone TEXT);
CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);
)sql";

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// One prepared statement with its parameters bound in order.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) == SQLITE_OK) {
            statement_.reset(raw);
        } else {
            noteFailure(db);
            std::fprintf(stderr, "stargrid-server: SQL: %s\n", sqlite3_errmsg(db));
        }
    }
    Statement& bind(const std::string& text) {
        if (statement_) sqlite3_bind_text(statement_.get(), ++index_, text.c_str(), -1, SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(long value) {
        if (statement_) sqlite3_bind_int64(statement_.get(), ++index_, value);
        return *this;
    }
    // True while a row is there.
    bool step() { return statement_ && stepped() == SQLITE_ROW; }
    // Runs a statement that returns no rows.
    bool run() { return statement_ && stepped() == SQLITE_DONE; }
    long integer(int column) const { return static_cast<long>(sqlite3_column_int64(statement_.get(), column)); }
    std::string text(int column) const {
        const unsigned char* value = sqlite3_column_text(statement_.get(), column);
        return value ? reinterpret_cast<const char*>(value) : "";
    }

private:
    // A damaged or locked file shows here, not as an empty result.
    int stepped() {
        const int status = sqlite3_step(statement_.get());
        if (status != SQLITE_ROW && status != SQLITE_DONE) noteFailure(db_);
        return status;
    }

    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, StatementDeleter> statement_;
    int index_ = 0;
};

// Sizes of the popped groups, or empty when the history is not a "|"-separated list of them.
std::optional<std::vector<long>> parseHistory(const std::string& history) {
    std::vector<long> sizes;
    std::stringstream pieces(history);
    std::string piece;
    while (std::getline(pieces, piece, '|')) {
        if (piece.empty()) continue;
        if (piece.size() > 3 || piece.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        sizes.push_back(std::stol(piece));
    }
    return sizes;
}

// What to do about a dot-lock that keeps the database locked: held by another server, or left by a killed
// one, which no program can tell from here. SQLite makes it a folder; what else is there (a link, a file)
// is no server's, and rmdir cannot remove it.
std::string dotLockAdvice(const std::string& dotLock) {
    struct stat seen {};
    if (::lstat(dotLock.c_str(), &seen) != 0) return "";
    if (S_ISLNK(seen.st_mode))
        return " (its dot-lock " + dotLock + " is a link, which no stargrid-server makes: remove it with rm " +
               dotLock + " and start the server again)";
    if (!S_ISDIR(seen.st_mode))
        return " (its dot-lock " + dotLock +
               " is there, and is no folder: if no other stargrid-server has the database open, remove it with rm " +
               dotLock + " and start the server again)";
    return " (its dot-lock " + dotLock +
           " is there: if no other stargrid-server has the database open, a killed one left it; remove it with rmdir " +
           dotLock + " and start the server again)";
}

}  // namespace

struct GameStore::Database {
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Closer> handle;

    bool exec(const char* sql) {
        if (sqlite3_exec(handle.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
        noteFailure(handle.get());
        return false;
    }
    Statement prepare(const char* sql) { return Statement(handle.get(), sql); }
};

// Commits when told to, rolls back otherwise. One that could not begin (a file another process
// holds) is false, and nothing may be written without it: each statement would be its own.
class Transaction {
public:
    explicit Transaction(GameStore::Database& db) : db_(db), begun_(db_.exec("BEGIN IMMEDIATE")) {}
    ~Transaction() {
        if (begun_ && !committed_) db_.exec("ROLLBACK");
    }
    explicit operator bool() const { return begun_; }
    // False when the changes did not reach the file; they are then rolled back.
    bool commit() {
        committed_ = begun_ && db_.exec("COMMIT");
        return committed_;
    }

private:
    GameStore::Database& db_;
    bool begun_;
    bool committed_ = false;
};

// The file holds phone numbers and passwords: it and its journals are its owner's alone, whatever the
// folder allows, and only a regular file of its own is taken (through a link at its name, the tables and
// the mode would go to whatever the link names).
std::unique_ptr<GameStore> GameStore::open(const std::string& path, std::string* error, bool onlyThisProcess) {
    const bool inMemory = path.empty() || path == ":memory:";
    std::string why;
    std::unique_ptr<DatabaseClaim> claim;
    if (!inMemory) {
        // A path that can be refused is refused before the claim makes its folder beside it, and looked at
        // again once claimed: it may have changed while another server held it.
        why = refusalOfDatabasePath(path);
        if (why.empty()) claim = DatabaseClaim::take(path, DatabaseClaim::kPatience, &why);
        if (claim) why = refusalOfDatabasePath(path);
        if (!why.empty()) {
            if (error) *error = why;
            return nullptr;
        }
    }
    // Once the server that had the file open before is known gone, no other process has it open.
    onlyThisProcess = onlyThisProcess || (claim && claim->followsAGoneServer());
    std::optional<platform::DatabaseOpening> opening;
    if (!inMemory && !(opening = platform::prepareDatabaseFile(path, &why, onlyThisProcess))) {
        if (error) *error = path + ": " + why;
        return nullptr;
    }
    if (opening && !opening->withoutRecordLocks.empty())
        platform::sayOnce("stargrid-server: " + opening->withoutRecordLocks);
    auto database = std::make_unique<Database>();
    sqlite3* raw = nullptr;
    const int status = sqlite3_open_v2(opening ? opening->path.c_str() : path.c_str(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                                       opening && !opening->vfs.empty() ? opening->vfs.c_str() : nullptr);
    database->handle.reset(raw);
    // Another server's lock is waited for from the first statement on, the journal's included.
    if (raw) sqlite3_busy_timeout(raw, 2000);
    bool ready = status == SQLITE_OK;
    for (const std::string& statement : opening ? opening->journalStatements : std::vector<std::string>{})
        ready = ready && database->exec(statement.c_str());
    if (!ready || !database->exec(kSchema)) {
        if (error) *error = path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory");
        if (error && raw && sqlite3_errcode(raw) == SQLITE_BUSY && opening && !opening->dotLock.empty())
            *error += dotLockAdvice(opening->dotLock);
        return nullptr;
    }
    return std::unique_ptr<GameStore>(new GameStore(std::move(claim), std::move(database)));
}

GameStore::GameStore(std::unique_ptr<DatabaseClaim> claim, std::unique_ptr<Database> database)
    : claim_(std::move(claim)), db_(std::move(database)) {}

std::string GameStore::takeFailure() { return std::exchange(lastFailure, std::string()); }
GameStore::~GameStore() = default;

LoginResult GameStore::login(const std::string& cellphone, const std::string& password) {
    std::lock_guard<std::mutex> lock(mutex_);
    LoginResult result;
    Transaction transaction(*db_);
    if (!transaction) return result;
    Statement insert = db_->prepare("INSERT OR IGNORE INTO accounts (cellphone, password) VALUES (?, ?)");
    if (!insert.bind(cellphone).bind(password).run()) return result;
    Statement read = db_->prepare("SELECT password, best_score, diamond_credit FROM accounts WHERE cellphone = ?");
    if (!read.bind(cellphone).step()) return result;
    if (read.text(0) != password) {
        result.outcome = LoginResult::Outcome::WrongPassword;
        return result;
    }
    result.bestScore = read.integer(1);
    result.diamonds = read.integer(2);
    Statement clear = db_->prepare("UPDATE accounts SET diamond_credit = 0 WHERE cellphone = ?");
    if (!clear.bind(cellphone).run()) return result;
    result.gameTag = settingLocked("gametag", "1");
    if (!transaction.commit()) return result;
    result.outcome = LoginResult::Outcome::Success;
    return result;
}

std::optional<long> GameStore::redPacketCount(const std::string& cellphone) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement read = db_->prepare("SELECT red_packets FROM accounts WHERE cellphone = ?");
    if (!read.bind(cellphone).step()) return std::nullopt;
    return read.integer(0);
}

ScoreResult GameStore::submitScore(const std::string& cellphone, const std::string& gameId, long level,
                                   const std::string& history, long remain) {
    ScoreResult result;
    std::optional<std::vector<long>> sizes = parseHistory(history);
    long popped = 0;
    long score = 0;
    long bombs = 0;
    for (long size : sizes ? *sizes : std::vector<long>{}) {
        // A tap pops two pieces or more and a bomb pops one: every entry is 1 or more, and a level has
        // only its bombs' worth of ones.
        if (size < 1) sizes.reset();
        if (size == 1 && ++bombs > kBombsPerLevel) sizes.reset();
        popped += size;
        score += groupScore(size);
    }
    if (!sizes || level < 1 || remain < 0 || popped + remain != 100) {
        result.outcome = ScoreResult::Outcome::Inconsistent;
        return result;
    }
    result.levelScore = score + leftPiecesBonus(remain);
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction transaction(*db_);
    if (!transaction) return result;
    if (!db_->prepare("SELECT 1 FROM accounts WHERE cellphone = ?").bind(cellphone).step()) {
        result.outcome = ScoreResult::Outcome::UnknownAccount;
        return result;
    }
    Statement insert = db_->prepare(
        "INSERT OR IGNORE INTO levels (game_id, cellphone, level, history, remain, score) VALUES (?, ?, ?, ?, ?, ?)");
    if (!insert.bind(gameId).bind(cellphone).bind(level).bind(history).bind(remain).bind(result.levelScore).run())
        return result;
    const bool counted = sqlite3_changes(db_->handle.get()) > 0;
    Statement total = db_->prepare("SELECT COALESCE(SUM(score), 0) FROM levels WHERE game_id = ? AND cellphone = ?");
    if (!total.bind(gameId).bind(cellphone).step()) return result;
    result.gameTotal = total.integer(0);
    Statement best = db_->prepare("UPDATE accounts SET best_score = MAX(best_score, ?) WHERE cellphone = ?");
    if (!best.bind(result.gameTotal).bind(cellphone).run() || !transaction.commit()) return result;
    result.outcome = counted ? ScoreResult::Outcome::Counted : ScoreResult::Outcome::AlreadyCounted;
    return result;
}

bool GameStore::submitGameover(const std::string& cellphone, const std::string& gameId, long level) {
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction transaction(*db_);
    if (!transaction) return false;
    if (!db_->prepare("SELECT 1 FROM accounts WHERE cellphone = ?").bind(cellphone).step()) return false;
    Statement insert = db_->prepare("INSERT OR IGNORE INTO games (game_id, cellphone, last_level) VALUES (?, ?, ?)");
    if (!insert.bind(gameId).bind(cellphone).bind(level).run()) return false;
    const bool firstNotice = sqlite3_changes(db_->handle.get()) > 0;
    const bool scored =
        db_->prepare("SELECT 1 FROM levels WHERE game_id = ? AND cellphone = ?").bind(gameId).bind(cellphone).step();
    if (firstNotice && scored &&
        !db_->prepare("UPDATE accounts SET red_packets = red_packets + 1 WHERE cellphone = ?").bind(cellphone).run())
        return false;
    return transaction.commit();
}

std::optional<long> GameStore::openRedPackets(const std::string& cellphone) {
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction transaction(*db_);
    if (!transaction) return std::nullopt;
    Statement read = db_->prepare("SELECT red_packets FROM accounts WHERE cellphone = ?");
    if (!read.bind(cellphone).step() || read.integer(0) <= 0) return std::nullopt;
    const long diamonds = read.integer(0) * kDiamondsPerRedPacket;
    if (!db_->prepare("UPDATE accounts SET red_packets = 0 WHERE cellphone = ?").bind(cellphone).run() ||
        !transaction.commit())
        return std::nullopt;
    return diamonds;
}

std::vector<RankedRow> GameStore::leaderboard(const std::string& cellphone) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<RankedRow> rows;
    Statement best = db_->prepare(
        "SELECT cellphone, best_score FROM accounts WHERE best_score > 0 "
        "ORDER BY best_score DESC, cellphone LIMIT 10");
    bool ownListed = false;
    while (best.step()) {
        const bool oneself = best.text(0) == cellphone;
        ownListed = ownListed || oneself;
        rows.push_back({oneself, maskCellphone(best.text(0)), static_cast<long>(rows.size()) + 1, best.integer(1)});
    }
    // A player among the best already has a row of their own: a second one would show them twice.
    if (ownListed) return rows;
    RankedRow own{true, maskCellphone(cellphone), 0, 0};
    Statement mine = db_->prepare(
        "SELECT a.best_score, (SELECT COUNT(*) FROM accounts b WHERE b.best_score > a.best_score "
        "OR (b.best_score = a.best_score AND b.cellphone < a.cellphone)) FROM accounts a WHERE a.cellphone = ?");
    if (mine.bind(cellphone).step()) {
        own.score = mine.integer(0);
        own.rank = own.score > 0 ? mine.integer(1) + 1 : 0;
    }
    rows.push_back(own);
    return rows;
}

Prize GameStore::unclaimedPrize(const std::string& cellphone) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement read = db_->prepare("SELECT type, amount FROM prizes WHERE cellphone = ? AND claimed = 0");
    if (!read.bind(cellphone).step()) return {};
    return {static_cast<int>(read.integer(0)), read.integer(1)};
}

std::optional<long> GameStore::claimPrize(const std::string& cellphone, int type, const std::string& awardPhone) {
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction transaction(*db_);
    if (!transaction) return std::nullopt;
    Statement read = db_->prepare("SELECT amount FROM prizes WHERE cellphone = ? AND claimed = 0 AND type = ?");
    if (!read.bind(cellphone).bind(static_cast<long>(type)).step()) return std::nullopt;
    const long amount = read.integer(0);
    Statement claim = db_->prepare("UPDATE prizes SET claimed = 1, award_phone = ? WHERE cellphone = ?");
    if (!claim.bind(awardPhone).bind(cellphone).run() || !transaction.commit()) return std::nullopt;
    return amount;
}

std::string GameStore::setting(const std::string& key, const std::string& fallback) {
    std::lock_guard<std::mutex> lock(mutex_);
    return settingLocked(key, fallback);
}

std::string GameStore::settingLocked(const std::string& key, const std::string& fallback) {
    Statement read = db_->prepare("SELECT value FROM settings WHERE key = ?");
    return read.bind(key).step() ? read.text(0) : fallback;
}

bool GameStore::setSetting(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    return db_->prepare("INSERT OR REPLACE INTO settings (key, value) VALUES (?, ?)").bind(key).bind(value).run();
}

bool GameStore::seedAccount(const AccountSeed& seed) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement write = db_->prepare(
        "INSERT OR REPLACE INTO accounts (cellphone, password, best_score, diamond_credit, red_packets) "
        "VALUES (?, ?, ?, ?, ?)");
    return write.bind(seed.cellphone)
        .bind(seed.password)
        .bind(seed.bestScore)
        .bind(seed.diamondCredit)
        .bind(seed.redPackets)
        .run();
}

bool GameStore::setPrize(const std::string& cellphone, const Prize& prize) {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement write =
        db_->prepare("INSERT OR REPLACE INTO prizes (cellphone, type, amount, claimed) VALUES (?, ?, ?, 0)");
    return write.bind(cellphone).bind(static_cast<long>(prize.type)).bind(prize.amount).run();
}

std::string maskCellphone(const std::string& cellphone) {
    if (cellphone.size() < 8) return cellphone;
    return cellphone.substr(0, 3) + "****" + cellphone.substr(cellphone.size() - 4);
}

}  // namespace stargrid_server
