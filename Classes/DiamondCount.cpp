#include "Classes/DiamondCount.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/IOSiAP.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"

namespace diamondCount {
namespace {

std::vector<std::string>& waitingPayments() {
    static std::vector<std::string> payments;
    return payments;
}

// A label is drawn only with text, and only while it and every node above it are visible.
bool drawnNow(const kite::Label* count) {
    if (!count || !count->isRunning() || count->getString().empty()) return false;
    for (const kite::Node* node = count; node; node = node->getParent())
        if (!node->isVisible()) return false;
    return true;
}

}  // namespace

void awaitShown(const std::string& transactionIdentifier) {
    std::vector<std::string>& payments = waitingPayments();
    if (std::find(payments.begin(), payments.end(), transactionIdentifier) == payments.end())
        payments.push_back(transactionIdentifier);
}

void labelDrawn(const kite::Label* count) {
    // Called every frame: nothing to look at while no payment waits.
    if (!waitingPayments().empty() && drawnNow(count)) countDrawn(count->getString());
}

void countDrawn(const std::string& shown) {
    std::vector<std::string>& payments = waitingPayments();
    if (payments.empty() || shown != intToString(GameData::getInstance()->getDiamond())) return;
    std::vector<std::string> told;
    told.swap(payments);
    // This frame is presented once drawing is over; the next one runs what is posted now.
    kite::Director::getInstance()->getScheduler()->performFunctionInMainThread(
        [told = std::move(told)] { IOSiAP::finishTold(told); });
}

}  // namespace diamondCount
