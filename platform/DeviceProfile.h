// The phone or tablet the game pretends to run on: its screen size in pixels and its family.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct DeviceProfile {
    const char* name;  // "iphone4", "iphone5", "ipad"
    int width;         // pixels, portrait
    int height;
    bool pad;
};

// The profile named by the command line or STARGRID_DEVICE; nothing for an unknown name.
std::optional<DeviceProfile> deviceProfileNamed(std::string_view name);
// The names deviceProfileNamed knows, for messages: "iphone4, iphone5, ipad".
std::string deviceProfileNames();
// iphone5 until the start-up code chooses another.
const DeviceProfile& currentDeviceProfile();
void setCurrentDeviceProfile(const DeviceProfile& profile);

}  // namespace platform
