// Online configuration: the module's and the application's records from the server, merged by version.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sdk/pigeon/statistics/PGStatSupport.h"

struct sqlite3;

namespace Json {
class Value;
}

namespace pigeon {

// One configuration record: type 1 for the module, 2 for the application.
struct PGStatDataConfig {
    std::uint32_t type = 0;
    std::uint32_t version = 0;
    std::string content;  // JSON text
    std::string md5;

    // Reads "c" (an object), "v" (a number) and "m" (a text); false when one is missing or mistyped.
    bool decode(const Json::Value& server);
    // Writes "v" only.
    void encodeWithNoContent(Json::Value& into) const;
};

class PGStatDataConfigHolder {
public:
    // Made once; loads the stored records, then runs the block.
    static PGStatDataConfigHolder* initSingleton(const std::function<void()>& loaded);
    // Null before initSingleton.
    static PGStatDataConfigHolder* getInstance();

    void setConfig(const PGStatDataConfig& config);
    std::optional<PGStatDataConfig> getConfig(std::uint32_t type) const;
    void updateConfig(const Json::Value& server, std::uint32_t type);
    // A report's answer: its "cfg" member, type-checked.
    void updateOnlineConfig(const Json::Value& answer);
    // Adds "cfg" with the version of each record held.
    void encode(Json::Value& into) const;
    std::optional<std::string> getAppProperty(const std::string& key) const;

    // The holder's own handle on the module's database file (the store keeps
    // its own): opened on first use, closed, or closed and the file removed.
    sqlite3* getDB();
    void closeDB();
    void deleteDB();

    // The holder's own serial queue, "StatStore" as the store's.
    StatQueue& getTaskQueue() { return task_queue; }

    // Forgets the records and closes the handle (tests).
    void resetForTesting();

private:
    PGStatDataConfigHolder();
    void applyModuleSwitches(const Json::Value& settings);
    struct DatabaseCloser {
        void operator()(sqlite3* db) const;
    };

    StatQueue task_queue;
    std::mutex dbMutex_;
    std::unique_ptr<sqlite3, DatabaseCloser> db_;

    mutable std::mutex mutex_;
    PGStatDataConfig sdkCfg_{1, 0, {}, {}};
    PGStatDataConfig appCfg_{2, 0, {}, {}};
    std::unique_ptr<Json::Value> appProperties_;
};

}  // namespace pigeon
