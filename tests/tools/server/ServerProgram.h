// The stargrid-server program run as a child process for one test, what it prints read line by line.
#pragma once
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace stargrid_server::test {

constexpr const char* kListening = "stargrid-server: listening on http://127.0.0.1:";

// The server program run with the arguments, its standard output and error read line by line.
class ServerProgram {
public:
    // `inChild` runs in the child just before the program.
    explicit ServerProgram(std::vector<std::string> args, const std::function<void()>& inChild = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            if (inChild) inChild();
            dup2(out[1], STDOUT_FILENO);
            dup2(out[1], STDERR_FILENO);
            close(out[0]);
            std::vector<char*> argv{const_cast<char*>(STARGRID_SERVER_EXECUTABLE)};
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(STARGRID_SERVER_EXECUTABLE, argv.data());
            _exit(127);
        }
        close(out[1]);
        fd_ = out[0];
    }
    ~ServerProgram() {
        if (child_ > 0 && !exited_) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    ServerProgram(const ServerProgram&) = delete;
    ServerProgram& operator=(const ServerProgram&) = delete;

    // The next line it prints; empty once it has closed its output or nothing came for 20 s.
    std::string nextLine() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            if (auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
            pollfd ready{fd_, POLLIN, 0};
            if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) return {};
            char bytes[256];
            const ssize_t got = read(fd_, bytes, sizeof bytes);
            if (got <= 0) return std::exchange(buffer_, std::string());
            buffer_.append(bytes, static_cast<std::size_t>(got));
        }
    }
    // Every line until it closes its output.
    std::string rest() {
        std::string all;
        for (std::string line = nextLine(); !line.empty(); line = nextLine()) all += line + "\n";
        return all;
    }
    void signal(int number) { kill(child_, number); }
    // Its exit status; -1 when it was ended by a signal.
    int waitForExit() {
        int status = 0;
        if (waitpid(child_, &status, 0) != child_) return -1;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool started() const { return child_ > 0 && fd_ >= 0; }
    pid_t pid() const { return child_; }

private:
    pid_t child_ = -1;
    int fd_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

// The mode bits of a path itself; -1 when it is not there.
inline int modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

}  // namespace stargrid_server::test
