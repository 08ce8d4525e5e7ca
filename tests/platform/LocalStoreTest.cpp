#include "platform/LocalStore.h"

#include "platform/AtomicFile.h"
#include "support/TemporaryFolder.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

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

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// While it lives, file modes bind this thread even when the tests run as root: the capabilities
// that pass over them leave the effective set (they stay permitted, so they come back).
class ModesBind {
public:
    ModesBind() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct bound[2] = {saved_[0], saved_[1]};
        bound[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        bound_ = syscall(SYS_capset, &header_, bound) == 0;
    }
    ~ModesBind() {
        if (bound_) syscall(SYS_capset, &header_, saved_);
    }
    ModesBind(const ModesBind&) = delete;
    ModesBind& operator=(const ModesBind&) = delete;
    bool bound() const { return bound_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool bound_ = false;
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

TEST_F(LocalStoreTest, EveryDamagedLedgerIsKeptInACopyOfItsOwn) {
    for (const char* damage : {"first", "second", "third"}) {
        folder.put("ledger.plist", damage);
        testing::internal::CaptureStderr();
        configure();
        testing::internal::GetCapturedStderr();
        store().addPayment("pack.small", 1, "");
    }
    EXPECT_EQ(kite::test::readWholeFile(ledger + ".damaged"), "first");
    EXPECT_EQ(kite::test::readWholeFile(ledger + ".damaged.1"), "second");
    EXPECT_EQ(kite::test::readWholeFile(ledger + ".damaged.2"), "third");
    for (const char* copy : {".damaged", ".damaged.1", ".damaged.2"}) EXPECT_EQ(modeOf(ledger + copy), 0600u) << copy;
}

TEST_F(LocalStoreTest, ALedgerThatCannotBeReadIsNeverSavedOver) {
    // Past the size the store reads: set aside like a damaged one.
    const std::string large((1u << 20) + 1, 'x');
    folder.put("ledger.plist", large);
    testing::internal::CaptureStderr();
    configure();
    store().addPayment("pack.small", 1, "");
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(kite::test::readWholeFile(ledger + ".damaged") == large) << "the set-aside copy holds every byte";
    EXPECT_EQ(modeOf(ledger + ".damaged"), 0600u);
    EXPECT_NE(log.find("LocalStore: the ledger " + ledger + " is damaged (larger than 1 MiB); set aside as " + ledger +
                       ".damaged\n"),
              std::string::npos)
        << log;

    // Out of reach: left as it is, and nothing this run saves replaces it.
    std::remove((ledger + ".damaged").c_str());
    folder.put("ledger.plist", "paid transactions");
    ASSERT_EQ(chmod(ledger.c_str(), 0), 0);
    {
        ModesBind modes;
        ASSERT_TRUE(modes.bound());
        testing::internal::CaptureStderr();
        configure();
        store().addPayment("pack.small", 1, "");
        drain();
        log = testing::internal::GetCapturedStderr();
    }
    ASSERT_EQ(chmod(ledger.c_str(), 0600), 0);
    EXPECT_EQ(kite::test::readWholeFile(ledger), "paid transactions");
    EXPECT_EQ(modeOf(ledger + ".damaged"), 0u) << "not set aside";
    EXPECT_EQ(log, "LocalStore: cannot read the ledger " + ledger +
                       ": Permission denied; it is left as it is and nothing is saved to it\n");
}

TEST_F(LocalStoreTest, SavesKilledBeforeTheirRenameLeaveNothingAfterTheNextStart) {
    for (int kill = 0; kill < 3; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            configure();
            setAtomicWriteHookForTesting([](const std::string&) { _exit(9); });
            store().addPayment("pack.small", 1, "");
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
    }
    auto leftovers = [this] {
        int count = 0;
        DIR* dir = opendir(folder.path().c_str());
        while (const dirent* entry = readdir(dir))
            count += std::string(entry->d_name).rfind("ledger.plist.tmp.", 0) == 0;
        closedir(dir);
        return count;
    };
    ASSERT_GE(leftovers(), 1);  // each start clears what earlier kills left; the last kill's stays
    configure();
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(LocalStoreTest, AnOpenLedgerIsNarrowedToItsOwnerWhenRead) {
    configure();
    const std::string id = store().addPayment("pack.small", 1, "");
    drain();
    ASSERT_EQ(chmod(ledger.c_str(), 0644), 0);  // as an older version may have left it
    configure();                                // a run that pays nothing
    EXPECT_TRUE(store().isUnfinished(id));
    EXPECT_EQ(modeOf(ledger), 0600u);
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
