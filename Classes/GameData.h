// The game's progress: level, target and score in memory, the rest of the running game in the preferences store.
#pragma once
#include <cstdint>
#include <string>

class GameData {
public:
    // Made on first use, never freed.
    static GameData* getInstance();

    // From now on the player is told with an alert ("提示", this message, "确认") when the progress
    // stops reaching the disk: once each time, not at every frame that tries again.
    static void tellPlayerWhenProgressIsNotSaved();
    static constexpr const char* kUnsavedProgressMessage = "游戏进度暂时无法保存!";

    GameData(const GameData&) = delete;
    GameData& operator=(const GameData&) = delete;

    // Level 1 with 0 points, stored with the game marked alive in one write.
    void newGame();
    // Continues the stored game, or starts a new one when none is alive.
    void resumeGame();
    // Ignored for a negative level; stores nothing.
    void setLevel(int newLevel);
    void setAlive(bool alive);
    int leftStarBonus(int piecesLeft) const;

    void newGameId();
    std::string getGameId() const;
    void setGameTag(const std::string& tag);
    std::string getGameTag() const;
    void setDiamond(int diamonds);
    int getDiamond() const;
    // Diamonds handed over by the game server or the store, named for the log. A negative amount is
    // refused with a log line (false); the stored count stops at the largest one it can hold.
    bool creditDiamonds(int amount, const char* from);
    // A stored count (0 or more) plus an amount of 0 or more, stopping at the largest int32.
    static int saturatedSum(int count, int amount);

    void setPropBombCount(int count);
    void setPropPaintCount(int count);
    void setPropResetCount(int count);
    int getPropBombCount() const;
    int getPropPaintCount() const;
    int getPropResetCount() const;
    // Every prop back to its uses per level.
    void resetPropCounts();

    void saveLevel();
    void saveScore();
    void saveHighestScore();
    int getSavedLevel() const;

    void setStartScore(int score);
    int getStartScore() const;
    void appendGameScore(int groupSize);
    std::string getGameScore() const;
    void clearGameScore();
    void setRemainStarCount(int count);
    int getRemainStarCount() const;

    static constexpr int kPropUsesPerLevel = 3;
    static constexpr int kPropCost = 5;  // diamonds per prop use

    std::int32_t level = 0;
    std::int32_t currentScore = 0;
    std::int32_t highestScore = 0;
    std::int32_t levelNumber = 0;
    std::int32_t targetScore = 0;
    bool freshBoard = false;
    std::string pendingGameTag;
    bool newGameRequested = false;
    std::int32_t fallingStarCount = 0;

private:
    GameData() = default;
};
