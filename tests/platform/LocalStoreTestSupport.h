// The store's tests' fixture: a products file and a ledger in a folder of the test's own, and the main loop
// run by hand.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/LocalStore.h"
#include "platform/PlistXml.h"
#include "support/TemporaryFolder.h"

namespace platform::test {

inline constexpr char kProducts[] = R"(<?xml version="1.0" encoding="UTF-8"?>
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
    // Pays for one product and says, on standard error, how the last update left it: "outcome: STATE TEXT".
    void payOnce(const std::string& applicationUsername = "") {
        Recorder observer;
        store().addObserver(&observer);
        store().addPayment("pack.small", 1, applicationUsername);
        drain();
        store().removeObserver(&observer);
        const StoreTransaction last = observer.updates.empty() ? StoreTransaction() : observer.updates.back()[0];
        std::fprintf(stderr, "outcome: %d %s\n", static_cast<int>(last.state), last.errorText.c_str());
    }
    // The state the ledger on disk holds for the transaction; -1 when it holds none.
    int stateOnDisk(const std::string& identifier) const {
        const std::optional<PlistValue> root = decodePlistXml(ledgerText());
        const PlistValue::Dictionary* ledger = root ? root->asDictionary() : nullptr;
        const auto list = ledger ? ledger->find("transactions") : PlistValue::Dictionary::const_iterator();
        if (!ledger || list == ledger->end() || !list->second.asArray()) return -1;
        for (const PlistValue& entry : *list->second.asArray()) {
            const PlistValue::Dictionary& fields = *entry.asDictionary();
            if (*fields.at("transactionIdentifier").asString() == identifier) return *fields.at("state").asInteger();
        }
        return -1;
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

}  // namespace platform::test
