// Device services: text drawn with the desktop's fonts into RGBA bitmaps, the screen's density, and the
// accelerometer (none on a desktop).
#pragma once
#include <cstdint>

#include "kite/foundation/Data.h"
#include "kite/rendering/FontDefinition.h"

namespace kite {

class Device {
public:
    // Low nibble horizontal (1 left, 2 right, 3 centre), high nibble vertical (1 top, 2 bottom, 3 centre).
    enum class TextAlign : std::uint8_t {
        CENTER = 0x33,
        TOP = 0x13,
        TOP_RIGHT = 0x12,
        RIGHT = 0x32,
        BOTTOM_RIGHT = 0x22,
        BOTTOM = 0x23,
        BOTTOM_LEFT = 0x21,
        LEFT = 0x31,
        TOP_LEFT = 0x11,
    };

    // width x height x 4 bytes of premultiplied RGBA, or an empty Data (with a log line) when the text
    // is empty, no font fits or the bitmap would exceed the texture size limit.
    static Data getTextureDataWithText(const char* text, const FontDefinition& textDefinition, TextAlign align,
                                       int& width, int& height, bool& hasPremultipliedAlpha);
    // Dots per inch of the chosen device profile's screen, worked out once: the screen scale
    // times 132 on a tablet or 163 on a phone, truncated.
    static int getDPI();
    // A desktop has no accelerometer: accepted, and no samples follow.
    static void setAccelerometerEnabled(bool enabled);
    static void setAccelerometerInterval(float interval);

    Device() = delete;
};

}  // namespace kite
