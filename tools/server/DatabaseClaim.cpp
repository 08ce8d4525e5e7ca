#include "tools/server/DatabaseClaim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/ClaimRules.h"
#include "platform/ClaimWitness.h"
#include "platform/FolderClaim.h"
#include "platform/PrintableText.h"

namespace stargrid_server {
namespace {

using platform::FolderClaim;
using platform::HolderSeen;

// How often the holder is looked at while it is waited for. One seen stopped twice in a row stays so (a tracer's
// stop may be passing, a look apart): within the 2 s a game's launch waits for an answer before it names one.
constexpr std::chrono::seconds kLookAgain{1};

// Who holds the claim, as the claim saw it: in the game's words.
std::string heldBy(const FolderClaim::Holder& holder) {
    return "the claim on it is held by " + platform::claimHolderText(holder);
}

// Waits, up to the patience, for the holder of this machine to let the claim go, saying so as a wait longer than
// the first look begins. A holder seen stopped at two looks in a row does not let go (it cannot while stopped), so
// it is not waited for on: `how` then says how it is held still, else Seen.
FolderClaim::Result waitForHolder(const std::string& folder, const std::string& open, FolderClaim::Result result,
                                  std::chrono::milliseconds patience, HolderSeen& how) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + patience;
    bool said = false;
    std::optional<long long> seenStopped;  // the holder's pid at the last look, where it was stopped then
    for (;;) {
        how = platform::heldStill(platform::seeHolder(result.holder));
        const bool stopped = how != HolderSeen::Seen;
        if (stopped && seenStopped == result.holder.named.pid) return result;
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) break;
        // A wait for a holder at work is said as it begins; one seen stopped is only looked at once more.
        if (!stopped && !said) {
            const long long seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
            std::fprintf(stderr, "stargrid-server: %s\n",
                         platform::printableText(open + heldBy(result.holder) + "; waiting up to " +
                                                 std::to_string(seconds) + " s for it to stop")
                             .c_str());
            said = true;
        }
        seenStopped = stopped ? std::optional<long long>(result.holder.named.pid) : std::nullopt;
        result = FolderClaim::take({folder}, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::min<Clock::duration>(kLookAgain, left)));
        if (!result.heldOnThisMachine()) break;
    }
    how = HolderSeen::Seen;
    return result;
}

}  // namespace

std::unique_ptr<DatabaseClaim> DatabaseClaim::take(const std::string& database, std::chrono::milliseconds patience,
                                                   std::string* error) {
    const std::string folder = database + ".claim";
    // Made as the player's folders are: the claim then refuses one that is a link, another user's or open.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot make " + platform::printableText(folder) + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<DatabaseClaim> claim(new DatabaseClaim());
    FolderClaim::Result result = FolderClaim::take(folder);
    const std::string open = database + " is open in another stargrid-server: ";
    HolderSeen how = HolderSeen::Seen;
    if (result.heldOnThisMachine() && patience.count() > 0) {
        result = waitForHolder(folder, open, std::move(result), patience, how);
        // A holder that gave the claim up has closed the database.
        claim->followsAGoneServer_ = true;
    }
    for (const std::string& note : result.notes)
        std::fprintf(stderr, "stargrid-server: %s\n", platform::printableText(note).c_str());
    switch (result.state) {
        case FolderClaim::State::Taken: {
            // The judgement that let the claim be taken over says the server before it is gone.
            claim->followsAGoneServer_ = claim->followsAGoneServer_ || result.tookOverLeftover;
            claim->claim_ = std::move(result.claim);
            // Asked by every server before it takes a claim over: one that cannot see this one (a sandbox's, its
            // locks apart) finds it serving.
            std::string why;
            claim->witness_ =
                platform::ClaimWitness::listen(claim->claim_->identities().front(), "another stargrid-server", &why);
            if (!claim->witness_)
                std::fprintf(stderr, "stargrid-server: %s\n",
                             platform::printableText("no socket tells that this server has " + database + " open (" +
                                                     why + "): a server that cannot see this one may take it over")
                                 .c_str());
            return claim;
        }
        case FolderClaim::State::HeldElsewhere:
            // One that is stopped is told so, with what lets it go on, as the game's launch tells a stopped game.
            *error = platform::printableText(
                open + heldBy(result.holder) +
                (how == HolderSeen::Seen
                     ? ""
                     : ", which is stopped; " + platform::claimRemedyText(result.holder, how, "stargrid-server")));
            return nullptr;
        case FolderClaim::State::HeldOutOfSight:
            // Its witness answered: it serves, wherever it runs.
            if (result.holder.listens) {
                *error = platform::printableText(open + heldBy(result.holder) + ", which answers on its socket");
                return nullptr;
            }
            *error = platform::printableText(
                database + " may be open in another stargrid-server: " + heldBy(result.holder) +
                ", which cannot be asked from here; " +
                platform::claimRemedyText(result.holder, platform::HolderSeen::Unseen, "stargrid-server"));
            return nullptr;
        case FolderClaim::State::Failed: break;
    }
    *error = "cannot claim " + platform::printableText(database) + ": " + platform::printableText(result.error);
    return nullptr;
}

DatabaseClaim::~DatabaseClaim() = default;

}  // namespace stargrid_server
