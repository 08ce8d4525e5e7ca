#include "platform/LocalStore.h"

#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace platform {
namespace {

constexpr char kProducts[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
<dict><key>productIdentifier</key><string>pack.small</string><key>localizedTitle</key><string>Small</string>
<key>localizedDescription</key><string>a few</string><key>price</key><real>12</real>
<key>priceLocale</key><string>zh_CN@currency=CNY</string></dict>
<dict><key>productIdentifier</key><string>pack.big</string><key>localizedTitle</key><string>Big</string>
<key>localizedDescription</key><string>many</string><key>price</key><real>0.99</real>
<key>priceLocale</key><string>en_US@currency=USD</string></dict>
</array></plist>
)";

// Keeps what the store reports, as a main loop would run it.
struct Recorder : StoreObserver {
    std::vector<std::vector<StoreTransaction>> updates;
    std::vector<std::vector<StoreTransaction>> removals;
    void updatedTransactions(const std::vector<StoreTransaction>& batch) override { updates.push_back(batch); }
    void removedTransactions(const std::vector<StoreTransaction>& batch) override { removals.push_back(batch); }
};

class LocalStoreTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        unsetenv("STARGRID_STORE");
        products = folder.put("products.plist", kProducts);
        ledger = folder.path() + "/ledger.plist";
    }
    void TearDown() override {
        store().reset();
        unsetenv("STARGRID_STORE");
    }
    LocalStore& store() { return LocalStore::shared(); }
    void configure() {
        ASSERT_TRUE(store().configure({products, ledger, [this](std::function<void()> f) { posted.push_back(f); }}));
    }
    // Runs what was posted, and what that posts, as frames would.
    void drain() {
        for (int guard = 0; guard < 100 && !posted.empty(); ++guard) {
            auto next = std::move(posted.front());
            posted.pop_front();
            next();
        }
    }
    std::string ledgerText() const {
        std::ifstream in(ledger);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    kite::test::TemporaryFolder folder{"stargrid-store"};
    std::string products, ledger;
    std::deque<std::function<void()>> posted;
};

TEST_F(LocalStoreTest, ProductRequestIsAnsweredOnTheLoopWithPricesAndInvalidIdentifiers) {
    configure();
    bool answered = false;
    store().requestProducts({"pack.big", "pack.none", "pack.small"},
                            [&](const ProductsResponse& response, const std::string& error) {
                                answered = true;
                                EXPECT_EQ(error, "");
                                ASSERT_EQ(response.products.size(), 2u);
                                EXPECT_EQ(response.products[0].identifier, "pack.big");
                                EXPECT_EQ(response.products[0].price, "$0.99");
                                EXPECT_EQ(response.products[1].price, "¥12.00");
                                EXPECT_EQ(response.products[1].title, "Small");
                                EXPECT_EQ(response.invalidIdentifiers, std::vector<std::string>{"pack.none"});
                            });
    EXPECT_FALSE(answered);  // never inside the call
    drain();
    EXPECT_TRUE(answered);
}

TEST_F(LocalStoreTest, DamagedProductsFileAnswersWithAnError) {
    products = folder.put("products.plist", "<plist><dict>");
    configure();
    std::string error;
    store().requestProducts({"pack.small"}, [&](const ProductsResponse& response, const std::string& text) {
        error = text;
        EXPECT_TRUE(response.products.empty());
    });
    drain();
    EXPECT_NE(error.find("products file"), std::string::npos);
}

TEST_F(LocalStoreTest, ApprovedPaymentIsPurchasingThenPurchasedAndLeavesTheLedgerWhenFinished) {
    configure();
    Recorder observer;
    store().addObserver(&observer);
    const std::string id = store().addPayment("pack.small", 1, "shop");
    EXPECT_NE(ledgerText().find(id), std::string::npos);  // on disk before anyone hears of it
    drain();
    ASSERT_EQ(observer.updates.size(), 2u);
    EXPECT_EQ(observer.updates[0][0].state, TransactionState::Purchasing);
    EXPECT_EQ(observer.updates[1][0].state, TransactionState::Purchased);
    EXPECT_EQ(observer.updates[1][0].applicationUsername, "shop");
    store().finishTransaction(id);
    drain();
    EXPECT_FALSE(store().isUnfinished(id));
    EXPECT_EQ(ledgerText().find(id), std::string::npos);
    ASSERT_EQ(observer.removals.size(), 1u);
    EXPECT_EQ(observer.removals[0][0].identifier, id);
    store().removeObserver(&observer);
}

TEST_F(LocalStoreTest, PoliciesDecideTheOutcome) {
    struct Case {
        const char* policy;
        std::vector<TransactionState> outcomes;
        StoreError error;
    };
    const std::vector<Case> cases = {
        {"decline", {TransactionState::Failed}, StoreError::PaymentNotAllowed},
        {"cancel", {TransactionState::Failed}, StoreError::PaymentCancelled},
        {"defer", {TransactionState::Deferred}, StoreError::Unknown},
        {"fail-then-approve", {TransactionState::Failed, TransactionState::Purchased}, StoreError::Unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        setenv("STARGRID_STORE", c.policy, 1);
        std::remove(ledger.c_str());
        configure();
        Recorder observer;
        store().addObserver(&observer);
        for (std::size_t i = 0; i < c.outcomes.size(); ++i) store().addPayment("pack.big", 1, "");
        drain();
        ASSERT_EQ(observer.updates.size(), 2 * c.outcomes.size());
        for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
            const StoreTransaction& outcome = observer.updates[c.outcomes.size() + i][0];
            EXPECT_EQ(outcome.state, c.outcomes[i]);
            if (outcome.state == TransactionState::Failed) {
                EXPECT_EQ(outcome.error, c.error);
            }
        }
        store().removeObserver(&observer);
    }
}

TEST_F(LocalStoreTest, UnknownProductFailsAsInvalidWithoutPaying) {
    configure();
    Recorder observer;
    store().addObserver(&observer);
    store().addPayment("pack.none", 1, "");
    drain();
    ASSERT_EQ(observer.updates.size(), 2u);
    EXPECT_EQ(observer.updates[1][0].state, TransactionState::Failed);
    EXPECT_EQ(observer.updates[1][0].error, StoreError::PaymentInvalid);
    store().removeObserver(&observer);
}

TEST_F(LocalStoreTest, UnfinishedTransactionsComeBackAtTheNextStartUntilFinished) {
    configure();
    const std::string paid = store().addPayment("pack.small", 1, "sale");
    setenv("STARGRID_STORE", "defer", 1);
    store().setPolicy(StorePolicy::Defer);
    const std::string waiting = store().addPayment("pack.big", 1, "shop");
    drain();  // no observer: nobody finishes them

    // The next run: the deferred one is settled by the policy then in force.
    setenv("STARGRID_STORE", "approve", 1);
    configure();
    Recorder observer;
    store().addObserver(&observer);
    drain();
    ASSERT_EQ(observer.updates.size(), 1u);
    ASSERT_EQ(observer.updates[0].size(), 2u);
    EXPECT_EQ(observer.updates[0][0].identifier, paid);
    EXPECT_EQ(observer.updates[0][0].state, TransactionState::Purchased);
    EXPECT_EQ(observer.updates[0][0].applicationUsername, "sale");
    EXPECT_EQ(observer.updates[0][1].identifier, waiting);
    EXPECT_EQ(observer.updates[0][1].state, TransactionState::Purchased);
    store().finishTransaction(paid);
    store().removeObserver(&observer);

    configure();
    Recorder again;
    store().addObserver(&again);
    drain();
    ASSERT_EQ(again.updates.size(), 1u);
    ASSERT_EQ(again.updates[0].size(), 1u);
    EXPECT_EQ(again.updates[0][0].identifier, waiting);
    store().removeObserver(&again);
}

TEST_F(LocalStoreTest, DamagedLedgerIsSetAsideTheOwnersOnlyAndTheStoreStartsEmpty) {
    folder.put("ledger.plist", "<plist><array><dict>");
    ASSERT_EQ(chmod(ledger.c_str(), 0644), 0);
    configure();
    EXPECT_TRUE(store().unfinishedTransactions().empty());
    struct stat aside {};
    ASSERT_EQ(stat((ledger + ".damaged").c_str(), &aside), 0);
    EXPECT_EQ(aside.st_mode & 0777, 0600u);
    const std::string id = store().addPayment("pack.small", 1, "");
    EXPECT_TRUE(store().isUnfinished(id));
}

TEST_F(LocalStoreTest, RemovedObserverHearsNothingAlreadyPosted) {
    configure();
    Recorder observer;
    store().addObserver(&observer);
    store().addPayment("pack.small", 1, "");
    store().removeObserver(&observer);
    drain();
    EXPECT_TRUE(observer.updates.empty());
}

}  // namespace
}  // namespace platform
