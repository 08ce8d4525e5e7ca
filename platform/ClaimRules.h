// What a launch does with the claim link it finds in a folder, by what the link names, the lock its maker held
// and the lock this launch has on the folder: the one table the claim decides by, beside it the one order in
// which a link's process is judged, and the words for whoever holds a folder. ClaimLink.cpp reads a link and
// carries the step out; the launch, the server's claim on its database and the removal of moved-aside links all
// ask this.
//
// What each proof shows. A lock speaks for this machine only: the locks of one kernel exclude each other across
// pid namespaces, but a home mounted without a lock service (nolock) locks on each client alone. So where this
// launch holds the lock, a link of this boot whose maker held one is a leftover in whatever pid namespace it was
// made (a game there would hold the lock still); one whose maker held none, or does not say, is judged as where
// no lock can be taken; a link of another boot is judged by identity alone. /proc shows a process of this launch's
// own pid namespace, and from the kernel's first one those of every other (see seeProcess); a link whose process
// the launch cannot see is never taken over while a game listens on the folder's socket, and an answer there is
// the launch's to ask (FolderLaunch.cpp): a game that answers runs, in whatever pid namespace.
#pragma once
#include <string>
#include <vector>

#include "platform/ClaimProcess.h"

namespace platform {

// What the link names, judged against this launch (judgeIdentity, and judgeClaimLink for what comes first).
enum class LinkNames {
    Nothing,         // there is no link
    ThisProcess,     // this process, and no claim of it holds the link (its launcher executed it)
    Launcher,        // a launcher handed this link down: this process inherited a descriptor on it
    GameAbove,       // a process of this boot and pid namespace that runs, and that this launch runs under
    GameHere,        // a process of this boot that runs, in this pid namespace or one this launch sees: a game
    LeftoverHere,    // of this boot, its process seen gone, a zombie, or its pid another's now
    OtherNamespace,  // of this boot, another pid namespace: its process cannot be looked up from here
    Hidden,          // of this boot and pid namespace: the kernel finds its pid, /proc hides what runs there
    EarlierBoot,     // made before this machine last started: another boot id, this machine id and host name
    OtherHost,       // of another machine: whether it runs cannot be known from here
    NameSake,        // of a machine with this host's name and another machine id: another machine, or this one
                     // before its machine id changed
    OlderRunning,    // an older version's "HOST:PID" naming a process of this host that runs: no game can be
                     // told from it
    OtherUsers,      // another user's link: no claim
    Junk,            // not a link, or no form the game writes
};

// Whether the link's maker held a lock on the folder when it made the link: a game takes its lock first.
enum class MakersLock { Held, None, Unsaid /* a link of an earlier form */ };

// The lock this launch has on the folder.
enum class LockHere {
    Taken,        // it took the lock
    HandedDown,   // it took the lock its launcher handed down (see FolderClaim.cpp)
    Elsewhere,    // another process holds it
    Unavailable,  // no lock can be taken there (NFS without its lock service)
};

enum class ClaimStep {
    Make,             // (gone meanwhile) make this process's link, in one exclusive step
    Keep,             // hold the link as it is
    TakeOver,         // move it aside, check it is the one judged, remove it, then make this process's (each
                      // take-over is held out of sight instead while a game listens on the folder's socket)
    TakeOverUnheard,  // its process cannot be seen: held out of sight while the link is young (its game may be
                      // starting, not listening yet), else taken over
    SetAside,         // move it aside and keep it there, said once; then go on
    Hold,             // a game holds the folder, the one the link names: this launch is its second one
    HoldByLock,       // the lock's holder holds the folder, and the link does not name it
    HoldOutOfSight,   // a game this launch cannot see may hold it: this launch does not run, unless it answers
    Refuse,           // the link is unusable: the folder cannot be claimed until the player removes it
    LockAlone,        // the lock claims the folder, the link staying as it is; held out of sight instead while a
                      // game listens on the folder's socket
};

// The step the table gives for a link judged so, by the lock this launch has.
ClaimStep claimStep(LinkNames names, MakersLock maker, LockHere lock);

// What holds a folder that another process holds, as the claim link there names it.
struct ClaimHolder {
    LinkNames names = LinkNames::Nothing;  // Nothing: a lock on the folder, and no link naming its process
    std::string folder;
    std::string link;       // the link's path, when one names the holder
    ProcessIdentity named;  // the process as the link names it
    long long seen = 0;     // a game of another pid namespace that this launch sees: the pid it sees it by
    bool lockFile = false;  // Nothing: the lock is on the folder's claim.lock, as NFS locks, for any of its clients
    bool listens = false;   // held for a process of this user that listened on the folder's socket, not for the link
    std::vector<std::string> links;  // every link of the player's folders that names the holder, for the advice
};

// How the launch saw the holder when no answer came.
enum class HolderSeen {
    Unseen,       // a link it cannot check from here
    Seen,         // a lock, or /proc, shows that it holds the folder
    Stopped,      // /proc shows the game stopped by a signal
    Traced,       // /proc shows the game stopped by its tracer
    Frozen,       // its cgroup shows the game frozen
    Silent,       // /proc shows the game at work, it listens where the launch looks, and it did not answer for as
                  // long as a launch waits for one
    Unreachable,  // /proc shows the game at work, and nothing listens where the launch looks
};

// The holder in the words the game's launch and the server's claim both say (unescaped: the caller quotes the
// whole line): "process 4242 on HOST (so says LINK)", "another process (it locks FOLDER)", ...; and what to do
// about it, for the `program` ("game", "stargrid-server") it would be: end a process that holds the folder as
// this machine sees, or else remove the links that cannot be checked from here, a stopped game counting as one that
// runs.
std::string claimHolderText(const ClaimHolder& holder);
std::string claimRemedyText(const ClaimHolder& holder, HolderSeen seen, const std::string& program);

// The game a link names as this launch sees it now (see seeProcess): CannotTell for any other holder.
SeenProcess seeHolder(const ClaimHolder& holder);
// How a process seen running is held still, in the words' terms (Stopped, Traced, Frozen); Seen where it is not,
// or is not seen running.
HolderSeen heldStill(const SeenProcess& seen);

// What a link in the game's form names, its checks in this order: another boot (an earlier one of this machine
// only with this machine id and this host name both; where either has no machine id, by the name alone), this very
// process, a process seen gone, another pid namespace this launch cannot see, one /proc hides, one this launch runs
// under, a game.
// `reason` says why one is a leftover; `seen` gets the pid a game of another pid namespace is seen by.
LinkNames judgeIdentity(const ProcessIdentity& named, const ProcessIdentity& self, std::string& reason,
                        long long& seen);

// What an older version's form names (a host and a pid; a start only in an older moved-aside name): a process of
// this host that runs cannot be told from the game that made it.
LinkNames judgeOlder(const ProcessIdentity& named, const ProcessIdentity& self, std::string& reason);

}  // namespace platform
