// The claim link of a folder: made, read, pointed here and removed through the folder's descriptor.
#include "platform/ClaimLink.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

std::string thisProcess() { return hostName() + ":" + std::to_string(::getpid()); }

// A process id as the link writes it: digits only, above 0, within pid_t.
pid_t processIn(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return value > 0 && value <= INT_MAX ? static_cast<pid_t>(value) : 0;
}

// A process of this host runs under that id (one of another user's too: kill says EPERM).
bool runs(pid_t process) { return ::kill(process, 0) == 0 || errno == EPERM; }

}  // namespace

ClaimLinkHolder claimLinkHolder(int folder) {
    ClaimLinkHolder holder;
    if (::fstatat(folder, kClaimLinkName, &holder.link, AT_SYMLINK_NOFOLLOW) != 0) return holder;
    holder.who = ClaimLinkHolder::Who::Unreadable;
    if (!S_ISLNK(holder.link.st_mode)) {
        holder.reason = "it is not a link";
        return holder;
    }
    char target[512];
    const ssize_t size = ::readlinkat(folder, kClaimLinkName, target, sizeof target - 1);
    if (size < 0) {
        // Gone since it was looked at: nobody's claim.
        if (errno == ENOENT) holder.who = ClaimLinkHolder::Who::Nobody;
        holder.reason = std::strerror(errno);
        return holder;
    }
    const std::string text(target, static_cast<std::size_t>(size));
    const std::string::size_type colon = text.rfind(':');
    const pid_t process = colon == std::string::npos ? 0 : processIn(text.substr(colon + 1));
    if (colon == 0 || process == 0) {
        holder.reason = "it names no host and process (\"" + text.substr(0, 64) + "\")";
        return holder;
    }
    holder.host = text.substr(0, colon);
    if (holder.host != hostName()) {
        holder.who = ClaimLinkHolder::Who::OtherHost;
    } else if (process == ::getpid()) {
        holder.who = ClaimLinkHolder::Who::ThisProcess;
    } else {
        holder.who = runs(process) ? ClaimLinkHolder::Who::LiveHere : ClaimLinkHolder::Who::DeadHere;
    }
    return holder;
}

bool makeClaimLink(int folder) { return ::symlinkat(thisProcess().c_str(), folder, kClaimLinkName) == 0; }

bool pointClaimLinkHere(int folder) {
    // Named after the host and the process, so no other launch makes the same one, even on another host.
    const std::string fresh = std::string(kClaimLinkName) + "." + thisProcess();
    ::unlinkat(folder, fresh.c_str(), 0);
    if (::symlinkat(thisProcess().c_str(), folder, fresh.c_str()) != 0) return false;
    if (::renameat(folder, fresh.c_str(), folder, kClaimLinkName) == 0) return true;
    const int error = errno;
    ::unlinkat(folder, fresh.c_str(), 0);
    errno = error;
    return false;
}

int openClaimLink(int folder) { return ::openat(folder, kClaimLinkName, O_PATH | O_NOFOLLOW | O_CLOEXEC); }

void dropClaimLink(int folder) {
    if (claimLinkHolder(folder).who == ClaimLinkHolder::Who::ThisProcess) ::unlinkat(folder, kClaimLinkName, 0);
}

}  // namespace platform
