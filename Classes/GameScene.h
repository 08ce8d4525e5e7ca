// The scene of a game: its only layer is the play screen.
#pragma once
#include <string>
#include <vector>

#include "kite/scene/Scene.h"

class GameScene : public kite::Scene {
public:
    static GameScene* create();
    bool init() override;

    // Starts decoding the play screen's large pictures on the texture cache's loading thread (the
    // tutorial's too on a first play), so the frame that builds the screen later decodes none.
    static void preloadPictures();
    // The pictures preloadPictures asks for, the tutorial's with them or not.
    static std::vector<std::string> picturesToPreload(bool withTutorial);
};
