// The per-user folders of the XDG base directories, made on demand, the owner's only (0700).
#pragma once
#include <string>

namespace platform {

// $XDG_DATA_HOME/stargrid (default ~/.local/share/stargrid): the phone's Documents.
std::string documentsFolder();
// $XDG_CONFIG_HOME/stargrid (default ~/.config/stargrid).
std::string configFolder();

// Makes every missing folder of the path (none for an empty one) the owner's only; false, said on
// standard error, when one cannot be made.
bool makeFolders(const std::string& folder);

}  // namespace platform
