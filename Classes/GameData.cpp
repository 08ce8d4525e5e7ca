#include "Classes/GameData.h"

#include <algorithm>
#include <limits>

#include "Classes/BoardRules.h"
#include "Classes/GameHelpers.h"
#include "Classes/PlatformAlert.h"
#include "Classes/SavedLayout.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/UserDefault.h"

namespace {

kite::UserDefault* store() { return kite::UserDefault::getInstance(); }

}  // namespace

GameData* GameData::getInstance() {
    static GameData* instance = new GameData();  // lives as long as the process
    return instance;
}

void GameData::tellPlayerWhenProgressIsNotSaved() {
    // The store says why in its log line and goes on trying at every frame; the player hears it once.
    kite::UserDefault::setSaveStateListener([](bool saved, const std::string&) {
        if (!saved) platformAlert::show("提示", kUnsavedProgressMessage, "确认");
    });
}

void GameData::newGame() {
    freshBoard = true;
    level = 0;
    currentScore = 0;
    levelNumber = 1;
    targetScore = board::targetScoreForLevel(0);
    highestScore = store()->getIntegerForKey("highestScore");
    // Stored in the frame that marks the game alive, so a process ended before the first board is laid out
    // never resumes the lost game's level, score or board: an empty layout resumes as a fresh board.
    saveLevel();
    saveScore();
    setStartScore(0);
    clearGameScore();
    board::Cells empty;
    empty.fill(board::kEmpty);
    board::saveLayout(empty);
    setAlive(true);
    resetPropCounts();
    newGameId();
}

void GameData::resumeGame() {
    if (!store()->getBoolForKey("isAlive")) {
        newGame();
        return;
    }
    // A negative level or score cannot be played on. (Missing ones, from a store
    // written before a new game stored them at once, read as 0.)
    const int savedLevel = store()->getIntegerForKey("currentLevel");
    const int savedScore = store()->getIntegerForKey("currentScore");
    if (savedLevel < 0 || savedScore < 0) {
        kite::log("GameData: the stored game has level %d and score %d; starting a new game", savedLevel, savedScore);
        newGame();
        return;
    }
    freshBoard = false;
    setLevel(savedLevel);
    currentScore = savedScore;
    highestScore = store()->getIntegerForKey("highestScore");
}

void GameData::setLevel(int newLevel) {
    if (newLevel < 0) return;
    level = newLevel;
    levelNumber = newLevel + 1;
    targetScore = board::targetScoreForLevel(newLevel);
}

void GameData::setAlive(bool alive) { store()->setBoolForKey("isAlive", alive); }

int GameData::leftStarBonus(int piecesLeft) const { return board::leftStarBonus(piecesLeft); }

void GameData::newGameId() { store()->setStringForKey("gameID", makeGuid()); }
std::string GameData::getGameId() const { return store()->getStringForKey("gameID"); }
void GameData::setGameTag(const std::string& tag) { store()->setStringForKey("gametag", tag); }
std::string GameData::getGameTag() const { return store()->getStringForKey("gametag"); }
void GameData::setDiamond(int diamonds) { store()->setIntegerForKey("diamond", diamonds); }
int GameData::getDiamond() const { return store()->getIntegerForKey("diamond"); }

bool GameData::creditDiamonds(int amount, const char* from) {
    if (amount < 0) {
        kite::log("GameData: refused a negative amount of diamonds (%d) from %s", amount, from);
        return false;
    }
    setDiamond(saturatedSum(getDiamond(), amount));
    return true;
}

int GameData::saturatedSum(int count, int amount) {
    // A count that an earlier fault left negative starts again from 0.
    const long long sum = static_cast<long long>(std::max(count, 0)) + std::max(amount, 0);
    return static_cast<int>(std::min<long long>(sum, std::numeric_limits<int>::max()));
}

void GameData::setPropBombCount(int count) { store()->setIntegerForKey("propBombCount", count); }
void GameData::setPropPaintCount(int count) { store()->setIntegerForKey("propPaintCount", count); }
void GameData::setPropResetCount(int count) { store()->setIntegerForKey("propResetCount", count); }
int GameData::getPropBombCount() const { return store()->getIntegerForKey("propBombCount"); }
int GameData::getPropPaintCount() const { return store()->getIntegerForKey("propPaintCount"); }
int GameData::getPropResetCount() const { return store()->getIntegerForKey("propResetCount"); }

void GameData::resetPropCounts() {
    setPropBombCount(kPropUsesPerLevel);
    setPropPaintCount(kPropUsesPerLevel);
    setPropResetCount(kPropUsesPerLevel);
}

void GameData::saveLevel() { store()->setIntegerForKey("currentLevel", level); }
void GameData::saveScore() { store()->setIntegerForKey("currentScore", currentScore); }
void GameData::saveHighestScore() { store()->setIntegerForKey("highestScore", highestScore); }
int GameData::getSavedLevel() const { return store()->getIntegerForKey("currentLevel"); }

void GameData::setStartScore(int score) { store()->setIntegerForKey("startScore", score); }
int GameData::getStartScore() const { return store()->getIntegerForKey("startScore"); }

void GameData::appendGameScore(int groupSize) {
    const std::string history = getGameScore();
    const std::string entry = intToString(groupSize);
    store()->setStringForKey("gameScore", history.empty() ? entry : history + "|" + entry);
}

std::string GameData::getGameScore() const { return store()->getStringForKey("gameScore"); }
void GameData::clearGameScore() { store()->setStringForKey("gameScore", ""); }
void GameData::setRemainStarCount(int count) { store()->setIntegerForKey("remainStarCount", count); }
int GameData::getRemainStarCount() const { return store()->getIntegerForKey("remainStarCount"); }
