// The scene the game opens on and returns to after play: its only child is the main menu.
#pragma once
#include <string>
#include <vector>

#include "kite/scene/Scene.h"

class MenuScene : public kite::Scene {
public:
    static MenuScene* create();
    bool init() override;

    // Starts decoding the menu's large pictures on the texture cache's loading thread: a start-up
    // that asks before it makes its window has them decoded while the window is made.
    static void preloadPictures();
    // The pictures preloadPictures asks for.
    static std::vector<std::string> picturesToPreload();
};
