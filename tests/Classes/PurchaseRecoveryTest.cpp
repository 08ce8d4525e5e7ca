// A purchase the store approved is credited exactly once, even when the game is killed
// between the store's answer and finishing the transaction; mixed batches credit only
// what was paid.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Classes/DiamondCount.h"
#include "Classes/IOSiAP_Bridge.h"
#include "Classes/PlatformAlert.h"
#include "GameTestSupport.h"
#include "kite/foundation/Scheduler.h"
#include "platform/LocalStore.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

namespace game::test {
namespace {

// Runs the buyer with its files in the folder; returns its exit status, or the signal that
// ended it as a negative number.
class Buyer {
public:
    explicit Buyer(const std::string& root) : root_(root) {}

    // Starts a purchase, the store answering by the policy (approve when empty), waits (bounded) until it
    // reaches the point, then kills it.
    int buyAndKill(int pack, const char* origin, const char* point, const std::string& policy = "") {
        int toChild[2], fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return 100;
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(toChild[0], STDIN_FILENO);
            ::dup2(fromChild[1], STDOUT_FILENO);
            exportEnvironment();
            if (!policy.empty()) setenv("STARGRID_STORE", policy.c_str(), 1);
            const std::string packText = std::to_string(pack);
            ::execl(STARGRID_STORE_BUYER, "store_buyer", "buy", packText.c_str(), origin, point, nullptr);
            _exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        ready_ = readLineStarting(fromChild[0], "ready") == "ready";
        ::kill(child, SIGKILL);
        ::close(toChild[1]);
        ::close(fromChild[0]);
        return waitFor(child);
    }
    // Starts the game's purchase path again and reports what it finds; what it told the player, when asked.
    std::string resume(std::vector<std::string>* told = nullptr) {
        int fromChild[2];
        if (::pipe(fromChild) != 0) return "";
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(fromChild[1], STDOUT_FILENO);
            exportEnvironment();
            ::execl(STARGRID_STORE_BUYER, "store_buyer", "resume", nullptr);
            _exit(127);
        }
        ::close(fromChild[1]);
        std::string line = readLineStarting(fromChild[0], "diamonds ", told);
        ::close(fromChild[0]);
        return waitFor(child) == 0 ? line : "exit with failure: " + line;
    }
    bool reachedThePoint() const { return ready_; }

private:
    void exportEnvironment() const {
        setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root_ + "/cache").c_str(), 1);
        setenv("STARGRID_RESOURCES", STARGRID_SOURCE_DIR "/Resources", 1);
        unsetenv("STARGRID_STORE");
    }
    // The first line that starts with the prefix (the game logs on the same output), waiting
    // at most ten seconds for each byte; empty when none comes. The alerts logged before it go to `alerts`.
    static std::string readLineStarting(int fd, const std::string& prefix, std::vector<std::string>* alerts = nullptr) {
        if (alerts) alerts->clear();
        std::string line;
        char byte;
        pollfd watch{fd, POLLIN, 0};
        while (::poll(&watch, 1, 10000) > 0 && ::read(fd, &byte, 1) == 1) {
            if (byte != '\n') {
                line += byte;
            } else if (line.compare(0, prefix.size(), prefix) == 0) {
                return line;
            } else {
                if (alerts && line.rfind("AlertView: ", 0) == 0) alerts->push_back(line);
                line.clear();
            }
        }
        return "";
    }
    static int waitFor(pid_t child) {
        int status = 0;
        if (::waitpid(child, &status, 0) != child) return 101;
        return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
    }

    std::string root_;
    bool ready_ = false;
};

TEST(PurchaseRecovery, KilledAfterTheStoreApprovedIsCreditedOnceAtTheNextStart) {
    kite::test::TemporaryFolder folder("stargrid-buyer");
    Buyer buyer(folder.path());
    EXPECT_EQ(buyer.buyAndKill(2, "shop", "approved"), -SIGKILL);
    EXPECT_TRUE(buyer.reachedThePoint());
    EXPECT_EQ(buyer.resume(), "diamonds 1020 payTier 0 unfinished 0");
    EXPECT_EQ(buyer.resume(), "diamonds 1020 payTier 0 unfinished 0");
}

TEST(PurchaseRecovery, KilledAfterCreditingBeforeFinishingIsNotCreditedAgain) {
    kite::test::TemporaryFolder folder("stargrid-buyer");
    Buyer buyer(folder.path());
    EXPECT_EQ(buyer.buyAndKill(2, "sale", "credited"), -SIGKILL);
    EXPECT_TRUE(buyer.reachedThePoint());
    EXPECT_EQ(buyer.resume(), "diamonds 1220 payTier 1 unfinished 0");
    EXPECT_EQ(buyer.resume(), "diamonds 1220 payTier 1 unfinished 0");
}

// The outcome of a payment decided in play is on disk before its buyer hears of it: a game that ends before
// the alert is drawn leaves it to the next start, which tells it once.
TEST(PurchaseRecovery, ADeclinedPaymentKilledBeforeItsAlertWasDrawnIsToldAtTheNextStart) {
    kite::test::TemporaryFolder folder("stargrid-buyer");
    Buyer buyer(folder.path());
    EXPECT_EQ(buyer.buyAndKill(0, "shop", "alerted", "decline"), -SIGKILL);
    ASSERT_TRUE(buyer.reachedThePoint());
    std::vector<std::string> told;
    EXPECT_EQ(buyer.resume(&told), "diamonds 20 payTier 0 unfinished 0");
    EXPECT_EQ(told, std::vector<std::string>{"AlertView: 提示 / 上次付款未成功，未扣款! [确认]"});
    EXPECT_EQ(buyer.resume(&told), "diamonds 20 payTier 0 unfinished 0");
    EXPECT_EQ(told, std::vector<std::string>{}) << "told once";
}

TEST(PurchaseRecovery, SaleOriginSurvivesTheKill) {
    kite::test::TemporaryFolder folder("stargrid-buyer");
    Buyer buyer(folder.path());
    EXPECT_EQ(buyer.buyAndKill(0, "sale", "approved"), -SIGKILL);
    EXPECT_EQ(buyer.resume(), "diamonds 260 payTier 1 unfinished 0");
}

class PurchaseBatchTest : public GameStoreTest {
protected:
    void SetUp() override {
        kite::Director::getInstance();
        platform::LocalStore::shared().reset();
        setenv("STARGRID_STORE", "defer", 1);  // nothing left deferred gets settled at start
        GameData::getInstance()->setDiamond(20);
    }
    void TearDown() override {
        QKSingleton::getInstance()->endPurchase();
        frames(2);
        platform::LocalStore::shared().reset();
        unsetenv("STARGRID_STORE");
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
    }
    // A ledger an earlier run left behind.
    void writeLedger(const std::string& transactions) {
        const std::string path = kite::FileUtils::getInstance()->getWritablePath() + IOSiAP::kLedgerFile;
        std::ofstream(path) << "<plist version=\"1.0\"><dict><key>nextSequence</key><integer>9</integer>"
                               "<key>transactions</key><array>" +
                                   transactions + "</array></dict></plist>";
    }
    static std::string entry(const char* id, int tier, const char* origin, int state) {
        return std::string("<dict><key>transactionIdentifier</key><string>") + id +
               "</string><key>productIdentifier</key><string>com.kwrlopa.tier" + std::to_string(tier) +
               "</string><key>quantity</key><integer>1</integer><key>applicationUsername</key><string>" + origin +
               "</string><key>state</key><integer>" + std::to_string(state) + "</integer></dict>";
    }
};

// What an earlier run settled was told then: the start credits it, or lets it go, quietly.
TEST_F(PurchaseBatchTest, MixedBatchCreditsOnlyThePaidOneAndKeepsTheDeferred) {
    writeLedger(entry("t-failed", 8, "shop", 2) + entry("t-paid", 4, "sale", 1) + entry("t-waiting", 16, "shop", 4) +
                entry("t-restored", 2, "shop", 3));
    kite::test::LogCapture log;
    QKSingleton::getInstance()->resumePurchases();
    frames(4);
    EXPECT_FALSE(log.contains("AlertView:"));
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 530);
    EXPECT_EQ(QKSingleton::getInstance()->getPayTier(), 1);
    const auto left = platform::LocalStore::shared().unfinishedTransactions();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].identifier, "t-waiting");
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPurchase(), nullptr);
    EXPECT_EQ(log.count("付款成功"), 1u);
}

// As a start that decided it, credited it and raised its alert, then ended before the alert was drawn, left it.
TEST_F(PurchaseBatchTest, AnOutcomeAnEarlierStartDidNotTellIsToldOnceAndFinishedOnlyOnceSeen) {
    std::string untold = entry("t-paid", 4, "sale", 1);
    untold.insert(untold.size() - 7, "<key>untold</key><true/>");
    writeLedger(untold);
    kite::UserDefault::getInstance()->setStringForKey(IOSiAP_Bridge::kCreditedKey, "t-paid");
    std::vector<std::string> alerts;
    platformAlert::Shown shown;
    platformAlert::setDrawingPresenter([&](const std::string&, const std::string& message, const std::string&,
                                           platformAlert::Shown onShown) {
        alerts.push_back(message);
        shown = std::move(onShown);
    });
    QKSingleton::getInstance()->resumePurchases();
    frames(4);
    platformAlert::setPresenter(nullptr);
    EXPECT_EQ(alerts, std::vector<std::string>{IOSiAP::kEarlierPaymentCreditedMessage});
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 20) << "credited by the start that decided it";
    EXPECT_TRUE(platform::LocalStore::shared().isUnfinished("t-paid")) << "finished before it was seen";
    ASSERT_TRUE(shown);
    shown();
    frames(2);
    EXPECT_FALSE(platform::LocalStore::shared().isUnfinished("t-paid"));
    std::ifstream ledger(kite::FileUtils::getInstance()->getWritablePath() + IOSiAP::kLedgerFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(ledger), {}).find("t-paid"), std::string::npos);
}

TEST_F(PurchaseBatchTest, PurchasingInABatchHoldsBackOnlyItself) {
    writeLedger(entry("t-paid", 2, "shop", 1));
    IOSiAP::connectStore();
    // A payment still purchasing when the next purchase's observer joins.
    platform::LocalStore::shared().setPolicy(platform::StorePolicy::Approve);
    const std::string inFlight = platform::LocalStore::shared().addPayment("com.kwrlopa.tier4", 1, "shop");
    QKSingleton::getInstance()->purchaseFromShop = true;
    QKSingleton::getInstance()->startPurchase(2);
    frames(6);
    // The earlier payment, the one in flight and this purchase's own: each credited once.
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 20 + 140 + 355 + 1000);
    // This purchase's own is told by a count that shows its diamonds, finished in the frame after.
    diamondCount::countDrawn(std::to_string(GameData::getInstance()->getDiamond()));
    frames(1);
    // The one in flight has no buyer here to be told: the next start tells it.
    const auto left = platform::LocalStore::shared().unfinishedTransactions();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].identifier, inFlight);
    EXPECT_TRUE(left[0].untold);
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPurchase(), nullptr);
}

TEST_F(PurchaseBatchTest, ARestoredPackTellsTheBuyerAndCreditsNothing) {
    std::vector<std::string> alerts;
    platformAlert::setPresenter([&alerts](const std::string& title, const std::string& message,
                                          const std::string& button) {
        alerts.push_back(title + "|" + message + "|" + button);
    });
    IOSiAP_Bridge bridge;
    bridge.onPaymentEvent("com.kwrlopa.tier2", IOSIAP_PAYMENT_RESTORED, 1, {"t-earlier", "shop", false});
    EXPECT_TRUE(alerts.empty()) << "an earlier run's transaction is handled quietly";
    bridge.onPaymentEvent("com.kwrlopa.tier2", IOSIAP_PAYMENT_RESTORED, 1, {"t-own", "shop", true});
    platformAlert::setPresenter(nullptr);
    EXPECT_EQ(alerts, std::vector<std::string>{"提示|支付错误，请重试!|确认"});
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 20);
}

TEST_F(PurchaseBatchTest, APurchaseNearTheLargestCountStopsThere) {
    GameData::getInstance()->setDiamond(2147483000);
    QKSingleton::getInstance()->setPayTier(2147483647);
    writeLedger(entry("t-paid", 16, "sale", 1));
    QKSingleton::getInstance()->resumePurchases();
    frames(4);
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 2147483647);
    EXPECT_EQ(QKSingleton::getInstance()->getPayTier(), 2147483647);
    EXPECT_TRUE(platform::LocalStore::shared().unfinishedTransactions().empty());
}

TEST_F(PurchaseBatchTest, ATransactionAlreadyCreditedIsOnlyFinished) {
    writeLedger(entry("t-paid", 8, "shop", 1));
    kite::UserDefault::getInstance()->setStringForKey(IOSiAP_Bridge::kCreditedKey, "t-older t-paid");
    QKSingleton::getInstance()->resumePurchases();
    frames(4);
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 20);
    EXPECT_TRUE(platform::LocalStore::shared().unfinishedTransactions().empty());
}

}  // namespace
}  // namespace game::test
