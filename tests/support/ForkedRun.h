// Runs a step in a forked child, so a step that blocks for good fails its test instead of stopping
// the whole binary; and lets file modes bind a thread of a test run as root.
#pragma once
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace kite {
namespace test {

struct ForkedOutcome {
    bool exited = false;  // false: ended by a signal (its alarm, when it blocked)
    int status = -1;      // the exit status the step returned
    int signal = 0;       // the signal that ended it
    std::string output;   // what it wrote to standard error
};

// The step's return value becomes the child's exit status. The alarm is a guard against blocking
// for good, not a measure of speed.
inline ForkedOutcome runForked(const std::function<int()>& step, unsigned guardSeconds = 20) {
    ForkedOutcome outcome;
    int channel[2];
    if (::pipe(channel) != 0) return outcome;
    const pid_t child = ::fork();
    if (child < 0) return outcome;
    if (child == 0) {
        ::close(channel[0]);
        ::dup2(channel[1], STDERR_FILENO);
        ::close(channel[1]);
        ::alarm(guardSeconds);
        ::_exit(step());
    }
    ::close(channel[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        outcome.output.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.exited = WIFEXITED(status);
    if (outcome.exited) outcome.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    return outcome;
}

// While it lives, file modes bind this thread even when the tests run as root: the capabilities
// that pass over them leave the effective set (they stay permitted, so they come back).
class ModesBind {
public:
    ModesBind() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct bound[2] = {saved_[0], saved_[1]};
        bound[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        bound_ = ::syscall(SYS_capset, &header_, bound) == 0;
    }
    ~ModesBind() {
        if (bound_) ::syscall(SYS_capset, &header_, saved_);
    }
    ModesBind(const ModesBind&) = delete;
    ModesBind& operator=(const ModesBind&) = delete;
    bool bound() const { return bound_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool bound_ = false;
};

}  // namespace test
}  // namespace kite
