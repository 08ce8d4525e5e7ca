// The colour chooser of the paint prop: five piece colours and a back button in a box above the touched row,
// with an arrow at the touched piece.
#pragma once
#include "kite/foundation/math/Vec2.h"
#include "kite/scene/Layer.h"

namespace kite {
class Sprite;
}

class StarMatrix;

class PropPaintLayer : public kite::Layer {
public:
    static PropPaintLayer* create();
    bool init() override;
    virtual bool onTouchBegan(kite::Touch* touch, kite::Event* event);

    // Moves the box just above the touched row and the arrow to its column (board coordinates).
    void placeAt(const kite::Vec2& point);

    // The colours of the buttons from left to right, as the board numbers them.
    static constexpr int kButtonColours[5] = {4, 0, 2, 1, 3};

    StarMatrix* board = nullptr;  // set by the play screen, not owned
    kite::Sprite* box = nullptr;
    kite::Sprite* arrow = nullptr;

private:
    void choose(int colour);
};
