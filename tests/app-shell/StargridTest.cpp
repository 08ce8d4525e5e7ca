// Runs the game executable as a user or a script would, and checks how it ends.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

// The game running in a child process, its standard output read line by line.
class Game {
public:
    // env: "NAME=value" to set, "NAME" alone to remove.
    Game(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            for (const std::string& e : env) {
                auto eq = e.find('=');
                if (eq == std::string::npos)
                    unsetenv(e.c_str());
                else
                    setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
            std::vector<char*> argv{const_cast<char*>(STARGRID_EXECUTABLE)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(STARGRID_EXECUTABLE, argv.data());
            _exit(127);
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
    void signal(int number) { kill(pid_, number); }

    // Waits (bounded) for a line containing text; true when it came.
    bool waitForLine(const std::string& text, std::chrono::seconds timeout = std::chrono::seconds(20)) {
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
    std::optional<int> waitForExit(std::chrono::seconds timeout = std::chrono::seconds(20)) {
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
        while (read(Clock::now())) {
        }
        if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
        return WEXITSTATUS(*status_);
    }

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

TEST(Stargrid, RunsTheGivenFramesHeadlessWithoutADisplayAndExitsZero) {
    Game game({"--frames", "30"}, {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY", "STARGRID_DEVICE"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre("stargrid: running on iphone5 (640x1136), headless",
                                          "stargrid: entering the background", "stargrid: quit"));
}

TEST(Stargrid, FixedStepRunsAHundredAndTwentyFrames) {
    Game game({"--frames", "120", "--fixed-step", "--device", "iphone4"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    ASSERT_FALSE(game.shellLines().empty());
    EXPECT_THAT(game.shellLines().front(), HasSubstr("running on iphone4 (640x960)"));
}

TEST(Stargrid, SigtermRunsTheBackgroundThenQuitsWithStatusZero) {
    Game game({}, {"STARGRID_DEVICE=ipad"});
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitForLine("running on ipad (768x1024)"));
    game.signal(SIGTERM);
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre(HasSubstr("running on ipad"), "stargrid: entering the background",
                                          "stargrid: quit"));
}

TEST(Stargrid, UserSignalsAlternateBackgroundAndForeground) {
    Game game({});
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitForLine("running on"));
    game.signal(SIGUSR1);
    ASSERT_TRUE(game.waitForLine("entering the background"));
    game.signal(SIGUSR1);  // already in the background: nothing
    game.signal(SIGUSR2);
    ASSERT_TRUE(game.waitForLine("entering the foreground"));
    game.signal(SIGUSR2);  // already in the foreground: nothing
    game.signal(SIGTERM);
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(),
                ElementsAre(HasSubstr("running on"), "stargrid: entering the background",
                            "stargrid: entering the foreground", "stargrid: entering the background",
                            "stargrid: quit"));
}

TEST(Stargrid, ZeroFramesQuitsAtOnce) {
    Game game({"--frames", "0"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre(HasSubstr("running on"), "stargrid: entering the background",
                                          "stargrid: quit"));
}

TEST(Stargrid, UnreachableDisplayMeansHeadless) {
    Game game({"--frames", "10"}, {"SDL_VIDEODRIVER", "DISPLAY=:987", "WAYLAND_DISPLAY"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    ASSERT_FALSE(game.shellLines().empty());
    EXPECT_THAT(game.shellLines().front(), HasSubstr(", headless"));
}

// An X server of the test's own, on a display number it picks itself.
class Xvfb {
public:
    Xvfb() {
        if (access("/usr/bin/Xvfb", X_OK) != 0) return;
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                  "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        std::string number;
        char c;
        while (poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

TEST(Stargrid, RunsInAWindowWhenADisplayIsThere) {
    Xvfb server;
    if (server.display().empty()) GTEST_SKIP() << "no Xvfb to open a window on";
    Game game({"--frames", "30"}, {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "DISPLAY=" + server.display()});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre("stargrid: running on iphone5 (640x1136)",
                                          "stargrid: entering the background", "stargrid: quit"));
}

TEST(Stargrid, BadOptionsExitWithStatusTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--device", "iphone6"}, {"--frames", "ten"}, {"--frames", "-3"}, {"--frames"}, {"--bogus"}}) {
        Game game(args);
        EXPECT_EQ(game.waitForExit(), 2) << args[0];
    }
    Game game({"--frames", "1"}, {"STARGRID_DEVICE=pixel"});
    EXPECT_EQ(game.waitForExit(), 2);
}

}  // namespace
