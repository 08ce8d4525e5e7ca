// One game per player's folders: an exclusive lock on a file in the folder, held for as long as
// the claim (or the process) lives, and given up by the kernel however the process ends.
#pragma once
#include <memory>
#include <string>

namespace platform {

class FolderClaim {
public:
    // The lock's file in the claimed folder. A launcher that must act before the game starts
    // (scripts/play starts the game server) takes the same lock on a descriptor the game inherits.
    static constexpr const char* kLockName = "game.lock";

    enum class State {
        Taken,          // this process holds the folder
        HeldElsewhere,  // another process does: a game runs on it
        Failed,         // the lock cannot be had at all (error says why)
    };
    struct Result {
        State state = State::Failed;
        std::unique_ptr<FolderClaim> claim;  // when Taken
        std::string error;                   // when Failed
    };

    // Claims the folder without waiting. A claim taken by the launcher on a descriptor this process
    // inherited counts as this process's own, and is kept from the programs it starts in turn.
    static Result take(const std::string& folder);
    ~FolderClaim();
    FolderClaim(const FolderClaim&) = delete;
    FolderClaim& operator=(const FolderClaim&) = delete;

    const std::string& path() const { return path_; }

private:
    FolderClaim(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

}  // namespace platform
