#include "tools/server/DatabaseClaim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/ClaimWitness.h"
#include "platform/FolderClaim.h"
#include "platform/PrintableText.h"

namespace stargrid_server {
namespace {

using platform::FolderClaim;

// Who holds the claim, as the claim saw it: in the game's words.
std::string heldBy(const FolderClaim::Holder& holder) {
    return "the claim on it is held by " + platform::claimHolderText(holder);
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
    if (result.heldOnThisMachine() && patience.count() > 0) {
        const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(patience).count();
        std::fprintf(stderr, "stargrid-server: %s\n",
                     platform::printableText(open + heldBy(result.holder) + "; waiting up to " +
                                             std::to_string(seconds) + " s for it to stop")
                         .c_str());
        result = FolderClaim::take({folder}, patience);
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
            claim->witness_ = platform::ClaimWitness::listen(claim->claim_->identities().front(), &why);
            if (!claim->witness_)
                std::fprintf(stderr, "stargrid-server: %s\n",
                             platform::printableText("no socket tells that this server has " + database + " open (" +
                                                     why + "): a server that cannot see this one may take it over")
                                 .c_str());
            return claim;
        }
        case FolderClaim::State::HeldElsewhere:
            *error = platform::printableText(open + heldBy(result.holder));
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
