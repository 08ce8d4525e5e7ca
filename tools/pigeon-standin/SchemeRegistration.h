// Makes the stand-in the user's handler of the messenger's URL schemes, the
// freedesktop way: a .desktop entry and the defaults in mimeapps.list.
#pragma once
#include <string>

namespace standin {

// Writes $XDG_DATA_HOME/applications/stargrid-pigeon-standin.desktop running
// `executable` with the URL, and makes it the default for "pigeon" and
// "pigeonapi" in $XDG_CONFIG_HOME/mimeapps.list, keeping every other line.
bool installSchemeHandler(const std::string& executable);
// Takes both away again; other handlers stay.
bool uninstallSchemeHandler();

}  // namespace standin
