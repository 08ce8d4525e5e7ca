// The claim's table, the order in which a link's process is judged, and the words for its holders.
#include "platform/ClaimRules.h"

namespace platform {
namespace {

// The pid the player can end a game the link names by: the one this launch sees it by, where that is another.
long long pidSeen(const ClaimHolder& holder) { return holder.seen != 0 ? holder.seen : holder.named.pid; }

struct ClaimRule {
    LinkNames names;
    MakersLock maker;                                     // Unsaid: whatever the link says
    ClaimStep taken, handedDown, elsewhere, unavailable;  // by LockHere
};

using N = LinkNames;
using M = MakersLock;
using S = ClaimStep;
// clang-format off
constexpr ClaimRule kClaimRules[] = {
    // What the link names  its maker's lock  lock taken          handed down         lock elsewhere  no lock to be had
    {N::Nothing,        M::Unsaid, S::Make,            S::Make,            S::HoldByLock, S::Make},
    {N::ThisProcess,    M::Unsaid, S::Keep,            S::Keep,            S::HoldByLock, S::Keep},
    {N::Launcher,       M::Unsaid, S::TakeOver,        S::TakeOver,        S::HoldByLock, S::TakeOver},
    {N::GameAbove,      M::Unsaid, S::Hold,            S::TakeOver,        S::Hold,       S::Hold},
    {N::GameHere,       M::Unsaid, S::Hold,            S::Hold,            S::Hold,       S::Hold},
    {N::LeftoverHere,   M::Unsaid, S::TakeOver,        S::TakeOver,        S::HoldByLock, S::TakeOver},
    {N::OtherNamespace, M::Held,   S::TakeOverUnheard, S::TakeOverUnheard, S::Hold,       S::HoldOutOfSight},
    {N::OtherNamespace, M::Unsaid, S::HoldOutOfSight,  S::HoldOutOfSight,  S::Hold,       S::HoldOutOfSight},
    {N::Hidden,         M::Held,   S::TakeOverUnheard, S::TakeOverUnheard, S::Hold,       S::HoldOutOfSight},
    {N::Hidden,         M::Unsaid, S::HoldOutOfSight,  S::HoldOutOfSight,  S::Hold,       S::HoldOutOfSight},
    {N::EarlierBoot,    M::Unsaid, S::TakeOverUnheard, S::TakeOverUnheard, S::HoldByLock, S::TakeOverUnheard},
    {N::OtherHost,      M::Unsaid, S::HoldOutOfSight,  S::HoldOutOfSight,  S::HoldByLock, S::HoldOutOfSight},
    {N::NameSake,       M::Unsaid, S::HoldOutOfSight,  S::HoldOutOfSight,  S::HoldByLock, S::HoldOutOfSight},
    {N::OlderRunning,   M::Unsaid, S::HoldOutOfSight,  S::HoldOutOfSight,  S::HoldByLock, S::HoldOutOfSight},
    {N::OtherUsers,     M::Unsaid, S::SetAside,        S::SetAside,        S::HoldByLock, S::SetAside},
    {N::Junk,           M::Unsaid, S::LockAlone,       S::LockAlone,       S::HoldByLock, S::Refuse},
};
// clang-format on

}  // namespace

ClaimStep claimStep(LinkNames names, MakersLock maker, LockHere lock) {
    for (const ClaimRule& rule : kClaimRules) {
        if (rule.names != names || (rule.maker != MakersLock::Unsaid && rule.maker != maker)) continue;
        switch (lock) {
            case LockHere::Taken: return rule.taken;
            case LockHere::HandedDown: return rule.handedDown;
            case LockHere::Elsewhere: return rule.elsewhere;
            case LockHere::Unavailable: return rule.unavailable;
        }
    }
    return ClaimStep::Refuse;
}

LinkNames judgeIdentity(const ProcessIdentity& named, const ProcessIdentity& self, std::string& reason,
                        long long& seen) {
    seen = 0;
    if (named.boot != self.boot) {
        // Machines cloned from one image share a machine id, not a name; a renamed one cannot be told.
        if (named.host != self.host) return LinkNames::OtherHost;
        if (!named.machine.empty() && !self.machine.empty() && named.machine != self.machine)
            return LinkNames::NameSake;
        reason = "it was made before this host last started";
        return LinkNames::EarlierBoot;
    }
    const bool here = named.ns == self.ns;
    if (here && named.pid == self.pid && named.start == self.start) return LinkNames::ThisProcess;
    // One that runs, or one /proc cannot tell, holds: to be safe.
    const SeenProcess process = seeProcess(named, self);
    if (process.runs == ProcessRuns::Gone) {
        reason = process.reason;
        return LinkNames::LeftoverHere;
    }
    if (!here && process.runs == ProcessRuns::CannotTell) return LinkNames::OtherNamespace;
    if (process.hidden) return LinkNames::Hidden;
    if (!here) {
        // Below this launch's pid namespace: never one it runs under.
        seen = process.pid;
        return LinkNames::GameHere;
    }
    if (runsAbove(named).value_or(true)) return LinkNames::GameAbove;
    return LinkNames::GameHere;
}

LinkNames judgeOlder(const ProcessIdentity& named, const ProcessIdentity& self, std::string& reason) {
    if (named.host != self.host) return LinkNames::OtherHost;
    if (processRuns(named.pid, named.start, &reason) == ProcessRuns::Gone) return LinkNames::LeftoverHere;
    return LinkNames::OlderRunning;
}

std::string claimHolderText(const ClaimHolder& holder) {
    const std::string process = "process " + std::to_string(holder.named.pid);
    const std::string saysLink = " (so says " + holder.link + ")";
    if (holder.listens && holder.names != LinkNames::OtherNamespace && holder.names != LinkNames::Hidden)
        return "a process that listens on the game's socket for " + holder.folder + " (" + holder.link +
               " names no game that runs)";
    switch (holder.names) {
        case LinkNames::Nothing:
            if (holder.lockFile)
                return "another process, of this machine or of another that shares this home (it locks " +
                       holder.folder + "/claim.lock)";
            return "another process (it locks " + holder.folder + ")";
        case LinkNames::OtherNamespace:
            // Seen from a sandbox, the host's own pid namespace is another one too; from the host's, never.
            return process + " in another pid namespace of this host: " +
                   (inFirstPidNamespace() ? "a container's or a sandbox's"
                                          : "a container's, a sandbox's or the host's own") +
                   saysLink;
        case LinkNames::Hidden: return process + " of this host, which /proc hides from this launch" + saysLink;
        case LinkNames::OtherHost: return process + " on " + holder.named.host + saysLink;
        case LinkNames::NameSake:
            return process + " on a machine named " + holder.named.host + " whose machine id is not this one's" +
                   saysLink;
        case LinkNames::OlderRunning:
            return process + " of this host (so says " + holder.link +
                   ", made by an older version: whether that process is a game cannot be told)";
        default:
            // Named by the pid the player can end it by.
            if (holder.seen != 0)
                return "process " + std::to_string(pidSeen(holder)) + " of this host (in a container's or a " +
                       "sandbox's pid namespace, where it is " + process + "; it holds " + holder.link + ")";
            return process + " of this host (it holds " + holder.link + ")";
    }
}

std::string claimRemedyText(const ClaimHolder& holder, HolderSeen seen, const std::string& program) {
    const std::string restart = " and start the " + program + " again";
    if (holder.names == LinkNames::Junk && !holder.listens) return "remove " + holder.link + restart;
    const std::string pid = std::to_string(pidSeen(holder));
    switch (seen) {
        case HolderSeen::Stopped: return "end it, or let it go on (kill -CONT " + pid + ")," + restart;
        case HolderSeen::Traced: return "end it, or have its tracer (a debugger) let it go on," + restart;
        case HolderSeen::Frozen: return "end it, or thaw its cgroup," + restart;
        case HolderSeen::Silent:
            return "if that process is no " + program + ", or a " + program + " that hangs, end it" + restart;
        case HolderSeen::Unreachable:
            return "if it is a " + program + ", start the " + program +
                   " again with the runtime folder that one has (its XDG_RUNTIME_DIR); if it is no " + program +
                   ", end it" + restart;
        case HolderSeen::Seen:
            if (holder.names == LinkNames::Nothing)
                return "if that is a " + program + " that hangs or is stopped, end it" +
                       (holder.lockFile ? " where it runs" : "") + restart;
            return "if that process is no " + program + ", or a " + program + " that hangs or is stopped, end it" +
                   restart;
        case HolderSeen::Unseen: break;
    }
    if (holder.listens && holder.names != LinkNames::OtherNamespace && holder.names != LinkNames::Hidden)
        return "if that is a " + program + " that hangs or is stopped, end it" + restart;
    // Every link that names it, at once; a stopped game is one that runs, and goes on once the player lets it.
    std::string links;
    const std::vector<std::string> named = holder.links.empty() ? std::vector<std::string>{holder.link} : holder.links;
    for (std::size_t i = 0; i < named.size(); ++i)
        links += (i == 0 ? "" : i + 1 == named.size() ? " and " : ", ") + named[i];
    const std::string remove = "remove " + links + " and start it again";
    if (holder.names == LinkNames::NameSake) return "if that was this machine before its machine id changed, " + remove;
    const std::string noneRuns =
        "if no " + program + " runs" +
        (holder.names == LinkNames::OlderRunning || holder.names == LinkNames::Hidden ? "" : " there") +
        ", not even a stopped one, ";
    return noneRuns + remove;
}

SeenProcess seeHolder(const ClaimHolder& holder) {
    const std::optional<ProcessIdentity> self = thisProcessIdentity();
    if (!self || (holder.names != LinkNames::GameHere && holder.names != LinkNames::GameAbove)) return {};
    return seeProcess(holder.named, *self);
}

HolderSeen heldStill(const SeenProcess& seen) {
    if (seen.runs != ProcessRuns::Yes) return HolderSeen::Seen;
    switch (seen.stopped) {
        case Stopped::BySignal: return HolderSeen::Stopped;
        case Stopped::ByTracer: return HolderSeen::Traced;
        case Stopped::Frozen: return HolderSeen::Frozen;
        case Stopped::No: break;
    }
    return HolderSeen::Seen;
}

}  // namespace platform
