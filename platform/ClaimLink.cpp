// The claim link of a folder: what names a process, how a link is judged, and how it is taken, all through
// the folder's descriptor.
#include "platform/ClaimLink.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/AsciiText.h"

namespace platform {
namespace {

// A target longer than this is none the game wrote (a host name is 64 bytes at most).
constexpr std::size_t kLongestTarget = 512;
// Rounds of taking the link before it is said to come and go.
constexpr int kRounds = 8;
// How far up a launcher is looked for: a shell or two between it and the game.
constexpr int kMostAncestors = 32;

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

// A small file of /proc, whole; nothing when it cannot be read (errno set).
std::optional<std::string> procText(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[2048];
    const ssize_t size = ::read(fd, buffer, sizeof buffer);
    const int error = errno;
    ::close(fd);
    errno = error;
    if (size <= 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(size));
}

std::optional<unsigned long long> number(std::string_view text) {
    const std::optional<long> value = wholeNumber(text, LONG_MAX);
    if (!value) return std::nullopt;
    return static_cast<unsigned long long>(*value);
}

// Field `index` (3 or later) of a /proc/PID/stat line; the command's name before it, in parentheses, may
// hold spaces and parentheses of its own.
std::string_view statField(std::string_view line, int index) {
    const auto close = line.rfind(')');
    if (close == std::string_view::npos) return {};
    line.remove_prefix(close + 1);
    for (int field = 3; field <= index; ++field) {
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        const auto end = line.find_first_of(" \n");
        if (field == index) return line.substr(0, end);
        if (end == std::string_view::npos) return {};
        line.remove_prefix(end);
    }
    return {};
}

// What /proc says of a process of this pid namespace: its start (field 22) and its parent (field 4).
struct ProcessState {
    enum class Is { Running, Gone, Unknown } is = Is::Unknown;
    unsigned long long start = 0;
    long long parent = 0;
};

// /proc shows this pid namespace's processes (after `unshare --pid` without a /proc of its own it shows the
// parent namespace's, where this process has another pid).
bool procIsThisNamespaces() {
    char self[32] = {};
    const ssize_t size = ::readlink("/proc/self", self, sizeof self - 1);
    return size > 0 && std::string(self, static_cast<std::size_t>(size)) == std::to_string(::getpid());
}

ProcessState stateOf(long long pid) {
    ProcessState state;
    if (pid <= 0 || pid > INT_MAX) return state;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
        state.is = ProcessState::Is::Gone;
        return state;
    }
    if (!procIsThisNamespaces()) return state;
    const std::optional<std::string> line = procText("/proc/" + std::to_string(pid) + "/stat");
    if (!line) {
        // Gone meanwhile, or another user's that /proc hides (hidepid): not the player's game either way.
        if (errno == ENOENT) state.is = ProcessState::Is::Gone;
        return state;
    }
    const std::optional<unsigned long long> start = number(statField(*line, 22));
    const std::optional<unsigned long long> parent = number(statField(*line, 4));
    if (!start || !parent) return state;
    state = {ProcessState::Is::Running, *start, static_cast<long long>(*parent)};
    return state;
}

// A process of this pid namespace that keeps the link open, as the game a launcher handed it to does once
// the launcher is gone; 0 when none does or /proc cannot tell. Only a descriptor whose path names a claim
// link is looked at, so no other file system is asked.
long long keptOpenBy(const struct stat& link) {
    if (!procIsThisNamespaces()) return 0;
    DIR* processes = ::opendir("/proc");
    if (!processes) return 0;
    const std::string name = std::string("/") + kClaimLinkName;
    long long keeper = 0;
    while (const dirent* process = keeper == 0 ? ::readdir(processes) : nullptr) {
        const std::optional<long> pid = wholeNumber(process->d_name, INT_MAX);
        DIR* fds = pid ? ::opendir(("/proc/" + std::string(process->d_name) + "/fd").c_str()) : nullptr;
        if (!fds) continue;
        while (const dirent* fd = keeper == 0 ? ::readdir(fds) : nullptr) {
            char path[4096];
            const ssize_t size = ::readlinkat(::dirfd(fds), fd->d_name, path, sizeof path);
            const std::string_view named(path, size > 0 ? static_cast<std::size_t>(size) : 0);
            struct stat info;
            if (named.size() > name.size() && named.substr(named.size() - name.size()) == name &&
                ::fstatat(::dirfd(fds), fd->d_name, &info, 0) == 0 && info.st_dev == link.st_dev &&
                info.st_ino == link.st_ino)
                keeper = *pid;
        }
        ::closedir(fds);
    }
    ::closedir(processes);
    return keeper;
}

// A leftover by its target that a process still keeps open is that process's.
void keptOpen(ClaimLinkHolder& holder) {
    const long long keeper = keptOpenBy(holder.link);
    if (keeper == 0) return;
    holder.who = ClaimLinkHolder::Who::Running;
    holder.named.pid = keeper;
    holder.named.start = stateOf(keeper).start;
    holder.reason.clear();
}

// "KEY=VALUE" off the front of the text, up to the next space; the last field takes the rest.
std::optional<std::string_view> field(std::string_view& text, std::string_view key, bool last = false) {
    if (text.substr(0, key.size()) != key || text.substr(key.size(), 1) != "=") return std::nullopt;
    text.remove_prefix(key.size() + 1);
    const auto space = last ? std::string_view::npos : text.find(' ');
    const std::string_view value = text.substr(0, space);
    text.remove_prefix(space == std::string_view::npos ? text.size() : space + 1);
    if (value.empty()) return std::nullopt;
    return value;
}

bool bootIdText(std::string_view text) {
    if (text.empty() || text.size() > 64) return false;
    for (const char c : text)
        if (!isAsciiDigit(c) && !(c >= 'a' && c <= 'f') && c != '-') return false;
    return true;
}

// An older version's "HOST:PID" (a host name has no space).
std::optional<ProcessIdentity> olderIdentity(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == 0 || colon == std::string::npos || text.find(' ') < colon) return std::nullopt;
    const std::optional<long> pid = wholeNumber(std::string_view(text).substr(colon + 1), INT_MAX);
    if (!pid || *pid == 0) return std::nullopt;
    ProcessIdentity named;
    named.host = text.substr(0, colon);
    named.pid = *pid;
    return named;
}

std::string quoted(const std::string& text) { return "\"" + text.substr(0, 64) + "\""; }

void judgeNamed(const ProcessIdentity& named, const ProcessIdentity& self, ClaimLinkHolder& holder) {
    using Who = ClaimLinkHolder::Who;
    holder.named = named;
    if (named.host != self.host) {
        holder.who = Who::OtherHost;
    } else if (named.boot != self.boot) {
        holder.who = Who::Leftover;
        holder.reason = "it was made before this host last started";
    } else if (named.ns != self.ns) {
        holder.who = Who::OtherNamespace;
    } else if (named.pid == self.pid && named.start == self.start) {
        holder.who = Who::ThisProcess;
    } else {
        const ProcessState state = stateOf(named.pid);
        holder.who = Who::Leftover;
        if (state.is == ProcessState::Is::Gone) {
            holder.reason = "its process no longer runs";
        } else if (state.is == ProcessState::Is::Running && state.start != named.start) {
            holder.reason = "its process id is another process's now";
        } else {
            holder.who = Who::Running;  // or /proc cannot tell: held, to be safe
        }
        if (holder.who == Who::Leftover) keptOpen(holder);
    }
}

// The link at `name` is the one judged: the same inode, the same target.
bool sameLink(int folder, const char* name, const struct stat& link, const std::string& target) {
    struct stat info;
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || info.st_dev != link.st_dev ||
        info.st_ino != link.st_ino)
        return false;
    char text[kLongestTarget + 1];
    const ssize_t size = ::readlinkat(folder, name, text, sizeof text);
    return size >= 0 && std::string(text, static_cast<std::size_t>(size)) == target;
}

// A name for a link this launch moves aside: of its own (host, process and round), so no other launch
// moves anything there, saying why.
std::string asideName(const std::string& why, const ProcessIdentity& self) {
    static std::atomic<unsigned> rounds{0};
    std::string host;
    for (const char c : self.host.substr(0, 64)) host += isAsciiAlnum(c) || c == '.' || c == '-' ? c : '_';
    return std::string(kClaimLinkName) + "." + why + "." + host + "-" + std::to_string(self.pid) + "-" +
           std::to_string(self.start) + "-" + std::to_string(rounds++);
}

// Moves the link judged to `aside`; true when what was moved is that link, which then stays there. Anything
// else moved (another launch's fresh link) goes back with an exclusive hard link. 0 in `error` when the
// link went meanwhile or something else was put back.
bool moveAside(int folder, const ClaimLinkHolder& judged, const std::string& aside, int& error) {
    error = 0;
    ::unlinkat(folder, aside.c_str(), 0);  // never there: the name is this launch's own
    if (::renameat(folder, kClaimLinkName, folder, aside.c_str()) != 0) {
        if (errno != ENOENT) error = errno;
        return false;
    }
    if (sameLink(folder, aside.c_str(), judged.link, judged.target)) return true;
    if (::linkat(folder, aside.c_str(), folder, kClaimLinkName, 0) != 0 && errno != EEXIST) {
        error = errno;  // kept aside: the file system takes no hard link
        return false;
    }
    ::unlinkat(folder, aside.c_str(), 0);
    return false;
}

// Opens the link for a claim to hold: the one `judged` when given (false when it is another by now), else the
// one there. False with errno set when it cannot be.
bool holdLink(int folder, const struct stat* judged, const std::string& target, HeldClaimLink& held) {
    held = {folder, ::openat(folder, kClaimLinkName, O_PATH | O_NOFOLLOW | O_CLOEXEC), {}, target};
    if (held.fd >= 0 && ::fstat(held.fd, &held.link) == 0 &&
        (!judged || (held.link.st_dev == judged->st_dev && held.link.st_ino == judged->st_ino)))
        return true;
    const int error = errno;
    if (held.fd >= 0) ::close(held.fd);
    held = {};
    errno = error;
    return false;
}

}  // namespace

std::optional<ProcessIdentity> thisProcessIdentity(std::string* why) {
    ProcessIdentity self;
    self.host = hostName();
    self.pid = ::getpid();
    std::optional<std::string> boot = procText("/proc/sys/kernel/random/boot_id");
    while (boot && !boot->empty() && boot->back() == '\n') boot->pop_back();
    const std::optional<std::string> stat = procText("/proc/self/stat");
    const std::optional<unsigned long long> start = stat ? number(statField(*stat, 22)) : std::nullopt;
    struct stat ns;
    const bool nsKnown = ::stat("/proc/self/ns/pid", &ns) == 0;
    if (!boot || !bootIdText(*boot) || !start || !nsKnown) {
        if (why) *why = "/proc does not tell this process from another";
        return std::nullopt;
    }
    self.boot = *boot;
    self.start = *start;
    self.ns = ns.st_ino;
    return self;
}

std::string claimLinkText(const ProcessIdentity& process) {
    return "pid=" + std::to_string(process.pid) + " start=" + std::to_string(process.start) +
           " ns=" + std::to_string(process.ns) + " boot=" + process.boot + " host=" + process.host;
}

std::optional<ProcessIdentity> claimLinkIdentity(const std::string& text) {
    std::string_view rest = text;
    ProcessIdentity named;
    const auto pid = field(rest, "pid");
    const std::optional<long> pidNumber = pid ? wholeNumber(*pid, INT_MAX) : std::nullopt;
    if (!pidNumber || *pidNumber == 0) return std::nullopt;
    named.pid = *pidNumber;
    for (const auto& [key, value] : {std::make_pair("start", &named.start), std::make_pair("ns", &named.ns)}) {
        const auto text = field(rest, key);
        const std::optional<unsigned long long> read = text ? number(*text) : std::nullopt;
        if (!read) return std::nullopt;
        *value = *read;
    }
    const auto boot = field(rest, "boot");
    if (!boot || !bootIdText(*boot)) return std::nullopt;
    named.boot = *boot;
    const auto host = field(rest, "host", true);
    if (!host) return std::nullopt;
    named.host = *host;
    return named;
}

ClaimLinkHolder judgeClaimLink(int folder, const ProcessIdentity& self) {
    using Who = ClaimLinkHolder::Who;
    ClaimLinkHolder holder;
    if (::fstatat(folder, kClaimLinkName, &holder.link, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            holder.who = Who::Unusable;
            holder.reason = std::strerror(errno);
        }
        return holder;
    }
    holder.who = Who::Unusable;
    if (!S_ISLNK(holder.link.st_mode)) {
        holder.reason = "it is not a link";
        return holder;
    }
    char target[kLongestTarget + 1];
    const ssize_t size = ::readlinkat(folder, kClaimLinkName, target, sizeof target);
    if (size < 0) {
        // Gone since it was looked at: nobody's claim.
        if (errno == ENOENT) holder.who = Who::Nobody;
        holder.reason = std::strerror(errno);
        return holder;
    }
    holder.target.assign(target, static_cast<std::size_t>(size));
    if (holder.link.st_uid != ::geteuid()) {
        holder.who = Who::NotOwn;
        holder.reason = "it belongs to user " + std::to_string(holder.link.st_uid);
    } else if (static_cast<std::size_t>(size) > kLongestTarget) {
        holder.reason = "it names no process in a form the game writes (" + quoted(holder.target) + ")";
    } else if (const std::optional<ProcessIdentity> named = claimLinkIdentity(holder.target)) {
        judgeNamed(*named, self, holder);
    } else if (const std::optional<ProcessIdentity> older = olderIdentity(holder.target)) {
        // An older version's names a host and a pid only: one of this host that runs is no certain
        // leftover, nor certainly the game.
        holder.named = *older;
        if (older->host != self.host) {
            holder.who = Who::OtherHost;
        } else if (stateOf(older->pid).is == ProcessState::Is::Gone) {
            holder.who = Who::Leftover;
            holder.reason = "its process no longer runs";
            keptOpen(holder);
        } else {
            holder.who = Who::OlderRunning;
        }
    } else {
        holder.reason = "it names no process in a form the game writes (" + quoted(holder.target) + ")";
    }
    return holder;
}

std::optional<bool> runsAbove(const ProcessIdentity& named) {
    if (!procIsThisNamespaces()) return std::nullopt;
    long long process = ::getppid();
    for (int step = 0; step < kMostAncestors && process > 0; ++step) {
        const ProcessState state = stateOf(process);
        if (state.is != ProcessState::Is::Running) return false;
        if (process == named.pid) return state.start == named.start;
        process = state.parent;
    }
    return false;
}

void dropClaimLink(const HeldClaimLink& held) {
    if (held.folder >= 0 && sameLink(held.folder, kClaimLinkName, held.link, held.target))
        ::unlinkat(held.folder, kClaimLinkName, 0);
    if (held.fd >= 0) ::close(held.fd);
}

ClaimLinkTaking takeClaimLink(int folder, const std::string& path, const ProcessIdentity& self,
                              const std::function<bool(const ClaimLinkHolder&)>& ours) {
    using Outcome = ClaimLinkTaking::Outcome;
    using Who = ClaimLinkHolder::Who;
    const std::string link = path + "/" + kClaimLinkName;
    const std::string text = claimLinkText(self);
    ClaimLinkTaking taking;
    auto failed = [&taking](const std::string& error) {
        taking.outcome = Outcome::Failed;
        taking.error = error;
        return taking;
    };
    for (int round = 0; round < kRounds; ++round) {
        // The one step that claims: made where nothing is.
        if (::symlinkat(text.c_str(), folder, kClaimLinkName) == 0) {
            taking.outcome = Outcome::Made;
            if (holdLink(folder, nullptr, text, taking.held)) return taking;
            const std::string error = "cannot open " + link + ": " + std::strerror(errno);
            ::unlinkat(folder, kClaimLinkName, 0);  // made here a moment ago: nobody judged it a leftover
            return failed(error);
        }
        if (errno != EEXIST) return failed("cannot make " + link + ": " + std::strerror(errno));
        taking.holder = judgeClaimLink(folder, self);
        const ClaimLinkHolder& holder = taking.holder;
        switch (holder.who) {
            case Who::Nobody: continue;  // gone since: made again
            case Who::Leftover:
            case Who::NotOwn: {
                // A leftover goes once it is moved aside; another user's stays there, and is said.
                const bool notOwn = holder.who == Who::NotOwn;
                const std::string aside =
                    asideName(notOwn ? "user-" + std::to_string(holder.link.st_uid) : "leftover", self);
                int error = 0;
                const bool moved = moveAside(folder, holder, aside, error);
                if (moved && !notOwn) ::unlinkat(folder, aside.c_str(), 0);
                if (moved && notOwn)
                    taking.notes.push_back(link + " is no claim: " + holder.reason +
                                           ", not to the player; it is set aside as " + path + "/" + aside);
                if (error != 0)
                    return failed("cannot move " + link + " aside (" + holder.reason + "): " + std::strerror(error));
                continue;
            }
            case Who::ThisProcess:
            case Who::Running:
                if (!ours(holder)) {
                    taking.outcome = Outcome::Held;
                    return taking;
                }
                taking.outcome = Outcome::Adopted;
                if (holdLink(folder, &holder.link, holder.target, taking.held)) return taking;
                continue;  // gone since it was judged
            case Who::OtherHost:
            case Who::OtherNamespace:
            case Who::OlderRunning: taking.outcome = Outcome::Unseen; return taking;
            case Who::Unusable: return failed("cannot use " + link + ": " + holder.reason);
        }
    }
    return failed(link + " comes and goes");
}

}  // namespace platform
