// The playing field: 10 x 10 cells of pieces, touched groups popped, the board settled, saved and ended.
#pragma once
#include <array>
#include <deque>

#include "Classes/BoardRules.h"
#include "kite/foundation/math/Vec2.h"
#include "kite/scene/Node.h"

class GameLayer;
class Star;

class StarMatrix : public kite::Node {
public:
    // Null when init fails. The layer may be null (a board on its own, as tests use it).
    static StarMatrix* create(GameLayer* layer);
    virtual bool init(GameLayer* layer);

    static constexpr float kCellSize = 48.0f;
    static constexpr float kDropHeight = 100.0f;  // a fresh piece starts this far above its cell
    static constexpr float kRemoveInterval = 0.05f;
    static constexpr float kClearInterval = 0.05f;

    // The centre of a cell in the board's coordinates.
    static kite::Vec2 cellCentre(int row, int column);

    // One frame: every piece moves, and the end-of-level clearing goes on.
    void tick(float dt);
    // The player's touch, in the board's coordinates.
    void onBoardTouch(const kite::Vec2& point);
    // Repaints the piece chosen in paint mode.
    void paintStar(int colour);
    // New random colours for every piece.
    void shuffleColours();
    void setClearRemaining(bool on) { clearRemaining = on; }
    // Lays out the cells at random or from the saved layout; expects an empty board.
    void fillBoard();
    void saveLayout();

    // The colours in the cells now.
    board::Cells cells() const;
    Star* starAt(int index) const { return stars[index]; }
    bool isTouchEnabled() const { return touchEnabled; }
    bool isClearingRemaining() const { return clearRemaining; }
    // Whether any piece is still on its way to its cell.
    bool isMoving() const;
    // Whether any piece is still falling or has yet to count its fall down.
    bool isFalling() const;

    bool bombMode = false;
    bool paintMode = false;

private:
    Star* starAtPoint(const kite::Vec2& point);
    bool noPairLeft() const { return board::noPairLeft(cells()); }
    void collectGroup(Star* touched);
    void popGroup();
    void removeNextSelected(float dt);
    void settleBoard();
    void saveProgress();
    void clearNextRemaining();
    void finishLevel();

    // Puts a piece of the colour in the cell, dropping from above or placed directly.
    void placeStar(int index, int colour, bool drop);
    void removeAllStars();
    // Rebuilds the board from the colours, each piece placed at its cell; then
    // charges the prop and goes on as after a move (paint and rearrange).
    void rebuildAfterProp(const board::Cells& colours);

    std::array<Star*, board::kCellCount> stars{};
    std::deque<Star*> selectedStars;
    GameLayer* gameLayer = nullptr;
    bool touchEnabled = true;
    int paintCell = 0;
    bool clearRemaining = false;
    float clearTimer = 0.0f;
};
