#include "platform/Signals.h"

#include <SDL2/SDL_hints.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <initializer_list>

namespace platform {

namespace {

int signalDescriptor = -1;
pthread_t watchingThread;

// A thread that a library started before the signals were blocked (WebKit's
// script engine starts one as it loads) may be the one a signal is delivered
// to: it hands the signal on to the watching thread, which blocks it, so it
// waits there for the descriptor.
void handOnToWatchingThread(int number) { pthread_kill(watchingThread, number); }

sigset_t lifecycleSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) sigaddset(&set, number);
    return set;
}

}  // namespace

void watchLifecycleSignals() {
    if (signalDescriptor >= 0) return;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sigset_t set = lifecycleSignals();
    watchingThread = pthread_self();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    struct sigaction handOn = {};
    handOn.sa_handler = handOnToWatchingThread;
    sigemptyset(&handOn.sa_mask);
    handOn.sa_flags = SA_RESTART;
    for (int number : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) sigaction(number, &handOn, nullptr);
    signalDescriptor = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalDescriptor < 0) std::perror("platform: signalfd");
}

LifecycleSignal takeLifecycleSignal() {
    if (signalDescriptor < 0) return LifecycleSignal::None;
    signalfd_siginfo info;
    while (read(signalDescriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        switch (info.ssi_signo) {
            case SIGUSR1: return LifecycleSignal::Background;
            case SIGUSR2: return LifecycleSignal::Foreground;
            case SIGTERM:
            case SIGINT: return LifecycleSignal::Quit;
            default: break;
        }
    }
    return LifecycleSignal::None;
}

}  // namespace platform
