// The gift-pack offer: one pack of the sale ladder ("payTier") and its buy button.
#pragma once
#include <string>

#include "kite/scene/Layer.h"

class SaleLayer : public kite::Layer {
public:
    static SaleLayer* create();
    bool init() override;
    virtual bool onTouchBegan(kite::Touch* touch, kite::Event* event);

    void menuCloseCallback();
    void menuBuyCallback();

    // The rung of the ladder on offer for a pay tier: 0 to 3, the last from 3 up; a negative tier offers the first.
    static int offeredTier(int payTier);
    // "Menu/Sale/bg_sale_1.png" for pay tier 0 up to "Menu/Sale/bg_sale_4.png" for 3 and above.
    static std::string offerImage(int payTier);

    static constexpr const char* kBackground = "Common/bg_dialog_1.png";
    static constexpr const char* kTitle = "Menu/Sale/title_sale.png";
    static constexpr const char* kGiftMark = "Menu/Sale/icon_handsel.png";
    static constexpr const char* kBuyButton = "Menu/Sale/btn_buy.png";
};
