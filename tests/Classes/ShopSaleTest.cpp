// Buying diamonds by tapping the shop's and the sale screen's buttons, against the local store.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>

#include "Classes/GameLayer.h"
#include "Classes/GameScene.h"
#include "Classes/SaleLayer.h"
#include "Classes/ShopLayer.h"
#include "Classes/TopMenu.h"
#include "StoreScreenTest.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/math/Rect.h"
#include "kite/scene/Label.h"
#include "platform/PngFile.h"
#include "support/LogCapture.h"

namespace game::test {
namespace {

// Where the screens' buttons land on a 480 x 852 design: backgrounds centred at (240, 426).
constexpr float kShopLeft = 240.0f - 440.0f / 2, kShopBottom = 426.0f - 660.0f / 2;
constexpr float kSaleLeft = 240.0f - 460.0f / 2, kSaleBottom = 426.0f - 620.0f / 2;

kite::Vec2 shopBuyButton(int index) { return {kShopLeft + ShopLayer::kBuyX, kShopBottom + ShopLayer::kBuyY[index]}; }
const kite::Vec2 kSaleBuyButton{kSaleLeft + 230.0f, kSaleBottom + 310.0f - 185.0f};

// The colour of a shot's pixel at a design point.
std::array<int, 3> colourAt(const std::string& shotName, float x, float y) {
    const auto image = platform::readPng(std::string(STARGRID_TEST_ARTIFACTS) + "/" + shotName);
    if (!image) return {-1, -1, -1};
    const float scale = 1136.0f / 852.0f;
    const int px = static_cast<int>(x * scale), py = static_cast<int>((852.0f - y) * scale);
    const std::uint8_t* p = &image->rgba[(static_cast<std::size_t>(py) * image->width + px) * 4];
    return {p[0], p[1], p[2]};
}

// The colour a picture of the bundle has at a point (from its bottom-left corner).
std::array<int, 3> pictureColourAt(const std::string& file, int x, int y) {
    const auto image = platform::readPng(std::string(STARGRID_SOURCE_DIR "/Resources/") + file);
    if (!image) return {-2, -2, -2};
    const std::uint8_t* p = &image->rgba[(static_cast<std::size_t>(image->height - 1 - y) * image->width + x) * 4];
    return {p[0], p[1], p[2]};
}

// Whether the shot shows the picture there: each channel within a few steps of it.
bool showsPictureColour(const std::array<int, 3>& shown, const std::array<int, 3>& picture) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(shown[k] - picture[k]) > 6) return false;
    return true;
}

// A node's box on the screen, in design points: its content's corners in world space.
kite::Rect screenBox(const kite::Node* node) {
    const kite::Vec2 corner = node->convertToWorldSpace(kite::Vec2::ZERO);
    const kite::Size size = node->getContentSize();
    const kite::Vec2 opposite = node->convertToWorldSpace(kite::Vec2(size.width, size.height));
    return kite::Rect(std::min(corner.x, opposite.x), std::min(corner.y, opposite.y), std::abs(opposite.x - corner.x),
                      std::abs(opposite.y - corner.y));
}

// Whether two shots show the same pixels in a box of design points.
bool samePixels(const std::string& onePath, const std::string& otherPath, const kite::Rect& box) {
    const auto one = platform::readPng(onePath);
    const auto other = platform::readPng(otherPath);
    if (!one || !other || one->width != other->width || one->height != other->height) return false;
    const float scale = 1136.0f / 852.0f;
    for (auto y = static_cast<unsigned>((852.0f - box.getMaxY()) * scale);
         y < static_cast<unsigned>((852.0f - box.getMinY()) * scale); ++y) {
        for (auto x = static_cast<unsigned>(box.getMinX() * scale); x < static_cast<unsigned>(box.getMaxX() * scale);
             ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * one->width + x) * 4;
            for (int channel = 0; channel < 3; ++channel)
                if (one->rgba[at + channel] != other->rgba[at + channel]) return false;
        }
    }
    return true;
}

class ShopSaleTest : public StoreScreenTest {
protected:
    ShopLayer* openShop() {
        ShopLayer* shop = ShopLayer::create();
        scene->addChild(shop, 2);
        frames(12);  // popped in
        return shop;
    }
    SaleLayer* openSale() {
        SaleLayer* sale = SaleLayer::create();
        scene->addChild(sale, 2);
        frames(12);
        return sale;
    }
    // A new game on the play screen, its shop opened from there; the play screen's layer.
    GameLayer* openPlayScreensShop() {
        QKSingleton::getInstance()->setGuideStatus(1);  // no tutorial over the board
        GameData::getInstance()->newGame();
        kite::Director::getInstance()->replaceScene(GameScene::create());
        frames(200);  // the level banners are gone and the buttons enabled
        GameLayer* game = QKSingleton::getInstance()->getGameLayer();
        if (!game) return nullptr;
        tapAt(480 - 68, 852 - 25);  // the play screen's shop button
        frames(12);
        return game;
    }
    void buyFromShop(int index) {
        const kite::Vec2 button = shopBuyButton(index);
        tapAt(button.x, button.y);
        frames(6);
    }
    void buyFromSale() {
        tapAt(kSaleBuyButton.x, kSaleBuyButton.y);
        frames(6);
    }
    // The store sells what this products file lists, instead of the bundle's.
    void sellOnly(const std::string& productsFile) {
        const std::string products = environment->root() + "/products.plist";
        std::ofstream(products) << productsFile;
        platform::LocalStore::shared().configure(
            {products, environment->root() + "/ledger.plist", [](std::function<void()> f) {
                 kite::Director::getInstance()->getScheduler()->performFunctionInMainThread(f);
             }});
    }
    // The purchase is over: no bridge, no wait box over the screen, nothing left in the store.
    void expectPurchaseOver(kite::Node* screen, std::size_t childrenBefore) {
        EXPECT_EQ(QKSingleton::getInstance()->getCurrentPurchase(), nullptr);
        EXPECT_EQ(screen->getChildrenCount(), childrenBefore);
    }
};

TEST_F(ShopSaleTest, TierEightFromTheShopTakesTwentyDiamondsToTenTwentyAndLeavesTheLadder) {
    ShopLayer* shop = openShop();
    shot("shop.png");
    const std::size_t children = shop->getChildrenCount();
    const kite::Vec2 button = shopBuyButton(2);
    tapAt(button.x, button.y);
    frames(6);
    EXPECT_EQ(diamonds(), 1020);
    EXPECT_EQ(QKSingleton::getInstance()->getPayTier(), 0);
    EXPECT_TRUE(QKSingleton::getInstance()->purchaseFromShop);
    expectPurchaseOver(shop, children);
    EXPECT_EQ(unfinished(), 1u) << "finished before the shop's count showed its diamonds";
    frames(31);  // the label follows within half a second
    kite::Label* label = nullptr;
    for (kite::Node* child : shop->getChildren().at(1)->getChildren()) {
        if (auto* found = dynamic_cast<kite::Label*>(child)) label = found;
    }
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getString(), "1020");
    EXPECT_EQ(unfinished(), 0u) << "the count showed it";
    shot("shop-after-tier8.png");
    EXPECT_TRUE(showsPictureColour(colourAt("shop.png", kShopLeft + 30, kShopBottom + 30),
                                   pictureColourAt("Menu/Shop/bg_shop.png", 30, 30)));
}

TEST_F(ShopSaleTest, EveryShopButtonBuysItsTier) {
    ShopLayer* shop = openShop();
    const int credits[] = {140, 355, 1000, 3000};
    int expected = diamonds();
    for (int index = 0; index < 4; ++index) {
        buyFromShop(index);
        expected += credits[index];
        EXPECT_EQ(diamonds(), expected) << "button " << index;
    }
    EXPECT_EQ(QKSingleton::getInstance()->getPayTier(), 0);
    EXPECT_EQ(shop->getParent(), scene);
}

TEST_F(ShopSaleTest, SaleLadderCreditsMoreAndOffersTheNextPackNextTime) {
    QKSingleton::getInstance()->setPayTier(2);
    SaleLayer* sale = openSale();
    shot("sale-tier8.png");
    EXPECT_TRUE(showsPictureColour(colourAt("sale-tier8.png", 240 - 160, 426),
                                   pictureColourAt("Menu/Sale/bg_sale_3.png", 20, 130)));
    const std::size_t children = sale->getChildrenCount();
    buyFromSale();
    EXPECT_EQ(diamonds(), 1220);
    EXPECT_EQ(QKSingleton::getInstance()->getPayTier(), 3);
    EXPECT_FALSE(QKSingleton::getInstance()->purchaseFromShop);
    expectPurchaseOver(sale, children);

    // The offer stays while open; the next opening offers the last rung.
    const std::size_t screens = scene->getChildrenCount();
    tapAt(kSaleLeft + 460 - 75, kSaleBottom + 620 - 107);
    EXPECT_EQ(scene->getChildrenCount(), screens - 1);
    openSale();
    shot("sale-tier16.png");
    EXPECT_TRUE(showsPictureColour(colourAt("sale-tier16.png", 240 - 160, 426),
                                   pictureColourAt("Menu/Sale/bg_sale_4.png", 20, 130)));
}

TEST_F(ShopSaleTest, SaleFromTheFirstRungAndFromFarUpTheLadder) {
    EXPECT_EQ(SaleLayer::offerImage(0), "Menu/Sale/bg_sale_1.png");
    EXPECT_EQ(SaleLayer::offerImage(7), "Menu/Sale/bg_sale_4.png");
    openSale();
    shot("sale-tier2.png");
    EXPECT_TRUE(showsPictureColour(colourAt("sale-tier2.png", 240 - 160, 426),
                                   pictureColourAt("Menu/Sale/bg_sale_1.png", 20, 130)));
    buyFromSale();
    EXPECT_EQ(diamonds(), 260);
    QKSingleton::getInstance()->setPayTier(7);
    buyFromSale();
    EXPECT_EQ(diamonds(), 3260);
    EXPECT_EQ(QKSingleton::getInstance()->getPayTier(), 8);
}

TEST_F(ShopSaleTest, ADamagedNegativeTierShowsAndBuysTheFirstPack) {
    QKSingleton::getInstance()->setPayTier(-3);
    openSale();
    shot("sale-negative-tier.png");
    EXPECT_TRUE(showsPictureColour(colourAt("sale-negative-tier.png", 240 - 160, 426),
                                   pictureColourAt("Menu/Sale/bg_sale_1.png", 20, 130)));
    buyFromSale();
    EXPECT_EQ(diamonds(), 260) << "not the pack on offer";
}

TEST_F(ShopSaleTest, RefusedPaymentsCreditNothingAndCloseTheWaitBox) {
    for (const char* policy : {"decline", "cancel", "fail-then-approve"}) {
        SCOPED_TRACE(policy);
        platform::LocalStore::shared().reset();
        setenv("STARGRID_STORE", policy, 1);
        SaleLayer* sale = openSale();
        const std::size_t children = sale->getChildrenCount();
        buyFromSale();
        EXPECT_EQ(diamonds(), 20);
        EXPECT_EQ(QKSingleton::getInstance()->getPayTier(), 0);
        expectPurchaseOver(sale, children);
        EXPECT_EQ(unfinished(), 0u);
        EXPECT_EQ(alerts, std::vector<std::string>{"提示|无法连接到 iTunes Store!|确认"});
        alerts.clear();
        sale->removeFromParent();
    }
}

TEST_F(ShopSaleTest, DeferredPaymentClosesTheWaitBoxAndIsCreditedOnceApprovedAtTheNextStart) {
    setenv("STARGRID_STORE", "defer", 1);
    ShopLayer* shop = openShop();
    const std::size_t children = shop->getChildrenCount();
    buyFromShop(0);
    EXPECT_EQ(diamonds(), 20);
    expectPurchaseOver(shop, children);
    EXPECT_EQ(unfinished(), 1u);

    // The next start, with the payment approved meanwhile.
    platform::LocalStore::shared().reset();
    setenv("STARGRID_STORE", "approve", 1);
    QKSingleton::getInstance()->resumePurchases();
    frames(4);
    EXPECT_EQ(diamonds(), 160);
    EXPECT_EQ(unfinished(), 0u);
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPurchase(), nullptr);
    EXPECT_EQ(shop->getChildrenCount(), children);
}

TEST_F(ShopSaleTest, ProductTheStoreDoesNotSellEndsThePurchaseWithoutPaying) {
    sellOnly(
        "<plist><array><dict><key>productIdentifier</key><string>com.kwrlopa.tier2</string>"
        "<key>price</key><real>12</real></dict></array></plist>");
    kite::test::LogCapture log;
    ShopLayer* shop = openShop();
    const std::size_t children = shop->getChildrenCount();
    buyFromShop(2);
    EXPECT_EQ(diamonds(), 20);
    expectPurchaseOver(shop, children);
    EXPECT_EQ(unfinished(), 0u);
    EXPECT_TRUE(log.contains("invalidIdentifier:com.kwrlopa.tier8"));
    EXPECT_TRUE(log.contains("付款失败"));
    EXPECT_EQ(alerts, std::vector<std::string>{"提示|支付错误，请重试!|确认"});
}

TEST_F(ShopSaleTest, BrokenProductsFileFailsTheRequestWithItsAlert) {
    sellOnly("not a property list");
    kite::test::LogCapture log;
    SaleLayer* sale = openSale();
    const std::size_t children = sale->getChildrenCount();
    buyFromSale();
    EXPECT_EQ(diamonds(), 20);
    expectPurchaseOver(sale, children);
    EXPECT_EQ(alerts, std::vector<std::string>{"提示|支付错误，请重试!|确认"});
    EXPECT_TRUE(log.contains("付款失败"));
}

TEST_F(ShopSaleTest, WaitBoxSwallowsTouchesWhileThePurchaseRuns) {
    ShopLayer* shop = openShop();
    const std::size_t children = shop->getChildrenCount();
    shop->menuBuyCallback(1);
    EXPECT_EQ(shop->getChildrenCount(), children + 1);  // the wait box
    // The close button is under the wait box: the shop stays.
    const kite::Vec2 close{kShopLeft + 440 - 32, kShopBottom + 650 - 32};
    tapAt(close.x, close.y);
    EXPECT_EQ(shop->getParent(), scene);
    frames(4);
    EXPECT_EQ(diamonds(), 375);
    expectPurchaseOver(shop, children);
}

TEST_F(ShopSaleTest, PurchaseFromThePlayScreensShopShowsOnItsTopBarAtOnce) {
    GameLayer* game = openPlayScreensShop();
    ASSERT_NE(game, nullptr);
    buyFromShop(0);
    EXPECT_EQ(diamonds(), 160);
    EXPECT_EQ(game->getTopMenu()->diamondLabel->getString(), "160");
    shot("play-screen-shop.png");
}

// The play screen's top bar shows the diamonds at once, under the shop's shade, while the shop's own count
// still shows 20: only that count, once it shows them, tells the player, and so finishes the payment.
TEST_F(ShopSaleTest, APaymentInThePlayScreensShopIsFinishedByTheShopsCountNotByTheTopBarUnderItsShade) {
    GameLayer* game = openPlayScreensShop();
    ASSERT_NE(game, nullptr);
    ShopLayer* shop = nullptr;
    for (kite::Node* child : game->getChildren())
        if (auto* found = dynamic_cast<ShopLayer*>(child)) shop = found;
    ASSERT_NE(shop, nullptr);
    kite::Label* shopCount = nullptr;
    for (kite::Node* child : shop->getChildren().at(1)->getChildren())
        if (auto* found = dynamic_cast<kite::Label*>(child)) shopCount = found;
    ASSERT_NE(shopCount, nullptr);
    kite::Label* barCount = game->getTopMenu()->diamondLabel;
    // In the test's own folder: runs of it side by side never read each other's shots.
    const std::string unpaid = environment->root() + "/unpaid.png", paid = environment->root() + "/paid.png";
    play("shot 1 " + unpaid + "\n");

    buyFromShop(0);
    ASSERT_EQ(barCount->getString(), "160");
    play("shot 1 " + paid + "\n");
    ASSERT_EQ(shopCount->getString(), "20");
    EXPECT_FALSE(samePixels(unpaid, paid, screenBox(barCount))) << "the top bar's count was not drawn anew";
    EXPECT_TRUE(samePixels(unpaid, paid, screenBox(shopCount))) << "the shop's count changed";
    EXPECT_EQ(unfinished(), 1u) << "finished while the player saw 20 diamonds";

    for (int frame = 0; frame < 60 && shopCount->getString() != "160"; ++frame) {
        ASSERT_EQ(unfinished(), 1u) << "finished before the shop's count showed its diamonds";
        frames(1);
    }
    ASSERT_EQ(shopCount->getString(), "160");
    frames(1);  // the frame after the one that drew it
    EXPECT_EQ(unfinished(), 0u) << "the shop's count showed it";
}

}  // namespace
}  // namespace game::test
