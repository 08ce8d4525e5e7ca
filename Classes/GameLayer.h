// The play screen: background, the board of each level, touches to the board and the level flow between boards.
#pragma once
#include <functional>

#include "kite/foundation/math/Vec2.h"
#include "kite/scene/Layer.h"

namespace kite {
class Event;
class Label;
class Touch;
}  // namespace kite

class StarMatrix;

class GameLayer : public kite::Layer {
public:
    static GameLayer* create();
    ~GameLayer() override;

    bool init() override;
    void update(float dt) override;
    virtual bool onTouchBegan(kite::Touch* touch, kite::Event* event);

    // Seconds from a level start to its board: the level and target banners
    // float in (0.4 s each), hold (0.8 s), float out (0.4 s), then 0.25 s.
    static constexpr float kLevelStartDelay = 2.25f;
    // Seconds the left-piece messages float in, hold and float out before clearing.
    static constexpr float kLeftStarMessageTime = 2.0f;

    // Called by the board. The top bar, the prop buttons and the paint chooser are
    // not on this screen yet: what they would show stays in GameData.
    void refreshScore();
    void setPropsEnabled(bool on) { propsEnabled_ = on; }
    void showComboWord(int groupSize);
    void showPaintChooser(const kite::Vec2& point);
    void floatLeftStarMsg(int piecesLeft);
    void nextLevel();
    void gameOver();

    StarMatrix* getBoard() const { return board; }
    bool arePropsEnabled() const { return propsEnabled_; }

private:
    void showLevelStart();
    void showStarMatrix();
    // Runs the function after the delay, through an empty node of the layer.
    void runAfter(float seconds, const std::function<void()>& function);

    StarMatrix* board = nullptr;
    kite::Label* comboLabel = nullptr;  // the last group: its size and points
    bool propsEnabled_ = false;
};
