// Services of the device the game runs on; here, the screen's density.
#pragma once

namespace kite {

// A static facade: there are no instances.
class Device {
public:
    Device() = delete;

    // Dots per inch of the chosen device profile's screen, worked out once: the screen scale
    // times 132 on a tablet or 163 on a phone, truncated.
    static int getDPI();
};

}  // namespace kite
