// The first-play tutorial: one page for each prop, with the prop's button in its real place and a finger
// pointing at it. Tapping the button turns the page; closing any page ends the tutorial for good.
#pragma once
#include "kite/scene/Layer.h"

class GameLayer;

class GuideLayer : public kite::Layer {
public:
    static GuideLayer* create();
    bool init() override;
    virtual bool onTouchBegan(kite::Touch* touch, kite::Event* event);

    void showBombPage();
    void showPaintPage();
    void showResetPage();

    GameLayer* gameLayer = nullptr;  // set by the play screen before a page is shown, not owned

private:
    enum class Page { Bomb, Paint, Reset };
    void showPage(Page page);
    void turnPage(Page page);
};
