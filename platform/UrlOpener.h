// Opening URLs in the program registered for their scheme, the freedesktop way.
#pragma once
#include <string>

namespace platform {

// Whether a program is registered as the default handler of the URL's scheme
// (a .desktop entry named for x-scheme-handler/SCHEME in mimeapps.list of the
// user's or the system's folders). False for text that is not a URL.
bool canOpenUrl(const std::string& url);

// Launches the scheme's handler with the URL; false (with a log line) when
// there is none or it cannot be started. The handler runs on its own: this
// does not wait for it.
bool openUrl(const std::string& url);

}  // namespace platform
