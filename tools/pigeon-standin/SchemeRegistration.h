// Makes the stand-in the user's handler of the messenger's URL schemes, the
// freedesktop way: a .desktop entry and the defaults in mimeapps.list.
#pragma once
#include <string>

namespace standin {

// Writes $XDG_DATA_HOME/applications/stargrid-pigeon-standin.desktop running
// `executable` with the URL, and makes it the default for "pigeon" and
// "pigeonapi" in $XDG_CONFIG_HOME/mimeapps.list, keeping every other line
// (a mimeapps.list that is a link is updated where it points). False, said on
// standard error, when a file cannot be written, or when mimeapps.list is there
// but cannot be read: then nothing is changed.
bool installSchemeHandler(const std::string& executable);
// Takes both away again; other handlers stay. False as above.
bool uninstallSchemeHandler();

}  // namespace standin
