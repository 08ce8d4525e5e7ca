// What a process that holds a folder's claim keeps listening while it holds it, for the launches that cannot see
// it: the socket of the runtime folder named for the folder (FolderClaim::socketName), as a running game's is. No
// launch takes a claim over while a process of its user listens there (see takeClaimLink), so a holder in a
// sandbox whose locks this kernel does not see, or that /proc hides, is not run beside.
#pragma once
#include <memory>
#include <string>
#include <thread>

#include "platform/UserFolders.h"

namespace platform {

class ClaimWitness {
public:
    // Listens for the claim on the folder of this identity (FolderClaim::identityOf); null, with `error` saying
    // why, when it cannot (no runtime folder, or another process listens there: a process of this user is named
    // as `whoListens`, the caller's words for another holder of such claims, "another stargrid-server").
    static std::unique_ptr<ClaimWitness> listen(const std::string& identity, const std::string& whoListens,
                                                std::string* error);
    // Stops listening, and the socket goes.
    ~ClaimWitness();
    ClaimWitness(const ClaimWitness&) = delete;
    ClaimWitness& operator=(const ClaimWitness&) = delete;

    const std::string& path() const { return path_; }

    // What its thread is called (as /proc and `top -H` show it).
    static constexpr const char* kThreadName = "claim witness";

private:
    ClaimWitness() = default;
    // Takes every connection and closes it: being there is all a witness says. Its thread is named
    // kThreadName.
    void serve() const;

    HeldFolder runtime_;
    std::string file_;
    std::string path_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace platform
