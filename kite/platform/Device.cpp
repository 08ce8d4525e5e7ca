#include "kite/platform/Device.h"

#include "platform/DeviceProfile.h"

namespace kite {

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

}  // namespace kite
