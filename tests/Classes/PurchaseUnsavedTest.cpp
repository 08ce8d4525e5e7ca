// A purchase whose credit cannot be saved (the preferences unreadable, a folder, or on a full disk) is
// left unfinished and the player is told it is pending; the next start credits it, once, and says so.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Classes/IOSiAP.h"
#include "Classes/IOSiAP_Bridge.h"
#include "Classes/PlatformAlert.h"
#include "GameTestSupport.h"
#include "kite/foundation/Scheduler.h"
#include "platform/AtomicFile.h"
#include "platform/LocalStore.h"
#include "support/ForkedRun.h"
#include "support/LogCapture.h"
#include "support/SmallDisk.h"

namespace game::test {
namespace {

class PurchaseUnsavedTest : public GameStoreTest {
protected:
    void SetUp() override {
        kite::Director::getInstance();
        platform::LocalStore::shared().reset();
        unsetenv("STARGRID_STORE");
        GameData::getInstance()->setDiamond(20);
        store()->flush();
        kite::UserDefault::destroyInstance();
    }
    void TearDown() override {
        QKSingleton::getInstance()->endPurchase();
        frames(2);
        platform::LocalStore::shared().reset();
    }
    static void frames(int n) {
        for (int i = 0; i < n; ++i) kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
    }
    // The shop's first pack bought in a child, after `spoil` made the store unsaveable there: what it saw.
    // `after` runs in the child once the purchase is over.
    static kite::test::ForkedOutcome buyInChild(const std::function<bool()>& spoil,
                                                const std::function<void()>& after = nullptr) {
        return kite::test::runForked([&spoil, &after] {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
            if (!spoil()) return 98;
            std::vector<std::string> alerts;
            platformAlert::setPresenter(
                [&alerts](const std::string& title, const std::string& message, const std::string& button) {
                    alerts.push_back(title + "|" + message + "|" + button);
                });
            kite::test::LogCapture log;
            QKSingleton::getInstance()->purchaseFromShop = true;
            QKSingleton::getInstance()->startPurchase(0);
            frames(10);
            for (const std::string& alert : alerts) std::fprintf(stderr, "alert: %s\n", alert.c_str());
            std::fprintf(stderr, "paid: %zu unfinished: %zu\n", log.count("付款成功"),
                         platform::LocalStore::shared().unfinishedTransactions().size());
            if (after) after();
            return 0;
        });
    }
    // The next start: the store read again from disk, the ledger too, and what is unfinished credited; what the
    // player was told, when anything.
    std::string restart() {
        kite::UserDefault::destroyInstance();
        platform::LocalStore::shared().reset();
        std::string told;
        platformAlert::setPresenter([&told](const std::string&, const std::string& message, const std::string&) {
            told += " told " + message;
        });
        QKSingleton::getInstance()->resumePurchases();
        frames(6);
        platformAlert::setPresenter(nullptr);
        return "diamonds " + std::to_string(GameData::getInstance()->getDiamond()) + " unfinished " +
               std::to_string(platform::LocalStore::shared().unfinishedTransactions().size()) + told;
    }
    int diamondsOnDisk() {
        kite::UserDefault::destroyInstance();
        return store()->getIntegerForKey("diamond", -1);
    }
    void expectPendingThenCreditedOnce(const kite::test::ForkedOutcome& bought) {
        ASSERT_NE(bought.status, 98) << "the setup cannot be made here: " << bought.output;
        EXPECT_EQ(bought.status, 0) << bought.output;
        EXPECT_NE(bought.output.find(std::string("alert: 提示|") + IOSiAP::kPurchasePendingMessage + "|确认"),
                  std::string::npos)
            << bought.output;
        EXPECT_NE(bought.output.find("paid: 0 unfinished: 1"), std::string::npos) << bought.output;
        EXPECT_EQ(restart(), std::string("diamonds 160 unfinished 0 told ") + IOSiAP::kEarlierPaymentCreditedMessage);
        EXPECT_EQ(diamondsOnDisk(), 160);
        EXPECT_EQ(restart(), "diamonds 160 unfinished 0");  // credited and told once
    }
    std::string storeFile() const { return environment.storePath(); }
};

TEST_F(PurchaseUnsavedTest, APurchaseWhosePreferencesCannotBeReadIsPendingUntilTheNextStart) {
    ASSERT_EQ(::chmod(storeFile().c_str(), 0), 0);
    const kite::test::ForkedOutcome bought = buyInChild([] {
        // Modes bind the child though the tests run as root: the store cannot be read.
        static kite::test::ModesBind modes;
        return modes.bound();
    });
    ASSERT_EQ(::chmod(storeFile().c_str(), 0600), 0);
    EXPECT_EQ(diamondsOnDisk(), 20);
    expectPendingThenCreditedOnce(bought);
}

TEST_F(PurchaseUnsavedTest, APurchaseWhosePreferencesAreAFolderIsPendingUntilTheNextStart) {
    const std::string kept = storeFile() + ".kept";
    ASSERT_EQ(::rename(storeFile().c_str(), kept.c_str()), 0);
    ASSERT_EQ(::mkdir(storeFile().c_str(), 0700), 0);
    const kite::test::ForkedOutcome bought = buyInChild([] { return true; });
    ASSERT_EQ(::rmdir(storeFile().c_str()), 0);
    ASSERT_EQ(::rename(kept.c_str(), storeFile().c_str()), 0);
    EXPECT_EQ(diamondsOnDisk(), 20);
    expectPendingThenCreditedOnce(bought);
}

TEST_F(PurchaseUnsavedTest, APurchaseOnAFullDiskIsPendingUntilTheNextStart) {
    const std::string small = environment.root() + "/small";
    const std::string file = storeFile();
    const kite::test::ForkedOutcome bought = buyInChild([&small, &file] {
        if (!kite::test::SmallDisk::mount(small)) return false;
        std::filesystem::create_directories(small + "/stargrid");
        std::filesystem::copy_file(file, small + "/stargrid/UserDefaults.plist");
        setenv("XDG_CONFIG_HOME", small.c_str(), 1);
        return kite::test::SmallDisk(small).fill();
    });
    EXPECT_EQ(diamondsOnDisk(), 20);
    expectPendingThenCreditedOnce(bought);
}

// The disk fills once the payment is in the ledger, before the store's answer is saved: whatever it was, the
// player hears the payment is pending, and the next start decides it again and says how it ended, once.
TEST_F(PurchaseUnsavedTest, AnOutcomeTheLedgerCannotSaveIsPendingUntilTheNextStartTellsIt) {
    const std::string data = kite::FileUtils::getInstance()->getWritablePath(), ledger = data + IOSiAP::kLedgerFile;
    const struct {
        const char *answer, *nextAnswer;
        int diamonds;
        const char* told;
    } runs[] = {{"approve", "decline", 20, IOSiAP::kEarlierPaymentNotChargedMessage},
                {"decline", "approve", 160, IOSiAP::kEarlierPaymentCreditedMessage},
                {"cancel", "approve", 160, IOSiAP::kEarlierPaymentCreditedMessage},
                {"fail-then-approve", "decline", 20, IOSiAP::kEarlierPaymentNotChargedMessage}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.answer);
        platform::LocalStore::shared().reset();
        const kite::test::ForkedOutcome bought = buyInChild(
            [&data, answer = run.answer] {
                setenv("STARGRID_STORE", answer, 1);
                platform::setAtomicWriteHookForTesting([&data](const std::string& temporary) {
                    if (temporary.rfind(data, 0) == 0) kite::test::SmallDisk(data).fill();
                });
                return kite::test::SmallDisk::mount(data);
            },
            [&data, &ledger] {  // what the small disk holds, onto the folder under it, for the next start
                const std::string kept = kite::test::readWholeFile(ledger);
                ::umount2(data.c_str(), MNT_DETACH);
                std::ofstream(ledger) << kept;
            });
        EXPECT_NE(bought.output.find(std::string("alert: 提示|") + IOSiAP::kPaymentPendingMessage +
                                     "|确认\npaid: 0 unfinished: 1"),
                  std::string::npos)
            << bought.output;
        setenv("STARGRID_STORE", run.nextAnswer, 1);
        const std::string after = "diamonds " + std::to_string(run.diamonds) + " unfinished 0";
        EXPECT_EQ(restart(), after + " told " + run.told);
        EXPECT_EQ(restart(), after);  // told once
        unsetenv("STARGRID_STORE");
        GameData::getInstance()->setDiamond(20);
        store()->flush();
    }
}

// A payment the ledger cannot keep says so and charges nothing; a store out of reach keeps its own alert.
TEST_F(PurchaseUnsavedTest, APaymentTheLedgerCannotKeepIsToldApartFromAStoreOutOfReach) {
    const std::string data = kite::FileUtils::getInstance()->getWritablePath();
    const std::pair<std::function<bool()>, const char*> cases[] = {
        {[&data] { return kite::test::SmallDisk::mount(data) && kite::test::SmallDisk(data).fill(); },
         IOSiAP::kPaymentNotRecordedMessage},
        {[] { return setenv("STARGRID_STORE", "fail-then-approve", 1) == 0; }, IOSiAP::kPaymentFailedMessage}};
    for (const auto& [spoil, alert] : cases) {
        platform::LocalStore::shared().reset();  // as a new run finds it, policy and all
        const kite::test::ForkedOutcome bought = buyInChild(spoil);
        EXPECT_NE(bought.output.find(std::string("alert: 提示|") + alert + "|确认\npaid: 0 unfinished: 0"),
                  std::string::npos)
            << bought.output;
        EXPECT_EQ(restart(), "diamonds 20 unfinished 0");
    }
}

}  // namespace
}  // namespace game::test
