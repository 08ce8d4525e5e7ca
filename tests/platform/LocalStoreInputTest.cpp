// What the store is given from outside: the value of STARGRID_STORE, and the path of its data folder.
#include "platform/LocalStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "LocalStoreTestSupport.h"
#include "support/ForkedRun.h"
#include "support/SmallDisk.h"

namespace platform {
namespace {

using test::LocalStoreTest;
using test::Recorder;

// The store's own words about a failed save quote the ledger's path: a folder named in bytes that are not UTF-8
// must not keep the ledger from every later save, nor the next purchase from going through.
TEST_F(LocalStoreTest, AFolderWhoseNameIsNotUtf8NeverStopsTheLedgersLaterSaves) {
    const std::string small = folder.path() + "/data\xff\xfe";
    ledger = small + "/ledger.plist";
    const kite::test::ForkedOutcome outcome = kite::test::runForked([&] {
        if (!kite::test::SmallDisk::mount(small)) return 2;
        const kite::test::SmallDisk disk(small);
        configure();
        Recorder observer;
        store().addObserver(&observer);
        const std::string pending = store().addPayment("pack.small", 1, "");
        if (!disk.fill()) return 5;
        drain();
        store().removeObserver(&observer);
        std::fprintf(stderr, "pending: %d %s\n", static_cast<int>(observer.updates.back()[0].state),
                     observer.updates.back()[0].errorText.c_str());
        disk.makeRoom();
        payOnce();
        // Held with the later save, and read back at the next start.
        if (stateOnDisk(pending) != static_cast<int>(TransactionState::Deferred)) return 3;
        configure();
        return store().isUnfinished(pending) && !std::filesystem::exists(ledger + ".damaged") ? 0 : 4;
    });
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("pending: 4 the payment's outcome cannot be recorded: cannot write the ledger " +
                                  folder.path() + "/data\\xff\\xfe/ledger.plist: No space left on device\n"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("outcome: " + std::to_string(static_cast<int>(TransactionState::Purchased)) + " \n"),
              std::string::npos)
        << outcome.output;
}

// A mistyped value ("bogus", "APPROVE", " approve") must not approve what a "decline" meant to refuse: the store
// is out of reach, said once, and decides nothing an earlier run left. An empty value is as unset: approve.
TEST_F(LocalStoreTest, AnUnknownStoreValueIsSaidOnceAndApprovesNothing) {
    const std::string failed = "outcome: " + std::to_string(static_cast<int>(TransactionState::Failed)) +
                               " cannot connect to the store\n";
    for (const std::string value : {"bogus", "APPROVE", " approve"}) {
        SCOPED_TRACE(value);
        folder.put("ledger.plist",
                   "<plist version=\"1.0\"><dict><key>transactions</key><array><dict><key>transactionIdentifier</key>"
                   "<string>t-left</string><key>productIdentifier</key><string>pack.small</string><key>quantity</key>"
                   "<integer>1</integer><key>state</key><integer>0</integer></dict></array></dict></plist>");
        setenv("STARGRID_STORE", value.c_str(), 1);
        testing::internal::CaptureStderr();
        configure();
        payOnce();
        payOnce();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "LocalStore: unknown STARGRID_STORE \"" + value +
                      "\" (known: approve, decline, cancel, defer, fail-then-approve); the store is out of reach and "
                      "every payment fails\n" +
                      failed + failed);
        EXPECT_EQ(stateOnDisk("t-left"), static_cast<int>(TransactionState::Purchasing)) << "decided";
    }
    setenv("STARGRID_STORE", "", 1);
    testing::internal::CaptureStderr();
    configure();
    payOnce();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "outcome: " + std::to_string(static_cast<int>(TransactionState::Purchased)) + " \n");
}

}  // namespace
}  // namespace platform
