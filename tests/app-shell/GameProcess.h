// The game executable running in a child process, its standard output read line by line.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace stargrid::test {

// The most a wait for the game's next line or its end lasts, unless a test gives its own. A start-up or a run
// of frames that takes a second on an idle machine has taken over 20 s beside a whole test suite and a load of
// twice the cores; the bound only ends a wait for something that does not come.
constexpr std::chrono::seconds kGameWait{120};

// In a forked child: applies the environment changes ("NAME=value" to set, "NAME" alone to remove) and
// becomes the game with these arguments, or the program `wrapper` names (found on the PATH) with its
// arguments, then the game's path and these; ends the child with status 127 when it cannot.
[[noreturn]] inline void execGame(const std::vector<std::string>& args, const std::vector<std::string>& env,
                                  const std::vector<std::string>& wrapper = {}) {
    for (const std::string& e : env) {
        const auto eq = e.find('=');
        if (eq == std::string::npos)
            unsetenv(e.c_str());
        else
            setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    for (const std::string& w : wrapper) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(const_cast<char*>(STARGRID_EXECUTABLE));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// The game running in a child process, its standard output (and, when asked, its standard error) read
// line by line.
class Game {
    using Clock = std::chrono::steady_clock;

public:
    // env: "NAME=value" to set, "NAME" alone to remove. prepare runs in the child first; its failure
    // ends the child with status 126. wrapper: a program that runs the game (see execGame).
    Game(const std::vector<std::string>& args, const std::vector<std::string>& env = {}, bool withStandardError = false,
         const std::function<bool()>& prepare = nullptr, const std::vector<std::string>& wrapper = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            if (prepare && !prepare()) _exit(126);
            dup2(out[1], STDOUT_FILENO);
            if (withStandardError) dup2(out[1], STDERR_FILENO);
            close(out[0]);
            close(out[1]);
            execGame(args, env, wrapper);
        }
        close(out[1]);
        fd_ = out[0];
        fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~Game() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }

    bool started() const { return pid_ > 0 && fd_ >= 0; }
    pid_t pid() const { return pid_; }
    void signal(int number) { kill(pid_, number); }

    // Waits (bounded) for a line containing text; true when it came.
    bool waitForLine(const std::string& text, std::chrono::seconds timeout = kGameWait) {
        auto deadline = Clock::now() + timeout;
        for (;;) {
            for (std::size_t i = scanned_; i < lines_.size(); ++i) {
                if (lines_[i].find(text) != std::string::npos) {
                    scanned_ = i + 1;
                    return true;
                }
            }
            scanned_ = lines_.size();
            if (Clock::now() >= deadline || !read(deadline)) return false;
        }
    }

    // Waits (bounded) for the exit; the exit status, or nothing when it did not end normally in time.
    std::optional<int> waitForExit(std::chrono::seconds timeout = kGameWait) {
        auto deadline = Clock::now() + timeout;
        while (!status_ && Clock::now() < deadline) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                status_ = status;
                break;
            }
            read(std::min(deadline, Clock::now() + std::chrono::milliseconds(20)));
        }
        while (read(Clock::now())) {}
        if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
        return WEXITSTATUS(*status_);
    }

    // The signal that ended it; 0 while it runs or when it exited.
    int endSignal() const { return status_ && WIFSIGNALED(*status_) ? WTERMSIG(*status_) : 0; }

    const std::vector<std::string>& lines() const { return lines_; }
    // The shell's own lines ("stargrid: ..."), without the game's network chatter.
    std::vector<std::string> shellLines() const {
        std::vector<std::string> shell;
        for (const std::string& line : lines_)
            if (line.rfind("stargrid: ", 0) == 0) shell.push_back(line);
        return shell;
    }

private:
    // Reads what is there until the deadline; false at the end of the output or on time-out.
    bool read(Clock::time_point deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::max<long long>(0, left))) <= 0) return false;
        char buffer[4096];
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        partial_.append(buffer, static_cast<std::size_t>(n));
        for (auto nl = partial_.find('\n'); nl != std::string::npos; nl = partial_.find('\n')) {
            lines_.push_back(partial_.substr(0, nl));
            partial_.erase(0, nl + 1);
        }
        return true;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::optional<int> status_;
    std::string partial_;
    std::vector<std::string> lines_;
    std::size_t scanned_ = 0;
};

// The environment with a home on NFS, as the test shim answers locks there: "lockd" (with its lock
// service) or "none" (without); any other mode leaves them as the local file system answers them.
inline std::vector<std::string> onNfs(std::vector<std::string> env, const std::string& mode) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.insert(env.end(), {"LD_PRELOAD=" STARGRID_NFS_LOCKS_SHIM, "STARGRID_TEST_NFS_LOCKS=" + mode,
                           "ASAN_OPTIONS=" + std::string(asan && *asan ? std::string(asan) + ":" : "") +
                               "verify_asan_link_order=0"});
    return env;
}

}  // namespace stargrid::test
