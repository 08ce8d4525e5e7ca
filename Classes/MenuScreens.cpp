#include "Classes/MenuScreens.h"

#include "Classes/GameData.h"
#include "Classes/GameScene.h"
#include "Classes/ServerExchange.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Director.h"

namespace {

void notBuilt(const char* screen) { kite::log("MenuScreens: the %s is not built yet", screen); }

}  // namespace

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

void openLogin(kite::Node*, int origin) {
    kite::log("MenuScreens: account binding asked for with origin %d", origin);
    notBuilt("account binding dialog");
}

void openRanked(kite::Node*) { notBuilt("leaderboard dialog"); }
void openSale(kite::Node*) { notBuilt("sale dialog"); }
void openHelp(kite::Node*) { notBuilt("help dialog"); }
void openShop(kite::Node*) { notBuilt("diamond shop"); }
void openInfo(MenuLayer*) { notBuilt("account information dialog"); }
void openShare(MenuLayer*) { notBuilt("share dialog"); }

void openWebPage(kite::Node*, int kind) { notBuilt(kind == 1 ? "activity page" : "user agreement page"); }

}  // namespace MenuScreens
