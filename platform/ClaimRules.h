// What a launch does with the claim link it finds in a folder: by what the link names, and by whether this
// launch holds a lock on the folder. The one place the claim decides; ClaimLink.cpp tells what a link names,
// and carries the step out.
//
// A game of this host takes the lock before it makes its link, and a lock of this host's file system holds
// across pid namespaces: so where this launch holds the lock, a link of another pid namespace of this host is
// a leftover (a game there would hold the lock). Two kinds still hold the folder then: a game of this pid
// namespace that runs (it started while the lock service was down) and another host's (a client of the home
// mounted without a lock service).
#pragma once

namespace platform {

// What the link names, judged against this launch (see judgeClaimLink).
enum class LinkNames {
    Nothing,         // there is no link
    ThisProcess,     // this process, and no claim of it holds the link (its launcher executed it)
    Launcher,        // the launcher this process runs under, which handed its claim down
    GameHere,        // a process of this boot and pid namespace that runs: a game
    LeftoverHere,    // of this boot and pid namespace: its process gone, a zombie, or its pid another's now
    OtherNamespace,  // of this boot, another pid namespace: its process cannot be looked up from here
    EarlierBoot,     // of this machine, made before it last started
    OtherHost,       // of another machine: whether it runs cannot be known from here
    OlderRunning,    // an older version's "HOST:PID" naming a process of this host that runs: no game can be
                     // told from it
    OtherUsers,      // another user's link: no claim
    Junk,            // not a link, or no form the game writes
};

enum class ClaimStep {
    Make,            // (gone meanwhile) make this process's link, in one exclusive step
    Keep,            // hold the link as it is
    TakeOver,        // move it aside, check it is the one judged, remove it, then make this process's
    SetAside,        // move it aside and keep it there, said once; then go on
    Hold,            // a game holds the folder: this launch is its second one
    HoldOutOfSight,  // a game this launch cannot see may hold it: this launch does not run
    Refuse,          // the link is unusable: the folder cannot be claimed until the player removes it
    LockAlone,       // the lock claims the folder; the link stays as it is
};

struct ClaimRule {
    LinkNames names;
    ClaimStep locked;    // this launch holds a lock on the folder
    ClaimStep unlocked;  // no lock can be taken there (NFS without its lock service)
};

inline constexpr ClaimRule kClaimRules[] = {
    // What the link names           holding a lock             no lock to be had
    {LinkNames::Nothing,             ClaimStep::Make,           ClaimStep::Make},
    {LinkNames::ThisProcess,         ClaimStep::Keep,           ClaimStep::Keep},
    {LinkNames::Launcher,            ClaimStep::TakeOver,       ClaimStep::TakeOver},
    {LinkNames::GameHere,            ClaimStep::Hold,           ClaimStep::Hold},
    {LinkNames::LeftoverHere,        ClaimStep::TakeOver,       ClaimStep::TakeOver},
    {LinkNames::OtherNamespace,      ClaimStep::TakeOver,       ClaimStep::HoldOutOfSight},
    {LinkNames::EarlierBoot,         ClaimStep::TakeOver,       ClaimStep::TakeOver},
    {LinkNames::OtherHost,           ClaimStep::HoldOutOfSight, ClaimStep::HoldOutOfSight},
    {LinkNames::OlderRunning,        ClaimStep::HoldOutOfSight, ClaimStep::HoldOutOfSight},
    {LinkNames::OtherUsers,          ClaimStep::SetAside,       ClaimStep::SetAside},
    {LinkNames::Junk,                ClaimStep::LockAlone,      ClaimStep::Refuse},
};

constexpr ClaimStep claimStep(LinkNames names, bool locked) {
    for (const ClaimRule& rule : kClaimRules)
        if (rule.names == names) return locked ? rule.locked : rule.unlocked;
    return ClaimStep::Refuse;
}

}  // namespace platform
