#include "kite/platform/Device.h"

#include <cmath>
#include <cstring>
#include <string>

#include "kite/foundation/FrameCosts.h"
#include "kite/foundation/Log.h"
#include "kite/platform/KTAccelerometerDispatcher.h"
#include "kite/rendering/Configuration.h"
#include "platform/DeviceProfile.h"
#include "platform/PrintableText.h"
#include "platform/TextRenderer.h"

namespace kite {

namespace {

// The limit when no GL context has reported one.
constexpr int kFallbackMaxTextureSize = 16384;

// "fonts/Marker Felt.ttf" names the font "Marker Felt".
std::string bareFontName(const std::string& name) {
    std::string base = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base;
}

platform::TextColor colorOf(const Color3B& color, std::uint8_t alpha) {
    return {color.r / 255.0f, color.g / 255.0f, color.b / 255.0f, alpha / 255.0f};
}

platform::TextRequest requestFor(const char* text, const FontDefinition& def, Device::TextAlign align) {
    platform::TextRequest request;
    request.text = text;
    request.fontName = bareFontName(def._fontName);
    request.fontSize = def._fontSize;
    request.boxWidth = static_cast<int>(def._dimensions.width);
    request.boxHeight = static_cast<int>(def._dimensions.height);
    const auto code = static_cast<unsigned>(align);
    const unsigned horizontal = code & 0x0F;
    const unsigned vertical = code >> 4;
    request.horizontal = horizontal == 2   ? platform::TextHorizontalAlign::Right
                         : horizontal == 3 ? platform::TextHorizontalAlign::Center
                                           : platform::TextHorizontalAlign::Left;
    request.vertical = vertical == 1   ? platform::TextVerticalAlign::Top
                       : vertical == 3 ? platform::TextVerticalAlign::Center
                                       : platform::TextVerticalAlign::Bottom;
    request.fill = colorOf(def._fontFillColor, def._fontAlpha);
    request.stroke = def._stroke._strokeEnabled;
    request.strokeColor = colorOf(def._stroke._strokeColor, def._stroke._strokeAlpha);
    request.strokeSize = def._stroke._strokeSize;
    return request;
}

}  // namespace

Data Device::getTextureDataWithText(const char* text, const FontDefinition& textDefinition, TextAlign align, int& width,
                                    int& height, bool& hasPremultipliedAlpha) {
    FrameCosts::Scope step("system-font text");
    width = height = 0;
    Data data;
    if (!text || !*text) return data;
    int limit = Configuration::getInstance()->getMaxTextureSize();
    if (limit <= 0) limit = kFallbackMaxTextureSize;

    platform::TextBitmap bitmap;
    std::string error;
    if (!platform::TextRenderer::instance().render(requestFor(text, textDefinition, align), limit, bitmap, error)) {
        log("Device: cannot draw text in \"%s\" %d: %s", platform::printableText(textDefinition._fontName).c_str(),
            textDefinition._fontSize, error.c_str());
        return data;
    }
    data.copy(bitmap.rgba.data(), static_cast<std::int64_t>(bitmap.rgba.size()));
    width = bitmap.width;
    height = bitmap.height;
    hasPremultipliedAlpha = true;
    return data;
}

int Device::getDPI() {
    static const int dpi = [] {
        const platform::DeviceProfile& profile = platform::currentDeviceProfile();
        // A phone is 320 points wide and a tablet 768: the pixels beyond are the screen scale.
        const float pointsWide = profile.pad ? 768.0f : 320.0f;
        const float scale = profile.width > 0 ? static_cast<float>(profile.width) / pointsWide : 1.0f;
        return static_cast<int>(scale * (profile.pad ? 132.0f : 163.0f));
    }();
    return dpi;
}

void Device::setAccelerometerEnabled(bool enabled) {
    KTAccelerometerDispatcher::sharedAccelerometerDispatcher().setAccelerometerEnabled(enabled);
}

void Device::setAccelerometerInterval(float interval) {
    KTAccelerometerDispatcher::sharedAccelerometerDispatcher().setAccelerometerInterval(interval);
}

}  // namespace kite
