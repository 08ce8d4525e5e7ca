// One game per player's folders. Each folder is claimed through a descriptor of the folder itself (a
// link there is refused, as is a folder that is not the player's own or is open to others), by the
// first of these the file system takes: a lock on the folder; a lock on a file `claim.lock` in it
// (NFS emulates flock() with record locks, which a folder cannot take); a link `claim.link` in it
// naming the host and the process (NFS without its lock service takes no lock at all). A lock is
// given up by the kernel however the process ends; a link naming a process that no longer runs is
// taken over.
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class FolderClaim {
public:
    enum class State {
        Taken,              // this process holds every folder
        HeldElsewhere,      // another process of this host holds one of them: a game runs on it
        HeldOnAnotherHost,  // a claim link names a process of another host (host, link)
        Failed,             // one cannot be claimed at all (error says why)
    };
    struct Result {
        State state = State::Failed;
        std::unique_ptr<FolderClaim> claim;  // when Taken
        std::string error;                   // when Failed: the folder and the reason
        // The identities (see identityOf) of the folders another process holds (HeldElsewhere), or of
        // those that could not be locked but are there (Failed): a game on them is reached by these.
        std::vector<std::string> others;
        std::string host;  // HeldOnAnotherHost: the host the link names
        std::string link;  // HeldOnAnotherHost: the link's path
    };

    // The folders every store of the player's lives in, as the game claims them: data, then config.
    static std::vector<std::string> playersFolders();

    // Claims the folders in order, without waiting; two paths to one folder are one folder. A claim
    // the launcher (stargrid-claim) took and handed down counts as this process's own: a lock on a
    // descriptor this process inherited (the folder's or its lock file's), or an inherited
    // descriptor of the claim link itself, which is then pointed at this process. Whatever the
    // outcome, inherited descriptors of these are kept from the programs this process starts. With
    // a patience, a claim held elsewhere is tried again until it is given up or the patience is over.
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

    // For a launcher about to execute the program it claimed for: the descriptor holding each claimed
    // folder (its lock's, or its link's), in order, on the given numbers, kept across exec. False
    // (errno set) when they cannot be put there.
    bool handDown(const std::vector<int>& numbers) const;

private:
    struct Hold {
        int fd = -1;      // the lock's descriptor, or the link's
        int folder = -1;  // for a link: the folder's, through which it is removed
    };
    FolderClaim() = default;
    static Result takeOnce(const std::vector<std::string>& folders);
    std::vector<Hold> holds_;
    std::vector<std::string> identities_;
};

}  // namespace platform
