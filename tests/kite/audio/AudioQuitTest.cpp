// A quit is never held by an audio device that does not stop: OpenAL's mixing threads spin for ever
// once the wall clock goes back, and pausing or closing their device waits on them. The game's quit
// (the background step's pause, then the audio's end) runs in a child process of this binary whose
// wall clock a small library put in front of the C library turns back.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "kite/audio/SimpleAudioEngine.h"
#include "kite/audio/linux/SimpleAudioEngine.h"
#include "platform/AudioSession.h"
#include "platform/OpenALContext.h"

extern char** environ;

namespace {

const char* const kChildVariable = "STARGRID_AUDIO_QUIT_CHILD";

// Runs only as the child: plays music and an effect, turns the wall clock back an hour once both
// devices mix, then quits as the game does.
TEST(AudioQuitChild, QuitsAfterTheWallClockWentBack) {
    if (!std::getenv(kChildVariable)) GTEST_SKIP() << "runs in the child of AudioQuit";
    using TurnBack = void (*)(long);
    using Readers = int (*)();
    const auto turnBack = reinterpret_cast<TurnBack>(dlsym(RTLD_DEFAULT, "stargrid_turn_wall_clock_back"));
    const auto readers = reinterpret_cast<Readers>(dlsym(RTLD_DEFAULT, "stargrid_wall_clock_readers"));
    ASSERT_TRUE(turnBack && readers) << "the wall clock library is not in front of the C library";
    kite::test::ToneFolder tones;
    KiteAudio::SimpleAudioEngine* audio = KiteAudio::SimpleAudioEngine::getInstance();
    audio->playBackgroundMusic(tones.tone("song.wav", 3.0).c_str(), true);
    audio->playEffect(tones.tone("pop.wav", 0.5).c_str(), true);
    turnBack(3600);
    // Both devices' mixing threads have read the clock set back, so neither stops any more.
    ASSERT_TRUE(kite::test::pumpUntil([&] { return readers() >= 2; }, std::chrono::seconds(10)));
    platform::AudioSession::shared().beginInterruption();
    kite::audio::SimpleAudioEngine::end();
    kite::test::drainAutoreleasePool();
}

struct ChildRun {
    int status = -1;  // the exit code; -1 when a signal ended it or it was stuck and killed
    std::string said;
};

ChildRun runQuitChild() {
    // A sanitized build checks that its runtime comes first; the clock library must, to be used.
    const char* sanitizerOptions = std::getenv("ASAN_OPTIONS");
    std::vector<std::string> variables = {std::string(kChildVariable) + "=1", "ALSOFT_DRIVERS=null",
                                          std::string("LD_PRELOAD=") + STARGRID_WALL_CLOCK_SHIM,
                                          std::string("ASAN_OPTIONS=") +
                                              (sanitizerOptions ? sanitizerOptions + std::string(":") : "") +
                                              "verify_asan_link_order=0"};
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("ALSOFT_", 0) != 0 && variable.rfind("LD_PRELOAD=", 0) != 0 &&
            variable.rfind("ASAN_OPTIONS=", 0) != 0)
            variables.push_back(variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=AudioQuitChild.*";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ChildRun run;
    // Its standard error ends when it does; one stuck past a minute is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    pollfd ready{out[0], POLLIN, 0};
    char buffer[4096];
    while (spawned == 0 && std::chrono::steady_clock::now() < deadline && ::poll(&ready, 1, 100) >= 0) {
        if (!(ready.revents & (POLLIN | POLLHUP))) continue;
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0) break;
        run.said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    if (spawned != 0) return run;
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == 0) ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

TEST(AudioQuit, ADeviceThatDoesNotStopDoesNotHoldTheQuit) {
    if (std::getenv(kChildVariable)) GTEST_SKIP();
    const ChildRun run = runQuitChild();
    EXPECT_EQ(run.status, 0) << run.said;
    const std::string line =
        "OpenAL: an audio device did not stop within 2 s; it is left as it is and the game goes on without sound\n";
    const std::size_t first = run.said.find(line);
    EXPECT_NE(first, std::string::npos) << run.said;
    EXPECT_EQ(run.said.find(line, first + 1), std::string::npos) << "said more than once:\n" << run.said;
}

// The bound itself: a call that never returns is left after its time, one that returns is waited for.
TEST(AudioQuit, ABoundedCallIsLeftOnlyWhenItDoesNotReturn) {
    if (std::getenv(kChildVariable)) GTEST_SKIP();
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    EXPECT_FALSE(platform::runBounded([released] { released.wait(); }, std::chrono::milliseconds(50)));
    release->set_value();  // the call left behind ends with the test
    bool ran = false;
    EXPECT_TRUE(platform::runBounded([&ran] { ran = true; }, std::chrono::seconds(30)));
    EXPECT_TRUE(ran);
}

}  // namespace
