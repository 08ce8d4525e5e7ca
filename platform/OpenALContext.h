// OpenAL contexts for plain playback, as the effects engine and the music player make them, and the
// calls that stop a device, each waited for within a bound.
#pragma once
#include <AL/alc.h>

#include <chrono>
#include <functional>

namespace platform {

// A context on the device with no auxiliary effect sends: nothing here plays through effect
// slots, and OpenAL Soft reserves room for every send in each of the context's 256 voices
// (0.8 MB a context for its default two). Null when the device refuses it.
ALCcontext* createPlaybackContext(ALCdevice* device);

// Pausing or closing a device waits for its mixing thread to stop, and OpenAL's can fail to (it
// mixes on without end once the wall clock goes back). These wait at most kDeviceStopLimit of
// steady time: a device that has not stopped by then is left to itself, said once, and no call that
// could wait on a device is made again (resumes and closes are skipped): sound is over for the run.
constexpr std::chrono::milliseconds kDeviceStopLimit{2000};
// False when the device did not pause in time, or devices are stuck already.
bool pauseDevice(ALCdevice* device);
void resumeDevice(ALCdevice* device);
// Destroys the context (made current no longer) and closes its device; either may be null.
void closeDevice(ALCdevice* device, ALCcontext* context);
// A device did not stop in time during this run.
bool audioDevicesStuck();

// Runs the call on a thread of its own and waits for it at most `limit` of steady time; false when
// it has not returned by then (it goes on alone, owning what it captured). When no thread can be
// started the call runs here, unbounded.
bool runBounded(std::function<void()> call, std::chrono::milliseconds limit);

}  // namespace platform
