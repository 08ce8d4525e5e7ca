#include "platform/Signals.h"

#include <SDL2/SDL_hints.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

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

sigset_t lifecycleSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : kLifecycleSignals) {
        if (watched(number)) sigaddset(&set, number);
    }
    return set;
}

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
        std::fprintf(stderr, "Signals: JSC_SIGNAL_FOR_GC \"%.40s\" is not a signal WebKit may take; it takes %s\n",
                     given, collector.c_str());
    }
    setenv("JSC_SIGNAL_FOR_GC", collector.c_str(), 1);
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

}  // namespace platform
