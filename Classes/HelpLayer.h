// The help dialog: the rules of the game as one picture over a shade, with a close button.
#pragma once
#include "kite/scene/Layer.h"

class HelpLayer : public kite::Layer {
public:
    static HelpLayer* create();
    bool init() override;
    bool onTouchBegan(kite::Touch* touch, kite::Event* event) override;
    void menuCloseCallback();
};
