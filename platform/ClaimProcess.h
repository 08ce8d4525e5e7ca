// The processes a claim names: what tells one from every other process, here or on another host, and
// whether the one named still runs. A pid is another process's after a restart, after the process ended,
// or in another pid namespace; a host name is no host's own (a container has one of its own, two machines
// may share one), so a host is known by the kernel's boot id, and an earlier boot by the machine id and the
// name together (see judgeIdentity in ClaimRules.h).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct ProcessIdentity {
    std::string host;     // the host's name, whole: for the messages
    std::string machine;  // /etc/machine-id (else /var/lib/dbus/machine-id); empty when neither is there
    std::string boot;     // the kernel's, /proc/sys/kernel/random/boot_id
    long long pid = 0;
    unsigned long long start = 0;  // after boot, field 22 of /proc/PID/stat
    unsigned long long ns = 0;     // the pid namespace's inode
};

// A boot id or a machine id as the kernel and systemd write them: hex digits and dashes, 64 at most.
bool isIdText(std::string_view text);

// This process's; nothing when /proc does not tell it (`why` says what is missing).
std::optional<ProcessIdentity> thisProcessIdentity(std::string* why = nullptr);

// Whether the process of this boot and pid namespace that started at `start` still runs under `pid` (any start
// when `start` is 0: an older link names no start). Gone when it ended, is a zombie, or the pid is another
// process's (another start, or another user's to a player who is not root); `reason` then says which.
enum class ProcessRuns { Yes, Gone, CannotTell };
ProcessRuns processRuns(long long pid, unsigned long long start, std::string* reason = nullptr);

// Whether this process runs in the kernel's first pid namespace, the host's own, below which every other lies.
bool inFirstPidNamespace();

// Whether the process named (of this host, boot and pid namespace) is one this process runs under: a
// launcher that handed its claim down. Nothing when /proc cannot tell (it is another pid namespace's).
std::optional<bool> runsAbove(const ProcessIdentity& named);

// How a process that runs is held still: stopped by a signal (kill -CONT lets it go on), stopped by its tracer
// (a debugger), or frozen with its cgroup.
enum class Stopped { No, BySignal, ByTracer, Frozen };

// What this process sees of the process a link of this boot names. One of its own pid namespace is looked up by
// its pid: one that /proc does not show but the kernel finds (hidepid hides a process that cannot be dumped) cannot
// be told. One of another is seen only from the kernel's first pid namespace with its own /proc, where every other
// pid namespace lies below and /proc shows all their processes, unless it hides some from this process: the process
// whose pid namespace is the link's and whose last NSpid is the link's pid, its start compared through the offsets
// of its time namespace. Elsewhere (a sandbox's or a container's namespace cannot see a sibling's), where a process
// of this user keeps its pid namespace from this one, or where its start cannot be compared, nothing tells
// (CannotTell).
struct SeenProcess {
    ProcessRuns runs = ProcessRuns::CannotTell;
    long long pid = 0;              // as this process's /proc numbers it, when it runs
    Stopped stopped = Stopped::No;  // when it runs
    bool hidden = false;            // CannotTell: of this pid namespace, there, and hidden by /proc
    std::string reason;             // why it is Gone
};
SeenProcess seeProcess(const ProcessIdentity& named, const ProcessIdentity& self);

}  // namespace platform
