#include "Classes/GameData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Classes/SavedLayout.h"
#include "GameTestSupport.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/Value.h"
#include "support/LogCapture.h"

namespace {

using game::test::GameStoreTest;

class GameDataTest : public GameStoreTest {
protected:
    // The store as a second reader finds it on disk, after the end of the frame and the writer thread's save.
    kite::ValueMap savedOnDisk() {
        kite::UserDefault::saveIfDirty();
        store()->flush();
        std::ifstream file(environment.storePath(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        kite::Value root;
        if (!kite::PropertyList::parse(bytes.data(), bytes.size(), root) || root.getType() != kite::Value::Type::MAP) {
            ADD_FAILURE() << "no property list at " << environment.storePath();
            return {};
        }
        return root.asValueMap();
    }
    static kite::Value valueOf(const kite::ValueMap& disk, const std::string& key) {
        const auto found = disk.find(key);
        return found == disk.end() ? kite::Value() : found->second;
    }

    GameData* data = GameData::getInstance();
};

TEST_F(GameDataTest, NewGameStartsAtTheFirstLevelWithFullPropsAndAFreshId) {
    store()->setIntegerForKey("highestScore", 777);
    store()->setIntegerForKey("currentLevel", 6);
    data->newGame();
    EXPECT_TRUE(data->freshBoard);
    EXPECT_TRUE(store()->getBoolForKey("isAlive"));
    EXPECT_EQ(data->level, 0);
    EXPECT_EQ(data->levelNumber, 1);
    EXPECT_EQ(data->targetScore, 1000);
    EXPECT_EQ(data->currentScore, 0);
    EXPECT_EQ(data->highestScore, 777);
    EXPECT_EQ(data->getPropBombCount(), 3);
    EXPECT_EQ(data->getPropPaintCount(), 3);
    EXPECT_EQ(data->getPropResetCount(), 3);
    EXPECT_EQ(data->getSavedLevel(), 0);
    EXPECT_TRUE(::testing::Matches(::testing::MatchesRegex(
        "\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}"))(data->getGameId()));
}

TEST_F(GameDataTest, ResumeContinuesTheStoredGame) {
    store()->setBoolForKey("isAlive", true);
    store()->setIntegerForKey("currentLevel", 3);
    store()->setIntegerForKey("currentScore", 7000);
    store()->setIntegerForKey("highestScore", 9000);
    data->resumeGame();
    EXPECT_FALSE(data->freshBoard);
    EXPECT_EQ(data->level, 3);
    EXPECT_EQ(data->levelNumber, 4);
    EXPECT_EQ(data->targetScore, 6680);
    EXPECT_EQ(data->currentScore, 7000);
    EXPECT_EQ(data->highestScore, 9000);
}

TEST_F(GameDataTest, ResumeWithoutALiveGameIsANewGame) {
    store()->setIntegerForKey("currentLevel", 3);
    store()->setIntegerForKey("currentScore", 7000);
    data->resumeGame();
    EXPECT_TRUE(data->freshBoard);
    EXPECT_EQ(data->level, 0);
    EXPECT_EQ(data->currentScore, 0);
    EXPECT_TRUE(store()->getBoolForKey("isAlive"));
}

TEST_F(GameDataTest, ResumeOfADamagedLevelOrScoreStartsANewGame) {
    for (auto [level, score] : {std::pair{-2, 100}, std::pair{2, -5}}) {
        store()->setBoolForKey("isAlive", true);
        store()->setIntegerForKey("currentLevel", level);
        store()->setIntegerForKey("currentScore", score);
        data->level = 4;
        data->currentScore = 99;
        data->resumeGame();
        EXPECT_TRUE(data->freshBoard);
        EXPECT_EQ(data->level, 0);
        EXPECT_EQ(data->currentScore, 0);
    }
}

TEST_F(GameDataTest, NegativeLevelIsIgnored) {
    data->setLevel(1);
    EXPECT_EQ(data->targetScore, 2540);
    data->setLevel(-1);
    EXPECT_EQ(data->level, 1);
    EXPECT_EQ(data->levelNumber, 2);
    data->setLevel(0);
    EXPECT_EQ(data->targetScore, 1000);
    EXPECT_EQ(data->levelNumber, 1);
}

TEST_F(GameDataTest, HistoryOfPoppedGroupsIsAPipeSeparatedList) {
    data->appendGameScore(12);
    EXPECT_EQ(data->getGameScore(), "12");
    data->appendGameScore(2);
    data->appendGameScore(5);
    EXPECT_EQ(store()->getStringForKey("gameScore"), "12|2|5");
    data->clearGameScore();
    EXPECT_EQ(data->getGameScore(), "");
}

TEST_F(GameDataTest, CreditedDiamondsStayWithinWhatAStoredCountHolds) {
    kite::test::LogCapture log;
    data->setDiamond(10);
    EXPECT_TRUE(data->creditDiamonds(2147483647, "a test"));
    EXPECT_EQ(data->getDiamond(), 2147483647);
    EXPECT_TRUE(data->creditDiamonds(5, "a test"));
    EXPECT_EQ(data->getDiamond(), 2147483647);
    data->setDiamond(10);
    EXPECT_FALSE(data->creditDiamonds(-1000, "a test"));
    EXPECT_EQ(data->getDiamond(), 10);
    EXPECT_TRUE(log.contains("GameData: refused a negative amount of diamonds (-1000) from a test"));
    data->setDiamond(-990);  // what an earlier fault could leave
    EXPECT_TRUE(data->creditDiamonds(5, "a test"));
    EXPECT_EQ(data->getDiamond(), 5);
    EXPECT_EQ(GameData::saturatedSum(2147483647, 1), 2147483647);
    EXPECT_EQ(GameData::saturatedSum(2, 3), 5);
}

TEST_F(GameDataTest, StoredValuesAreWrittenAtOnce) {
    data->setDiamond(17);
    data->setGameTag("t-42");
    data->setStartScore(300);
    data->setRemainStarCount(4);
    data->currentScore = 1234;
    data->level = 2;
    data->saveScore();
    data->saveLevel();
    const kite::ValueMap disk = savedOnDisk();
    const auto stored = [&disk](const char* key) { return valueOf(disk, key); };
    EXPECT_EQ(stored("diamond"), kite::Value(17));
    EXPECT_EQ(stored("gametag"), kite::Value("t-42"));
    EXPECT_EQ(stored("startScore"), kite::Value(300));
    EXPECT_EQ(stored("remainStarCount"), kite::Value(4));
    EXPECT_EQ(stored("currentScore"), kite::Value(1234));
    EXPECT_EQ(stored("currentLevel"), kite::Value(2));
}

TEST_F(GameDataTest, ANewGameIsOnDiskWithItsStartingValuesAsSoonAsItIsAlive) {
    // A game lost at level index 5 with 8255 points: its board, history and level start are still stored.
    board::Cells lost;
    for (int index = 0; index < board::kCellCount; ++index) lost[index] = index % board::kColourCount;
    board::saveLayout(lost);
    store()->setBoolForKey("isAlive", false);
    store()->setIntegerForKey("currentLevel", 5);
    store()->setIntegerForKey("currentScore", 8255);
    store()->setIntegerForKey("startScore", 7900);
    store()->setStringForKey("gameScore", "12|3|7");
    savedOnDisk();

    data->newGame();
    // The first write of the new game, long before its first board is laid out.
    const kite::ValueMap disk = savedOnDisk();
    const auto integer = [&disk](const std::string& key) -> std::optional<int> {
        const kite::Value value = valueOf(disk, key);
        if (value.getType() != kite::Value::Type::INTEGER) return std::nullopt;
        return value.asInt();
    };
    EXPECT_EQ(valueOf(disk, "isAlive").getType(), kite::Value::Type::BOOLEAN);
    EXPECT_TRUE(valueOf(disk, "isAlive").asBool());
    EXPECT_EQ(integer("currentLevel"), 0);
    EXPECT_EQ(integer("currentScore"), 0);
    EXPECT_EQ(integer("startScore"), 0);
    EXPECT_EQ(valueOf(disk, "gameScore").getType(), kite::Value::Type::STRING);
    EXPECT_EQ(valueOf(disk, "gameScore").asString(), "");
    std::vector<std::optional<int>> layout;
    for (int index = 0; index < board::kCellCount; ++index)
        layout.push_back(integer("colorKey" + std::to_string(index)));
    EXPECT_EQ(layout, std::vector<std::optional<int>>(board::kCellCount, board::kEmpty));

    // The process ends there; the next one resumes from the file.
    kite::UserDefault::destroyInstance();
    game::test::resetProgress();
    data->resumeGame();
    EXPECT_EQ(data->levelNumber, 1);
    EXPECT_EQ(data->currentScore, 0);
}

}  // namespace
