// The claim that needs no lock service: a link `claim.link` in a claimed folder whose target names the
// process holding the folder, made with one exclusive create (symlink fails where the name is). Homes on
// NFS without their lock service answer every lock with ENOLCK; a link is made or refused there all the
// same. It is made beside a lock too, so a launch without a lock service sees the game that holds one.
// The target tells the process that made it from any other, here or on another host (see ClaimProcess.h):
//   "pid=PID start=TICKS ns=INODE boot=BOOT-ID machine=MACHINE-ID host=HOST"
// (machine= only where the host has a machine id; the host name last, as it takes the rest). The previous
// version wrote it without machine=, an older one "HOST:PID"; both are still read. What a launch does with
// the link it finds is the table in ClaimRules.h.
#pragma once
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ClaimProcess.h"
#include "platform/ClaimRules.h"

namespace platform {

constexpr const char* kClaimLinkName = "claim.link";

// The same file: the same device and inode.
inline bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The link's target naming the process, and what a target names (nothing for one in another form).
std::string claimLinkText(const ProcessIdentity& process);
std::optional<ProcessIdentity> claimLinkIdentity(const std::string& text);

// What this launch brings to judging a link.
struct Claimant {
    ProcessIdentity self;
    bool locked = false;          // it holds a lock on the folder
    bool lockHandedDown = false;  // the lock it holds was its launcher's, inherited
    // A descriptor it inherited is on the link: its launcher handed the link down.
    std::function<bool(const struct stat&)> handedDown;
    // A claim of this process holds the link already: a second claim of one process is a second game.
    std::function<bool(const struct stat&)> heldHere;
};

// What the claim link in a folder names, judged against this launch.
struct JudgedLink {
    LinkNames names = LinkNames::Nothing;
    std::string target;
    ProcessIdentity named;  // as the target names it (host and pid for the older form)
    std::string reason;     // why it is a leftover, or unusable, or whose it is
    struct stat link {};    // the link's own, when there is one
};
JudgedLink judgeClaimLink(int folder, const Claimant& claimant);

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
    bool taken() const { return held.fd >= 0; }
};

// Takes the claim link of a folder for this launch, by the table in ClaimRules.h. The only step that claims
// is the exclusive create. A link taken over is first moved aside under a name of this launch's own, and
// removed only when what was moved is the link judged; anything else (another launch's fresh link) goes back
// with an exclusive hard link. The link is never renamed over. Once it holds the link, the launch removes the
// links earlier launches moved aside and did not live to remove.
ClaimLinkTaking takeClaimLink(int folder, const std::string& path, const Claimant& claimant);

}  // namespace platform
