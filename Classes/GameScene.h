// The scene of a game: its only layer is the play screen.
#pragma once
#include "kite/scene/Scene.h"

class GameScene : public kite::Scene {
public:
    static GameScene* create();
    bool init() override;
};
