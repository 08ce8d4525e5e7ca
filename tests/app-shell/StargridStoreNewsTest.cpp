// The start tells what became of a payment an earlier run left undecided (as a run killed mid-purchase, or
// one whose outcome could not be saved, leaves it): credited, nothing charged, or still pending while the
// ledger cannot be saved. Each in one line of the store's alert on every device, every character in a font;
// and once, by the next start when the one that decided it ended before its alert was drawn.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Classes/IOSiAP.h"
#include "GameProcess.h"
#include "ScreenTour.h"
#include "StargridRun.h"
#include "platform/TextRenderer.h"
#include "support/SmallDisk.h"
#include "support/TemporaryFolder.h"

namespace {

using namespace stargrid::test;
namespace fs = std::filesystem;

const char* const kLedger =
    "<plist version=\"1.0\"><dict><key>nextSequence</key><integer>2</integer><key>transactions</key><array><dict>"
    "<key>transactionIdentifier</key><string>t-left</string><key>productIdentifier</key>"
    "<string>com.kwrlopa.tier2</string><key>quantity</key><integer>1</integer><key>applicationUsername</key>"
    "<string>shop</string><key>state</key><integer>0</integer></dict></array></dict></plist>";

// The rows of the alert's message area (design points from the box's centre: below the title, above the
// button) that hold ink of the message's colour, in bands at least two rows apart: one band is one line.
int messageLines(const Shot& shot, const Device& device) {
    const float sx = device.width / 480.0f, sy = device.height / device.designHeight;
    const float centre = device.designHeight / 2;
    int lines = 0, lastInked = -10;
    for (int row = static_cast<int>((centre - 88) * sy); row < static_cast<int>((centre + 60) * sy); ++row) {
        int inked = 0;
        for (int x = static_cast<int>(40 * sx); x < static_cast<int>(440 * sx); ++x) {
            const unsigned char* p = &shot.rgba[(static_cast<std::size_t>(row) * shot.width + x) * 4];
            inked += std::abs(p[0] - 64) < 24 && std::abs(p[1] - 105) < 24 && std::abs(p[2] - 167) < 24;
        }
        if (inked < 2) continue;
        lines += row - lastInked > 2;
        lastInked = row;
    }
    return lines;
}

// Whether each character is drawn from a font: one that none has is drawn as a code point no font has.
bool everyCharacterInAFont(const std::string& text) {
    auto drawn = [](const std::string& character) {
        platform::TextRequest request;
        request.text = character;
        request.fontName = "Helvetica Neue";  // the alert's, with its fallback
        request.fontSize = 26;
        platform::TextBitmap bitmap;
        std::string error;
        platform::TextRenderer::instance().render(request, 256, bitmap, error);
        return bitmap.rgba;
    };
    const auto missing = drawn("\xF4\x8F\xBF\xBD");  // U+10FFFD, for private use
    bool all = !missing.empty();
    for (std::size_t at = 0, length = 1; at < text.size(); at += length) {
        const auto lead = static_cast<unsigned char>(text[at]);
        length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        all = all && drawn(text.substr(at, length)) != missing;
    }
    return all;
}

// The game's environment for a start in the home: its folders there, no game server.
std::vector<std::string> startEnvironment(const std::string& home, const std::string& store, const char* network) {
    return {"SDL_VIDEODRIVER=offscreen",
            "ALSOFT_DRIVERS=null",
            std::string("STARGRID_NETWORK=") + network,
            "STARGRID_BOOTSTRAP_URL=http://127.0.0.1:9/bus_ser_ios.html",
            "XDG_CONFIG_HOME=" + home + "/config",
            "XDG_DATA_HOME=" + home + "/data",
            "XDG_CACHE_HOME=" + home + "/cache",
            "XDG_RUNTIME_DIR=" + home,
            "STARGRID_STORE=" + store};
}

// A home of its own in the folder, where an earlier run left one payment purchasing.
std::string homeWithAPaymentLeft(const std::string& folder, const std::string& name) {
    const std::string home = folder + "/" + name;
    fs::create_directories(home + "/data/stargrid");
    fs::permissions(home, fs::perms::owner_all);  // the runtime folder too
    std::ofstream(home + "/data/stargrid/StoreLedger.plist") << kLedger;
    return home;
}

std::vector<std::string> alertLines(const Game& game) {
    std::vector<std::string> alerts;
    for (const std::string& line : game.lines())
        if (line.rfind("AlertView:", 0) == 0) alerts.push_back(line);
    return alerts;
}

class StargridStoreNews : public ::testing::TestWithParam<Device> {
protected:
    kite::test::TemporaryFolder folder{"stargrid-news"};
};

TEST_P(StargridStoreNews, TheStartTellsWhatBecameOfAnEarlierPaymentInOneLine) {
    const struct {
        const char* store;
        bool fullDisk;  // the data folder: the ledger is read, its save fails
        const char* told;
        int diamonds;
    } starts[] = {{"approve", false, IOSiAP::kEarlierPaymentCreditedMessage, 160},
                  {"decline", false, IOSiAP::kEarlierPaymentNotChargedMessage, 20},
                  {"approve", true, IOSiAP::kPaymentPendingMessage, 20}};
    for (const auto& start : starts) {
        SCOPED_TRACE(start.told);
        const std::string home = folder.path() + "/" + start.store + (start.fullDisk ? "-full" : "");
        const std::string data = home + "/data/stargrid", shot = home + "/alert.png";
        fs::create_directories(data);
        fs::permissions(home, fs::perms::owner_all);  // the runtime folder too
        if (!start.fullDisk) std::ofstream(data + "/StoreLedger.plist") << kLedger;
        std::ofstream(home + "/start.script") << "shot 40 " + shot + "\nquit 42\n";
        const std::function<bool()> fillDisk = [&data] {
            if (!kite::test::SmallDisk::mount(data)) return false;
            std::ofstream(data + "/StoreLedger.plist") << kLedger;
            return kite::test::SmallDisk(data).fill();
        };
        Game game({"--device", GetParam().name, "--fixed-step", "--script", home + "/start.script"},
                  startEnvironment(home, start.store, "up"), false, start.fullDisk ? fillDisk : nullptr);
        ASSERT_EQ(game.waitForExit(std::chrono::seconds(60)), 0);
        EXPECT_EQ(alertLines(game), std::vector<std::string>{std::string("AlertView: 提示 / ") + start.told + " [确认]"});
        const std::optional<Saved> saved = readStore(home + "/config/stargrid/UserDefaults.plist");
        EXPECT_EQ(saved ? saved->integer("diamond") : -1, start.diamonds);
        const std::optional<Shot> frame = readPNG(shot);
        ASSERT_TRUE(frame);
        EXPECT_EQ(messageLines(*frame, GetParam()), 1);
        EXPECT_TRUE(everyCharacterInAFont(start.told));
    }
}

// The alert is raised in the first frame and drawn from the second on (the scene runs from then): a start
// killed while it waits before the second, or closed while the no-network alert holds the news back, never
// drew it.
TEST(StargridStoreNewsLater, AStartThatEndsBeforeItsAlertIsDrawnLeavesItToTheNextStartWhichTellsItOnce) {
    const Device& device = devices()[1];  // iphone5
    const std::string told = std::string("AlertView: 提示 / ") + IOSiAP::kEarlierPaymentCreditedMessage + " [确认]";
    std::string holdSecondFrame;  // a minute, in the longest steps a script sleeps
    for (int i = 0; i < 6; ++i) holdSecondFrame += "sleep 2 10000\n";
    const struct {
        const char* name;
        const char* network;
        std::string script;
        bool killed;
    } endings[] = {{"killed", "up", holdSecondFrame + "quit 3\n", true},
                   {"closed-without-network", "down", "quit 40\n", false}};
    kite::test::TemporaryFolder folder{"stargrid-news-later"};
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        const std::string home = homeWithAPaymentLeft(folder.path(), ending.name);
        std::ofstream(home + "/first.script") << ending.script;
        std::ofstream(home + "/later.script") << "shot 40 " + home + "/alert.png\nquit 42\n";
        {
            Game first({"--device", device.name, "--fixed-step", "--script", home + "/first.script"},
                       startEnvironment(home, "approve", ending.network));
            if (ending.killed) {
                ASSERT_TRUE(first.waitForLine(told, std::chrono::seconds(60)));
                first.signal(SIGKILL);
                first.waitForExit(std::chrono::seconds(60));
                ASSERT_EQ(first.endSignal(), SIGKILL);
            } else {
                ASSERT_EQ(first.waitForExit(std::chrono::seconds(60)), 0);
                ASSERT_EQ(alertLines(first).size(), 2u) << "the no-network alert, then the news behind it";
            }
        }
        for (int later = 0; later < 2; ++later) {
            SCOPED_TRACE(later == 0 ? "the next start" : "the one after");
            fs::remove(home + "/alert.png");
            Game game({"--device", device.name, "--fixed-step", "--script", home + "/later.script"},
                      startEnvironment(home, "approve", "up"));
            ASSERT_EQ(game.waitForExit(std::chrono::seconds(60)), 0);
            EXPECT_EQ(alertLines(game), later == 0 ? std::vector<std::string>{told} : std::vector<std::string>{});
            const std::optional<Shot> frame = readPNG(home + "/alert.png");
            ASSERT_TRUE(frame);
            if (later == 0) {
                EXPECT_EQ(messageLines(*frame, device), 1) << "drawn";
            }
            const std::optional<Saved> saved = readStore(home + "/config/stargrid/UserDefaults.plist");
            EXPECT_EQ(saved ? saved->integer("diamond") : -1, 160) << "credited once";
        }
    }
}

// Once the frame that drew it is on the screen it has been told, even when the game quits before the next.
TEST(StargridStoreNewsLater, AStartClosedRightAfterItsAlertWasDrawnLeavesNothingToTell) {
    const Device& device = devices()[1];  // iphone5
    kite::test::TemporaryFolder folder{"stargrid-news-told"};
    const std::string home = homeWithAPaymentLeft(folder.path(), "home");
    std::ofstream(home + "/first.script") << "shot 2 " + home + "/drawn.png\nquit 3\n";
    std::ofstream(home + "/later.script") << "quit 40\n";
    for (const char* script : {"/first.script", "/later.script"}) {
        Game game({"--device", device.name, "--fixed-step", "--script", home + script},
                  startEnvironment(home, "approve", "up"));
        ASSERT_EQ(game.waitForExit(std::chrono::seconds(60)), 0);
        const std::size_t told = script[1] == 'f' ? 1 : 0;
        EXPECT_EQ(alertLines(game).size(), told) << script;
    }
    // Still popping in: the light of its message area at the centre of the screen, where the menu is dark.
    const std::optional<Shot> drawn = readPNG(home + "/drawn.png");
    ASSERT_TRUE(drawn);
    const unsigned char* centre = &drawn->rgba[(drawn->height / 2 * drawn->width + drawn->width / 2) * 4];
    EXPECT_TRUE(centre[0] > 200 && centre[1] > 200 && centre[2] > 200) << "no alert drawn in the second frame";
}

std::string deviceName(const ::testing::TestParamInfo<Device>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Devices, StargridStoreNews, ::testing::ValuesIn(devices()), deviceName);

}  // namespace
