#include "Classes/GameData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "GameTestSupport.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/Value.h"
#include "support/LogCapture.h"

namespace {

using game::test::GameStoreTest;

class GameDataTest : public GameStoreTest {
protected:
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
    EXPECT_EQ(data->getSavedLevel(), 6);  // until the first board fill
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
    // The end of the frame, as the director ends every frame, and the writer thread's save done.
    kite::UserDefault::saveIfDirty();
    store()->flush();
    // A second reader of the file on disk.
    std::ifstream file(environment.storePath(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    kite::Value root;
    ASSERT_TRUE(kite::PropertyList::parse(bytes.data(), bytes.size(), root)) << environment.storePath();
    ASSERT_EQ(root.getType(), kite::Value::Type::MAP);
    const kite::ValueMap& disk = root.asValueMap();
    const auto stored = [&disk](const char* key) {
        const auto found = disk.find(key);
        return found == disk.end() ? kite::Value() : found->second;
    };
    EXPECT_EQ(stored("diamond"), kite::Value(17));
    EXPECT_EQ(stored("gametag"), kite::Value("t-42"));
    EXPECT_EQ(stored("startScore"), kite::Value(300));
    EXPECT_EQ(stored("remainStarCount"), kite::Value(4));
    EXPECT_EQ(stored("currentScore"), kite::Value(1234));
    EXPECT_EQ(stored("currentLevel"), kite::Value(2));
}

}  // namespace
