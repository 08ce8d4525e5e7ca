// The game's application delegate: sets up the director and runs the first scene.
#pragma once
#include "kite/platform/Application.h"

class AppDelegate : public kite::Application {
public:
    bool didFinishLaunching() override;
    void didEnterBackground() override;
    void willEnterForeground() override;
    void initGLContextAttributes() override;

    // The design height for a device frame: tall iPhones get 852, the rest 720.
    static float designHeightFor(int frameHeight, bool pad);

private:
    // On the very first launch: the switches on, the tutorial unseen, 20 diamonds.
    static void writeFirstRunDefaults();
    // Prepares the progress for the play scene: a new game when one was asked for, else the stored one.
    static void startGame();
};
