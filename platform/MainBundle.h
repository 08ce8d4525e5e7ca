// The application's bundle: the folder of its assets and the information list in it.
#pragma once
#include <optional>
#include <string>

#include "platform/PlistValue.h"

namespace platform {

// $STARGRID_RESOURCES when set, else Resources/ beside the executable; no
// trailing slash. Read at each call.
std::string mainBundlePath();

// "Info.plist" of the bundle (identifier, names, icon files), or nothing
// when it is missing or not a dictionary.
std::optional<PlistValue::Dictionary> mainBundleInfoDictionary();

}  // namespace platform
