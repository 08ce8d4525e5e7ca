#include "platform/LocalStore.h"

#include "LocalStoreTestSupport.h"
#include "platform/AtomicFile.h"
#include "platform/PlistXml.h"
#include "support/ForkedRun.h"
#include "support/ScopedLocale.h"
#include "support/TemporaryFolder.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace platform {
namespace {

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

using kite::test::ModesBind;
using test::LocalStoreTest;
using test::Recorder;

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

TEST_F(LocalStoreTest, PricesKeepTheirDecimalPointUnderADecimalCommaLocale) {
    kite::test::DecimalComma comma;
    ASSERT_TRUE(comma.active());
    configure();
    std::vector<std::string> prices;
    store().requestProducts({"pack.big", "pack.small"}, [&](const ProductsResponse& response, const std::string&) {
        for (const StoreProduct& product : response.products) prices.push_back(product.price);
    });
    drain();
    EXPECT_EQ(prices, (std::vector<std::string>{"$0.99", "¥12.00"}));
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

TEST_F(LocalStoreTest, NoPaymentIsTakenThatTheLedgerCannotKeep) {
    const std::string failed =
        "outcome: " + std::to_string(static_cast<int>(TransactionState::Failed)) + " the payment cannot be recorded: ";
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string reason;
    };
    const Case cases[] = {
        {"unreadable",
         [&] {
             folder.put("ledger.plist", "paid transactions");
             ::chmod(ledger.c_str(), 0);
         },
         "cannot read the ledger " + ledger + ": Permission denied"},
        {"a FIFO", [&] { ::mkfifo(ledger.c_str(), 0600); },
         "cannot read the ledger " + ledger + ": not a regular file (a FIFO)"},
        {"a folder", [&] { ::mkdir(ledger.c_str(), 0700); }, "cannot read the ledger " + ledger + ": a folder"},
        {"damaged after 100 copies",
         [&] {
             folder.put("ledger.plist", "<plist><array/></plist>");
             for (int copy = 0; copy < 100; ++copy)
                 folder.put("ledger.plist.damaged" + (copy ? "." + std::to_string(copy) : std::string()), "");
         },
         "the ledger " + ledger + " is damaged (no transaction list) and cannot be set aside (File exists)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(ledger);
        c.make();
        const kite::test::ForkedOutcome outcome = kite::test::runForked([this] {
            ModesBind modes;
            configure();
            payOnce();
            return modes.bound() ? 0 : 1;
        });
        ASSERT_TRUE(outcome.exited) << "blocked";
        EXPECT_EQ(outcome.status, 0);
        EXPECT_NE(outcome.output.find(failed + c.reason + "\n"), std::string::npos) << outcome.output;
        ::chmod(ledger.c_str(), 0600);
        if (c.name[0] == 'u') {
            EXPECT_EQ(ledgerText(), "paid transactions");
        } else if (c.name[0] == 'd') {
            EXPECT_EQ(ledgerText(), "<plist><array/></plist>");
        }
    }
}

// A small file system of its own, in a mount namespace of the forked child only, that fills up.
bool mountSmallFolder(const std::string& path) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k,mode=0700") == 0;
}

void fill(const std::string& folder) {
    std::ofstream filler(folder + "/filler", std::ios::binary);
    const std::string block(4096, 'f');
    for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) filler.flush();
}

TEST_F(LocalStoreTest, OnAFullDiskAPaymentFailsWithTheReasonAndAnApprovalWaitsForTheNextStart) {
    const std::string small = folder.path() + "/small";
    ASSERT_EQ(::mkdir(small.c_str(), 0700), 0);
    ledger = small + "/ledger.plist";
    const std::string failed = "outcome: " + std::to_string(static_cast<int>(TransactionState::Failed)) +
                               " the payment cannot be recorded: cannot write the ledger " + ledger +
                               ": No space left on device\n";
    // Full before the payment: its purchasing record cannot be saved.
    kite::test::ForkedOutcome outcome = kite::test::runForked([&] {
        if (!mountSmallFolder(small)) return 2;
        configure();
        fill(small);
        payOnce();
        return 0;
    });
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find(failed), std::string::npos) << outcome.output;

    // Full after it: the approval cannot be saved. The ledger keeps the payment as purchasing, for the
    // next start to settle, and it waits so until then: deferred, as not recorded.
    outcome = kite::test::runForked([&] {
        if (!mountSmallFolder(small)) return 2;
        configure();
        Recorder observer;
        store().addObserver(&observer);
        const std::string id = store().addPayment("pack.small", 1, "");
        fill(small);
        drain();
        const StoreTransaction last = observer.updates.back()[0];
        std::fprintf(stderr, "outcome: %d %d %s\n", static_cast<int>(last.state), static_cast<int>(last.error),
                     last.errorText.c_str());
        return stateOnDisk(id) == static_cast<int>(TransactionState::Purchasing) ? 0 : 3;
    });
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("outcome: 4 5 the payment's outcome cannot be recorded: cannot write the ledger " +
                                  ledger + ": No space left on device\n"),  // deferred, not recorded
              std::string::npos)
        << outcome.output;
}

TEST_F(LocalStoreTest, TheLedgersWriterRefusesWhatItsReaderWouldSetAside) {
    configure();
    const std::string kept = store().addPayment("pack.small", 1, "kept");
    drain();
    const std::string saved = ledgerText();
    const std::string failed = "outcome: " + std::to_string(static_cast<int>(TransactionState::Failed)) +
                               " the payment cannot be recorded: cannot write the ledger " + ledger + ": ";
    struct Case {
        const char* name;
        std::string applicationUsername;
        std::string reason;
    };
    const Case cases[] = {
        {"not UTF-8", "cut \xe6\x98", "a string that is not UTF-8"},
        {"past 1 MiB", std::string(1u << 20, 'u'), "larger than 1 MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        payOnce(c.applicationUsername);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find(failed + c.reason + "\n"), std::string::npos) << log.substr(0, 400);
        EXPECT_TRUE(ledgerText() == saved) << "the ledger was written";
    }
    // The ledger still reads at the next start, with what it held.
    testing::internal::CaptureStderr();
    configure();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(store().isUnfinished(kept));
    EXPECT_FALSE(std::filesystem::exists(ledger + ".damaged"));
    testing::internal::CaptureStderr();
    payOnce();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "outcome: " + std::to_string(static_cast<int>(TransactionState::Purchased)) + " \n");
}

TEST_F(LocalStoreTest, ALedgerThatIsALinkIsReadAndItsTargetsModeLeftAlone) {
    configure();
    const std::string id = store().addPayment("pack.small", 1, "");
    drain();
    const std::string target = folder.path() + "/elsewhere.plist";
    ASSERT_EQ(::rename(ledger.c_str(), target.c_str()), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(target.c_str(), ledger.c_str()), 0);
    configure();
    EXPECT_TRUE(store().isUnfinished(id));
    EXPECT_EQ(modeOf(target), 0644u);
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
