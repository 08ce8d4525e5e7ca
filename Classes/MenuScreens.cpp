#include "Classes/MenuScreens.h"

#include "Classes/GameData.h"
#include "Classes/GameScene.h"
#include "Classes/HelpLayer.h"
#include "Classes/InfoLayer.h"
#include "Classes/LoginLayer.h"
#include "Classes/MenuLayer.h"
#include "Classes/RankedLayer.h"
#include "Classes/SaleLayer.h"
#include "Classes/ServerExchange.h"
#include "Classes/ShareLayer.h"
#include "Classes/ShopLayer.h"
#include "Classes/WebViewLayer.h"
#include "kite/scene/Director.h"

namespace MenuScreens {

void startGame() {
    // Replies for the menu must not reach the play screen.
    ServerExchange::destroyClient(true);
    GameData* data = GameData::getInstance();
    if (data->newGameRequested) {
        data->setGameTag(data->pendingGameTag);
        data->newGame();
    } else {
        data->resumeGame();
    }
    if (GameScene* scene = GameScene::create()) kite::Director::getInstance()->replaceScene(scene);
}

void openLogin(kite::Node* owner, int origin) {
    if (!owner) return;
    if (LoginLayer* login = LoginLayer::create()) {
        login->setOrigin(origin);
        owner->addChild(login, 2);
    }
}

void openRanked(kite::Node* owner) {
    if (!owner) return;
    if (RankedLayer* ranked = RankedLayer::create()) owner->addChild(ranked, 2);
}

void openSale(kite::Node* owner) {
    if (!owner) return;
    if (SaleLayer* sale = SaleLayer::create()) owner->addChild(sale, 2);
}

void openHelp(kite::Node* owner) {
    if (!owner) return;
    if (HelpLayer* help = HelpLayer::create()) owner->addChild(help, 2);
}

void openShop(kite::Node* owner) {
    if (!owner) return;
    if (ShopLayer* shop = ShopLayer::create()) owner->addChild(shop, 2);
}

void openInfo(MenuLayer* menu) {
    if (!menu) return;
    if (InfoLayer* info = InfoLayer::create()) {
        info->menuLayer = menu;
        menu->addChild(info, 2);
    }
}

void openShare(MenuLayer* menu) {
    if (!menu) return;
    if (ShareLayer* share = ShareLayer::create()) {
        share->menuLayer = menu;
        menu->addChild(share, 2, kShareDialogTag);
    }
}

void openWebPage(kite::Node* owner, int kind) {
    if (!owner) return;
    if (WebViewLayer* page = WebViewLayer::create()) {
        page->requestPage(kind);
        owner->addChild(page, 2);
    }
}

}  // namespace MenuScreens
