// The root view controller: the orientations the game allows, and a rotation passed on to the
// application as a change of the screen size.
#pragma once

class RootViewController {
public:
    // Orientation values as the phone numbers them: 1 portrait, 2 upside down, 3 and 4 landscape.
    static bool shouldAutorotateToInterfaceOrientation(int orientation) { return orientation == 3 || orientation == 4; }
    // Portrait and both landscapes, not upside down (as a mask).
    static unsigned supportedInterfaceOrientations() { return 26; }
    static bool shouldAutorotate() { return true; }
    static bool prefersStatusBarHidden() { return true; }
    // Tells the application its screen changed size, when a GL view is there.
    static void didRotateFromInterfaceOrientation(int fromOrientation);
};
