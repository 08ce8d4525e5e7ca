// OpenAL contexts for plain playback, as the effects engine and the music player make them.
#pragma once
#include <AL/alc.h>

namespace platform {

// A context on the device with no auxiliary effect sends: nothing here plays through effect
// slots, and OpenAL Soft reserves room for every send in each of the context's 256 voices
// (0.8 MB a context for its default two). Null when the device refuses it.
ALCcontext* createPlaybackContext(ALCdevice* device);

}  // namespace platform
