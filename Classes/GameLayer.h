// The play screen: background, top bar, shop and pause buttons, the three props, the combo and prompt labels,
// the floating level messages, and the board of each level; it runs the level flow between boards.
#pragma once
#include <functional>

#include "kite/foundation/math/Vec2.h"
#include "kite/scene/Layer.h"

namespace kite {
class Event;
class Label;
class MenuItem;
class MenuItemImage;
class MenuItemToggle;
class Touch;
}  // namespace kite

class FloatWord;
class GuideLayer;
class StarMatrix;
class TopMenu;

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
    // The tutorial opens this long after the board is made.
    static constexpr float kGuideDelay = 0.6f;
    // The rearrange button rests this long after each use.
    static constexpr float kResetCooldown = 2.0f;

    // Called by the board.
    void refreshScore();
    void setPropsEnabled(bool on);
    void showComboWord(int groupSize);
    void showPaintChooser(const kite::Vec2& point);
    void floatLeftStarMsg(int piecesLeft);
    void nextLevel();
    void gameOver();

    // Called by the tutorial.
    void showGuideBomb();
    void showGuidePaint();
    void showGuideReset();
    void finishGuide();

    // Called by the game-over dialog.
    void openSale();

    // The prop buttons' and the top buttons' own handlers.
    void onBombProp();
    void onPaintProp();
    void onResetProp();
    void onShop();
    void onPause();

    StarMatrix* getBoard() const { return board; }
    TopMenu* getTopMenu() const { return topMenu; }
    kite::Label* getComboLabel() const { return comboLabel; }
    kite::Label* getPromptLabel() const { return promptLabel; }
    kite::MenuItemToggle* getBombToggle() const { return bombToggle; }
    kite::MenuItemToggle* getPaintToggle() const { return paintToggle; }
    kite::MenuItemImage* getResetItem() const { return resetItem; }
    bool arePropsEnabled() const { return propsEnabled_; }
    bool isResetCooling() const { return resetCooling; }

private:
    void buildTopArea();
    void buildProps();
    void showLevelStart();
    void showTargetWord();
    void removeFloatWord();
    void showStarMatrix();
    void enableReset();
    // A new tutorial layer over the screen, showing one page.
    void openGuidePage(void (GuideLayer::*showPage)());
    void showPrompt(const char* text);
    // Checks the prop's uses and the diamonds; true when it may be armed.
    bool propAffordable(int usesLeft, kite::MenuItemToggle* toggle);
    // Runs the function after the delay, through an empty node of the layer.
    void runAfter(float seconds, const std::function<void()>& function);

    FloatWord* levelWord = nullptr;
    FloatWord* targetWord = nullptr;
    TopMenu* topMenu = nullptr;
    StarMatrix* board = nullptr;
    kite::Label* comboLabel = nullptr;   // the last group: its size and points
    kite::Label* promptLabel = nullptr;  // what an armed prop wants
    kite::MenuItem* shopItem = nullptr;
    kite::MenuItem* pauseItem = nullptr;
    kite::MenuItemToggle* bombToggle = nullptr;  // index 0 normal, 1 armed
    kite::MenuItemToggle* paintToggle = nullptr;
    kite::MenuItemImage* resetItem = nullptr;
    bool resetCooling = false;
    bool propsEnabled_ = false;
};
