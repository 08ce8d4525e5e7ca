// One server per database file: the claim a server holds on its database for as long as it has it open,
// taken as the game claims the player's folders (platform::FolderClaim), on a folder beside the file.
#pragma once
#include <chrono>
#include <memory>
#include <string>

namespace platform {
class ClaimWitness;
class FolderClaim;
}

namespace stargrid_server {

class DatabaseClaim {
public:
    // How long a server waits for another one that has the database open to stop.
    static constexpr std::chrono::seconds kPatience{10};

    // The claim on `database` (the folder "DATABASE.claim", made 0700 when missing), waited for while
    // another server holds it, saying so on standard error; null, with `error` naming the server that holds
    // it or why it cannot be taken. While held, its witness listens in the runtime folder (see ClaimWitness).
    static std::unique_ptr<DatabaseClaim> take(const std::string& database, std::chrono::milliseconds patience,
                                               std::string* error);
    ~DatabaseClaim();
    DatabaseClaim(const DatabaseClaim&) = delete;
    DatabaseClaim& operator=(const DatabaseClaim&) = delete;

    // The server that had the database open before this one is known to be gone: the claim took its link over
    // as a leftover, by the judgement every launch asks, or it gave the claim up while this one waited. Every
    // server claims the database before it opens it.
    bool followsAGoneServer() const { return followsAGoneServer_; }

private:
    DatabaseClaim() = default;
    std::unique_ptr<platform::FolderClaim> claim_;
    std::unique_ptr<platform::ClaimWitness> witness_;  // gone before the claim: no socket outlives it
    bool followsAGoneServer_ = false;
};

}  // namespace stargrid_server
