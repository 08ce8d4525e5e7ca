// Image files of every format the engine decodes (PNG, JPEG, TIFF, WebP, PVR, PKM, DDS, KTX, TGA,
// KTZ- and gzip-packed ones), as the texture loader hands their bytes over; and the platform's
// own decoders, which read the thumbnails other programs leave on pasteboards.
#include <cstddef>
#include <cstdint>

#include "kite/rendering/Image.h"
#include "platform/ImageCodec.h"
#include "platform/PngFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto* image = new kite::Image();
    image->initWithImageData(data, static_cast<std::int64_t>(size));
    image->release();
    if (platform::isDecodableImage(data, size)) platform::decodeImage(data, size);
    platform::decodePng(data, size);
    return 0;
}
