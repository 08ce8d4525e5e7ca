// The media message's thumbnail from an image.
#include "sdk/pigeon/MediaMessage.h"

#include "platform/ImageCodec.h"

namespace pigeon {

void PGMediaMessage::setThumbImage(const platform::RgbaImage* image) {
    if (!image) return;
    constexpr float kThumbnailQuality = 0.6f;
    if (std::optional<Bytes> jpeg = platform::encodeJpeg(*image, kThumbnailQuality)) thumbData = std::move(*jpeg);
}

}  // namespace pigeon
