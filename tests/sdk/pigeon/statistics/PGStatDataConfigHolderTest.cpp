// Online configuration from report answers: merged by version, type-checked, applied to the settings.
#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <future>
#include <thread>

#include "StatTestSupport.h"
#include "platform/UserFolders.h"

namespace pigeon {
namespace test {
namespace {

Json::Value answerWith(const std::string& type, unsigned version, const Json::Value& content) {
    Json::Value record(Json::objectValue);
    record["c"] = content;
    record["v"] = version;
    record["m"] = "md5";
    Json::Value answer(Json::objectValue);
    answer["cfg"][type] = record;
    return answer;
}

class PGStatOnlineConfig : public StatTest {
protected:
    void SetUp() override {
        StatTest::SetUp();
        holder_ = PGStatDataConfigHolder::initSingleton(nullptr);
        holder_->resetForTesting();
    }
    PGStatDataConfigHolder* holder_ = nullptr;
};

TEST_F(PGStatOnlineConfig, NewerModuleRecordSetsTheStrategyAndIsStored) {
    Json::Value content(Json::objectValue);
    content["rs"] = 1;
    holder_->setConfig({1, 3, "{}", ""});
    holder_->updateOnlineConfig(answerWith("1", 5, content));
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 1);
    EXPECT_EQ(holder_->getConfig(1)->version, 5u);
    ASSERT_TRUE(idle());
    int stored = 0;
    PGStatStore::getInstance().loadConfig([&](const PGStatDataConfig& config) {
        ++stored;
        EXPECT_EQ(config.version, 5u);
        EXPECT_EQ(config.content, "{\"rs\":1}");
    });
    EXPECT_EQ(stored, 1);
    // The same answer again: equal versions keep the held record.
    PGStatConfig::getInstance().reportStrategy = 3;
    holder_->updateOnlineConfig(answerWith("1", 5, content));
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 3);
}

TEST_F(PGStatOnlineConfig, MistypedValuesChangeNothing) {
    Json::Value content(Json::objectValue);
    content["rs"] = 0;
    holder_->updateOnlineConfig(answerWith("1", 1, content));
    content["rs"] = "1";
    holder_->updateOnlineConfig(answerWith("1", 2, content));
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 3);
    Json::Value answer = answerWith("1", 9, content);
    answer["cfg"]["1"]["v"] = "9";  // a version that is text
    holder_->updateOnlineConfig(answer);
    answer["cfg"] = "not an object";
    holder_->updateOnlineConfig(answer);
    holder_->updateOnlineConfig(Json::Value("text"));
    EXPECT_EQ(holder_->getConfig(1)->version, 2u);
}

TEST_F(PGStatOnlineConfig, AnswerWithMidIsNoConfiguration) {
    Json::Value content(Json::objectValue);
    content["rs"] = 2;
    Json::Value answer = answerWith("1", 4, content);
    answer["mid"] = "x";
    holder_->updateOnlineConfig(answer);
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 3);
}

TEST_F(PGStatOnlineConfig, HibernationFromTheModuleVersionOn) {
    Json::Value content(Json::objectValue);
    content["__HIBERNATE__"] = "1.4.0";
    holder_->updateOnlineConfig(answerWith("1", 1, content));
    EXPECT_TRUE(PGStatConfig::getInstance().statEnable);
    content["__HIBERNATE__"] = "1.10";
    holder_->updateOnlineConfig(answerWith("1", 2, content));
    EXPECT_FALSE(PGStatConfig::getInstance().statEnable);
    PGStatConfig::getInstance().statEnable = true;
    content["__HIBERNATE__"] = "1.4.1";
    holder_->updateOnlineConfig(answerWith("1", 3, content));
    EXPECT_FALSE(PGStatConfig::getInstance().statEnable);
}

TEST_F(PGStatOnlineConfig, KillSwitchMatchesTheApplicationVersion) {
    Json::Value content(Json::objectValue);
    content["__PGSTAT_KILL__"]["av"] = kTestBundleVersion;
    holder_->updateOnlineConfig(answerWith("1", 1, content));
    EXPECT_FALSE(PGStatHelper::getInstance().PGStatEnableFlag());
}

TEST_F(PGStatOnlineConfig, ApplicationRecordGivesCustomProperties) {
    Json::Value content(Json::objectValue);
    content["color"] = "red";
    holder_->updateOnlineConfig(answerWith("2", 1, content));
    EXPECT_EQ(PGStatConfig::getInstance().getCustomProperty("color", "blue"), "red");
    EXPECT_EQ(PGStatConfig::getInstance().getCustomProperty("size", "big"), "big");
    Json::Value described(Json::objectValue);
    holder_->encode(described);
    EXPECT_EQ(described["cfg"]["2"]["v"].asUInt(), 1u);
}

TEST_F(PGStatOnlineConfig, TheHolderOpensMovesAndDeletesTheDatabaseOnItsOwnHandle) {
    const std::string folder = platform::documentsFolder();
    PGStatStore::getInstance().closeDB();
    std::filesystem::remove(folder + "/.pigeon_stat_analysis.db");
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open((folder + "/pigeon_stat_analysis.db").c_str(), &old), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(old, "create table marker(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(old);

    sqlite3* db = holder_->getDB();
    ASSERT_TRUE(db);
    EXPECT_EQ(holder_->getDB(), db) << "one handle, opened once";
    EXPECT_FALSE(std::filesystem::exists(folder + "/pigeon_stat_analysis.db"));
    EXPECT_EQ(sqlite3_exec(db, "select x from marker", nullptr, nullptr, nullptr), SQLITE_OK) << "the old file, moved";
    struct stat info {};
    ASSERT_EQ(::stat((folder + "/.pigeon_stat_analysis.db").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    holder_->closeDB();
    ASSERT_TRUE(holder_->getDB());
    holder_->deleteDB();
    EXPECT_FALSE(std::filesystem::exists(folder + "/.pigeon_stat_analysis.db"));
}

TEST_F(PGStatOnlineConfig, TheHolderHasASerialQueueOfItsOwn) {
    std::promise<std::thread::id> ran;
    holder_->getTaskQueue().async([&ran] { ran.set_value(std::this_thread::get_id()); });
    auto id = ran.get_future();
    ASSERT_EQ(id.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(id.get(), std::this_thread::get_id());
}

}  // namespace
}  // namespace test
}  // namespace pigeon
