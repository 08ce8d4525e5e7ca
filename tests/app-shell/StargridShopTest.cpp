// Diamonds bought through the executable from its menu with scripted taps: the menu's shop button, a pack's
// buy button, the local store approving, the credit in the saved preferences and nothing left in the ledger
// once the shop's count has shown it.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Classes/IOSiAP.h"
#include "GameProcess.h"
#include "StargridRun.h"
#include "support/GLTest.h"

namespace {

using namespace stargrid::test;

// Design points to window pixels, from the top left.
std::string at(float x, float y) {
    return std::to_string(static_cast<int>(x * kScale)) + " " +
           std::to_string(static_cast<int>((kDesignHeight - y) * kScale));
}

// The menu's bottom row: four 90-point buttons 35 apart, centred at y 60; the shop is the first.
const std::string kMenuShop = at(240 - (4 * 90 + 3 * 35) / 2.0f + 45, 60);
// The shop "Menu/Shop/bg_shop.png" (440 x 650) centred; its top buy button at (340, 508) on it.
const std::string kFirstPack = at(240 - 220 + 340, 426 - 325 + 508);

// The shop's diamond count on its background, in design points: left, bottom, right, top.
constexpr float kShopCount[4] = {200, 692, 330, 720};

// Whether the shot shows the store's alert over the screen: its box "Common/pop_alert.png" is drawn centred,
// so 30 points in from its left edge, half-way up, is design point (70, 426).
bool showsStoresAlert(const std::string& path) {
    std::optional<Shot> shot = readPNG(path);
    std::optional<Shot> box = readPNG(STARGRID_SOURCE_DIR "/Resources/Common/pop_alert.png");
    if (!shot || !box) return false;
    const unsigned x = static_cast<unsigned>((240 - box->width / 2.0f + 30) * kScale);
    const unsigned y = static_cast<unsigned>((kDesignHeight - 426) * kScale);
    const unsigned char* seen = &shot->rgba[(static_cast<std::size_t>(y) * shot->width + x) * 4];
    const unsigned char* drawn = &box->rgba[(static_cast<std::size_t>(box->height / 2) * box->width + 30) * 4];
    for (int channel = 0; channel < 3; ++channel)
        if (std::abs(seen[channel] - drawn[channel]) > 24) return false;
    return true;
}

// Whether two shots show the same pixels in a box of design points (left, bottom, right, top).
bool samePixels(const Shot& one, const Shot& other, const float (&box)[4]) {
    if (one.width != other.width || one.height != other.height) return false;
    for (auto y = static_cast<unsigned>((kDesignHeight - box[3]) * kScale);
         y < static_cast<unsigned>((kDesignHeight - box[1]) * kScale); ++y) {
        for (auto x = static_cast<unsigned>(box[0] * kScale); x < static_cast<unsigned>(box[2] * kScale); ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * one.width + x) * 4;
            for (int channel = 0; channel < 3; ++channel)
                if (one.rgba[at + channel] != other.rgba[at + channel]) return false;
        }
    }
    return true;
}

// The menu's start-up chain (its wait box swallows taps) is over well before frame 90, as kStartFromMenu assumes.
class StargridShop : public StargridRunTest {
protected:
    StargridShop() : StargridRunTest("stargrid-shop") {}
    // Runs the executable on the script as it stands (frames count from the menu's first).
    int runFromMenu(const std::string& steps, const std::string& policy) const {
        std::ofstream(dir / "shop.script") << steps;
        const std::string command = environment() + "STARGRID_STORE=" + policy + " " + STARGRID_EXECUTABLE +
                                    " --fixed-step --script " + (dir / "shop.script").string() + " >" +
                                    (dir / "out.txt").string() + " 2>&1";
        return std::system(command.c_str());
    }
    std::string shotPath(const std::string& state) const {
        return kite::test::artifactsDirectory() + "/StargridShop." + state + ".png";
    }
    std::string ledger() const {
        std::ifstream in(dir / "xdg" / "data" / "stargrid" / "StoreLedger.plist");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(StargridShop, TheMenusShopSellsTheFirstPackAndTheGameKeepsTheCredit) {
    const std::string steps = "tap 90 " + kMenuShop + "\nshot 110 " + shotPath("open") + "\ntap 120 " + kFirstPack +
                              "\nshot 160 " + shotPath("bought") + "\nquit 162\n";
    ASSERT_EQ(runFromMenu(steps, "approve"), 0);
    std::optional<Saved> saved = readStore(storePath());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->integer("diamond"), 20 + 140);                    // the first run's 20, and the pack
    EXPECT_EQ(ledger().find("com.kwrlopa.tier2"), std::string::npos);  // finished
    EXPECT_TRUE(readPNG(shotPath("bought")));
}

TEST_F(StargridShop, ADeclinedPaymentLeavesTheDiamondsAsTheyWereAndDrawsTheStoresAlert) {
    const std::string steps = "tap 90 " + kMenuShop + "\ntap 120 " + kFirstPack + "\nshot 160 " +
                              shotPath("declined") + "\nquit 162\n";
    ASSERT_EQ(runFromMenu(steps, "decline"), 0);
    std::optional<Saved> saved = readStore(storePath());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->integer("diamond"), 20);
    std::ifstream out(dir / "out.txt");
    std::stringstream log;
    log << out.rdbuf();
    EXPECT_NE(log.str().find("AlertView: 提示 / 无法连接到 iTunes Store! [确认]"), std::string::npos);
    EXPECT_TRUE(showsStoresAlert(shotPath("declined")));
}

// The store approves the payment and its diamonds are saved by frame 104; the shop's count shows them at its
// next refresh, in frame 121. A game killed at frame 110 has shown the player 20 diamonds and nothing else, so
// the payment is left untold to the next start, which tells it once.
TEST_F(StargridShop, AnApprovedPaymentKilledBeforeTheShopsCountShowedItIsToldOnceByTheNextStart) {
    std::vector<std::string> environment = environmentWith("http://127.0.0.1:9/bus_ser_ios.html");
    environment.push_back("STARGRID_STORE=approve");
    const std::string unpaid = (dir / "unpaid.png").string(), killed = (dir / "killed.png").string();
    std::string steps =
        "tap 90 " + kMenuShop + "\nshot 100 " + unpaid + "\ntap 100 " + kFirstPack + "\nshot 110 " + killed + "\n";
    for (int i = 0; i < 6; ++i) steps += "sleep 111 10000\n";  // a minute after frame 110, drawing nothing
    std::ofstream(dir / "paid.script") << steps + "quit 111\n";
    {
        Game paid({"--fixed-step", "--script", (dir / "paid.script").string()}, environment);
        // Said once frame 110 is on the screen and saved; from then on the game stands still until it is killed.
        ASSERT_TRUE(paid.waitForLine("saved to " + killed));
        paid.signal(SIGKILL);
        paid.waitForExit();
        ASSERT_EQ(paid.endSignal(), SIGKILL);
    }
    const std::optional<Shot> before = readPNG(unpaid), after = readPNG(killed);
    ASSERT_TRUE(before && after);
    ASSERT_TRUE(samePixels(*before, *after, kShopCount)) << "the shop's count changed before the kill";

    const std::string told = std::string("AlertView: 提示 / ") + IOSiAP::kEarlierPaymentCreditedMessage + " [确认]";
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start == 0 ? "the next start" : "the one after");
        const std::string shot = (dir / ("start" + std::to_string(start) + ".png")).string();
        std::ofstream(dir / "later.script") << "shot 40 " + shot + "\nquit 42\n";
        Game later({"--fixed-step", "--script", (dir / "later.script").string()}, environment);
        ASSERT_EQ(later.waitForExit(), 0);
        std::vector<std::string> alerts;
        for (const std::string& line : later.lines())
            if (line.rfind("AlertView:", 0) == 0) alerts.push_back(line);
        EXPECT_EQ(alerts, start == 0 ? std::vector<std::string>{told} : std::vector<std::string>{});
        if (start == 0) {
            EXPECT_TRUE(showsStoresAlert(shot));
        }
        const std::optional<Saved> saved = readStore(storePath());
        EXPECT_EQ(saved ? saved->integer("diamond") : -1, 20 + 140) << "credited once";
    }
}

}  // namespace
