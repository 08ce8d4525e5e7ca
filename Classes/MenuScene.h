// The scene the game opens on and returns to after play: its only child is the main menu.
#pragma once
#include "kite/scene/Scene.h"

class MenuScene : public kite::Scene {
public:
    static MenuScene* create();
    bool init() override;
};
