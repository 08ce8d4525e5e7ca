// The X display under the game's window, through the libX11 that SDL and GTK load: why none can be
// opened, the display going away while the game runs, and X errors while the GL context is made.
#pragma once
#include <string>

namespace platform {

// Why no X display can be opened (DISPLAY unset, libX11 missing, no server answering there); empty
// when one can.
std::string whyNoX11Display();

// From now on an X display's connection breaking (the X server ended) runs the main loop's background
// step, says "the display went away" and ends the process with status 1; Xlib alone would end it at
// once, without the background step, and a write meeting the broken connection would end it by
// SIGPIPE (so SIGPIPE at its default gets a handler that does nothing: a broken pipe, the X connection's
// or standard output's, is a failed write). Nothing while libX11 is not loaded. Call it again once a library
// put a handler of its own in place (GTK does as it starts).
void watchDisplayLoss();

// While one lives, X protocol errors are noted instead of ending the process (Xlib's default), so that
// a GL driver failing under X11 makes a context that cannot be had rather than an exit. Outside such a
// time errors go where they went before.
class X11ErrorTrap {
public:
    X11ErrorTrap();
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Xlib's text of the first error noted while this trap lived; empty when none came.
    const std::string& firstError() const;

private:
    bool armed_ = false;
};

}  // namespace platform
