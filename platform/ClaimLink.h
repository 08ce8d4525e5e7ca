// The claim that needs no lock service: a link `claim.link` in a claimed folder whose target names the
// host and the process holding the folder ("HOST:PID"), made atomically. Homes on NFS without their
// lock service answer every lock with ENOLCK; a link is made or refused there all the same.
#pragma once
#include <sys/stat.h>

#include <string>

namespace platform {

constexpr const char* kClaimLinkName = "claim.link";

// Whom the claim link in a folder names.
struct ClaimLinkHolder {
    enum class Who {
        Nobody,       // there is no link
        ThisProcess,  // this host, this process
        LiveHere,     // this host, another process that runs
        DeadHere,     // this host, a process that no longer runs: a claim nobody holds
        OtherHost,    // another host: whether a game runs there cannot be known from here
        Unreadable,   // something else is there (reason says what)
    };
    Who who = Who::Nobody;
    std::string host;    // OtherHost
    std::string reason;  // Unreadable
    struct stat link {};  // the link's own, when there is one
};

// Whom the link in the folder (a descriptor of it) names.
ClaimLinkHolder claimLinkHolder(int folder);

// Makes the link naming this process; false with errno set (EEXIST when one is there).
bool makeClaimLink(int folder);

// Points the link at this process, whatever it named: a link made under a name of its own, renamed
// over it. False with errno set.
bool pointClaimLinkHere(int folder);

// A descriptor of the link itself (O_PATH): its inode is the link's, for a launcher to hand down.
int openClaimLink(int folder);

// Removes the link when it still names this process.
void dropClaimLink(int folder);

}  // namespace platform
