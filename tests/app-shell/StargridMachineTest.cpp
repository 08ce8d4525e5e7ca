// The game executable on a machine that changes under it or holds it back: a start-up that is stuck, the
// display going away, a display or GL driver that cannot be had, a full disk under the GL driver's shader
// cache, no room for threads, and a limit on the size of files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ConsoleClient.h"
#include "GameProcess.h"
#include "support/VirtualDisplay.h"
#include "support/NoThreads.h"
#include "support/SmallDisk.h"
#include "support/TemporaryFolder.h"

namespace {

using stargrid::test::Game;
using stargrid::test::VirtualDisplay;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// The index of the first line holding the text; the number of lines when none does.
std::size_t firstLine(const std::vector<std::string>& lines, const std::string& text) {
    return std::find_if(lines.begin(), lines.end(),
                        [&](const std::string& line) { return line.find(text) != std::string::npos; }) -
           lines.begin();
}

struct Ended {
    std::optional<int> status;  // none when a signal ended it, or it did not end within the time
    int signal = 0;
    std::vector<std::string> lines;  // both streams
};

// The game run to its end (60 s at most) with the environment changes ("NAME=value", "NAME" to remove);
// prepare runs in the child first, and its failure ends the child with status 126.
Ended runPrepared(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::function<bool()>& prepare) {
    Game game(args, env, true, prepare);
    Ended ended;
    ended.status = game.waitForExit(std::chrono::seconds(60));
    ended.signal = game.endSignal();
    ended.lines = game.lines();
    return ended;
}

class StargridMachine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.made());
        std::filesystem::create_directories(home.path() + "/runtime");
        chmod((home.path() + "/runtime").c_str(), 0700);
    }

    // The player's folders in the test's own, headless, with no game server (its port refuses at once).
    std::vector<std::string> environment() const {
        const std::string& h = home.path();
        return {"SDL_VIDEODRIVER=offscreen",
                "ALSOFT_DRIVERS=null",
                "WAYLAND_DISPLAY",
                "STARGRID_DEVICE",
                "XDG_CONFIG_HOME=" + h + "/config",
                "XDG_DATA_HOME=" + h + "/data",
                "XDG_CACHE_HOME=" + h + "/cache",
                "XDG_RUNTIME_DIR=" + h + "/runtime",
                "STARGRID_BOOTSTRAP_URL=http://127.0.0.1:9/bus_ser_ios.html"};
    }
    std::vector<std::string> environment(std::vector<std::string> more) const {
        std::vector<std::string> env = environment();
        env.insert(env.end(), more.begin(), more.end());
        return env;
    }

    // The events the statistics module kept in its database (in the data folder named from the test's own),
    // by their event names.
    std::vector<std::string> keptEvents(const std::string& data = "/data") const {
        std::vector<std::string> names;
        sqlite3* db = nullptr;
        const std::string path = home.path() + data + "/stargrid/.pigeon_stat_analysis.db";
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT json_extract(content, '$.ei') FROM events", -1, &statement, nullptr) ==
                SQLITE_OK) {
                while (sqlite3_step(statement) == SQLITE_ROW) {
                    const unsigned char* name = sqlite3_column_text(statement, 0);
                    names.push_back(name ? reinterpret_cast<const char*>(name) : "");
                }
            }
            sqlite3_finalize(statement);
        }
        sqlite3_close(db);
        return names;
    }

    kite::test::TemporaryFolder home{"stargrid-machine"};
};

TEST_F(StargridMachine, ASigtermEndsAStartUpThatIsStuckNamingTheStepItIsAt) {
    Game game({}, environment({"STARGRID_STARTUP_HOLD=launching the game"}), true);
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitForLine("start-up held at \"launching the game\"")) << testing::PrintToString(game.lines());
    game.signal(SIGTERM);
    EXPECT_EQ(game.waitForExit(), 1) << testing::PrintToString(game.lines());
    EXPECT_THAT(game.lines(), Contains("stargrid: SIGTERM during start-up, which did not get past \"launching the "
                                       "game\" within 3 s; quitting"));
    EXPECT_THAT(game.shellLines(), Not(Contains(HasSubstr("running on"))));
}

TEST_F(StargridMachine, TheDisplayGoingAwayRunsTheBackgroundStepThenSaysSo) {
    VirtualDisplay server;
    if (server.display().empty()) GTEST_SKIP() << "no Xvfb to open a window on";
    Game game({}, environment({"SDL_VIDEODRIVER", "DISPLAY=" + server.display()}), true);
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitForLine("stargrid: running on iphone5 (640x1136)"));
    server.end();
    EXPECT_EQ(game.waitForExit(), 1);
    const std::size_t background = firstLine(game.lines(), "stargrid: entering the background");
    const std::size_t gone = firstLine(game.lines(), "stargrid: the display went away");
    EXPECT_LT(background, gone);
    EXPECT_LT(gone, game.lines().size());
    // What the background step keeps reached the database before the end.
    EXPECT_THAT(keptEvents(), Contains("onBackground_PG"));
}

// A home reached through a link, with no XDG variable: the statistics are kept under it as under any home.
TEST_F(StargridMachine, AHomeReachedThroughALinkKeepsTheStatistics) {
    std::filesystem::create_directories(home.path() + "/real-home");
    ASSERT_EQ(symlink("real-home", (home.path() + "/linked-home").c_str()), 0);
    const Ended ended = runPrepared({"--frames", "30"},
                                    environment({"HOME=" + home.path() + "/linked-home", "XDG_DATA_HOME",
                                                 "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "STARGRID_NETWORK=down"}),
                                    nullptr);
    EXPECT_EQ(ended.status, 0);
    EXPECT_THAT(ended.lines, Not(Contains(HasSubstr("unable to open database file"))));
    EXPECT_THAT(keptEvents("/real-home/.local/share"), Contains("onBackground_PG"));
}

TEST_F(StargridMachine, AnX11DisplayThatCannotBeOpenedIsNamedBeforeTheGLLine) {
    const Ended run =
        runPrepared({"--frames", "3"}, environment({"SDL_VIDEODRIVER=x11", "DISPLAY=:987"}), [] { return true; });
    EXPECT_EQ(run.status, 1);
    const std::size_t cause =
        firstLine(run.lines, "platform: SDL video failed: x11 not available (the X display \":987\" cannot be opened)");
    EXPECT_LT(cause, firstLine(run.lines, "OpenGL ES 2.O is required."));
    EXPECT_LT(firstLine(run.lines, "OpenGL ES 2.O is required."), run.lines.size());
}

TEST_F(StargridMachine, AGLDriverThatCannotBeLoadedUnderX11IsNamedBeforeTheGLLine) {
    VirtualDisplay server;
    if (server.display().empty()) GTEST_SKIP() << "no Xvfb to open a window on";
    const Ended run = runPrepared(
        {"--frames", "3"},
        environment({"SDL_VIDEODRIVER=x11", "DISPLAY=" + server.display(), "LIBGL_DRIVERS_PATH=/nonexistent"}),
        [] { return true; });
    // Not Xlib's exit on the driver's X error: the game's own end, with the cause.
    EXPECT_EQ(run.status, 1);
    const std::size_t required = firstLine(run.lines, "OpenGL ES 2.O is required.");
    ASSERT_LT(required, run.lines.size());
    const std::size_t cause = firstLine(run.lines, "platform: cannot create");
    EXPECT_LT(cause, required);
    ASSERT_LT(cause, run.lines.size());
    EXPECT_THAT(run.lines[cause], HasSubstr("X error: BadValue"));
}

TEST_F(StargridMachine, AFullDiskUnderTheShaderCacheTurnsTheCacheOffInsteadOfCrashing) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    const std::string cache = home.path() + "/cache";
    const Ended run = runPrepared(
        {"--frames", "30", "--fixed-step"}, environment({"MESA_SHADER_CACHE_DIR", "MESA_SHADER_CACHE_DISABLE"}),
        [&cache] { return kite::test::SmallDisk::mount(cache) && kite::test::SmallDisk(cache).fill(); });
    ASSERT_NE(run.status, 126) << "the small disk could not be mounted";
    EXPECT_EQ(run.signal, 0) << "ended by signal " << run.signal;
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.lines, Contains(HasSubstr("platform: the GL driver's shader cache is off for this run: " + cache +
                                              ", it has no room (0 KiB free, 8 MiB wanted)")));
    EXPECT_THAT(run.lines, Contains("stargrid: quit"));
}

TEST_F(StargridMachine, WithoutRoomForThreadsTheGameSaysWhichAndPlaysItsFrames) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to become a user held to the limit";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path()))
        chown(entry.path().c_str(), kite::test::kUnusedUser, kite::test::kUnusedUser);
    chown(home.path().c_str(), kite::test::kUnusedUser, kite::test::kUnusedUser);
    const int port = stargrid::test::freeLoopbackPort();
    ASSERT_GT(port, 0);
    const Ended run =
        runPrepared({"--frames", "30", "--fixed-step"}, environment({"STARGRID_CONSOLE_PORT=" + std::to_string(port)}),
                    [] { return kite::test::startNoMoreThreads(); });
    ASSERT_NE(run.status, 126) << "no user could be switched to";
    EXPECT_EQ(run.signal, 0) << "ended by signal " << run.signal;
    EXPECT_EQ(run.status, 0);
    for (const char* said :
         {"platform: only 0 more threads can be started (Resource temporarily unavailable)",
          "TextureCache: cannot start the loading thread (Resource temporarily unavailable)",
          "stargrid: cannot start a thread for start-up work (Resource temporarily unavailable)",
          "PGStat: the PigeonAnalysis queue's thread cannot start (Resource temporarily unavailable)",
          "HttpClient: cannot start the worker thread (Resource temporarily unavailable)",
          "UserDefault: cannot start the writer thread (Resource temporarily unavailable)",
          "Console: cannot start its thread (Resource temporarily unavailable)", "stargrid: quit"})
        EXPECT_THAT(run.lines, Contains(HasSubstr(said)));
    // The store was saved all the same.
    std::ifstream store(home.path() + "/config/stargrid/UserDefaults.plist");
    std::stringstream saved;
    saved << store.rdbuf();
    EXPECT_THAT(saved.str(), HasSubstr("<plist"));
}

// Not a byte may be written to a file: the GL driver's cache index, the statistics, the preferences.
TEST_F(StargridMachine, PastAFileSizeLimitSavesFailAndTheGamePlaysOn) {
    const Ended run = runPrepared({"--frames", "30", "--fixed-step"},
                                  environment({"MESA_SHADER_CACHE_DIR", "MESA_SHADER_CACHE_DISABLE"}), [] {
                                      const struct rlimit none = {0, 0};
                                      return setrlimit(RLIMIT_FSIZE, &none) == 0;
                                  });
    EXPECT_EQ(run.signal, 0) << "ended by signal " << run.signal;
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.lines, Contains("UserDefault: cannot save " + home.path() +
                                    "/config/stargrid/UserDefaults.plist: File too large"));
}

}  // namespace
