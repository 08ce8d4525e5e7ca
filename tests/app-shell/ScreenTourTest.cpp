// The screen tour: the game executable, against the local game server, driven by scripted taps and typing
// through every screen and dialog on each device profile. Every screen is saved to
// build/test-artifacts/screens/<device>/<screen>.png with a contact sheet per device, and checked against the
// layout rules from the nodes it shows (tests/support/ScreenLayout.h). The faults a finger found are tapped
// again: "back" in the paint chooser charges nothing, each pause switch switches and the game goes on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Classes/GameHelpers.h"
#include "GameProcess.h"
#include "LocalServer.h"
#include "ScreenTour.h"
#include "StargridRun.h"
#include "support/GLTest.h"
#include "support/ScreenLayout.h"
#include "support/TemporaryFolder.h"

namespace {

using namespace stargrid::test;
namespace fs = std::filesystem;

const char* const kPhone = "13812345678";
const char* const kNewPhone = "13900001111";

// What a station must show: the layer on top, and a picture or a label text on it (empty: anything).
struct Expected {
    const char* layer;
    const char* shows;
};
const std::map<std::string, Expected> kStations = {
    {"menu", {"MenuLayer", "Menu/bg_number.png"}},
    {"help", {"HelpLayer", "Menu/Help/bg_help.png"}},
    {"info-bound", {"InfoLayer", "Menu/Info/img_bindbox.png"}},
    {"web-page", {"WebViewLayer", "用户协议"}},
    {"share", {"ShareLayer", "Menu/Share/btn_receive.png"}},
    {"leaderboard", {"RankedLayer", "Menu/Ranked/btn_receive_reward.png"}},
    {"phone-input", {"PopupBoxLayer", "Common/pop_input.png"}},
    {"sale", {"SaleLayer", "Menu/Sale/bg_sale_1.png"}},
    {"shop", {"ShopLayer", "Menu/Shop/bg_shop.png"}},
    {"wait-box", {"PopupBoxLayer", "Common/pop_indicator.png"}},
    {"confirm", {"PopupBoxLayer", "Common/pop_btn_yes.png"}},
    {"play-banner", {"GameLayer", "关卡1"}},
    {"tutorial-bomb", {"GuideLayer", "Guide/guide_bomb.png"}},
    {"tutorial-paint", {"GuideLayer", "Guide/guide_paint.png"}},
    {"tutorial-reset", {"GuideLayer", "Guide/guide_reset.png"}},
    {"alert", {"PopupBoxLayer", "祝您游戏愉快^_^！"}},
    {"combo", {"GameLayer", "Effect/combo_3.png"}},
    {"stage-clear", {"GameLayer", "Effect/stage_clear.png"}},
    {"prompt", {"GameLayer", "选择要炸掉的贪官"}},
    {"paint-chooser", {"PropPaintLayer", "Scene/prop_paint_box.png"}},
    {"chooser-back", {"GameLayer", "Scene/prop_paint.png"}},
    {"pause", {"PauseLayer", "Scene/btn_music_on.png"}},
    {"pause-switched", {"PauseLayer", "Scene/btn_sound_off.png"}},
    {"play", {"GameLayer", "Scene/btn_shop.png"}},
    {"info-unbound", {"InfoLayer", "Menu/Info/btn_nowbind.png"}},
    {"binding", {"LoginLayer", "Menu/Login/bg_login.png"}},
    {"notice", {"PopupBoxLayer", "账号绑定成功！\\n祝您游戏愉快！"}},
    {"game-over", {"GameOverLayer", "Scene/bg_game_over.png"}},
};

// A board of pairs down the columns in four colours, with a block of 16 green pieces at the bottom left: one
// tap on it scores 1280 points, past the first target.
board::Cells greenBlock() {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index) {
        const int row = board::rowOf(index), column = board::columnOf(index);
        cells[index] = row >= 8 && column < 8 ? 0 : 1 + (column + row / 2) % 4;
    }
    return cells;
}

// One pair at the bottom left and eight lone pieces: the level ends at 20 points.
board::Cells losing() {
    board::Cells cells;
    cells.fill(board::kEmpty);
    const int row[] = {0, 0, 1, 2, 3, 4, 1, 2, 3, 4};
    for (int column = 0; column < board::kColumns; ++column) cells[board::cellIndex(9, column)] = row[column];
    return cells;
}

class ScreenTour : public ::testing::TestWithParam<Device> {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(stargrid::test::startWithLocalServer(folder, server));
        shots = kite::test::artifactsDirectory() + "/screens/" + GetParam().name;
        fs::remove_all(shots);
        fs::create_directories(shots);
    }

    std::vector<std::string> environment(const std::string& home) const {
        return {"SDL_VIDEODRIVER=offscreen",
                "ALSOFT_DRIVERS=null",
                "XDG_CONFIG_HOME=" + home + "/config",
                "XDG_DATA_HOME=" + home + "/data",
                "XDG_CACHE_HOME=" + home + "/cache",
                "XDG_RUNTIME_DIR=" + home,
                "STARGRID_NETWORK=up",
                "STARGRID_SEED=7",
                "STARGRID_STORE=defer",
                "STARGRID_BOOTSTRAP_URL=" + server->url("/bus_ser_ios.html")};
    }

    // The preferences of a player who has seen the tutorial or not, with a phone bound or not and a stored
    // game on the given board.
    static void storePlayer(const std::string& home, bool bound, bool tutorialSeen, const board::Cells& cells) {
        std::map<std::string, std::string> changed;
        if (!tutorialSeen) changed["guideStatus"] = "<integer>0</integer>";
        if (bound) {
            changed["cellphone"] = "<string>" + base64Encode(kPhone) + "</string>";
            changed["password"] = "<string>" + base64Encode("1234") + "</string>";
        }
        writeStoredGame(home + "/config/stargrid/UserDefaults.plist", cells, changed);
        fs::permissions(home, fs::perms::owner_all);  // the runtime folder too: closed to others
    }

    // Runs the game on the script in a home of its own; the stored preferences afterwards.
    Saved play(const std::string& run, TourScript& script) {
        const std::string home = folder.path() + "/" + run;
        // Beside the shots, so a run can be replayed by hand.
        const std::string file = shots + "/" + run + ".script";
        std::ofstream(file) << script.finish();
        Game game({"--device", GetParam().name, "--fixed-step", "--script", file}, environment(home));
        EXPECT_TRUE(game.started());
        EXPECT_EQ(game.waitForExit(std::chrono::seconds(240)), 0) << run;
        for (const std::string& station : script.stations()) visited.push_back(station);
        std::optional<Saved> saved = readStore(home + "/config/stargrid/UserDefaults.plist");
        EXPECT_TRUE(saved) << run;
        return saved ? *saved : Saved{};
    }

    std::string shot(const std::string& station) const { return shots + "/" + station; }
    Screen screen(const std::string& station) const { return Screen::read(shot(station) + ".txt"); }

    kite::test::TemporaryFolder folder{"screen-tour"};
    std::unique_ptr<stargrid_server::GameServer> server;
    std::string shots;
    std::vector<std::string> visited;
};

}  // namespace

namespace {

TEST_P(ScreenTour, EveryScreenKeepsItsLayoutAndTheTappedFaultsStayMended) {
    const Device& device = GetParam();
    const Places at(device);
    const std::string dialog2 = "Common/bg_dialog_2.png", dialog3 = "Common/bg_dialog_3.png";
    const std::string popup = "Common/pop_alert.png";
    // The popup's buttons: "ok" alone in the middle, "later" left of the middle when it asks.
    const Point popupOk = at.onDialog(popup, pictureSize(popup).first / 2, 60);
    const Point popupLater = at.onDialog(popup, pictureSize(popup).first / 2 - 75, 60);

    // A bound player with red packets and a phone-credit prize, on the menu and its dialogs.
    ASSERT_TRUE(server->store().seedAccount({kPhone, base64Encode("1234"), 5400, 0, 2}));
    for (int k = 0; k < 6; ++k)
        ASSERT_TRUE(server->store().seedAccount({"1390000000" + std::to_string(k), "x", 9000 - 1000 * k, 0, 0}));
    ASSERT_TRUE(server->store().setPrize(kPhone, {stargrid_server::Prize::PhoneCredit, 10}));
    storePlayer(folder.path() + "/bound", true, true, greenBlock());
    TourScript menu(device, shots);
    menu.wait(20).network().wait(20).station("menu");
    menu.tap(at.middleRow(0)).station("help").tap(at.onDialog("Menu/Help/bg_help.png", -32, -30), 15);
    menu.tap(at.middleRow(1)).station("info-bound").tap(at.onDialogMiddle("Menu/Info/bg_info.png", 0, -32), 4);
    menu.network(2).wait(20);
    menu.station("web-page").tap(at.webBack(), 15).tap(at.onDialog("Menu/Info/bg_info.png", -32, -30), 15);
    menu.tap(at.bottomRow(1)).station("share").tap(at.onDialog(dialog2, -32, -30), 15);
    menu.tap(at.bottomRow(2), 4).network(3).wait(20).station("leaderboard");
    menu.tap(at.onDialog(dialog2, pictureSize(dialog2).first / 2, 65)).station("phone-input");
    menu.tap(at.onDialog(popup, -32, -30), 10).tap(at.onDialog(dialog2, -32, -30), 15);
    menu.tap(at.sale()).station("sale").tap(at.onDialog("Common/bg_dialog_1.png", -75, -107), 15);
    menu.tap(at.bottomRow(0)).station("shop").tap(at.onDialog("Menu/Shop/bg_shop.png", -32, -32), 15);
    // Sharing asks the server first; its answer is held back, so the wait box shows until the game quits.
    stargrid_server::ReplyOverride slow;
    slow.path = "/game/ShareInfo_iOS";
    slow.delayMs = 1500;
    server->overrides().push(slow);
    menu.tap(at.bottomRow(1))
        .tap(at.onDialog(dialog2, pictureSize(dialog2).first / 2 - 60, 255), 8)
        .station("wait-box");
    play("bound", menu);

    // A new player: the bind prompt, the tutorial, a big group, the props, the chooser, pause, then binding.
    storePlayer(folder.path() + "/new", false, false, greenBlock());
    TourScript game(device, shots);
    game.wait(20).network().wait(20).tap(at.start()).station("confirm").tap(popupLater, 40);
    // Each page once its finger has started pointing (0.8 s after the page).
    game.station("play-banner").wait(200).station("tutorial-bomb");
    game.tap(at.prop(0), 55).station("tutorial-paint").tap(at.prop(1), 55).station("tutorial-reset").tap(at.prop(2));
    game.station("alert").tap(popupOk, 15);
    game.tap(Places::cell(9, 0), 10).station("combo").wait(60).station("stage-clear").wait(120);
    game.tap(at.prop(0), 6).station("prompt").tap(at.prop(1), 6).tap(Places::cell(5, 4), 12).station("paint-chooser");
    game.tap(Places::chooserBack(5), 12).station("chooser-back");
    game.tap(at.pause(), 15).station("pause");
    game.tap(at.onDialogMiddle(dialog3, -75, 135 - pictureSize(dialog3).second / 2), 10);
    game.tap(at.onDialogMiddle(dialog3, 75, 135 - pictureSize(dialog3).second / 2), 10).station("pause-switched");
    game.tap(at.onDialog(dialog3, -32, -32), 15).station("play");
    game.tap(at.pause(), 15).tap(at.onDialogMiddle(dialog3, 0, 80), 20).network().wait(20);
    game.tap(at.middleRow(1)).station("info-unbound").tap(at.onDialogMiddle("Menu/Info/bg_info.png", 0, -112));
    game.station("binding").tap(at.onDialogMiddle("Menu/Login/bg_login.png", 34, 134), 6).type(kNewPhone);
    game.tap(at.onDialogMiddle("Menu/Login/bg_login.png", 34, 52), 6).type("1234");
    game.tap(at.onDialog("Menu/Login/bg_login.png", pictureSize("Menu/Login/bg_login.png").first / 2, 110), 4);
    game.network(2).wait(20);
    game.station("notice");
    const Saved afterGame = play("new", game);

    // A level lost: the game-over dialog.
    storePlayer(folder.path() + "/losing", false, true, losing());
    TourScript lost(device, shots);
    lost.wait(20).network().wait(20).tap(at.start()).tap(popupLater, 200);
    lost.tap(Places::cell(9, 0), 260).station("game-over");
    play("losing", lost);

    // Every screen shows what it should and keeps the rules.
    std::vector<std::string> sheet;
    for (const std::string& station : visited) {
        const Screen shown = screen(station);
        ASSERT_FALSE(shown.empty()) << device.name << " " << station << ": no node report";
        const Expected& expected = kStations.at(station);
        const int top = shown.activeLayer();
        EXPECT_EQ(shown.nodes()[static_cast<std::size_t>(top)].type == expected.layer ||
                      (top == 0 && shown.find(expected.layer) >= 0),
                  true)
            << device.name << " " << station << ": " << expected.layer << " is not on top";
        bool shows = false;
        for (const ScreenNode& node : shown.nodes()) shows = shows || node.file() == expected.shows;
        EXPECT_TRUE(shows) << device.name << " " << station << " does not show " << expected.shows;
        std::string problems;
        for (const std::string& p : shown.problems()) problems += "\n  " + p;
        EXPECT_TRUE(problems.empty()) << device.name << " " << station << ":" << problems;
        sheet.push_back(shot(station) + ".png");
    }
    EXPECT_TRUE(writeContactSheet(sheet, shots + "/contact-sheet.png"));
    // The README's pictures (docs/) are these, from the tall iPhone.
    if (std::string(device.name) == "iphone5") {
        EXPECT_TRUE(writeHalfSize(shot("menu") + ".png", shots + "/readme-menu.png"));
        EXPECT_TRUE(writeHalfSize(shot("combo") + ".png", shots + "/readme-play.png"));
    }

    // Back in the chooser charged nothing; the switches switched and the game went on at its score.
    EXPECT_EQ(afterGame.integer("diamond"), 20);
    EXPECT_EQ(afterGame.integer("propPaintCount"), 3);
    EXPECT_EQ(afterGame.integer("musicOnOff"), 0);
    EXPECT_EQ(afterGame.integer("soundOnOff"), 0);
    EXPECT_EQ(screen("chooser-back").find("PropPaintLayer"), -1);
    EXPECT_GE(screen("play").find("GameLayer"), 0);
    EXPECT_GE(afterGame.score, 1280);
}

std::string deviceName(const ::testing::TestParamInfo<Device>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Devices, ScreenTour, ::testing::ValuesIn(devices()), deviceName);

}  // namespace
