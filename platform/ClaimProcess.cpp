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
#include <charconv>
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

// The text before the next `separator` (all of it where there is none), taken off the front of `rest`.
std::string_view nextPart(std::string_view& rest, char separator) {
    const std::string_view part = rest.substr(0, rest.find(separator));
    rest.remove_prefix(std::min(rest.size(), part.size() + 1));
    return part;
}

// What a line of a /proc/PID/status text says after its key ("NSpid", "CapEff"); nothing when it has no such line.
std::optional<std::string_view> statusLine(std::string_view text, std::string_view key) {
    const std::string line = "\n" + std::string(key) + ":";
    const auto at = text.find(line);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view value = text.substr(at + line.size());
    return value.substr(0, value.find('\n'));
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
    std::string reason;  // when Gone
    Stopped stopped = Stopped::No;
    bool hidden = false;  // CannotTell: the kernel finds it, /proc does not show it
};

ProcessLook lookUp(long long pid) {
    ProcessLook look;
    if (pid <= 0 || pid > INT_MAX) return look;
    const auto signalError = [pid] { return ::kill(static_cast<pid_t>(pid), 0) == 0 ? 0 : errno; };
    const int error = signalError();
    if (error == ESRCH) return {ProcessRuns::Gone, 0, 0, "its process no longer runs"};
    // A player who is not root may signal every process of its own: one it may not is no game of its own, whatever
    // /proc shows or hides of it.
    if (error == EPERM && ::geteuid() != 0)
        return {ProcessRuns::Gone, 0, 0, "its process id is another user's process now"};
    if (!procIsThisNamespaces()) return look;
    const std::optional<std::string> line = smallFile(("/proc/" + std::to_string(pid) + "/stat").c_str());
    if (!line && errno == ENOENT) {
        // Not shown, yet the kernel found it: /proc hides it (hidepid), unless it ended meanwhile.
        if (signalError() == ESRCH) return {ProcessRuns::Gone, 0, 0, "its process no longer runs"};
        look.hidden = true;
        return look;
    }
    if (!line) return look;
    const std::string_view state = statField(*line, 3);
    if (state == "Z" || state == "X") return {ProcessRuns::Gone, 0, 0, "its process has ended (a zombie)"};
    const std::optional<unsigned long long> start = number(statField(*line, 22));
    const std::optional<unsigned long long> parent = number(statField(*line, 4));
    const Stopped stopped = state == "T" ? Stopped::BySignal : state == "t" ? Stopped::ByTracer : Stopped::No;
    if (start && parent) look = {ProcessRuns::Yes, *start, static_cast<long long>(*parent), "", stopped};
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

// The offset of the boot clock in the time namespace a process runs in, in nanoseconds. /proc shows the offsets of
// the namespace its children get: nothing where that is another, or they cannot be read.
std::optional<long long> bootClockOffset(const std::string& process) {
    const std::optional<unsigned long long> own = namespaceOf(process, "time");
    const std::optional<unsigned long long> children = namespaceOf(process, "time_for_children");
    if (!own || !children || *own != *children) return std::nullopt;
    if (*own == 0) return 0;  // a kernel without time namespaces
    const std::optional<std::string> text = smallFile(("/proc/" + process + "/timens_offsets").c_str());
    const auto at = text ? ("\n" + *text).find("\nboottime ") : std::string::npos;
    if (at == std::string::npos) return std::nullopt;
    long long seconds = 0;
    long long nanoseconds = 0;
    std::string_view rest = std::string_view(*text).substr(at + std::strlen("boottime "));
    for (long long* value : {&seconds, &nanoseconds}) {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        const auto read = std::from_chars(rest.data(), rest.data() + rest.size(), *value);
        if (read.ec != std::errc()) return std::nullopt;
        rest.remove_prefix(static_cast<std::size_t>(read.ptr - rest.data()));
    }
    return seconds * 1000000000LL + nanoseconds;
}

// Whether a process started at `seen`, as this process reads it, is the one that read its own start as `named`:
// each reads it through the boot clock of its own time namespace, in whole clock ticks. Nothing where the offsets
// of their time namespaces cannot be read.
std::optional<bool> sameStart(const std::string& process, unsigned long long named, unsigned long long seen) {
    const std::optional<unsigned long long> ownTime = namespaceOf("self", "time");
    const std::optional<unsigned long long> time = namespaceOf(process, "time");
    if (ownTime && time && *ownTime == *time) return named == seen;
    const std::optional<long long> theirs = bootClockOffset(process);
    const std::optional<long long> own = bootClockOffset("self");
    if (!theirs || !own) return std::nullopt;
    const long long tick = 1000000000LL / std::max(1L, ::sysconf(_SC_CLK_TCK));
    const long long gap = static_cast<long long>(named) * tick - static_cast<long long>(seen) * tick - (*theirs - *own);
    return gap > -tick && gap < tick;  // each rounded down to a tick
}

// The pid a process of this user started at `start` still runs under (any start when 0).
ProcessLook lookUp(long long pid, unsigned long long start) {
    ProcessLook look = lookUp(pid);
    if (look.runs != ProcessRuns::Yes || start == 0) return look;
    const std::optional<bool> same = sameStart(std::to_string(pid), start, look.start);
    if (!same) return {};
    if (!*same) look = {ProcessRuns::Gone, 0, 0, "its process id is another process's now"};
    return look;
}

// Whether a process is frozen with its cgroup: "frozen 1" in the cgroup.events of its cgroup (v2), FROZEN in the
// freezer.state of its freezer cgroup (v1).
bool frozenByCgroup(const std::string& process) {
    const std::optional<std::string> groups = smallFile(("/proc/" + process + "/cgroup").c_str(), 16 * 1024);
    if (!groups) return false;
    // A line: ID:CONTROLLERS:PATH, no controllers for v2's.
    for (std::string_view rest = *groups; !rest.empty();) {
        std::string_view line = nextPart(rest, '\n');
        nextPart(line, ':');
        const std::string controllers(nextPart(line, ':'));
        const std::string path(line);
        if (path.empty()) continue;
        if (controllers.empty()) {
            for (const char* root : {"/sys/fs/cgroup", "/sys/fs/cgroup/unified"}) {
                const std::optional<std::string> events = smallFile((root + path + "/cgroup.events").c_str());
                if (events && ("\n" + *events + "\n").find("\nfrozen 1\n") != std::string::npos) return true;
            }
        } else if (("," + controllers + ",").find(",freezer,") != std::string::npos) {
            const std::optional<std::string> state =
                smallFile(("/sys/fs/cgroup/freezer" + path + "/freezer.state").c_str());
            if (state && *state == "FROZEN") return true;
        }
    }
    return false;
}

// How a process that runs is held still: its state, else its cgroup.
Stopped stoppedHow(const std::string& process, Stopped byState) {
    return byState != Stopped::No ? byState : frozenByCgroup(process) ? Stopped::Frozen : Stopped::No;
}

// The inode of the kernel's first user namespace, the same on every boot; the capability that lets a process see
// every other whatever /proc hides; the most of /proc/self/mountinfo read.
constexpr unsigned long long kFirstUserNamespace = 0xEFFFFFFDull;
constexpr int kCapSysPtrace = 19;
constexpr std::size_t kLongestMountInfo = 1024 * 1024;

// Whether this process holds CAP_SYS_PTRACE in the kernel's first user namespace.
bool tracesEveryProcess() {
    struct stat ns;
    const std::optional<std::string> status = smallFile("/proc/self/status", kLongestStatus);
    const std::optional<std::string_view> line = status ? statusLine(*status, "CapEff") : std::nullopt;
    if (!line || ::stat("/proc/self/ns/user", &ns) != 0 || ns.st_ino != kFirstUserNamespace) return false;
    const auto digits = line->find_first_not_of(" \t");
    unsigned long long capabilities = 0;
    if (digits == std::string_view::npos ||
        std::from_chars(line->data() + digits, line->data() + line->size(), capabilities, 16).ec != std::errc())
        return false;
    return (capabilities >> kCapSysPtrace) & 1u;
}

// Whether the /proc this process reads may hide processes from it: the last proc mounted on /proc, as
// /proc/self/mountinfo says, with hidepid (any but off) or subset=pid, unless this process sees every process
// (CAP_SYS_PTRACE in the first user namespace, or the group that mount names).
bool procHidesProcesses() {
    const std::optional<std::string> mounts = smallFile("/proc/self/mountinfo", kLongestMountInfo);
    if (!mounts) return true;
    // A line: ID PARENT DEVICE ROOT MOUNT-POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER-OPTIONS
    std::string_view options;
    for (std::string_view rest = *mounts; !rest.empty();) {
        const std::string_view line = nextPart(rest, '\n');
        const auto separator = line.find(" - proc ");
        std::string_view fields = line.substr(0, separator);
        for (int skip = 0; skip < 4; ++skip) nextPart(fields, ' ');
        if (separator == std::string_view::npos || nextPart(fields, ' ') != "/proc") continue;
        std::string_view super = line.substr(separator + std::strlen(" - proc "));
        nextPart(super, ' ');
        options = super;
    }
    bool hides = false;
    std::optional<unsigned long long> seeingGroup;
    while (!options.empty()) {
        const std::string_view option = nextPart(options, ',');
        const std::string_view value = option.substr(std::min(option.size(), option.find('=') + 1));
        if (option == "subset=pid" || (option.substr(0, 8) == "hidepid=" && value != "0" && value != "off"))
            hides = true;
        if (option.substr(0, 4) == "gid=") seeingGroup = number(value);
    }
    if (!hides || tracesEveryProcess()) return false;
    if (!seeingGroup) return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
    groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(static_cast<int>(groups.size()), groups.data()))));
    groups.push_back(::getegid());
    return std::find(groups.begin(), groups.end(), static_cast<gid_t>(*seeingGroup)) == groups.end();
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
         {std::make_tuple("NSpid", &status.pids, 64), std::make_tuple("Uid", &status.users, 2)}) {
        const std::optional<std::string_view> line = statusLine(*text, key);
        if (!line) return std::nullopt;
        for (std::string_view rest = *line; !rest.empty() && static_cast<int>(values->size()) < most;) {
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

// The process of another pid namespace a link names, looked for through the whole of /proc (see seeProcess).
SeenProcess lookThrough(const ProcessIdentity& named) {
    SeenProcess seen;
    DIR* processes = ::opendir("/proc");
    if (!processes) return seen;
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
        const ProcessLook look = lookUp(static_cast<long long>(*pid));
        if (look.runs == ProcessRuns::Gone) seen.reason = look.reason;
        if (look.runs == ProcessRuns::Yes) {
            const std::optional<bool> same = sameStart(process, named.start, look.start);
            if (same == false) seen.reason = "its process id is another process's now";
            if (same == true)
                seen = {ProcessRuns::Yes, static_cast<long long>(*pid), stoppedHow(process, look.stopped), false, ""};
        }
        if (!seen.reason.empty()) seen.runs = ProcessRuns::Gone;
        break;
    }
    ::closedir(processes);
    // Nothing there is gone only where /proc shows every process to this one.
    if (!found && !hidden && !procHidesProcesses())
        seen = {ProcessRuns::Gone, 0, Stopped::No, false, "its process no longer runs"};
    return seen;
}

}  // namespace

bool inFirstPidNamespace() {
    struct stat ns;
    return ::stat("/proc/self/ns/pid", &ns) == 0 && ns.st_ino == kFirstPidNamespace;
}

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
        const bool runs = look.runs == ProcessRuns::Yes;
        return {look.runs, runs ? named.pid : 0,
                runs ? stoppedHow(std::to_string(named.pid), look.stopped) : Stopped::No, look.hidden, look.reason};
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
