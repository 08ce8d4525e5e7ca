#include "Classes/IOSiAP_Bridge.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "Classes/DiamondCount.h"
#include "Classes/GameData.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/UserDefault.h"

namespace {

constexpr int kTiers[] = {2, 4, 8, 16};
// Enough to cover every transaction that can be unfinished at once.
constexpr std::size_t kCreditedKept = 32;

std::vector<std::string> creditedTransactions() {
    std::istringstream text(kite::UserDefault::getInstance()->getStringForKey(IOSiAP_Bridge::kCreditedKey));
    std::vector<std::string> identifiers;
    for (std::string identifier; text >> identifier;) identifiers.push_back(identifier);
    return identifiers;
}

void rememberCredited(const std::string& identifier) {
    std::vector<std::string> identifiers = creditedTransactions();
    identifiers.push_back(identifier);
    if (identifiers.size() > kCreditedKept) identifiers.erase(identifiers.begin());
    std::string text;
    for (const std::string& each : identifiers) text += (text.empty() ? "" : " ") + each;
    kite::UserDefault::getInstance()->setStringForKey(IOSiAP_Bridge::kCreditedKey, text);
}

}  // namespace

IOSiAP_Bridge::IOSiAP_Bridge() : iap(std::make_unique<IOSiAP>(this)) {}

IOSiAP_Bridge::~IOSiAP_Bridge() = default;

std::string IOSiAP_Bridge::productOfTier(int tier) {
    const bool sold = std::find(std::begin(kTiers), std::end(kTiers), tier) != std::end(kTiers);
    return sold ? "com.kwrlopa.tier" + std::to_string(tier) : std::string();
}

int IOSiAP_Bridge::tierOfProduct(const std::string& identifier) {
    for (int tier : kTiers) {
        if (identifier == productOfTier(tier)) return tier;
    }
    return 0;
}

int IOSiAP_Bridge::diamondsFor(int tier, bool fromShop) {
    switch (tier) {
        case 2: return fromShop ? 140 : 240;
        case 4: return fromShop ? 355 : 510;
        case 8: return fromShop ? 1000 : 1200;
        case 16: return 3000;
        default: return 0;
    }
}

void IOSiAP_Bridge::requestProducts(int tier) {
    this->tier = tier;
    std::vector<std::string> identifiers;
    for (int each : kTiers) identifiers.push_back(productOfTier(each));
    iap->requestProducts(identifiers);
}

void IOSiAP_Bridge::resumeUnfinished() { recovering = true; }

void IOSiAP_Bridge::onRequestProductsFinish() {
    const IOSProduct* product = iap->iOSProductByIdentifier(productOfTier(tier));
    if (!product || !product->isValid) {
        kite::log("IOSiAP_Bridge: the store does not sell %s", productOfTier(tier).c_str());
        IOSiAP::showStoreAlert(IOSiAP::kProductsFailedMessage);
        fail();
        return;
    }
    iap->paymentWithProduct(product, 1, QKSingleton::getInstance()->purchaseFromShop ? kFromShop : kFromSale);
}

void IOSiAP_Bridge::onRequestProductsError(int) { fail(); }

void IOSiAP_Bridge::onPaymentEvent(const std::string& identifier, IOSiAPPaymentEvent event, int,
                                   const IOSTransaction& transaction) {
    const bool credited = event == IOSIAP_PAYMENT_PURCHASED && credit(identifier, transaction);
    if (event == IOSIAP_PAYMENT_PURCHASED && !credited) unsaved.insert(transaction.transactionIdentifier);
    if (transaction.untold && (credited || event == IOSIAP_PAYMENT_FAILED))
        untold.insert(transaction.transactionIdentifier);
    if (recovering && transaction.untold) noteStartNews(event, credited, transaction);
    // The buyer sees the diamonds of its own payment on a count: the top bar's (refreshed below) when no dialog is
    // over it, the shop's at its next refresh, or, from the sale screen, which has none, the next screen's that has
    // one in sight. Told once a frame drawing one in sight is on the screen; its failure is told by the store's alert.
    if (credited && transaction.untold && transaction.ownPayment)
        diamondCount::awaitShown(transaction.transactionIdentifier);
    // A restored purchase of a pack credits nothing: the player who asked to buy is told so.
    if (event == IOSIAP_PAYMENT_RESTORED && transaction.ownPayment && !ended)
        IOSiAP::showStoreAlert(IOSiAP::kProductsFailedMessage);
    if (event == IOSIAP_PAYMENT_DEFERRED && transaction.ownPayment) {
        kite::log("IOSiAP_Bridge: the payment is not settled yet; it is credited once it is");
    }
    // Transactions of earlier runs are credited quietly; only this purchase's own ends it.
    if (transaction.ownPayment && !ended) {
        QKSingleton::getInstance()->removePopup();
        end();
    }
    QKSingleton::getInstance()->refreshTopBar();
}

void IOSiAP_Bridge::onTransactionsHandled() {
    if (!recovering || ended) return;
    // One alert for the batch, a line for each outcome.
    std::string news;
    for (const char* line : startNews) news += (news.empty() ? "" : "\r\n") + std::string(line);
    // What it tells is finished once the player can see it; a start that ends before leaves it to the next.
    const std::vector<std::string> told(untold.begin(), untold.end());
    if (!news.empty()) IOSiAP::showStoreAlert(news.c_str(), [told] { IOSiAP::finishTold(told); });
    end();
}

// A payment the player was told is pending, or never heard of (a run that ended mid-purchase, or before the
// alert of its outcome was drawn), is told once its outcome is on disk: by the start that decided it or, when
// that one ended before its alert was drawn, by the next. One whose payer was told went then; one settled
// without the mark (by an older version) goes quietly.
void IOSiAP_Bridge::noteStartNews(IOSiAPPaymentEvent event, bool credited, const IOSTransaction& transaction) {
    const char* news = nullptr;
    if (event == IOSIAP_PAYMENT_PURCHASED && credited) news = IOSiAP::kEarlierPaymentCreditedMessage;
    if (event == IOSIAP_PAYMENT_FAILED) news = IOSiAP::kEarlierPaymentNotChargedMessage;
    if (event == IOSIAP_PAYMENT_DEFERRED && transaction.outcomeUnsaved) news = IOSiAP::kPaymentPendingMessage;
    if (news && std::find(startNews.begin(), startNews.end(), news) == startNews.end()) startNews.push_back(news);
}

bool IOSiAP_Bridge::canFinishTransaction(const std::string& transactionIdentifier) {
    return unsaved.count(transactionIdentifier) == 0 && untold.count(transactionIdentifier) == 0;
}

// By the transaction's own product and the origin its payment was tagged with, once. The store
// hears it is finished only once the credit and its mark are on disk: until then the payment
// comes again at the next start, and the mark keeps it from being credited twice.
bool IOSiAP_Bridge::credit(const std::string& identifier, const IOSTransaction& transaction) {
    const int paidTier = tierOfProduct(identifier);
    if (paidTier == 0) {
        kite::log("IOSiAP_Bridge: %s is not a diamond pack; nothing credited", identifier.c_str());
        return true;
    }
    const std::vector<std::string> credited = creditedTransactions();
    if (std::find(credited.begin(), credited.end(), transaction.transactionIdentifier) != credited.end()) {
        kite::log("IOSiAP_Bridge: %s was credited before", transaction.transactionIdentifier.c_str());
        return kite::UserDefault::getInstance()->flush();
    }
    const bool fromShop = transaction.applicationUsername != kFromSale;
    GameData::getInstance()->creditDiamonds(diamondsFor(paidTier, fromShop), "a purchase");
    QKSingleton* state = QKSingleton::getInstance();
    if (!fromShop) state->setPayTier(GameData::saturatedSum(state->getPayTier(), 1));
    rememberCredited(transaction.transactionIdentifier);
    // The credit and its mark reach the disk together, before the store hears it is finished.
    if (!kite::UserDefault::getInstance()->flush()) {
        kite::log("IOSiAP_Bridge: the credit of %s is not saved; it stays unfinished and comes again at the next start",
                  transaction.transactionIdentifier.c_str());
        IOSiAP::showStoreAlert(IOSiAP::kPurchasePendingMessage);
        return false;
    }
    kite::log("付款成功");
    return true;
}

void IOSiAP_Bridge::fail() {
    kite::log("付款失败");
    QKSingleton::getInstance()->removePopup();
    end();
}

// Deletion waits until the store's callback has returned (QKSingleton::endPurchase).
void IOSiAP_Bridge::end() {
    ended = true;
    if (QKSingleton::getInstance()->getCurrentPurchase() == this) QKSingleton::getInstance()->endPurchase();
}
