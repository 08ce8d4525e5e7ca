// A process of this host standing for another launch on a player's folder: it makes the folder's claim link
// naming itself (its target as the test writes it from the process's identity: another start time, boot or
// pid namespace, an older form), then waits until it is ended. A sandboxed one is the first process of a pid
// namespace of its own (root only), and one may run in a time namespace of its own.
#pragma once
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/ClaimLink.h"
#include "platform/ClaimProcess.h"

namespace kite::test {

// Targets naming the process that makes the link, one part of it changed: its pid another process's now (also
// in the previous version's form), made before this host last started, of another pid namespace (its maker
// holding a lock, or none), of another machine (with its own name, or with this host's), of a clone of this
// machine (its machine id, another name), of this host under another name (a container's), and an older
// version's form. The process holds no lock on the folder; a target says what its maker held.
namespace linkTarget {
using platform::MakersLock;
using platform::ProcessIdentity;
// The target naming the process as `change` leaves it, its maker holding `lock`.
inline auto changed(void (*change)(ProcessIdentity&), MakersLock lock = MakersLock::None) {
    return [change, lock](ProcessIdentity named) {
        change(named);
        return claimLinkText(named, lock);
    };
}
inline std::string asItIs(const ProcessIdentity& named) { return claimLinkText(named, MakersLock::None); }
const auto anotherStart = changed([](ProcessIdentity& named) { named.start += 1; });
// As the previous version wrote it (no machine id, no lock).
const auto anotherStartInThePreviousForm = changed(
    [](ProcessIdentity& named) {
        named.start += 1;
        named.machine.clear();
    },
    MakersLock::Unsaid);
const auto earlierBoot = changed([](ProcessIdentity& named) { named.boot = "0-0"; });
const auto otherNamespace = changed([](ProcessIdentity& named) { named.ns += 1; }, MakersLock::Held);
const auto otherNamespaceWithoutLock = changed([](ProcessIdentity& named) { named.ns += 1; });
const auto otherMachine = changed([](ProcessIdentity& named) {
    named.boot = "0-0";
    named.machine = "00000000000000000000000000000000";
});
const auto otherHost = changed([](ProcessIdentity& named) {
    named.boot = "0-0";
    named.machine = "00000000000000000000000000000000";
    named.host = "else.example";
});
const auto clone = changed([](ProcessIdentity& named) {
    named.boot = "0-0";
    named.host = "clone.example";
});
const auto anotherHostName = changed([](ProcessIdentity& named) { named.host = "container.example"; });
inline std::string olderForm(const ProcessIdentity& named) { return named.host + ":" + std::to_string(named.pid); }
}  // namespace linkTarget

class LinkingProcess {
public:
    using Target = std::function<std::string(platform::ProcessIdentity)>;
    // `before` runs in the child first (to become another user); its failure ends the child. With a boot clock
    // offset (seconds), the process runs in a time namespace of its own whose boot clock is that far ahead.
    explicit LinkingProcess(const std::string& folder, const Target& target = linkTarget::asItIs,
                            const std::function<bool()>& before = nullptr, bool sandboxed = false,
                            long long bootClockOffset = 0) {
        int ready[2];
        int made[2];  // from a sandboxed one to its parent
        if (::pipe(ready) != 0) return;
        if (::pipe(made) != 0) {
            ::close(ready[0]);
            ::close(ready[1]);
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            // Sandboxed (or in a time namespace): the child of this one, the first in its namespaces, makes the
            // link; this one says which pid it is here, and ends with it.
            pid_t linking = 0;
            const int namespaces = (sandboxed ? CLONE_NEWPID : 0) | (bootClockOffset != 0 ? CLONE_NEWTIME : 0);
            if (namespaces != 0 &&
                (::unshare(namespaces) != 0 || !offsetBootClock(bootClockOffset) || (linking = ::fork()) < 0))
                ::_exit(1);
            if (linking > 0) {
                char linked = 0;
                ::close(made[1]);
                if (::read(made[0], &linked, 1) == 1) (void)!::write(ready[1], &linking, sizeof linking);
                ::waitpid(linking, nullptr, 0);
                ::_exit(0);
            }
            const auto self = platform::thisProcessIdentity();
            const std::string link = folder + "/" + platform::kClaimLinkName;
            if ((before && !before()) || !self || ::symlink(target(*self).c_str(), link.c_str()) != 0) ::_exit(1);
            const pid_t pid = ::getpid();
            (void)!(namespaces != 0 ? ::write(made[1], "1", 1) : ::write(ready[1], &pid, sizeof pid));
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(made[0]);
        ::close(made[1]);
        planted_ = pid_ > 0 && ::read(ready[0], &seen_, sizeof seen_) == sizeof seen_;
        ::close(ready[0]);
    }
    ~LinkingProcess() {
        if (pid_ <= 0) return;
        // A sandboxed one's parent reaps it and ends: once that parent is waited for, it is gone.
        ::kill(seen_ > 0 ? seen_ : pid_, SIGKILL);
        if (seen_ <= 0 || seen_ == pid_ || !planted_) ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    LinkingProcess(const LinkingProcess&) = delete;
    LinkingProcess& operator=(const LinkingProcess&) = delete;

    // The link is there and its process runs.
    bool planted() const { return planted_; }
    pid_t pid() const { return pid_; }
    // The process that made the link, by the pid this process sees it by.
    pid_t seen() const { return seen_; }

private:
    // The boot clock of the time namespace this process's children get, `seconds` ahead (none: as it is).
    static bool offsetBootClock(long long seconds) {
        if (seconds == 0) return true;
        const std::string offset = std::to_string(CLOCK_BOOTTIME) + " " + std::to_string(seconds) + " 0\n";
        const int fd = ::open("/proc/self/timens_offsets", O_WRONLY | O_CLOEXEC);
        const bool written =
            fd >= 0 && ::write(fd, offset.data(), offset.size()) == static_cast<ssize_t>(offset.size());
        if (fd >= 0) ::close(fd);
        return written;
    }

    pid_t pid_ = -1;
    pid_t seen_ = 0;
    bool planted_ = false;
};

}  // namespace kite::test
