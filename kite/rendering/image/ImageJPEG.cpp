// JPEG files: read through libjpeg from memory; a file that ends early is refused.
#include "kite/rendering/Image.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

#include "kite/foundation/Log.h"
#include "kite/rendering/image/ImageReading.h"

namespace kite {

using namespace imagefile;

namespace {

struct JpegErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    // Set when the data ends before the image does; other warnings (stray bytes before a
    // marker) leave a picture that decodes and are only logged.
    bool truncated;
    bool warned;
};

void jpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    char message[JMSG_LENGTH_MAX];
    errors->manager.format_message(info, message);
    log("Image: JPEG: %s", message);
    std::longjmp(errors->jump, 1);
}

void jpegEmitMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    if (level >= 0) return;
    const bool endOfData = errors->manager.msg_code == JWRN_JPEG_EOF;
    if (!errors->warned || (endOfData && !errors->truncated)) {
        char message[JMSG_LENGTH_MAX];
        errors->manager.format_message(info, message);
        log("Image: JPEG: %s", message);
        errors->warned = true;
    }
    if (endOfData) errors->truncated = true;
}

}  // namespace

bool Image::initWithJpgData(const unsigned char* data, std::int64_t dataLen) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegErrorExit;
    errors.manager.emit_message = jpegEmitMessage;
    errors.truncated = false;
    errors.warned = false;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        freeData();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(dataLen));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        _renderFormat = PixelFormat::I8;
    } else {
        cinfo.out_color_space = JCS_RGB;
        _renderFormat = PixelFormat::RGB888;
    }
    if (!validDimensions("JPEG", cinfo.image_width, cinfo.image_height)) std::longjmp(errors.jump, 1);
    jpeg_start_decompress(&cinfo);
    _width = static_cast<int>(cinfo.output_width);
    _height = static_cast<int>(cinfo.output_height);
    _hasPremultipliedAlpha = false;
    const std::int64_t rowBytes = std::int64_t(cinfo.output_width) * cinfo.output_components;
    _dataLen = rowBytes * _height;
    _data = static_cast<unsigned char*>(std::malloc(_dataLen));
    if (!_data) {
        log("Image: JPEG: out of memory");
        std::longjmp(errors.jump, 1);
    }
    while (cinfo.output_scanline < cinfo.output_height && !errors.truncated) {
        JSAMPROW row = _data + cinfo.output_scanline * rowBytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    // The library fills what is missing with grey and goes on; here that is a failure.
    if (errors.truncated) std::longjmp(errors.jump, 1);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace kite
