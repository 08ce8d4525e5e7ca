// The diamond shop: four packs at fixed prices, each with its buy button, and the diamond
// count kept up to date while the shop is open.
#pragma once
#include "kite/scene/Layer.h"

namespace kite {
class Label;
}

class ShopLayer : public kite::Layer {
public:
    static ShopLayer* create();
    bool init() override;
    virtual bool onTouchBegan(kite::Touch* touch, kite::Event* event);
    // Its diamond count, drawn, tells the payments it shows.
    void visit(kite::Renderer* renderer, const kite::Mat4& parentTransform, uint32_t parentFlags) override;
    using kite::Layer::visit;

    void menuCloseCallback();
    // Pack index 0 to 3, top to bottom.
    void menuBuyCallback(int tierIndex);
    void updateDiamond(float dt);

    static constexpr const char* kBackground = "Menu/Shop/bg_shop.png";
    static constexpr const char* kBuyButton = "Menu/Shop/btn_buy.png";
    // Buy buttons on the background, top to bottom.
    static constexpr float kBuyX = 340.0f;
    static constexpr float kBuyY[4] = {508.0f, 386.0f, 264.0f, 142.0f};
    static constexpr float kRefreshInterval = 0.5f;

private:
    kite::Label* diamondLabel = nullptr;
};
