#include "platform/OpenALContext.h"

#include <AL/efx.h>

namespace platform {

ALCcontext* createPlaybackContext(ALCdevice* device) {
    const ALCint attributes[] = {ALC_MAX_AUXILIARY_SENDS, 0, 0};
    return alcCreateContext(device, attributes);
}

}  // namespace platform
