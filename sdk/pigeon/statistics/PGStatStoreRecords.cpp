// The statistics store's user record and online configuration records.
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatSqlite.h"
#include "sdk/pigeon/statistics/PGStatStore.h"

namespace pigeon {

using namespace statsql;

namespace {

constexpr char kReplaceConfig[] =
    "replace into config(type, content, md5sum, version) values(@TYPE, @CONTENT, @MD5, @VER)";

}  // namespace

void PGStatStore::storeUser(const PGStatUser& user) {
    task_queue.async([this, user] {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        sqlite3* db = getDBLocked();
        if (!db) return;
        Statement update = prepare(db, "update user set user_type=?1, app_ver=?2, ts=?3 where uid=?4");
        if (!update) return;
        sqlite3_bind_int64(update.get(), 1, user.userType);
        bindText(update.get(), 2, user.appVer);
        sqlite3_bind_int64(update.get(), 3, user.tagTime);
        bindText(update.get(), 4, user.uid);
        const int code = sqlite3_step(update.get());
        if (code != SQLITE_DONE) {
            statDebugLog("Failed to execute sql:%s for reason:%s", "update user", sqlite3_errmsg(db));
            update.reset();
            checkDamage(code);
        }
    });
}

std::optional<PGStatUser> PGStatStore::loadUser() {
    // On the caller's thread under the database lock: the store's own queue may be the caller.
    std::lock_guard<std::recursive_mutex> lock(lock_);
    sqlite3* db = getDBLocked();
    if (!db) return std::nullopt;
    int code = 0;
    const auto rows = queryRows(db, "select uid,user_type,app_ver,ts from user", {}, &code);
    if (!rows) {
        checkDamage(code);
        return std::nullopt;
    }
    if (rows->empty()) {
        const PGStatEnv& env = PGStatHelper::getInstance().getEnv();
        PGStatUser user{env.deviceid.value_or(""), 0, env.app_version.value_or("unknown"),
                        static_cast<std::uint32_t>(statNow())};
        Statement insert = prepare(db, "insert into user values(?1, ?2, ?3, ?4)");
        if (!insert) return std::nullopt;
        bindText(insert.get(), 1, user.uid);
        sqlite3_bind_int64(insert.get(), 2, user.userType);
        bindText(insert.get(), 3, user.appVer);
        sqlite3_bind_int64(insert.get(), 4, user.tagTime);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) statDebugLog("Failed to execute sql:%s", "insert user");
        return user;
    }
    if (rows->size() != 1 || rows->front().size() != 4) return std::nullopt;
    const Row& row = rows->front();
    return PGStatUser{row[0], static_cast<std::int32_t>(std::strtol(row[1].c_str(), nullptr, 10)), row[2],
                      toUnsigned(row[3])};
}

std::string PGStatStore::getPGStatOpenUDID() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    sqlite3* db = getDBLocked();
    int code = 0;
    const auto rows = db ? queryRows(db, "select uid from user limit 1", {}, &code) : std::nullopt;
    return rows && rows->size() == 1 && rows->front().size() == 1 ? rows->front()[0] : std::string();
}

void PGStatStore::storeConfig(const PGStatDataConfig& config) {
    task_queue.async([this, config] {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        sqlite3* db = getDBLocked();
        if (!db) return;
        if (!statements_->replaceConfig) statements_->replaceConfig = prepare(db, kReplaceConfig);
        sqlite3_stmt* replace = statements_->replaceConfig.get();
        if (!replace) {
            statDebugLog("Failed to prepare replace configs");
            return;
        }
        sqlite3_bind_int64(replace, 1, config.type);
        bindText(replace, 2, config.content);
        bindText(replace, 3, config.md5);
        sqlite3_bind_int64(replace, 4, config.version);
        runKept(statements_->replaceConfig, "Failed to exec satement to insert configs.");
    });
}

void PGStatStore::loadConfig(const std::function<void(const PGStatDataConfig&)>& each) {
    std::vector<PGStatDataConfig> configs;
    {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        sqlite3* db = getDBLocked();
        int code = 0;
        const auto rows =
            db ? queryRows(db, "select type, content, md5sum, version from config;", {}, &code) : std::nullopt;
        if (!rows) return;
        for (const Row& row : *rows) {
            if (row.size() == 4) configs.push_back({toUnsigned(row[0]), toUnsigned(row[3]), row[1], row[2]});
        }
    }
    for (const PGStatDataConfig& config : configs) each(config);
}

}  // namespace pigeon
