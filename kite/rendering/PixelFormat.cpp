#include "kite/rendering/PixelFormat.h"

#include <GLES2/gl2.h>

namespace kite {

namespace {
// ES extension enums, spelled out so that no extension header is needed.
constexpr std::uint32_t kGLBGRA = 0x80E1;
constexpr std::uint32_t kPVRTC4RGB = 0x8C00;
constexpr std::uint32_t kPVRTC2RGB = 0x8C01;
constexpr std::uint32_t kPVRTC4RGBA = 0x8C02;
constexpr std::uint32_t kPVRTC2RGBA = 0x8C03;
}  // namespace

const std::map<PixelFormat, PixelFormatInfo>& pixelFormatInfoMap() {
    static const std::map<PixelFormat, PixelFormatInfo> table = {
        {PixelFormat::BGRA8888, {kGLBGRA, static_cast<std::int32_t>(kGLBGRA), GL_UNSIGNED_BYTE, 32, false, true}},
        {PixelFormat::RGBA8888, {GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE, 32, false, true}},
        {PixelFormat::RGBA4444, {GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4, 16, false, true}},
        {PixelFormat::RGB5A1, {GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, 16, false, true}},
        {PixelFormat::RGB565, {GL_RGB, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 16, false, false}},
        {PixelFormat::RGB888, {GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, 24, false, false}},
        {PixelFormat::A8, {GL_ALPHA, GL_ALPHA, GL_UNSIGNED_BYTE, 8, false, false}},
        {PixelFormat::I8, {GL_LUMINANCE, GL_LUMINANCE, GL_UNSIGNED_BYTE, 8, false, false}},
        {PixelFormat::AI88, {GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 16, false, true}},
        {PixelFormat::PVRTC2, {kPVRTC2RGB, -1, -1, 2, true, false}},
        {PixelFormat::PVRTC2A, {kPVRTC2RGBA, -1, -1, 2, true, true}},
        {PixelFormat::PVRTC4, {kPVRTC4RGB, -1, -1, 4, true, false}},
        {PixelFormat::PVRTC4A, {kPVRTC4RGBA, -1, -1, 4, true, true}},
    };
    return table;
}

const PixelFormatInfo* findPixelFormatInfo(PixelFormat format) {
    const auto& table = pixelFormatInfoMap();
    auto it = table.find(format);
    return it == table.end() ? nullptr : &it->second;
}

}  // namespace kite
