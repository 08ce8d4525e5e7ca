// The processes a claim names, as /proc and the kernel tell them.
#include "platform/ClaimProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <tuple>
#include <vector>

#include "platform/AsciiText.h"

namespace platform {
namespace {

// How far up a launcher is looked for: a shell or two between it and the game.
constexpr int kMostAncestors = 32;
// The inode of the kernel's first pid namespace, the same on every boot: every other pid namespace lies below it.
constexpr unsigned long long kFirstPidNamespace = 0xEFFFFFFCull;

// The node name, whole: gethostname given 64 bytes fails on a name of 64.
std::string hostName() {
    struct utsname names;
    if (::uname(&names) != 0 || names.nodename[0] == '\0') return "localhost";
    return names.nodename;
}

// A small file of /proc or /etc, whole; nothing when it cannot be read (errno set).
// A /proc/PID/status: read whole (a long Groups line may come before the lines looked for), up to this.
constexpr std::size_t kLongestStatus = 64 * 1024;

std::optional<std::string> smallFile(const char* path, std::size_t most = 2048) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[2048];
    ssize_t size = 0;
    while (text.size() < most && (size = ::read(fd, buffer, std::min(sizeof buffer, most - text.size()))) > 0)
        text.append(buffer, static_cast<std::size_t>(size));
    const int error = errno;
    ::close(fd);
    errno = error;
    if (size < 0 || text.empty()) return std::nullopt;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string machineId() {
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        const std::optional<std::string> id = smallFile(path);
        if (id && isIdText(*id)) return *id;
    }
    return "";
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
        const auto end = line.find(' ');
        if (field == index) return line.substr(0, end);
        if (end == std::string_view::npos) return {};
        line.remove_prefix(end);
    }
    return {};
}

// /proc shows this pid namespace's processes (after `unshare --pid` without a /proc of its own it shows the
// parent namespace's, where this process has another pid).
bool procIsThisNamespaces() {
    char self[32] = {};
    const ssize_t size = ::readlink("/proc/self", self, sizeof self - 1);
    return size > 0 && std::string(self, static_cast<std::size_t>(size)) == std::to_string(::getpid());
}

// What the kernel and /proc say of a pid of this pid namespace: the one place a process is looked up.
struct ProcessLook {
    ProcessRuns runs = ProcessRuns::CannotTell;
    unsigned long long start = 0;
    long long parent = 0;
    std::string reason;    // when Gone
    bool stopped = false;  // stopped, or held by a tracer
};

ProcessLook lookUp(long long pid) {
    ProcessLook look;
    if (pid <= 0 || pid > INT_MAX) return look;
    look.runs = ProcessRuns::Gone;
    if (::kill(static_cast<pid_t>(pid), 0) != 0) {
        // A player who is not root may signal every process of its own: one it may not is no game of its
        // own, whatever /proc hides (hidepid).
        if (errno == ESRCH) look.reason = "its process no longer runs";
        if (errno == EPERM && ::geteuid() != 0) look.reason = "its process id is another user's process now";
        if (!look.reason.empty()) return look;
    }
    look.runs = ProcessRuns::CannotTell;
    if (!procIsThisNamespaces()) return look;
    const std::optional<std::string> line = smallFile(("/proc/" + std::to_string(pid) + "/stat").c_str());
    if (!line) {
        if (errno == ENOENT) look = {ProcessRuns::Gone, 0, 0, "its process no longer runs"};
        return look;
    }
    const std::string_view state = statField(*line, 3);
    if (state == "Z" || state == "X") return {ProcessRuns::Gone, 0, 0, "its process has ended (a zombie)"};
    const std::optional<unsigned long long> start = number(statField(*line, 22));
    const std::optional<unsigned long long> parent = number(statField(*line, 4));
    if (start && parent)
        look = {ProcessRuns::Yes, *start, static_cast<long long>(*parent), "", state == "T" || state == "t"};
    return look;
}

// The pid a process of this user started at `start` still runs under (any start when 0).
ProcessLook lookUp(long long pid, unsigned long long start) {
    ProcessLook look = lookUp(pid);
    if (look.runs == ProcessRuns::Yes && start != 0 && look.start != start)
        look = {ProcessRuns::Gone, 0, 0, "its process id is another process's now"};
    return look;
}

// The inode of a process's namespace of a kind ("pid", "time"); 0 where the kernel has none of that kind, nothing
// when it cannot be read (errno set).
std::optional<unsigned long long> namespaceOf(const std::string& process, const char* kind) {
    struct stat ns;
    if (::stat(("/proc/" + process + "/ns/" + kind).c_str(), &ns) == 0) return ns.st_ino;
    if (errno == ENOENT && ::access(("/proc/" + process).c_str(), F_OK) == 0) return 0;
    return std::nullopt;
}

// What /proc/PID/status says of a process: its pid in each pid namespace it is in, from this /proc's down to its
// own (NSpid), and its real and effective users.
struct ProcessStatus {
    std::vector<long long> pids;
    std::vector<long long> users;
};

std::optional<ProcessStatus> statusOf(const std::string& process) {
    const std::optional<std::string> text = smallFile(("/proc/" + process + "/status").c_str(), kLongestStatus);
    if (!text) return std::nullopt;
    ProcessStatus status;
    for (const auto& [key, values, most] :
         {std::make_tuple("\nNSpid:", &status.pids, 64), std::make_tuple("\nUid:", &status.users, 2)}) {
        const auto at = text->find(key);
        if (at == std::string::npos) return std::nullopt;
        std::string_view line = std::string_view(*text).substr(at + std::strlen(key));
        line = line.substr(0, line.find('\n'));
        for (std::string_view rest = line; !rest.empty() && static_cast<int>(values->size()) < most;) {
            const auto start = rest.find_first_not_of(" \t");
            if (start == std::string_view::npos) break;
            rest.remove_prefix(start);
            const auto end = rest.find_first_of(" \t");
            const std::optional<unsigned long long> value = number(rest.substr(0, end));
            if (!value) return std::nullopt;
            values->push_back(static_cast<long long>(*value));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        }
    }
    if (status.pids.empty()) return std::nullopt;
    return status;
}

// The process of another pid namespace a link names, looked for through the whole of /proc (see seeProcess). Its
// start is compared only where its time namespace is this process's: each reads its start through its own.
SeenProcess lookThrough(const ProcessIdentity& named) {
    SeenProcess seen;
    DIR* processes = ::opendir("/proc");
    if (!processes) return seen;
    const std::optional<unsigned long long> ownTime = namespaceOf("self", "time");
    const long long user = ::geteuid();
    bool found = false;
    bool hidden = false;  // a process of this user that may be the one keeps its pid namespace from this one
    while (const dirent* entry = ::readdir(processes)) {
        const std::string process = entry->d_name;
        const std::optional<unsigned long long> pid = number(process);
        if (!pid) continue;
        const std::optional<unsigned long long> ns = namespaceOf(process, "pid");
        if (ns && *ns != named.ns) continue;
        // Its pid in its own namespace, from a pid namespace below this one; one of the link's pid namespace that
        // cannot be told by it may be the one.
        const std::optional<ProcessStatus> status = statusOf(process);
        if (!status) hidden = hidden || ns;
        if (!status || status->pids.size() < 2 || status->pids.back() != named.pid) continue;
        if (!ns) {
            const auto& users = status->users;
            hidden = hidden || std::find(users.begin(), users.end(), user) != users.end();
            continue;
        }
        found = true;
        const std::optional<unsigned long long> time = namespaceOf(process, "time");
        const bool sameTime = time && time == ownTime;
        const ProcessLook look = lookUp(static_cast<long long>(*pid), sameTime ? named.start : 0);
        if (look.runs == ProcessRuns::Gone) seen = {ProcessRuns::Gone, 0, false, look.reason};
        if (look.runs == ProcessRuns::Yes && sameTime)
            seen = {ProcessRuns::Yes, static_cast<long long>(*pid), look.stopped, ""};
        break;
    }
    ::closedir(processes);
    if (!found && !hidden) seen = {ProcessRuns::Gone, 0, false, "its process no longer runs"};
    return seen;
}

}  // namespace

bool isIdText(std::string_view text) {
    if (text.empty() || text.size() > 64) return false;
    for (const char c : text)
        if (!isAsciiDigit(c) && !(c >= 'a' && c <= 'f') && c != '-') return false;
    return true;
}

std::optional<ProcessIdentity> thisProcessIdentity(std::string* why) {
    ProcessIdentity self;
    self.host = hostName();
    self.machine = machineId();
    self.pid = ::getpid();
    const std::optional<std::string> boot = smallFile("/proc/sys/kernel/random/boot_id");
    const std::optional<std::string> stat = smallFile("/proc/self/stat");
    const std::optional<unsigned long long> start = stat ? number(statField(*stat, 22)) : std::nullopt;
    struct stat ns;
    const bool nsKnown = ::stat("/proc/self/ns/pid", &ns) == 0;
    if (!boot || !isIdText(*boot) || !start || !nsKnown) {
        if (why) *why = "/proc does not tell this process from another";
        return std::nullopt;
    }
    self.boot = *boot;
    self.start = *start;
    self.ns = ns.st_ino;
    return self;
}

ProcessRuns processRuns(long long pid, unsigned long long start, std::string* reason) {
    const ProcessLook look = lookUp(pid, start);
    if (reason) *reason = look.reason;
    return look.runs;
}

SeenProcess seeProcess(const ProcessIdentity& named, const ProcessIdentity& self) {
    if (named.ns == self.ns) {
        const ProcessLook look = lookUp(named.pid, named.start);
        return {look.runs, look.runs == ProcessRuns::Yes ? named.pid : 0, look.stopped, look.reason};
    }
    if (self.ns != kFirstPidNamespace || !procIsThisNamespaces()) return {};
    return lookThrough(named);
}

std::optional<bool> runsAbove(const ProcessIdentity& named) {
    if (!procIsThisNamespaces()) return std::nullopt;
    long long process = ::getppid();
    for (int step = 0; step < kMostAncestors && process > 0; ++step) {
        if (process == named.pid) return processRuns(process, named.start) == ProcessRuns::Yes;
        const ProcessLook look = lookUp(process);
        if (look.runs != ProcessRuns::Yes) return false;
        process = look.parent;
    }
    return false;
}

}  // namespace platform
