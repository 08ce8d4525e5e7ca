// One coloured piece of the board: a sprite that knows its cell and moves itself there a fixed step per frame.
#pragma once
#include <cstdint>

#include "kite/foundation/math/Vec2.h"
#include "kite/scene/Sprite.h"

class Star : public kite::Sprite {
public:
    // Null when the colour's image cannot be loaded.
    static Star* create(int colour);
    // The image of a colour 0 to 4 (green, red, yellow, purple, blue).
    static const char* imageFor(int colour);

    bool init(int colour);

    // The piece's colour 0 to 4; it hides the node's tint colour, which pieces never change.
    int getColor() { return color; }
    bool isSelected() const { return selected; }
    void setDesiredPosition(const kite::Vec2& position) { desiredPosition = position; }
    const kite::Vec2& getDesiredPosition() const { return desiredPosition; }

    // One frame of motion: down first, then left once no piece is falling.
    void updatePosition();

    static constexpr float kStep = 8.0f;  // design points per frame on each axis

    bool moving = false;
    std::int32_t color = 0;
    kite::Vec2 desiredPosition;
    bool selected = false;
    bool falling = false;
    std::int32_t row = 0;
    std::int32_t col = 0;
    std::int32_t cellIndex = 0;
};

namespace kite {
class Node;
}

// The small burst of particles in a removed piece's colour, added to the parent at the position.
void showStarBurst(int colour, const kite::Vec2& position, kite::Node* parent);
