// The processes a claim names, as /proc and the kernel tell them.
#include "platform/ClaimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/AsciiText.h"

namespace platform {
namespace {

// How far up a launcher is looked for: a shell or two between it and the game.
constexpr int kMostAncestors = 32;

// The node name, whole: gethostname given 64 bytes fails on a name of 64.
std::string hostName() {
    struct utsname names;
    if (::uname(&names) != 0 || names.nodename[0] == '\0') return "localhost";
    return names.nodename;
}

// A small file of /proc or /etc, whole; nothing when it cannot be read (errno set).
std::optional<std::string> smallFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[2048];
    const ssize_t size = ::read(fd, buffer, sizeof buffer);
    const int error = errno;
    ::close(fd);
    errno = error;
    if (size <= 0) return std::nullopt;
    std::string text(buffer, static_cast<std::size_t>(size));
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
    std::string reason;  // when Gone
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
    if (start && parent) look = {ProcessRuns::Yes, *start, static_cast<long long>(*parent), ""};
    return look;
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
    ProcessLook look = lookUp(pid);
    if (look.runs == ProcessRuns::Yes && start != 0 && look.start != start)
        look = {ProcessRuns::Gone, 0, 0, "its process id is another process's now"};
    if (reason) *reason = look.reason;
    return look.runs;
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
