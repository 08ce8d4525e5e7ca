// A launch and the game that may already run on the player's folders: the claim on them, and what a launch
// does when a game holds them (hands its URL over, brings the game forward, or says why it does not start).
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FolderClaim.h"

// What a launch asks of a game that runs already.
struct LaunchRequest {
    bool ownRun = false;  // a run of its own (--frames, --script, --shot): no other game can take it
    std::string url;      // a URL of the game's own scheme to open, or empty
};

// The running game listens for URLs handed over by a second launch on sockets named after the folders
// it claimed: these are the sockets' names for the folders' identities.
std::vector<std::string> handoverNames(const std::vector<std::string>& identities);

// Claims every folder a store of the player's lives in (data, then config) for this game, before anything
// touches them. The exit status when this launch is not to run the game, having said why.
std::optional<int> claimFolders(const LaunchRequest& request, std::unique_ptr<platform::FolderClaim>& claim);

// The status a game started by scripts/play as a second launch ends with when it took the folders after all.
constexpr int kLaunchAsFirst = 75;
// Whether scripts/play started this game as a second launch (STARGRID_PLAY_SECOND_LAUNCH names its parent).
bool secondLaunchOfPlay();
