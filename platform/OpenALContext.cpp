#include "platform/OpenALContext.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>
#include <AL/efx.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

namespace {

std::atomic<bool> stuck{false};

// Said once: the first device that does not stop ends sound for the run.
bool stopsInTime(std::function<void()> call) {
    if (stuck) return false;
    if (runBounded(std::move(call), kDeviceStopLimit)) return true;
    if (!stuck.exchange(true)) {
        std::fprintf(
            stderr,
            "OpenAL: an audio device did not stop within %lld s; it is left as it is and the game goes "
            "on without sound\n",
            static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kDeviceStopLimit).count()));
    }
    return false;
}

}  // namespace

ALCcontext* createPlaybackContext(ALCdevice* device) {
    const ALCint attributes[] = {ALC_MAX_AUXILIARY_SENDS, 0, 0};
    return alcCreateContext(device, attributes);
}

bool runBounded(std::function<void()> call, std::chrono::milliseconds limit) {
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    auto state = std::make_shared<Done>();
    auto work = std::make_shared<std::function<void()>>(std::move(call));
    std::thread runner;
    try {
        runner = std::thread([state, work] {
            (*work)();
            std::lock_guard<std::mutex> lock(state->mutex);
            state->done = true;
            state->changed.notify_all();
        });
    } catch (const std::system_error&) {
        (*work)();
        return true;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    // wait_for measures steady time: a wall clock set back does not stretch the bound.
    if (state->changed.wait_for(lock, limit, [&] { return state->done; })) {
        lock.unlock();
        runner.join();
        return true;
    }
    runner.detach();
    return false;
}

bool pauseDevice(ALCdevice* device) {
    if (!device || stuck) return false;
    if (!alcIsExtensionPresent(device, "ALC_SOFT_pause_device")) return true;
    return stopsInTime([device] { alcDevicePauseSOFT(device); });
}

void resumeDevice(ALCdevice* device) {
    if (!device || stuck || !alcIsExtensionPresent(device, "ALC_SOFT_pause_device")) return;
    alcDeviceResumeSOFT(device);
}

void closeDevice(ALCdevice* device, ALCcontext* context) {
    if (!device && !context) return;
    stopsInTime([device, context] {
        if (context) {
            if (alcGetCurrentContext() == context) alcMakeContextCurrent(nullptr);
            alcDestroyContext(context);
        }
        if (device) alcCloseDevice(device);
    });
}

bool audioDevicesStuck() { return stuck; }

}  // namespace platform
