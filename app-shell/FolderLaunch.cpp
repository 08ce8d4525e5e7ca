// The claim on the player's folders at start, and a second launch's hand-over to the game that holds them.
#include "app-shell/FolderLaunch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/ParentsMark.h"
#include "platform/PrintableText.h"
#include "platform/UrlHandover.h"

namespace {

// How long a launch waits for a game that quits to let the player's folders go.
constexpr std::chrono::seconds kQuitPatience{5};

}  // namespace

std::vector<std::string> handoverNames(const std::vector<std::string>& identities) {
    std::vector<std::string> names;
    for (const std::string& identity : identities) names.push_back(platform::FolderClaim::socketName(identity));
    return names;
}

namespace {

using State = platform::FolderClaim::State;
using platform::HolderSeen;
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

// A game this launch sees running and not stopped may only be slow (first frames under load, or shaders compiled
// afresh): it is waited for longer than one out of sight, where it listens.
bool atWork(const platform::FolderClaim::Holder& holder) {
    const platform::SeenProcess seen = platform::seeHolder(holder);
    return seen.runs == platform::ProcessRuns::Yes && seen.stopped == platform::Stopped::No;
}

// How a held launch says, as a wait of its runs past the first seconds, what it waits for and how long at most.
void sayWaiting(const platform::FolderClaim::Holder& holder, const std::string& state, const std::string& what,
                std::chrono::steady_clock::duration most) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(most).count();
    say("the player's folders are held by " + platform::claimHolderText(holder) + ", which " + state +
        "; waiting up to " + std::to_string(std::max<long long>(1, seconds)) + " s more " + what);
}

// Where this launch looks for the game and finds nothing listening: its runtime folder, named by the variable.
std::string unreachable(const std::vector<std::string>& names) {
    const char* variable = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtime =
        variable && *variable ? std::string("XDG_RUNTIME_DIR is ") + variable : std::string("XDG_RUNTIME_DIR is unset");
    const std::string socket = platform::UrlHandover::socketPath(names.front());
    return "runs but cannot be reached from this launch's runtime folder (" + runtime +
           (socket.empty() ? ", and that folder is refused" : ": nothing listens on " + socket) + "), ";
}

// No game answered the launch (in time): the folders are held by a game that hangs, is stopped or still starts,
// by one this launch cannot ask or reach, or by no game at all; or they cannot be claimed. Only a game that answers
// ends a launch with "already running". `why` is empty where nobody listened.
int unansweredLaunch(const LaunchRequest& request, const platform::FolderClaim::Result& claimed,
                     const std::string& why) {
    const platform::FolderClaim::Holder& holder = claimed.holder;
    if (claimed.state == State::Failed) {
        // A link in no form the game writes is no claim it can judge: the player removes it.
        const std::string remedy =
            holder.names == LinkNames::Junk ? "; " + platform::claimRemedyText(holder, HolderSeen::Unseen, "game") : "";
        say("the player's folders cannot be claimed (" + claimed.error + "), so the game does not start" + remedy);
        return 1;
    }
    // Another machine's: whether it still runs there cannot be known from here.
    const bool elsewhere = holder.names == LinkNames::OtherHost || holder.names == LinkNames::NameSake;
    const std::vector<std::string> names = handoverNames(claimed.others);
    // A game seen is told stopped or at work; ending one at work is advised only once it was waited for in full,
    // and one that listens nowhere this launch looks is told so.
    const platform::SeenProcess seen = platform::seeHolder(holder);
    const HolderSeen still = platform::heldStill(seen);
    const bool stopped = claimed.state == State::HeldElsewhere && still != HolderSeen::Seen;
    const HolderSeen how = claimed.state != State::HeldElsewhere     ? HolderSeen::Unseen
                           : seen.runs != platform::ProcessRuns::Yes ? HolderSeen::Seen
                           : stopped                                 ? still
                           : why.empty()                             ? HolderSeen::Unreachable
                                                                     : HolderSeen::Silent;
    const std::string answer =
        why.empty() ? "it does not listen on " + platform::UrlHandover::socketPath(names.front()) : why;
    const std::string state = elsewhere                        ? "cannot be asked from here, "
                              : stopped                        ? "is stopped, "
                              : how == HolderSeen::Unreachable ? unreachable(names)
                                                               : "does not answer (" + answer + "), ";
    say("the player's folders are held by " + platform::claimHolderText(holder) + ", which " + state +
        noStart(request) + (elsewhere ? " here; " : "; ") + platform::claimRemedyText(holder, how, "game"));
    return 1;
}

// A launch while a game runs on the same folders never starts a second one: it hands its URL over, or
// asks the running game to show itself, or (for a run of its own) whether it answers. The exit status once a
// game listened (0 only when it took the launch); nothing when no game did (nobody listens, or the game quits),
// with what was seen in `unanswered`. A game seen at work that listens is waited for past the first patience
// only where `patientWithWork`, which is false once that longer wait was had; one that answers that it is starting,
// as long as it does so, up to the bound.
std::optional<int> secondLaunch(const LaunchRequest& request, const platform::FolderClaim::Result& claimed,
                                const platform::UrlHandover::KeepWaiting& keepWaiting, bool& patientWithWork,
                                std::string& unanswered) {
    using Outcome = platform::UrlHandover::Receipt::Outcome;
    const std::vector<std::string> names = handoverNames(claimed.others);
    platform::UrlHandover::Waits waits;
    waits.keepWaiting = keepWaiting;
    const auto started = std::chrono::steady_clock::now();
    if (patientWithWork)
        waits.atWork = [&claimed, &patientWithWork, started] {
            if (!atWork(claimed.holder)) return false;
            if (patientWithWork)
                sayWaiting(claimed.holder, "has not answered yet", "for its answer",
                           started + platform::UrlHandover::kAtWorkPatience - std::chrono::steady_clock::now());
            patientWithWork = false;
            return true;
        };
    // An ask is answered at once: a game that starts is a game that runs.
    if (!request.ownRun)
        waits.starting = [&claimed](std::chrono::steady_clock::duration most) {
            sayWaiting(claimed.holder, "says the game is starting", "for its answer", most);
        };
    const platform::UrlHandover::Receipt receipt =
        request.ownRun        ? platform::UrlHandover::askRunning(names, waits)
        : request.url.empty() ? platform::UrlHandover::showRunning(names, waits)
                              : platform::UrlHandover::sendToRunning(names, request.url, waits);
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
    return unansweredLaunch(request, claimed, receipt.reason);
}

// How much longer the link of a holder seen at work is younger than the start-up wait: a game that has just taken
// the folders may not listen yet. Nothing once it is older, or where its age cannot be told.
std::optional<std::chrono::steady_clock::duration> youngFor(const platform::FolderClaim::Holder& holder) {
    const std::optional<std::chrono::steady_clock::duration> age = platform::FolderClaim::linkAge(holder);
    if (!age || *age >= platform::kStartUpWait) return std::nullopt;
    return platform::kStartUpWait - *age;
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
    // Before a holder is judged by what its link says, the game is asked: one that answers runs, wherever. One of
    // this machine may be starting or quitting, and is waited for; anything else that does not listen is not.
    std::string unanswered;
    if (claimed.heldOnThisMachine() || (claimed.state != State::Taken &&
                                        platform::UrlHandover::listening(handoverNames(claimed.others)))) {
        // While nobody listens, the game may be starting or quitting: once it lets the folders go, this launch runs.
        auto stillHeld = [&folders, &claim] {
            platform::FolderClaim::Result again = platform::FolderClaim::take(folders);
            if (again.state == State::Taken) claim = std::move(again.claim);
            return again.heldOnThisMachine();
        };
        // The longer wait for a game at work is had once.
        bool patientWithWork = true;
        if (std::optional<int> status = secondLaunch(request, claimed, stillHeld, patientWithWork, unanswered))
            return status;
        if (!claim && claimed.heldOnThisMachine()) {
            sayWaiting(claimed.holder,
                       unanswered.empty() ? "does not listen yet" : "does not answer (" + unanswered + ")",
                       "for it to answer or to let them go", kQuitPatience + platform::UrlHandover::kPatience);
            claimed = platform::FolderClaim::take(folders, kQuitPatience);
        }
        if (claim) return std::nullopt;
        // Held still: by a game that was starting, or by a launch that took the folders over meanwhile.
        if (claimed.heldOnThisMachine())
            if (std::optional<int> status = secondLaunch(request, claimed, {}, patientWithWork, unanswered))
                return status;
        // Nothing listens where this launch looks. A game listens from the moment it holds the folders, so a holder
        // at work whose link is older than the start-up wait cannot be reached from here; a younger one may be a
        // game that has only just taken them, and is waited for until its link is that old.
        const std::optional<std::chrono::steady_clock::duration> young =
            unanswered.empty() && claimed.state == State::HeldElsewhere && atWork(claimed.holder)
                ? youngFor(claimed.holder)
                : std::nullopt;
        if (young) {
            sayWaiting(claimed.holder, "does not listen yet", "for it to answer or to let them go",
                       *young + platform::UrlHandover::kPatience);
            claimed = platform::FolderClaim::take(folders, std::chrono::ceil<std::chrono::milliseconds>(*young));
            if (claimed.heldOnThisMachine())
                if (std::optional<int> status = secondLaunch(request, claimed, {}, patientWithWork, unanswered))
                    return status;
        }
    }
    if (claimed.state == State::Taken) {
        claim = std::move(claimed.claim);
        return std::nullopt;
    }
    return unansweredLaunch(request, claimed, unanswered);
}

// scripts/play names itself in STARGRID_PLAY_SECOND_LAUNCH when it starts the game while another game holds
// the player's folders. Should they come free (that game quit) and this launch take them, it leaves them
// with this status instead of running without the session's local server: scripts/play then launches the
// game again as a first session.
bool secondLaunchOfPlay() { return platform::markedByParent("STARGRID_PLAY_SECOND_LAUNCH"); }
