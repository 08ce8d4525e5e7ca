// Texture2D's text initialisation: the device draws the text, the texture uploads it.
#include <cstdlib>

#include "kite/platform/Device.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Texture2D.h"

namespace kite {

namespace {

bool alignmentCode(const FontDefinition& def, Device::TextAlign& align) {
    const bool left = def._alignment == TextHAlignment::LEFT;
    const bool centre = def._alignment == TextHAlignment::CENTER;
    switch (def._vertAlignment) {
        case TextVAlignment::TOP:
            align = left ? Device::TextAlign::TOP_LEFT : centre ? Device::TextAlign::TOP : Device::TextAlign::TOP_RIGHT;
            return true;
        case TextVAlignment::CENTER:
            align = left ? Device::TextAlign::LEFT : centre ? Device::TextAlign::CENTER : Device::TextAlign::RIGHT;
            return true;
        case TextVAlignment::BOTTOM:
            align = left     ? Device::TextAlign::BOTTOM_LEFT
                    : centre ? Device::TextAlign::BOTTOM
                             : Device::TextAlign::BOTTOM_RIGHT;
            return true;
    }
    return false;
}

}  // namespace

bool Texture2D::initWithString(const char* text, const FontDefinition& textDefinition) {
    if (!text || !*text) return false;
    Device::TextAlign align;
    if (!alignmentCode(textDefinition, align)) return false;

    // The device draws in pixels.
    const float scale = frameContentScaleFactor();
    FontDefinition def = textDefinition;
    def._fontSize = static_cast<int>(def._fontSize * scale);
    def._dimensions = Size(def._dimensions.width * scale, def._dimensions.height * scale);
    def._stroke._strokeSize *= scale;
    def._shadow._shadowEnabled = false;

    int width = 0, height = 0;
    bool premultiplied = false;
    Data pixels = Device::getTextureDataWithText(text, def, align, width, height, premultiplied);
    if (pixels.isNull()) return false;

    const PixelFormat wanted = getDefaultAlphaPixelFormat();
    const unsigned char* upload = pixels.getBytes();
    ssize_t uploadLength = static_cast<ssize_t>(pixels.getSize());
    unsigned char* converted = nullptr;
    PixelFormat format = PixelFormat::RGBA8888;
    if (wanted != PixelFormat::AUTO && wanted != PixelFormat::RGBA8888) {
        format = convertDataToFormat(upload, uploadLength, PixelFormat::RGBA8888, wanted, &converted, &uploadLength);
        if (converted != upload)
            upload = converted;
        else
            converted = nullptr;
    }
    const bool ok = initWithData(upload, uploadLength, format, width, height,
                                 Size(static_cast<float>(width), static_cast<float>(height)));
    std::free(converted);
    hasPremultipliedAlpha_ = premultiplied;
    return ok;
}

}  // namespace kite
