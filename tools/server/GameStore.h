// The local game server's records in one SQLite file: accounts, scored levels, games,
// red packets, prizes and the server's settings. Every call is one transaction, under one lock.
#pragma once
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace stargrid_server {

class DatabaseClaim;

struct LoginResult {
    enum class Outcome { Success, WrongPassword, Failed } outcome = Outcome::Failed;
    long bestScore = 0;
    long diamonds = 0;  // credited to the device with this login, then cleared here
    std::string gameTag;
};

struct ScoreResult {
    enum class Outcome { Counted, AlreadyCounted, Inconsistent, UnknownAccount, Failed } outcome = Outcome::Failed;
    long levelScore = 0;
    long gameTotal = 0;
};

struct RankedRow {
    bool oneself = false;
    std::string cellphone;  // masked, as others may see it
    long rank = 0;          // 0: not ranked
    long score = 0;
};

struct Prize {
    // The numbers "RewardsType" answers with.
    enum Type { None = 0, PhoneCredit = 1, Diamonds = 2 };
    int type = None;
    long amount = 0;
};

// What a control request may set for one account.
struct AccountSeed {
    std::string cellphone;
    std::string password;  // as the game sends it (its Base64 form)
    long bestScore = 0;
    long diamondCredit = 0;
    long redPackets = 0;
};

class GameStore {
public:
    // ":memory:" keeps nothing after the server stops. A file is claimed first, for as long as the store is
    // open (see DatabaseClaim: one server per file); it and its journals are kept 0600. A path refused by
    // what it is (see refusalOfDatabasePath: a link, anything but a regular file, a file that is no database,
    // a missing folder, another user's file or journal) is refused before it is claimed. `onlyThisProcess`: no other process opens the file
    // (see platform::prepareDatabaseFile).
    static std::unique_ptr<GameStore> open(const std::string& path, std::string* error, bool onlyThisProcess = false);
    // SQLite's error from the calls this thread made since it last asked (a damaged or locked file),
    // or empty; cleared by asking.
    static std::string takeFailure();
    ~GameStore();
    GameStore(const GameStore&) = delete;
    GameStore& operator=(const GameStore&) = delete;

    // Binds the phone to the password on first sight; later logins must give the same password.
    LoginResult login(const std::string& cellphone, const std::string& password);
    std::optional<long> redPacketCount(const std::string& cellphone);
    // A passed level: the popped group sizes and the pieces left must account for all 100 cells.
    ScoreResult submitScore(const std::string& cellphone, const std::string& gameId, long level,
                            const std::string& history, long remain);
    // The game is over; a game that scored earns its player one red packet, once.
    bool submitGameover(const std::string& cellphone, const std::string& gameId, long level);
    // Opens every red packet: diamonds gained. Empty when there was none.
    std::optional<long> openRedPackets(const std::string& cellphone);
    // The best ten, then the player's own row unless the player is among them.
    std::vector<RankedRow> leaderboard(const std::string& cellphone);
    Prize unclaimedPrize(const std::string& cellphone);
    // Claims the prize of that type; the amount, or empty when there is none to claim.
    std::optional<long> claimPrize(const std::string& cellphone, int type, const std::string& awardPhone);

    std::string setting(const std::string& key, const std::string& fallback);
    bool setSetting(const std::string& key, const std::string& value);
    bool seedAccount(const AccountSeed& seed);
    bool setPrize(const std::string& cellphone, const Prize& prize);

    // Scoring rules shared with the game: a group of n pieces, and n pieces left at the end.
    static long groupScore(long size) { return size * size * 5; }
    static long leftPiecesBonus(long left) { return left >= 0 && left < 10 ? 2000 - 20 * left * left : 0; }
    // Bombs the game gives each level (its GameData::kPropUsesPerLevel): each pops one piece.
    static constexpr long kBombsPerLevel = 3;

public:
    struct Database;  // the open connection; defined beside the statements

private:
    GameStore(std::unique_ptr<DatabaseClaim> claim, std::unique_ptr<Database> database);
    std::string settingLocked(const std::string& key, const std::string& fallback);

    std::mutex mutex_;
    // Given up only after the database is closed.
    std::unique_ptr<DatabaseClaim> claim_;
    std::unique_ptr<Database> db_;
};

// "13812345678" shown as "138****5678".
std::string maskCellphone(const std::string& cellphone);

}  // namespace stargrid_server
