// The game-over dialog of a lost level: retry the level for diamonds, or go back to the menu.
#pragma once
#include "kite/scene/Layer.h"

namespace kite {
class Sprite;
}

class GameLayer;
class StarMatrix;

class GameOverLayer : public kite::Layer {
public:
    static GameOverLayer* create();
    bool init() override;
    virtual bool onTouchBegan(kite::Touch* touch, kite::Event* event);

    // Back to the menu, telling the server the score and then that the game is over.
    void onClose();
    // The level again from its start score, for 5 diamonds; the sale screen with fewer.
    void onContinue();

    GameLayer* gameLayer = nullptr;  // set by the play screen, not owned
    StarMatrix* board = nullptr;     // the lost level's board, not owned
    kite::Sprite* background = nullptr;
};
