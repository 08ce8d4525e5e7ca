// The claim that needs no lock service: a link `claim.link` in a claimed folder whose target names the
// process holding the folder, made with one exclusive create (symlink fails where the name is). Homes on
// NFS without their lock service answer every lock with ENOLCK; a link is made or refused there all the
// same. It is made beside a lock too, so a launch without a lock service sees the game that holds one.
// The target tells the process that made it from any other, here or on another host:
//   "pid=PID start=TICKS ns=INODE boot=BOOT-ID host=HOST"
// (TICKS: the process's start after boot, field 22 of /proc/PID/stat; INODE: its pid namespace's; BOOT-ID:
// the kernel's, /proc/sys/kernel/random/boot_id). An older version wrote "HOST:PID".
#pragma once
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

constexpr const char* kClaimLinkName = "claim.link";

// What tells a process from every other one: a pid is another process's after a restart, after the
// process ended, or in another pid namespace.
struct ProcessIdentity {
    std::string host;
    std::string boot;
    long long pid = 0;
    unsigned long long start = 0;
    unsigned long long ns = 0;
};

// This process's; nothing when /proc does not tell it (`why` says what is missing).
std::optional<ProcessIdentity> thisProcessIdentity(std::string* why = nullptr);

// The link's target naming the process, and what a target names (nothing for one in another form).
std::string claimLinkText(const ProcessIdentity& process);
std::optional<ProcessIdentity> claimLinkIdentity(const std::string& text);

// Whom the claim link in a folder names, judged against this process (`self`).
struct ClaimLinkHolder {
    enum class Who {
        Nobody,          // there is no link
        ThisProcess,     // this very process
        Running,         // the process of this host, boot and pid namespace that made it runs, or one
                         // that keeps it open (named: the game its launcher handed it to)
        Leftover,        // its maker no longer runs: gone, its pid another process's, an earlier boot
        OtherHost,       // another host's: whether it runs cannot be known from here
        OtherNamespace,  // another pid namespace's of this host: its pid names nothing here
        OlderRunning,    // an older version's "HOST:PID" naming a process of this host that runs,
                         // which cannot be told from the game that made it
        NotOwn,          // another user's link: no claim (reason names the owner)
        Unusable,        // something else is there (reason says what)
    };
    Who who = Who::Nobody;
    std::string target;
    ProcessIdentity named;  // as the target names it (host and pid for the older form)
    std::string reason;
    struct stat link {};  // the link's own, when there is one
};
ClaimLinkHolder judgeClaimLink(int folder, const ProcessIdentity& self);

// Whether the process named (of this host, boot and pid namespace) is one this process runs under: a
// launcher that handed its claim down. Nothing when /proc cannot tell (it is another pid namespace's).
std::optional<bool> runsAbove(const ProcessIdentity& named);

// A claim link a claim holds, kept open so that a launch finding its maker gone (a launcher killed while its
// game runs) sees it held still; removed with the claim when it is still that one (the same inode, the same
// target): a link is never removed on the strength of its target alone.
struct HeldClaimLink {
    int folder = -1;  // not owned
    int fd = -1;      // the link's own (O_PATH), closed by dropClaimLink
    struct stat link {};
    std::string target;
};
void dropClaimLink(const HeldClaimLink& held);

// What taking the claim link of a folder came to.
struct ClaimLinkTaking {
    enum class Outcome {
        Made,     // this process's own link is there now
        Adopted,  // the link there is this process's to hold: `holder` says whose it was
        Held,     // another process of this host that runs holds it: `holder`
        Unseen,   // a process this launch cannot see or tell from another: `holder`
        Failed,   // `error` says why
    };
    Outcome outcome = Outcome::Failed;
    HeldClaimLink held;  // Made and Adopted
    ClaimLinkHolder holder;
    std::string error;
    std::vector<std::string> notes;  // what was met on the way and set aside, to be said
};

// Takes the claim link of a folder for this process. The only step that claims is the exclusive create. A
// leftover is first moved aside under a name of this launch's own, and removed only when what was moved is
// the leftover that was judged; anything else (another launch's fresh link) goes back with an exclusive
// hard link. Another user's link is set aside the same way and kept, said in a note. The link is never
// renamed over. `ours` says whether a link of this host naming this process or a running one (its launcher)
// is this process's to hold.
ClaimLinkTaking takeClaimLink(int folder, const std::string& path, const ProcessIdentity& self,
                              const std::function<bool(const ClaimLinkHolder&)>& ours);

}  // namespace platform
