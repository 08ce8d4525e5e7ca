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
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
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
