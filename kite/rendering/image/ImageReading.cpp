// Checks shared by the image file readers.
#include "kite/rendering/image/ImageReading.h"

#include "kite/foundation/Log.h"
#include "kite/rendering/Configuration.h"

namespace kite::imagefile {

TextureSupport textureSupport() {
    const Configuration* config = Configuration::getInstance();
    return {config->supportsNPOT(), config->supportsPVRTC(), config->supportsETC(),
            config->supportsS3TC(), config->supportsATITC(), config->supportsBGRA8888()};
}

bool validDimensions(const char* kind, std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) {
        log("Image: %s: unsupported size %lld x %lld", kind, static_cast<long long>(width),
            static_cast<long long>(height));
        return false;
    }
    return true;
}

}  // namespace kite::imagefile
