// The pause dialog: leave the game for the menu, restart it, switch music and sound.
#pragma once
#include "kite/scene/Layer.h"

namespace kite {
class MenuItemToggle;
class Sprite;
}  // namespace kite

class GameLayer;

class PauseLayer : public kite::Layer {
public:
    static PauseLayer* create();
    bool init() override;
    virtual bool onTouchBegan(kite::Touch* touch, kite::Event* event);

    void onClose();
    void onBack();
    void onRestart();
    void onMusic();
    void onSound();

    GameLayer* gameLayer = nullptr;  // set by the play screen, not owned
    kite::Sprite* background = nullptr;
    kite::MenuItemToggle* musicToggle = nullptr;
    kite::MenuItemToggle* soundToggle = nullptr;

private:
    // "voiceOnOff" is on while either music or sound is.
    static void storeVoice();
};
