// One game per player's folders. Each folder is claimed through a descriptor of the folder itself (a
// link there is refused, as is a folder that is not the player's own or is open to others), by the
// first of these the file system takes: a lock on the folder; a lock on a file `claim.lock` in it
// (NFS emulates flock() with record locks, which a folder cannot take); then by a link `claim.link` in
// it naming the process, beside the lock, or alone where no lock can be taken at all (NFS without its
// lock service; see ClaimLink.h). What the link found there leads to is the table in ClaimRules.cpp. A lock
// is given up by the kernel however the process ends; a link whose process no longer runs is taken over.
#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ClaimLink.h"

namespace platform {

class FolderClaim {
public:
    enum class State {
        Taken,           // this process holds every folder
        HeldElsewhere,   // a game of this host holds one of them (holder): this launch is its second one
        HeldOutOfSight,  // a claim link names a process this launch cannot see or tell from a game (holder):
                         // another host's, another pid namespace's (or one /proc hides) where no lock proves it
                         // gone or its link is young, an older version's; or a game listens on the folder
        Failed,          // one cannot be claimed at all (error says why; holder names an unusable link)
    };
    using Holder = ClaimHolder;
    struct Result {
        State state = State::Failed;
        std::unique_ptr<FolderClaim> claim;  // when Taken
        std::string error;                   // when Failed: the folder and the reason
        // The identities (see identityOf) of the folders another process holds (HeldElsewhere,
        // HeldOutOfSight), or of those that could not be locked but are there (Failed): a game on them is
        // reached by these.
        std::vector<std::string> others;
        Holder holder;  // HeldElsewhere, HeldOutOfSight: the first folder's so held; Failed: an unusable link
        // What was met and set aside on the way (another user's claim link), to be said.
        std::vector<std::string> notes;
        // Taken over a claim link whose process is known gone (the table's leftovers): its holder ended
        // without letting go.
        bool tookOverLeftover = false;
        // Held by a process of this machine that may be starting or ending: one that holds the lock or is seen
        // to run, one a link names in another pid namespace of this boot (a sandbox's, no lock proving it gone) or
        // hidden by /proc, or one that listens on the folder's socket.
        bool heldOnThisMachine() const {
            return state == State::HeldElsewhere ||
                   (state == State::HeldOutOfSight &&
                    (holder.names == LinkNames::OtherNamespace || holder.names == LinkNames::Hidden || holder.listens));
        }
    };

    // The folders every store of the player's lives in, as the game claims them: data, then config.
    static std::vector<std::string> playersFolders();

    // Claims the folders in order, without waiting; two paths to one folder are one folder. A claim
    // the launcher (stargrid-claim) took and handed down goes to the first process that claims under it:
    // a lock on a descriptor this process inherited (the folder's or its lock file's), with the link beside
    // it that names the launcher, which this process runs under; or an inherited descriptor of the claim
    // link itself. That process moves the lock to a descriptor of its own and points the link at itself,
    // so that the claim is its alone: a later claim under the same launcher is a second game's, and what
    // else inherited the launcher's descriptors holds nothing once this process and the launcher ended.
    // Whatever the outcome, inherited descriptors of these are kept from the programs this process starts.
    // With a patience, a claim held on this machine is tried again until it is given up or the patience is over.
    // A claim link whose process cannot be seen is not taken over while a game listens on the folder's socket.
    static Result take(const std::vector<std::string>& folders,
                       std::chrono::milliseconds patience = std::chrono::milliseconds(0));
    static Result take(const std::string& folder) { return take(std::vector<std::string>{folder}); }

    // How long ago the claim link that names the holder was made (see claimLinkMade); nothing when another link or
    // none is there now, or its age cannot be told.
    static std::optional<std::chrono::steady_clock::duration> linkAge(const Holder& holder);

    // 16 hex digits naming the folder by its device and inode, so every path to it gives the same;
    // empty when it cannot be looked at.
    static std::string identityOf(const std::string& folder);
    // The game that holds a folder listens for launches on a socket of the runtime folder named after the
    // folder's identity ("NAME.sock"); whether a game of this user listens there now.
    static std::string socketName(const std::string& identity);
    static bool gameListens(const std::string& identity);

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
        int fd = -1;         // the lock's descriptor, or the link's
        int folder = -1;     // the folder's, kept for the link when it is not fd itself
        HeldClaimLink link;  // the link held with it, if any
    };
    FolderClaim() = default;
    static Result takeOnce(const std::vector<std::string>& folders);
    std::vector<Hold> holds_;
    std::vector<std::string> identities_;
};

}  // namespace platform
