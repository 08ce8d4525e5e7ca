// The claim on the player's folders at start, and a second launch's hand-over to the game that holds them.
#include "app-shell/FolderLaunch.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "platform/ParentsMark.h"
#include "platform/UrlHandover.h"

namespace {

// The sockets' names: this, then the folder's identity.
constexpr const char* kHandoverPrefix = "stargrid-";
// How long a launch waits for a game that quits to let the player's folders go.
constexpr std::chrono::seconds kQuitPatience{5};

}  // namespace

std::vector<std::string> handoverNames(const std::vector<std::string>& identities) {
    std::vector<std::string> names;
    for (const std::string& identity : identities) names.push_back(kHandoverPrefix + identity);
    return names;
}

namespace {

// A run of its own (--frames, --script, --shot) is no launch a running game can take over.
int refuseOwnRun() {
    std::fprintf(stderr,
                 "stargrid: the game is already running, so this launch cannot run --frames, --script or --shot\n");
    return 1;
}

// A process holds the folders but did not answer (or not in time), and did not let them go either: a game
// that hangs, or no game at all. Only a game that takes the launch ends it with 0.
int unansweredLaunch(const LaunchRequest& request, const platform::FolderClaim::Result& claimed, std::string why) {
    if (request.ownRun) {
        return refuseOwnRun();
    }
    if (why.empty())
        why = "it does not listen on " + platform::UrlHandover::socketPath(handoverNames(claimed.others).front());
    if (!request.url.empty()) {
        std::fprintf(stderr, "stargrid: the running game did not take the URL: %s\n", why.c_str());
        return 1;
    }
    const platform::FolderClaim::Holder& holder = claimed.holder;
    if (holder.seen == platform::FolderClaim::Holder::Seen::Link) {
        std::fprintf(stderr,
                     "stargrid: the player's folders are held by process %lld of this host (it holds %s), which does "
                     "not answer (%s), so the game does not start; if that process is no game, or a game that "
                     "hangs, end it and start the game again\n",
                     holder.pid, holder.link.c_str(), why.c_str());
    } else {
        std::fprintf(stderr,
                     "stargrid: the player's folders are held by another process (it locks %s), which does not "
                     "answer (%s), so the game does not start; if that is a game that hangs, end it and start the "
                     "game again\n",
                     holder.folder.c_str(), why.c_str());
    }
    return 1;
}

// A launch while a game runs on the same folders never starts a second one: it hands its URL over, or
// asks the running game to show itself. The exit status once the running game answered (0 only when it took
// the launch); nothing when no game did (nobody listens, or the game quits), with what was seen in unanswered.
std::optional<int> secondLaunch(const LaunchRequest& request, const platform::FolderClaim::Result& claimed,
                                const platform::UrlHandover::KeepWaiting& keepWaiting, std::string& unanswered) {
    using Outcome = platform::UrlHandover::Receipt::Outcome;
    const std::vector<std::string> names = handoverNames(claimed.others);
    if (request.ownRun) {
        if (!platform::UrlHandover::listening(names)) return std::nullopt;
        return refuseOwnRun();
    }
    const platform::UrlHandover::Receipt receipt =
        request.url.empty() ? platform::UrlHandover::showRunning(names, keepWaiting)
                            : platform::UrlHandover::sendToRunning(names, request.url, keepWaiting);
    if (receipt.outcome == Outcome::NobodyListens || receipt.outcome == Outcome::Gone) {
        unanswered = receipt.reason;
        return std::nullopt;
    }
    if (request.url.empty()) {
        // A game takes every launch without a URL: anything else is no game that answers (one that hangs).
        if (receipt.outcome != Outcome::Accepted && claimed.state != platform::FolderClaim::State::HeldElsewhere) {
            unanswered = receipt.reason;
            return std::nullopt;
        }
        if (receipt.outcome != Outcome::Accepted) return unansweredLaunch(request, claimed, receipt.reason);
        std::printf("stargrid: the game is already running\n");
        return 0;
    }
    if (receipt.outcome == Outcome::Accepted) return 0;
    std::fprintf(stderr, "stargrid: the running game did not take the URL: %s\n", receipt.reason.c_str());
    return 1;
}

// Folders held by a game this launch cannot see (a claim link of another host, another pid namespace, or an
// older version), or that cannot be claimed.
int refusedLaunch(const platform::FolderClaim::Result& claimed) {
    using Seen = platform::FolderClaim::Holder::Seen;
    const platform::FolderClaim::Holder& holder = claimed.holder;
    const char* link = holder.link.c_str();
    if (claimed.state != platform::FolderClaim::State::HeldOutOfSight) {
        std::fprintf(stderr, "stargrid: the player's folders cannot be claimed (%s), so the game does not start\n",
                     claimed.error.c_str());
    } else if (holder.seen != Seen::OlderLink) {
        // Whether it still runs there cannot be known from here: the player is told what to do if not.
        std::string where = "on " + holder.host;
        if (holder.seen == Seen::OtherNamespace)
            where = "in another pid namespace of this host (a container or a sandbox), as its process " +
                    std::to_string(holder.pid);
        std::fprintf(stderr,
                     "stargrid: the game is already running %s (so says %s), so it does not start here; if no game "
                     "runs there, remove %s and start it again\n",
                     where.c_str(), link, link);
    } else {
        // An older version's link names a pid only: the process there may be that game, or any other.
        std::fprintf(stderr,
                     "stargrid: %s, made by an older version, names process %lld of this host, which runs; whether "
                     "it is a game cannot be told, so the game does not start; if no game runs, remove %s and "
                     "start it again\n",
                     link, holder.pid, link);
    }
    return 1;
}

}  // namespace

// Claims every folder a store of the player's lives in (data, then config) for this game, before anything
// touches them: the game keeps its whole store in memory and writes it whole, so a second game on them
// would overwrite the first one's progress. The exit status when this launch is not to run the game.
std::optional<int> claimFolders(const LaunchRequest& request, std::unique_ptr<platform::FolderClaim>& claim) {
    using State = platform::FolderClaim::State;
    const std::vector<std::string> folders = platform::FolderClaim::playersFolders();
    if (folders[0].empty() || folders[1].empty()) {
        std::fprintf(stderr,
                     "stargrid: the player's folders cannot be claimed (there is no home folder to hold them), so the "
                     "game does not start\n");
        return 1;
    }
    platform::FolderClaim::Result claimed = platform::FolderClaim::take(folders);
    for (const std::string& note : claimed.notes) std::fprintf(stderr, "stargrid: %s\n", note.c_str());
    const std::vector<std::string> names = handoverNames(claimed.others);
    // A folder that cannot be locked, or one a game out of sight holds, keeps no second game off: a game
    // that answers there takes this launch over, and without one this launch does not run.
    const bool answering = claimed.state == State::HeldElsewhere ||
                           ((claimed.state == State::Failed || claimed.state == State::HeldOutOfSight) &&
                            platform::UrlHandover::listening(names));
    if (answering) {
        // While nobody listens, the game may be quitting: once it lets the folders go, this launch runs.
        auto stillHeld = [&folders, &claim] {
            platform::FolderClaim::Result again = platform::FolderClaim::take(folders);
            if (again.state == State::Taken) claim = std::move(again.claim);
            return again.state == State::HeldElsewhere;
        };
        std::string unanswered;
        if (std::optional<int> status = secondLaunch(request, claimed, stillHeld, unanswered)) return status;
        if (!claim && claimed.state == State::HeldElsewhere)
            claimed = platform::FolderClaim::take(folders, kQuitPatience);
        if (claimed.state == State::Taken) claim = std::move(claimed.claim);
        if (claim) return std::nullopt;
        if (claimed.state == State::HeldElsewhere) {
            // Held still: by a game that was starting, or by a launch that took the folders over meanwhile.
            if (std::optional<int> status = secondLaunch(request, claimed, {}, unanswered)) return status;
            return unansweredLaunch(request, claimed, unanswered);
        }
    }
    if (claimed.state == State::Taken) {
        claim = std::move(claimed.claim);
        return std::nullopt;
    }
    return refusedLaunch(claimed);
}

// scripts/play names itself in STARGRID_PLAY_SECOND_LAUNCH when it starts the game while another game holds
// the player's folders. Should they come free (that game quit) and this launch take them, it leaves them
// with this status instead of running without the session's local server: scripts/play then launches the
// game again as a first session.
bool secondLaunchOfPlay() { return platform::markedByParent("STARGRID_PLAY_SECOND_LAUNCH"); }
