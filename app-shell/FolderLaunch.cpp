// The claim on the player's folders at start, and a second launch's hand-over to the game that holds them.
#include "app-shell/FolderLaunch.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "platform/ClaimHolderText.h"
#include "platform/ParentsMark.h"
#include "platform/PrintableText.h"
#include "platform/UrlHandover.h"

namespace {

// The sockets' names: this, then the folder's identity.
constexpr const char* kHandoverPrefix = "stargrid-";
// How long a launch waits for a game that quits to let the player's folders go, trying again this often.
constexpr std::chrono::seconds kQuitPatience{5};
constexpr std::chrono::milliseconds kRetry{20};

}  // namespace

std::vector<std::string> handoverNames(const std::vector<std::string>& identities) {
    std::vector<std::string> names;
    for (const std::string& identity : identities) names.push_back(kHandoverPrefix + identity);
    return names;
}

namespace {

using State = platform::FolderClaim::State;
using platform::LinkNames;

// One line to standard error, whatever text from outside it quotes (a link's target, a file name, a URL, a
// host name) shown with its control characters as \xNN.
void say(const std::string& line) { std::fprintf(stderr, "stargrid: %s\n", platform::printableText(line).c_str()); }

// A game answered: it takes no run of its own (--frames, --script, --shot) in its place.
int refuseOwnRun() {
    say("the game is already running, so this launch cannot run --frames, --script or --shot");
    return 1;
}

// What becomes of this launch, for the messages: a URL is not handed over either.
std::string noStart(const LaunchRequest& request) {
    return request.url.empty() ? "so the game does not start" : "so the URL is not handed over and the game does not start";
}

// Held by a game of this machine that may be starting or quitting: one that holds the lock or is seen to run, or
// one a link names in another pid namespace of this boot (a sandbox's game, where no lock proves it gone).
bool heldOnThisMachine(const platform::FolderClaim::Result& claimed) {
    return claimed.state == State::HeldElsewhere ||
           (claimed.state == State::HeldOutOfSight && claimed.holder.names == LinkNames::OtherNamespace);
}

// What a holder that never answered was seen to do.
std::string notListening(const platform::FolderClaim::Result& claimed) {
    return "it does not listen on " + platform::UrlHandover::socketPath(handoverNames(claimed.others).front());
}

// A process holds the folders but did not answer (or not in time), and did not let them go either: a game that
// hangs, is stopped or still starts, or no game at all. Only a game that answers ends a launch with "already
// running".
int unansweredLaunch(const LaunchRequest& request, const platform::FolderClaim::Result& claimed, std::string why) {
    if (why.empty()) why = notListening(claimed);
    const platform::FolderClaim::Holder& holder = claimed.holder;
    say("the player's folders are held by " + platform::claimHolderText(holder) + ", which does not answer (" + why +
        "), " + noStart(request) + "; " +
        platform::claimRemedyText(holder, claimed.state == State::HeldElsewhere, "game"));
    return 1;
}

// A launch while a game runs on the same folders never starts a second one: it hands its URL over, or
// asks the running game to show itself, or (for a run of its own) whether it answers. The exit status once the
// running game answered (0 only when it took the launch), or once it is said that none did; nothing when no game
// did (nobody listens, or the game quits) and the holder is none of this machine's, with what was seen in
// `unanswered`.
std::optional<int> secondLaunch(const LaunchRequest& request, const platform::FolderClaim::Result& claimed,
                                const platform::UrlHandover::KeepWaiting& keepWaiting, std::string& unanswered) {
    using Outcome = platform::UrlHandover::Receipt::Outcome;
    const std::vector<std::string> names = handoverNames(claimed.others);
    const platform::UrlHandover::Receipt receipt =
        request.ownRun        ? platform::UrlHandover::askRunning(names, keepWaiting)
        : request.url.empty() ? platform::UrlHandover::showRunning(names, keepWaiting)
                              : platform::UrlHandover::sendToRunning(names, request.url, keepWaiting);
    unanswered = receipt.reason;
    if (receipt.outcome == Outcome::NobodyListens || receipt.outcome == Outcome::Gone) return std::nullopt;
    if (receipt.outcome == Outcome::Accepted) {
        if (request.ownRun) return refuseOwnRun();
        if (request.url.empty()) std::printf("stargrid: the game is already running\n");
        return 0;
    }
    if (receipt.answered && !request.url.empty()) {
        say("the running game did not take the URL: " + receipt.reason);
        return 1;
    }
    if (!heldOnThisMachine(claimed)) return std::nullopt;
    return unansweredLaunch(request, claimed, receipt.reason);
}

// Folders held by a game this launch cannot see or ask (a claim link of another machine, or of an older
// version), or that cannot be claimed.
int refusedLaunch(const platform::FolderClaim::Result& claimed, const std::string& unanswered) {
    const platform::FolderClaim::Holder& holder = claimed.holder;
    if (claimed.state != State::HeldOutOfSight) {
        // A link in no form the game writes is no claim it can judge: the player removes it.
        const std::string remedy =
            holder.names == LinkNames::Junk ? "; " + platform::claimRemedyText(holder, false, "game") : "";
        say("the player's folders cannot be claimed (" + claimed.error + "), so the game does not start" + remedy);
        return 1;
    }
    // Whether it still runs there cannot be known from here: the player is told what to do if not.
    const bool elsewhere = holder.names == LinkNames::OtherHost || holder.names == LinkNames::NameSake;
    const std::string which =
        elsewhere ? "cannot be asked from here"
                  : "does not answer (" + (unanswered.empty() ? notListening(claimed) : unanswered) + ")";
    say("the player's folders are held by " + platform::claimHolderText(holder) + ", which " + which +
        ", so the game does not start" + (elsewhere ? " here" : "") + "; " +
        platform::claimRemedyText(holder, false, "game"));
    return 1;
}

}  // namespace

// Claims every folder a store of the player's lives in (data, then config) for this game, before anything
// touches them: the game keeps its whole store in memory and writes it whole, so a second game on them
// would overwrite the first one's progress. The exit status when this launch is not to run the game.
std::optional<int> claimFolders(const LaunchRequest& request, std::unique_ptr<platform::FolderClaim>& claim) {
    const std::vector<std::string> folders = platform::FolderClaim::playersFolders();
    if (folders[0].empty() || folders[1].empty()) {
        say("the player's folders cannot be claimed (there is no home folder to hold them), so the game does not start");
        return 1;
    }
    platform::FolderClaim::Result claimed = platform::FolderClaim::take(folders);
    for (const std::string& note : claimed.notes) say(note);
    if (claimed.state == State::Taken) {
        claim = std::move(claimed.claim);
        return std::nullopt;
    }
    // Before a holder is judged by what its link says, the game is asked: one that answers runs, wherever. One of
    // this machine may be starting or quitting, and is waited for; anything else that does not listen is not.
    std::string unanswered;
    if (heldOnThisMachine(claimed) || platform::UrlHandover::listening(handoverNames(claimed.others))) {
        // While nobody listens, the game may be quitting: once it lets the folders go, this launch runs.
        auto stillHeld = [&folders, &claim] {
            platform::FolderClaim::Result again = platform::FolderClaim::take(folders);
            if (again.state == State::Taken) claim = std::move(again.claim);
            return heldOnThisMachine(again);
        };
        if (std::optional<int> status = secondLaunch(request, claimed, stillHeld, unanswered)) return status;
        for (const auto deadline = std::chrono::steady_clock::now() + kQuitPatience;
             !claim && heldOnThisMachine(claimed) && std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(kRetry))
            claimed = platform::FolderClaim::take(folders);
        if (claimed.state == State::Taken) claim = std::move(claimed.claim);
        if (claim) return std::nullopt;
        // Held still: by a game that was starting, or by a launch that took the folders over meanwhile.
        if (heldOnThisMachine(claimed)) {
            if (std::optional<int> status = secondLaunch(request, claimed, {}, unanswered)) return status;
            return unansweredLaunch(request, claimed, unanswered);
        }
    }
    return refusedLaunch(claimed, unanswered);
}

// scripts/play names itself in STARGRID_PLAY_SECOND_LAUNCH when it starts the game while another game holds
// the player's folders. Should they come free (that game quit) and this launch take them, it leaves them
// with this status instead of running without the session's local server: scripts/play then launches the
// game again as a first session.
bool secondLaunchOfPlay() { return platform::markedByParent("STARGRID_PLAY_SECOND_LAUNCH"); }
