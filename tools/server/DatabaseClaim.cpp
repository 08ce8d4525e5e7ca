#include "tools/server/DatabaseClaim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/ClaimLink.h"
#include "platform/FolderClaim.h"
#include "platform/PrintableText.h"

namespace stargrid_server {
namespace {

using platform::FolderClaim;

// Who holds the claim, as the claim saw it.
std::string holderText(const FolderClaim::Holder& holder) {
    using platform::LinkNames;
    const std::string folder = platform::printableText(holder.folder);
    const std::string link = platform::printableText(holder.link);
    const std::string pid = std::to_string(holder.named.pid);
    switch (holder.names) {
        case LinkNames::Nothing: return "a process holds the lock on " + folder;
        case LinkNames::OtherHost:
            return "process " + pid + " of host " + platform::printableText(holder.named.host) + ", so says " + link;
        case LinkNames::OtherNamespace: return "process " + pid + " of another pid namespace, so says " + link;
        case LinkNames::OlderRunning: return "process " + pid + ", so says " + link;
        default: return "process " + pid + " holds " + folder;
    }
}

// The claim link there names a process that no longer runs: a server killed while it had the database open.
bool leftByAGoneServer(const std::string& folder) {
    const std::optional<platform::ProcessIdentity> self = platform::thisProcessIdentity();
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (!self || fd < 0) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    platform::Claimant claimant;
    claimant.self = *self;
    const platform::LinkNames names = platform::judgeClaimLink(fd, claimant).names;
    const bool leftover = names == platform::LinkNames::LeftoverHere || names == platform::LinkNames::EarlierBoot;
    ::close(fd);
    return leftover;
}

}  // namespace

std::unique_ptr<DatabaseClaim> DatabaseClaim::take(const std::string& database, std::chrono::milliseconds patience,
                                                   std::string* error) {
    const std::string folder = database + ".claim";
    const std::string named = platform::printableText(database);
    // Made as the player's folders are: the claim then refuses one that is a link, another user's or open.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot make " + platform::printableText(folder) + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<DatabaseClaim> claim(new DatabaseClaim());
    claim->followsAGoneServer_ = leftByAGoneServer(folder);
    FolderClaim::Result result = FolderClaim::take(folder);
    if (result.state == FolderClaim::State::HeldElsewhere && patience.count() > 0) {
        std::fprintf(
            stderr,
            "stargrid-server: %s is open in another stargrid-server (%s); waiting up to %lld s for it to stop\n",
            named.c_str(), holderText(result.holder).c_str(),
            static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(patience).count()));
        result = FolderClaim::take({folder}, patience);
        claim->followsAGoneServer_ = true;
    }
    for (const std::string& note : result.notes)
        std::fprintf(stderr, "stargrid-server: %s\n", platform::printableText(note).c_str());
    switch (result.state) {
        case FolderClaim::State::Taken: claim->claim_ = std::move(result.claim); return claim;
        case FolderClaim::State::HeldElsewhere:
            *error = named + " is open in another stargrid-server (" + holderText(result.holder) + ")";
            return nullptr;
        case FolderClaim::State::HeldOutOfSight:
            *error = named + " may be open in another stargrid-server (" + holderText(result.holder) +
                     "; if that one no longer runs, remove the link)";
            return nullptr;
        case FolderClaim::State::Failed: break;
    }
    *error = "cannot claim " + named + ": " + platform::printableText(result.error);
    return nullptr;
}

DatabaseClaim::~DatabaseClaim() = default;

}  // namespace stargrid_server
