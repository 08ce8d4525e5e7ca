// The game's purchase path in a process of its own, for tests that kill it part way.
//   store_buyer buy PACK shop|sale approved|credited|alerted
//     buys the pack; at the named point it prints "ready" and waits to be killed:
//     approved: the store has the payment approved on disk, the credit is not saved yet;
//     credited: the credit is saved, and shown, the store has not heard that it is finished;
//     alerted: the store's alert to the buyer is raised, and not drawn yet.
//     STARGRID_STORE says how the store answers, as in the game.
//   store_buyer resume
//     credits what earlier runs left unfinished, then prints
//     "diamonds D payTier P unfinished U".
// Files go where XDG_DATA_HOME and XDG_CONFIG_HOME point; the bundle is STARGRID_RESOURCES.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Classes/DiamondCount.h"
#include "Classes/GameData.h"
#include "Classes/IOSiAP.h"
#include "Classes/PlatformAlert.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/UserDefault.h"
#include "kite/scene/Director.h"
#include "platform/AtomicFile.h"
#include "platform/LocalStore.h"

namespace {

void waitToBeKilled() {
    std::printf("ready\n");
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {}
    _exit(3);  // the test closed the pipe instead of killing us
}

// Counts the ledger's saves: the first queues the payment, the second records the store's
// answer, the third finishes it. Saves of the preferences come between.
void armKillPoint(const std::string& point) {
    const std::string ledger = kite::FileUtils::getInstance()->getWritablePath() + IOSiAP::kLedgerFile;
    platform::setAtomicWriteHookForTesting([point, ledger, ledgerSaves = 0](const std::string& temporary) mutable {
        const bool isLedger = temporary.compare(0, ledger.size(), ledger) == 0;
        if (isLedger) ++ledgerSaves;
        if (point == "approved" && !isLedger && ledgerSaves == 2) waitToBeKilled();
        if (point == "credited" && isLedger && ledgerSaves == 3) waitToBeKilled();
    });
    // As the game's alert view, which draws an alert in a later frame: this one never comes.
    if (point == "alerted")
        platformAlert::setDrawingPresenter(
            [](const std::string&, const std::string&, const std::string&, platformAlert::Shown) { waitToBeKilled(); });
}

// Each frame draws a count of the diamonds, as the shop's and the top bar's are drawn in the game.
void runFrame() {
    kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
    diamondCount::countDrawn(std::to_string(GameData::getInstance()->getDiamond()));
}

void runFrames(int count) {
    for (int i = 0; i < count && QKSingleton::getInstance()->getCurrentPurchase(); ++i) runFrame();
    runFrame();  // deletes the ended bridge, and finishes what the last count showed
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    QKSingleton* state = QKSingleton::getInstance();
    if (mode == "buy" && argc == 5) {
        GameData::getInstance()->setDiamond(20);
        kite::UserDefault::getInstance()->flush();
        armKillPoint(argv[4]);
        state->purchaseFromShop = std::strcmp(argv[3], "shop") == 0;
        state->startPurchase(std::atoi(argv[2]));
        runFrames(120);
        std::printf("never killed\n");
        return 4;
    }
    if (mode == "resume") {
        state->resumePurchases();
        runFrames(120);
        std::printf("diamonds %d payTier %d unfinished %zu\n", GameData::getInstance()->getDiamond(),
                    state->getPayTier(), platform::LocalStore::shared().unfinishedTransactions().size());
        return 0;
    }
    std::fprintf(stderr, "usage: %s buy PACK shop|sale approved|credited|alerted | resume\n", argv[0]);
    return 2;
}
