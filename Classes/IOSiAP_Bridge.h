// The game's purchase delegate: buys one diamond pack and credits it by tier and origin.
#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Classes/IOSiAP.h"

class IOSiAP_Bridge : public IOSiAPDelegate {
public:
    IOSiAP_Bridge();
    ~IOSiAP_Bridge() override;

    // Buys the pack of the tier (2, 4, 8 or 16): asks for the four products, then pays.
    void requestProducts(int tier);
    // Buys nothing: credits and finishes what earlier runs left unfinished, then ends.
    void resumeUnfinished();

    void onRequestProductsFinish() override;
    void onRequestProductsError(int code) override;
    void onPaymentEvent(const std::string& identifier, IOSiAPPaymentEvent event, int quantity,
                        const IOSTransaction& transaction) override;
    void onTransactionsHandled() override;
    // False for a purchase whose credit, or its mark, is not on disk yet, and for a settled payment whose payer
    // has not been told how it ended (finished once told).
    bool canFinishTransaction(const std::string& transactionIdentifier) override;

    // "com.kwrlopa.tier8" for 8; empty for a tier that is not sold.
    static std::string productOfTier(int tier);
    // 8 for "com.kwrlopa.tier8"; 0 for any other identifier.
    static int tierOfProduct(const std::string& identifier);
    // Diamonds a pack credits; a sale purchase also raises "payTier".
    static int diamondsFor(int tier, bool fromShop);

    // The payment's tag, kept with the transaction, says where it was bought.
    static constexpr const char* kFromShop = "shop";
    static constexpr const char* kFromSale = "sale";
    // Transactions already credited, so a payment is credited once even when the game is
    // killed between crediting and finishing.
    static constexpr const char* kCreditedKey = "creditedTransactions";

private:
    // True once the credit and its mark are on disk (or there is nothing to credit).
    bool credit(const std::string& identifier, const IOSTransaction& transaction);
    // What the start tells of an earlier run's payment its store decided, once the batch is handled.
    void noteStartNews(IOSiAPPaymentEvent event, bool credited, const IOSTransaction& transaction);
    void fail();
    void end();

    std::unique_ptr<IOSiAP> iap;
    std::int32_t tier = 0;
    bool recovering = false;
    bool ended = false;
    std::set<std::string> unsaved;       // purchases credited in memory only: left unfinished
    std::set<std::string> untold;        // settled, credited when paid, not told yet: left for their teller
    std::vector<const char*> startNews;  // each message once, in the order first heard
};
