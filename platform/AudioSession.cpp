#include "platform/AudioSession.h"

#include <AL/alc.h>

namespace platform {

AudioSession& AudioSession::shared() {
    static AudioSession session;
    return session;
}

bool AudioSession::setActive(bool active) {
    if (active && failingActivations_ > 0) {
        --failingActivations_;
        return false;
    }
    active_ = active;
    return true;
}

std::string AudioSession::route() const {
    const ALCchar* name = alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
    return name ? name : "";
}

void AudioSession::beginInterruption() {
    if (interrupted_) return;
    interrupted_ = true;
    if (handlers_.beginInterruption) handlers_.beginInterruption();
}

void AudioSession::endInterruption() {
    if (!interrupted_) return;
    interrupted_ = false;
    if (handlers_.endInterruption) handlers_.endInterruption();
}

void AudioSession::reset() { *this = AudioSession(); }

}  // namespace platform
