#include "platform/Signals.h"

#include <SDL2/SDL_hints.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/PrintableText.h"

namespace platform {

namespace {

// SIGHUP: the terminal the game runs in was closed, which quits like SIGTERM.
constexpr int kLifecycleSignals[] = {SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP};

int signalDescriptor = -1;
pthread_t watchingThread;
// SIGHUP ignored when the game started (nohup): the user asked it to outlive its terminal, so it
// stays ignored and is not watched. Blocked, it would stay pending and reach the descriptor.
bool hangUpIgnored = false;

bool watched(int number) { return !(number == SIGHUP && hangUpIgnored); }

// A thread that a library started before the signals were blocked (WebKit's
// script engine starts one as it loads) may be the one a signal is delivered
// to: it hands the signal on to the watching thread, which blocks it, so it
// waits there for the descriptor.
void handOnToWatchingThread(int number) { pthread_kill(watchingThread, number); }

// The watched ones among the signals.
template <std::size_t N>
sigset_t watchedAmong(const int (&numbers)[N]) {
    sigset_t set;
    sigemptyset(&set);
    for (int number : numbers) {
        if (watched(number)) sigaddset(&set, number);
    }
    return set;
}

sigset_t lifecycleSignals() { return watchedAmong(kLifecycleSignals); }

void handOn(int number) {
    struct sigaction action = {};
    action.sa_handler = handOnToWatchingThread;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

// Whether WebKit's script engine can take the text as its signal and leave everyone else's alone: a
// whole number naming a real-time signal past the first that nothing has a handler on. Any other
// signal means something already (SIGCHLD to the spawns WebKit waits on, SIGSEGV to everyone), and
// the engine's handler crashes on one it did not send.
bool namesAFreeSignal(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || number <= SIGRTMIN || number > SIGRTMAX) return false;
    struct sigaction current;
    return sigaction(static_cast<int>(number), nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
           current.sa_handler == SIG_DFL;
}

// WebKit's script engine puts its own handler on SIGUSR1, which crashes on a signal it did not
// send, and unblocks it in every thread it knows. It reads JSC_SIGNAL_FOR_GC when it starts, in
// this process and in WebKit's own: set here, while no other thread can be reading the environment.
void steerScriptEngineOffLifecycleSignals() {
    const char* given = std::getenv("JSC_SIGNAL_FOR_GC");
    if (given && *given && namesAFreeSignal(given)) return;
    const std::string collector = std::to_string(SIGRTMIN + 1);
    if (given && *given) {
        std::fprintf(stderr, "Signals: JSC_SIGNAL_FOR_GC \"%s\" is not a signal WebKit may take; it takes %s\n",
                     printableText(given, 40).c_str(), collector.c_str());
    }
    setenv("JSC_SIGNAL_FOR_GC", collector.c_str(), 1);
}

// The termination requests among the lifecycle signals.
constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

sigset_t quitSignals() { return watchedAmong(kQuitSignals); }

const char* signalName(int number) {
    switch (number) {
        case SIGTERM: return "SIGTERM";
        case SIGINT: return "SIGINT";
        case SIGHUP: return "SIGHUP";
        default: return "a quit request";
    }
}

std::atomic<const char*> startupAt{nullptr};
int startupDone = -1;  // an event descriptor, set once the loop runs
std::string heldStep;  // STARGRID_STARTUP_HOLD
std::string stepsPassed;  // quoted, for a hold that names none of them
// The watching thread's end, which startupReachedLoop waits for: past it, no quit request ends the process.
std::mutex watchMutex;
std::condition_variable watchEnded;
bool watching = false;

// Waits until start-up reaches the loop or a quit request is pending; on a request, the loop gets the
// grace to take it. The request is only looked at, never read: the loop takes it as usual.
void watchStartupUntilLoop(int quitDescriptor) {
    pollfd descriptors[2] = {{startupDone, POLLIN, 0}, {quitDescriptor, POLLIN, 0}};
    for (;;) {
        const int ready = poll(descriptors, 2, -1);
        if (ready > 0) break;
        if (ready < 0 && errno != EINTR) return;
    }
    if (descriptors[0].revents) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartupQuitGraceSeconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd done = {startupDone, POLLIN, 0};
        const int ready = poll(&done, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready > 0) return;
        if (ready == 0) break;
        if (errno != EINTR) return;
    }
    sigset_t pending;
    sigpending(&pending);
    int number = 0;
    for (int quit : kQuitSignals) {
        if (!number && watched(quit) && sigismember(&pending, quit)) number = quit;
    }
    const char* step = startupAt.load();
    const std::string where = step ? std::string("get past \"") + step + "\"" : std::string("reach the game");
    std::fprintf(stderr, "%s: %s during start-up, which did not %s within %d s; quitting\n",
                 program_invocation_short_name, signalName(number), where.c_str(), kStartupQuitGraceSeconds);
    std::fflush(stdout);
    // Without clean-up: the stuck thread may hold what it would need.
    std::_Exit(1);
}

}  // namespace

void watchLifecycleSignals() {
    if (signalDescriptor >= 0) return;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    steerScriptEngineOffLifecycleSignals();
    struct sigaction hangUp;
    hangUpIgnored = sigaction(SIGHUP, nullptr, &hangUp) == 0 && !(hangUp.sa_flags & SA_SIGINFO) &&
                    hangUp.sa_handler == SIG_IGN;
    sigset_t set = lifecycleSignals();
    watchingThread = pthread_self();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    for (int number : kLifecycleSignals) {
        if (watched(number)) handOn(number);
    }
    signalDescriptor = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalDescriptor < 0) std::perror("platform: signalfd");
}

void reclaimLifecycleSignals() {
    if (signalDescriptor < 0) return;
    for (int number : kLifecycleSignals) {
        struct sigaction current;
        if (!watched(number) || sigaction(number, nullptr, &current) != 0 ||
            current.sa_handler == handOnToWatchingThread)
            continue;
        std::fprintf(stderr, "Signals: a library took signal %d; it is the game's again\n", number);
        handOn(number);
    }
    if (!pthread_equal(pthread_self(), watchingThread)) return;
    sigset_t blocked;
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    for (int number : kLifecycleSignals) {
        if (watched(number) && !sigismember(&blocked, number))
            std::fprintf(stderr, "Signals: a library unblocked signal %d on the main thread; it is blocked again\n",
                         number);
    }
    sigset_t set = lifecycleSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

namespace {
void onFileSizeLimit(int) {}
}  // namespace

void keepFileSizeLimitFromEndingTheProcess() {
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) != 0) return;
    if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) return;
    struct sigaction quiet {};
    quiet.sa_handler = onFileSizeLimit;
    sigemptyset(&quiet.sa_mask);
    quiet.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, &quiet, nullptr);
}

LifecycleSignal takeLifecycleSignal() {
    if (signalDescriptor < 0) return LifecycleSignal::None;
    signalfd_siginfo info;
    while (read(signalDescriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        switch (info.ssi_signo) {
            case SIGUSR1: return LifecycleSignal::Background;
            case SIGUSR2: return LifecycleSignal::Foreground;
            case SIGTERM:
            case SIGINT:
            case SIGHUP: return LifecycleSignal::Quit;
            default: break;
        }
    }
    return LifecycleSignal::None;
}

void watchStartup() {
    if (signalDescriptor < 0 || startupDone >= 0) return;
    if (const char* hold = std::getenv("STARGRID_STARTUP_HOLD")) heldStep = hold;
    const sigset_t quits = quitSignals();
    const int quitDescriptor = signalfd(-1, &quits, SFD_NONBLOCK | SFD_CLOEXEC);
    startupDone = eventfd(0, EFD_CLOEXEC);
    if (quitDescriptor < 0 || startupDone < 0) {
        std::fprintf(stderr, "Signals: start-up is not watched for quit requests: %s\n", std::strerror(errno));
        if (quitDescriptor >= 0) close(quitDescriptor);
        return;
    }
    try {
        // Started with the lifecycle signals blocked, as this thread has them, so a request stays pending
        // for the loop.
        watching = true;
        std::thread([quitDescriptor] {
            watchStartupUntilLoop(quitDescriptor);
            close(quitDescriptor);
            std::lock_guard<std::mutex> lock(watchMutex);
            watching = false;
            watchEnded.notify_all();
        }).detach();
    } catch (const std::system_error& error) {
        watching = false;
        close(quitDescriptor);
        std::fprintf(stderr, "Signals: cannot start the thread that watches start-up for quit requests: %s\n",
                     error.what());
    }
}

void startupStep(const char* name) {
    startupAt.store(name);
    stepsPassed += (stepsPassed.empty() ? "\"" : ", \"") + std::string(name) + "\"";
    if (heldStep.empty() || heldStep != name) return;
    std::fprintf(stderr, "%s: start-up held at \"%s\" (STARGRID_STARTUP_HOLD)\n", program_invocation_short_name, name);
    // Nothing of the lifecycle ends the wait: those signals are blocked here.
    for (;;) pause();
}

void startupReachedLoop() {
    // A mistyped step would otherwise hold nothing without a word, and a test waiting for the hold waits for good.
    if (!heldStep.empty()) {
        std::fprintf(stderr, "%s: STARGRID_STARTUP_HOLD \"%s\" names no step of start-up (%s); it was not held\n",
                     program_invocation_short_name, printableText(heldStep, 60).c_str(), stepsPassed.c_str());
        heldStep.clear();
    }
    if (startupDone < 0) return;
    const std::uint64_t one = 1;
    if (write(startupDone, &one, sizeof one) < 0) std::perror("Signals: start-up's end");
    // It wakes at once; bounded all the same, the loop being where signals are taken from now on.
    std::unique_lock<std::mutex> lock(watchMutex);
    watchEnded.wait_for(lock, std::chrono::seconds(1), [] { return !watching; });
}

}  // namespace platform
