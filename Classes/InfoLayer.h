// The account information dialog: the bound phone number partly masked, or a bind-now button
// without one; the user agreement page; the application's version.
#pragma once
#include <string>

#include "kite/scene/Layer.h"

class MenuLayer;

class InfoLayer : public kite::Layer {
public:
    static InfoLayer* create();
    bool init() override;
    bool onTouchBegan(kite::Touch* touch, kite::Event* event) override;

    void menuCloseCallback();
    void menuPactCallback();
    void menuBindCallback();

    // The first three characters, "****", then the four from index 7; a shorter number keeps
    // what it has of those parts.
    static std::string maskedNumber(const std::string& number);

    MenuLayer* menuLayer = nullptr;  // the opener; not retained, it is this dialog's parent

private:
    void addAccountState(kite::Node* background);
};
