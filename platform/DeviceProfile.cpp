#include "platform/DeviceProfile.h"

namespace platform {

namespace {
constexpr DeviceProfile kProfiles[] = {
    {"iphone4", 640, 960, false},
    {"iphone5", 640, 1136, false},
    {"ipad", 768, 1024, true},
};
DeviceProfile current = kProfiles[1];
}  // namespace

std::optional<DeviceProfile> deviceProfileNamed(std::string_view name) {
    for (const DeviceProfile& profile : kProfiles) {
        if (name == profile.name) return profile;
    }
    return std::nullopt;
}

std::string deviceProfileNames() {
    std::string names;
    for (const DeviceProfile& profile : kProfiles) {
        if (!names.empty()) names += ", ";
        names += profile.name;
    }
    return names;
}

const DeviceProfile& currentDeviceProfile() { return current; }

void setCurrentDeviceProfile(const DeviceProfile& profile) { current = profile; }

}  // namespace platform
