#include "Classes/DiamondCount.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/IOSiAP.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/math/AffineTransform.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/Layer.h"
#include "kite/scene/Sprite.h"

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

kite::Rect screenBox(const kite::Node* node) {
    const kite::Size size = node->getContentSize();
    return kite::RectApplyTransform(kite::Rect(0, 0, size.width, size.height), node->getNodeToWorldTransform());
}

bool overlaps(const kite::Rect& one, const kite::Rect& other) {
    return one.getMinX() < other.getMaxX() && other.getMinX() < one.getMaxX() && one.getMinY() < other.getMaxY() &&
           other.getMinY() < one.getMaxY();
}

// Pictures, colour layers and text hide what is under them; a node that only holds others hides nothing.
bool paintsOver(const kite::Node* node, const kite::Rect& box) {
    const bool paints = dynamic_cast<const kite::Sprite*>(node) || dynamic_cast<const kite::LayerColor*>(node) ||
                        dynamic_cast<const kite::Label*>(node);
    return paints && node->getDisplayedOpacity() > 0 && overlaps(screenBox(node), box);
}

bool drawsOver(const kite::Node* node, const kite::Rect& box) {
    if (!node->isVisible()) return false;
    if (paintsOver(node, box)) return true;
    for (const kite::Node* child : node->getChildren())
        if (drawsOver(child, box)) return true;
    return false;
}

// The order a parent's visit draws its children in.
bool drawnBefore(const kite::Node* one, const kite::Node* other) {
    return one->getLocalZOrder() < other->getLocalZOrder() ||
           (one->getLocalZOrder() == other->getLocalZOrder() && one->getOrderOfArrival() < other->getOrderOfArrival());
}

// What this frame draws after the count lies over it: a dialog's shade or frame opened above the screen that
// holds it. Those are the later siblings of the count and of every node above it, and a parent over a child of
// negative z.
bool coveredLater(const kite::Label* count) {
    const kite::Rect box = screenBox(count);
    const kite::Node* node = count;
    while (const kite::Node* parent = node->getParent()) {
        if (node->getLocalZOrder() < 0 && paintsOver(parent, box)) return true;
        for (const kite::Node* sibling : parent->getChildren())
            if (sibling != node && drawnBefore(node, sibling) && drawsOver(sibling, box)) return true;
        node = parent;
    }
    return false;
}

}  // namespace

void awaitShown(const std::string& transactionIdentifier) {
    std::vector<std::string>& payments = waitingPayments();
    if (std::find(payments.begin(), payments.end(), transactionIdentifier) == payments.end())
        payments.push_back(transactionIdentifier);
}

void labelDrawn(const kite::Label* count) {
    // Called every frame: nothing to look at while no payment waits.
    if (!waitingPayments().empty() && drawnNow(count) && !coveredLater(count)) countDrawn(count->getString());
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
