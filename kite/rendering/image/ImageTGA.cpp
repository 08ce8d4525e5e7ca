// TGA files: the last resort of detection, read by the TGA library.
#include "kite/rendering/Image.h"

#include "kite/foundation/Log.h"
#include "kite/rendering/TGAlib.h"
#include "kite/rendering/image/ImageReading.h"

namespace kite {

bool imagefile::initImageWithTGABuffer(Image& image, const unsigned char* bytes, std::int64_t length) {
    // Checked before the reader allocates: a short run-length file can announce a huge image.
    if (length >= 16 && !validDimensions("TGA", bytes[12] | (bytes[13] << 8), bytes[14] | (bytes[15] << 8))) {
        return false;
    }
    tImageTGA* tga = tgaLoadBuffer(bytes, static_cast<long>(length));
    bool ok = false;
    if (tga && tga->status == TGA_OK) {
        ok = image.initWithTGAData(tga);
    } else {
        log("Image: unrecognised image data (TGA status %d)", tga ? tga->status : -1);
    }
    tgaDestroy(tga);
    return ok;
}

bool Image::initWithTGAData(tImageTGA* tgaData) {
    bool ok = false;
    if (tgaData->type == 2 || tgaData->type == 10) {
        switch (tgaData->pixelDepth) {
            case 32:
                _renderFormat = PixelFormat::RGBA8888;
                ok = true;
                break;
            case 24:
                _renderFormat = PixelFormat::RGB888;
                ok = true;
                break;
            case 16:
                _renderFormat = PixelFormat::RGB5A1;
                ok = true;
                break;
            default: break;
        }
    } else if (tgaData->type == 3 && tgaData->pixelDepth == 8) {
        _renderFormat = PixelFormat::I8;
        ok = true;
    }
    if (!ok) {
        log("Image: TGA: unsupported type %d at %d bits", tgaData->type, tgaData->pixelDepth);
        return false;
    }
    _width = tgaData->width;
    _height = tgaData->height;
    _data = tgaData->imageData;
    tgaData->imageData = nullptr;
    _dataLen = std::int64_t(_width) * _height * tgaData->pixelDepth / 8;
    _fileType = Format::TGA;
    _hasPremultipliedAlpha = false;
    return true;
}

}  // namespace kite
