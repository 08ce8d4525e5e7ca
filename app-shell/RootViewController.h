// The root view controller: the orientations the game allows, and a rotation or a change of the window's
// size passed on to the application as a change of the screen size.
#pragma once

namespace kite {
class KTEAGLView;
}
namespace platform {
struct InputEvent;
}

class RootViewController {
public:
    // Orientation values as the phone numbers them: 1 portrait, 2 upside down, 3 and 4 landscape.
    static bool shouldAutorotateToInterfaceOrientation(int orientation) { return orientation == 3 || orientation == 4; }
    // Portrait and both landscapes, not upside down (as a mask).
    static unsigned supportedInterfaceOrientations() { return 26; }
    static bool shouldAutorotate() { return true; }
    static bool prefersStatusBarHidden() { return true; }
    // Tells the application the host view's width and height, when a GL view is there.
    static void didRotateFromInterfaceOrientation(int fromOrientation);
    // The window's events go to its host view; a new size the view took (the desktop's rotation) is then
    // passed on as a rotation is. True when the view used the event.
    static bool handleWindowEvent(kite::KTEAGLView& view, const platform::InputEvent& event);
};
