// The claim that needs no lock service: a link `claim.link` in a claimed folder whose target names the
// process holding the folder, made with one exclusive create (symlink fails where the name is). Homes on
// NFS without their lock service answer every lock with ENOLCK; a link is made or refused there all the
// same. It is made beside a lock too, so a launch without a lock service sees the game that holds one.
// The target tells the process that made it from any other, here or on another host (see ClaimProcess.h),
// and whether it held a lock on the folder:
//   "pid=PID start=TICKS ns=INODE boot=BOOT-ID machine=MACHINE-ID lock=held|none host=HOST"
// (machine= only where the host has a machine id; the host name last, as it takes the rest). Earlier versions
// wrote it without lock=, and without machine=, an older one "HOST:PID"; all are still read. A later form keeps
// these fields: a field before host= that this version does not know is passed over. What a launch does with the
// link it finds is the table in ClaimRules.cpp.
#pragma once
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ClaimProcess.h"
#include "platform/ClaimRules.h"

namespace platform {

constexpr const char* kClaimLinkName = "claim.link";
// How long a game out of a launch's sight may take from making its link to listening on its socket: a link of a
// process the launch cannot see, younger than this, is held as a starting game's.
constexpr std::chrono::seconds kStartUpWait{5};

// The same file: the same device and inode.
inline bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The link's target naming the process and the lock it held, and what a target names (nothing for one in
// another form; `lock` gets what it says of the lock).
std::string claimLinkText(const ProcessIdentity& process, MakersLock lock);
std::optional<ProcessIdentity> claimLinkIdentity(const std::string& text, MakersLock* lock = nullptr);

// What this launch brings to judging a link.
struct Claimant {
    ProcessIdentity self;
    LockHere lock = LockHere::Unavailable;
    // A descriptor it inherited is on the link: its launcher handed the link down.
    std::function<bool(const struct stat&)> handedDown;
    // A claim of this process holds the link already: a second claim of one process is a second game.
    std::function<bool(const struct stat&)> heldHere;
    // A game listens for launches on the folder (its socket): one that runs, whatever its link and locks say.
    std::function<bool()> gameListens;
};

// What the claim link in a folder names, judged against this launch.
struct JudgedLink {
    LinkNames names = LinkNames::Nothing;
    MakersLock maker = MakersLock::Unsaid;
    std::string target;
    ProcessIdentity named;  // as the target names it (host and pid for the older form)
    long long seen = 0;     // a game of another pid namespace that this launch sees: the pid it sees it by
    std::string reason;     // why it is a leftover, or unusable, or whose it is
    struct stat link {};    // the link's own, when there is one
    ClaimStep step(LockHere lock) const { return claimStep(names, maker, lock); }
};
// The link's own checks first (none there, not a link, another user's, handed down by the launcher, its form),
// then its process's (judgeIdentity).
JudgedLink judgeClaimLink(int folder, const Claimant& claimant);

// When the link (its own stat and target, as judged) was made, on this launch's steady clock: told once per link by
// the file system's own clock (on NFS, the server's), against a link the launch makes beside it and removes at once
// (`claim.link.clock.…`, named as a moved-aside link is), then counted on by the launch's clock. Nothing where it
// cannot be timed so (no link can be made there).
std::optional<std::chrono::steady_clock::time_point> claimLinkMade(int folder, const struct stat& link,
                                                                   const std::string& target,
                                                                   const Claimant& claimant);

// A claim link a claim holds, removed with the claim when it is still that one (the same inode, the same
// target): a link is never removed on the strength of its target alone.
struct HeldClaimLink {
    int folder = -1;  // not owned
    int fd = -1;      // the link's own (O_PATH), closed by dropClaimLink: what a launcher hands down
    struct stat link {};
    std::string target;
};
void dropClaimLink(const HeldClaimLink& held);

// What taking the claim link of a folder came to: the step the table led to last.
struct ClaimLinkTaking {
    ClaimStep step = ClaimStep::Refuse;  // Make, Keep, TakeOver: `held` is this process's link now
    HeldClaimLink held;
    JudgedLink judged;  // the link met last
    std::string error;  // Refuse, or any step that failed
    std::vector<std::string> notes;  // what was met on the way and set aside, to be said
    bool tookOverLeftover = false;   // a link whose process is known gone was taken over on the way
    bool listens = false;            // HoldOutOfSight: a game listened on the folder's socket
    bool taken() const { return held.fd >= 0; }
};

// Takes the claim link of a folder for this launch (whose lock is anything but Elsewhere), by the table. The only
// step that claims is the exclusive create. No link is taken over, nor the folder claimed by the lock alone beside
// one, while a game listens on the folder's socket; a young link whose process cannot be seen is held. A link taken
// over is first moved aside under a name of this launch's own, and removed only when what was moved is the link
// judged; anything else (another launch's fresh link) goes back with an exclusive hard link. The link is never renamed
// over. Once it holds the link, the launch removes the links earlier launches moved aside and did not live to remove,
// judged as links are.
ClaimLinkTaking takeClaimLink(int folder, const std::string& path, const Claimant& claimant);

}  // namespace platform
