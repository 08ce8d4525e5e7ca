// One game per player's folders: an exclusive lock on each folder a store lives in, taken on a
// read-only descriptor of the folder itself (so a folder the player cannot write is claimed all
// the same), held for as long as the claim (or the process) lives, and given up by the kernel
// however the process ends.
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class FolderClaim {
public:
    enum class State {
        Taken,          // this process holds every folder
        HeldElsewhere,  // another process holds one of them: a game runs on it
        Failed,         // one cannot be locked at all (error says why)
    };
    struct Result {
        State state = State::Failed;
        std::unique_ptr<FolderClaim> claim;  // when Taken
        std::string error;                   // when Failed: the folder and the reason
        // The identities (see identityOf) of the folders another process holds (HeldElsewhere), or of
        // those that could not be locked but are there (Failed): a game on them is reached by these.
        std::vector<std::string> others;
    };

    // Claims the folders in order, without waiting; two paths to one folder are one folder. A lock
    // the launcher (scripts/play) took on a descriptor this process inherited counts as this
    // process's own. Whatever the outcome, inherited descriptors of these folders are kept from
    // the programs this process starts. With a patience, a claim held elsewhere is tried again
    // until it is given up or the patience is over.
    static Result take(const std::vector<std::string>& folders,
                       std::chrono::milliseconds patience = std::chrono::milliseconds(0));
    static Result take(const std::string& folder) { return take(std::vector<std::string>{folder}); }

    // 16 hex digits naming the folder by its device and inode, so every path to it gives the same;
    // empty when it cannot be looked at.
    static std::string identityOf(const std::string& folder);

    ~FolderClaim();
    FolderClaim(const FolderClaim&) = delete;
    FolderClaim& operator=(const FolderClaim&) = delete;

    // The identities of the claimed folders, in the order they were claimed.
    const std::vector<std::string>& identities() const { return identities_; }

private:
    FolderClaim() = default;
    static Result takeOnce(const std::vector<std::string>& folders);
    std::vector<int> fds_;
    std::vector<std::string> identities_;
};

}  // namespace platform
