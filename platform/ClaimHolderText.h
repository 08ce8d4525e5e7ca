// Who holds a folder a claim did not get, and what the player can do about it: the words the game's launch and
// the server's claim on its database both say (unescaped: the caller quotes the whole line).
#pragma once
#include <string>

#include "platform/FolderClaim.h"

namespace platform {

// "process 4242 on HOST (so says LINK)", "another process (it locks FOLDER)", ...
std::string claimHolderText(const FolderClaim::Holder& holder);

// What to do about that holder, for the `program` ("game", "stargrid-server") it would be: end a process that holds
// the folder as this machine sees (`seen`: a lock, or /proc), or else remove a link that cannot be checked from
// here.
std::string claimRemedyText(const FolderClaim::Holder& holder, bool seen, const std::string& program);

}  // namespace platform
