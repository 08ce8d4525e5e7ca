// WebP files: decoded by libwebp straight into the image's RGBA buffer.
#include "kite/rendering/Image.h"

#include <cstdlib>

#include <webp/decode.h>

#include "kite/foundation/Log.h"
#include "kite/rendering/image/ImageReading.h"

namespace kite {

using namespace imagefile;

bool Image::initWithWebpData(const unsigned char* data, std::int64_t dataLen) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    if (WebPGetFeatures(data, static_cast<std::size_t>(dataLen), &config.input) != VP8_STATUS_OK) {
        log("Image: WebP: cannot read the header");
        return false;
    }
    if (!validDimensions("WebP", config.input.width, config.input.height)) return false;
    _width = config.input.width;
    _height = config.input.height;
    _renderFormat = PixelFormat::RGBA8888;
    _hasPremultipliedAlpha = false;
    _dataLen = std::int64_t(_width) * _height * 4;
    _data = static_cast<unsigned char*>(std::malloc(_dataLen));
    if (!_data) return false;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = _data;
    config.output.u.RGBA.stride = _width * 4;
    config.output.u.RGBA.size = static_cast<std::size_t>(_dataLen);
    if (WebPDecode(data, static_cast<std::size_t>(dataLen), &config) != VP8_STATUS_OK) {
        log("Image: WebP: cannot decode the pixels");
        freeData();
        return false;
    }
    return true;
}

}  // namespace kite
