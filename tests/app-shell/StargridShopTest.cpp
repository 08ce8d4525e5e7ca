// Diamonds bought through the executable from its menu with scripted taps: the menu's shop button, a pack's
// buy button, the local store approving, the credit in the saved preferences and nothing left in the ledger.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

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
    // The alert's box "Common/pop_alert.png" is drawn centred over the shop: 30 points in from its left
    // edge, half-way up, is design point (70, 426).
    std::optional<Shot> shot = readPNG(shotPath("declined"));
    std::optional<Shot> box = readPNG(STARGRID_SOURCE_DIR "/Resources/Common/pop_alert.png");
    ASSERT_TRUE(shot && box);
    const unsigned x = static_cast<unsigned>((240 - box->width / 2.0f + 30) * kScale);
    const unsigned y = static_cast<unsigned>((kDesignHeight - 426) * kScale);
    const unsigned char* seen = &shot->rgba[(static_cast<std::size_t>(y) * shot->width + x) * 4];
    const unsigned char* drawn = &box->rgba[(static_cast<std::size_t>(box->height / 2) * box->width + 30) * 4];
    for (int channel = 0; channel < 3; ++channel) EXPECT_NEAR(seen[channel], drawn[channel], 24) << channel;
}

}  // namespace
