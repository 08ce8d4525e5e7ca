// Runs the game executable as a user or a script would, and checks how it ends.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ConsoleClient.h"
#include "GameProcess.h"
#include "GameSockets.h"
#include "support/VirtualDisplay.h"
#include "platform/Clock.h"
#include "platform/FolderClaim.h"
#include "platform/UrlHandover.h"
#include "platform/UserFolders.h"
#include "support/TemporaryFolder.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;
using stargrid::test::freeLoopbackPort;
using stargrid::test::Game;
using stargrid::test::sendToConsole;

TEST(Stargrid, RunsTheGivenFramesHeadlessWithoutADisplayAndExitsZero) {
    Game game({"--frames", "30"}, {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY", "STARGRID_DEVICE"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre("stargrid: running on iphone5 (640x1136), headless",
                                               "stargrid: entering the background", "stargrid: quit"));
}

TEST(Stargrid, FixedStepRunsAHundredAndTwentyFrames) {
    Game game({"--frames", "120", "--fixed-step", "--device", "iphone4"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0) << testing::PrintToString(game.lines());
    ASSERT_FALSE(game.shellLines().empty());
    EXPECT_THAT(game.shellLines().front(), HasSubstr("running on iphone4 (640x960)"));
}

TEST(Stargrid, SigtermRunsTheBackgroundThenQuitsWithStatusZero) {
    Game game({}, {"STARGRID_DEVICE=ipad"});
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitForLine("running on ipad (768x1024)"));
    game.signal(SIGTERM);
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(),
                ElementsAre(HasSubstr("running on ipad"), "stargrid: entering the background", "stargrid: quit"));
}

TEST(Stargrid, UserSignalsAlternateBackgroundAndForeground) {
    Game game({});
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitForLine("running on"));
    game.signal(SIGUSR1);
    ASSERT_TRUE(game.waitForLine("entering the background"));
    game.signal(SIGUSR1);  // already in the background: nothing
    game.signal(SIGUSR2);
    ASSERT_TRUE(game.waitForLine("entering the foreground"));
    game.signal(SIGUSR2);  // already in the foreground: nothing
    game.signal(SIGTERM);
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre(HasSubstr("running on"), "stargrid: entering the background",
                                               "stargrid: entering the foreground", "stargrid: entering the background",
                                               "stargrid: quit"));
}

TEST(Stargrid, ZeroFramesQuitsAtOnce) {
    Game game({"--frames", "0"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(),
                ElementsAre(HasSubstr("running on"), "stargrid: entering the background", "stargrid: quit"));
}

TEST(Stargrid, UnreachableDisplayMeansHeadless) {
    Game game({"--frames", "10"}, {"SDL_VIDEODRIVER", "DISPLAY=:987", "WAYLAND_DISPLAY"});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    ASSERT_FALSE(game.shellLines().empty());
    EXPECT_THAT(game.shellLines().front(), HasSubstr(", headless"));
}

TEST(Stargrid, DirectorEndOnTheDebugConsoleQuitsAsSigtermDoes) {
    const int port = freeLoopbackPort();
    ASSERT_GT(port, 0);
    Game game({}, {"STARGRID_CONSOLE_PORT=" + std::to_string(port)});
    ASSERT_TRUE(game.started());
    ASSERT_TRUE(game.waitForLine("running on"));
    ASSERT_TRUE(sendToConsole(port, "director end\n", 10000));
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(),
                ElementsAre(HasSubstr("running on"), "stargrid: entering the background", "stargrid: quit"));
}

TEST(Stargrid, RunsInAWindowWhenADisplayIsThere) {
    stargrid::test::VirtualDisplay server;
    if (server.display().empty()) GTEST_SKIP() << "no Xvfb to open a window on";
    Game game({"--frames", "30"}, {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "DISPLAY=" + server.display()});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_THAT(game.shellLines(), ElementsAre("stargrid: running on iphone5 (640x1136)",
                                               "stargrid: entering the background", "stargrid: quit"));
}

struct Finished {
    int status = -1;
    std::string output;  // both streams
};

// The game run to its end, for command lines that end it at once or after a frame.
Finished runToEnd(const std::string& args) {
    const std::string command = std::string("SDL_VIDEODRIVER=offscreen ") + STARGRID_EXECUTABLE + " " + args + " 2>&1";
    Finished run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(Stargrid, HelpShowsTheUsageAndExitsZero) {
    for (const std::string option : {"-h", "--help"}) {
        const Finished run = runToEnd(option + " --frames 1");
        EXPECT_EQ(run.status, 0) << option << ": " << run.output;
        EXPECT_EQ(run.output.rfind("usage: stargrid ", 0), 0u) << option << ": " << run.output;
        EXPECT_THAT(run.output, HasSubstr("-h, --help")) << option;
    }
}

TEST(Stargrid, AnUnknownOptionIsNamedAndPointsToHelp) {
    for (const std::string option : {"-x", "-frames", "--bogus"}) {
        const Finished run = runToEnd(option + " --frames 1");
        EXPECT_EQ(run.status, 2) << option;
        EXPECT_EQ(run.output, "stargrid: unknown option " + option + " (stargrid --help lists the options)\n");
    }
}

TEST(Stargrid, AUrlOfAnotherSchemeIsRefusedAtTheCommandLine) {
    for (const std::string url : {"http://127.0.0.1:9/page", "file:///etc/hostname", "pg5e18c0a7d94b2f63:no-slashes"}) {
        const Finished run = runToEnd("--frames 1 " + url);
        EXPECT_EQ(run.status, 2) << url << ": " << run.output;
        EXPECT_EQ(run.output,
                  "stargrid: the game opens only URLs of its own scheme pg5e18c0a7d94b2f63://, not " + url + "\n");
    }
    // The game's own scheme still starts the game, which opens the URL (no other game of the runtime
    // folder takes it).
    kite::test::TemporaryFolder runtime("stargrid-runtime");
    ASSERT_TRUE(runtime.made());
    Game game({"--frames", "1", "pg5e18c0a7d94b2f63://oauth?code=1"},
              {"STARGRID_NETWORK=down", "XDG_RUNTIME_DIR=" + runtime.path()});
    ASSERT_TRUE(game.started());
    EXPECT_EQ(game.waitForExit(), 0);
    EXPECT_TRUE(game.waitForLine("AppController: open URL pg5e18c0a7d94b2f63://oauth?code=1", std::chrono::seconds(0)));
}

TEST(Stargrid, ASecondLaunchWhoseUrlTheRunningGameRefusesSaysWhyAndExitsOne) {
    kite::test::TemporaryFolder runtime("stargrid-runtime");
    ASSERT_TRUE(runtime.made());
    // The test plays the running game: it holds the player's folders and listens in a runtime folder of
    // its own; its clock stands still, so what waits is never handed on.
    struct Restore {
        std::string runtime;
        ~Restore() {
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            platform::Clock::useRealTime();
        }
    } restore{std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : ""};
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    platform::Clock::setFixed(0.0);
    const platform::FolderClaim::Result claimed =
        platform::FolderClaim::take({platform::documentsFolder(), platform::configFolder()});
    ASSERT_EQ(claimed.state, platform::FolderClaim::State::Taken);
    const std::vector<std::string> names = stargrid::test::handoverNames(claimed.claim->identities());
    int opened = 0;
    platform::UrlHandover::Handlers handlers;
    handlers.open = [&opened](const std::string&) { ++opened; };
    auto game = platform::UrlHandover::listen(names, handlers);
    ASSERT_TRUE(game);
    // Polls the listener until the work in another thread is done (bounded).
    auto pollUntil = [&game](auto& work) {
        for (int pass = 0; pass < 30000 && work.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready;
             ++pass)
            game->poll();
        return work.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    // The first is handed on at once; the next ones fill the queue.
    for (std::size_t i = 0; i <= platform::UrlHandover::kMostWaiting; ++i) {
        auto sent = std::async(std::launch::async, [i, &names] {
            return platform::UrlHandover::sendToRunning(names, "pg5e18c0a7d94b2f63://fill/" + std::to_string(i));
        });
        ASSERT_TRUE(pollUntil(sent));
        ASSERT_EQ(sent.get().outcome, platform::UrlHandover::Receipt::Outcome::Accepted) << i;
    }
    game->poll();  // reads the last confirmation
    EXPECT_EQ(opened, 1);
    auto launch = std::async(std::launch::async, [] {
        Game second({"pg5e18c0a7d94b2f63://oauth?code=1"}, {}, true);
        const std::optional<int> status = second.waitForExit();
        return std::make_pair(status, second.lines());
    });
    ASSERT_TRUE(pollUntil(launch));
    const auto [status, lines] = launch.get();
    EXPECT_EQ(status, 1);
    EXPECT_THAT(lines, ElementsAre("stargrid: the running game did not take the URL: 16 URLs wait already"));
}

TEST(Stargrid, ASecondLaunchNeverRunsASecondGameOnThePlayersFolders) {
    Game running({});
    ASSERT_TRUE(running.waitForLine("running on", std::chrono::seconds(60)));
    ASSERT_TRUE(stargrid::test::waitUntilTakingLaunches(
        stargrid::test::handoverSocket(platform::runtimeFolder(), platform::documentsFolder()),
        stargrid::test::kGameWait));
    // Each form twice: none starts a game; the running one takes the URLs.
    for (int time = 0; time < 2; ++time) {
        Game plain({}, {}, true);
        EXPECT_EQ(plain.waitForExit(), 0);
        EXPECT_THAT(plain.lines(), ElementsAre("stargrid: the game is already running"));
        for (const std::vector<std::string>& ownRun :
             std::vector<std::vector<std::string>>{{"--frames", "3"}, {"--shot", "1:/dev/null"}}) {
            Game refused(ownRun, {}, true);
            EXPECT_EQ(refused.waitForExit(), 1) << ownRun[0];
            EXPECT_THAT(refused.lines(), ElementsAre("stargrid: the game is already running, so this launch cannot "
                                                     "run --frames, --script or --shot"));
        }
        const std::string url = "pg5e18c0a7d94b2f63://oauth?code=" + std::to_string(time);
        Game handing({url}, {}, true);
        EXPECT_EQ(handing.waitForExit(), 0);
        EXPECT_TRUE(handing.lines().empty());
        EXPECT_TRUE(running.waitForLine("AppController: open URL " + url));
    }
    running.signal(SIGTERM);
    EXPECT_EQ(running.waitForExit(), 0);
    EXPECT_EQ(std::count_if(running.lines().begin(), running.lines().end(),
                            [](const std::string& line) { return line.find("running on") != std::string::npos; }),
              1);
}

TEST(Stargrid, OfTwoLaunchesAtTheSameMomentOneRunsTheGame) {
    Game first({});
    Game second({});
    ASSERT_TRUE(first.started() && second.started());
    // The one that runs says so; the other ends at once, whichever it is.
    const bool firstRuns = first.waitForLine("running on", std::chrono::seconds(60));
    Game& running = firstRuns ? first : second;
    Game& other = firstRuns ? second : first;
    if (!firstRuns) {
        ASSERT_TRUE(second.waitForLine("running on", std::chrono::seconds(60)));
    }
    EXPECT_EQ(other.waitForExit(), 0);
    EXPECT_THAT(other.lines(), ElementsAre(HasSubstr("stargrid: the game is already running")));
    running.signal(SIGTERM);
    EXPECT_EQ(running.waitForExit(), 0);
}

TEST(Stargrid, AClaimItsLauncherTookIsTheGamesOwn) {
    // As scripts/play does before it starts the game server: stargrid-claim claims the folders and runs a
    // shell holding the claim, which starts the game; on every kind of home the game keeps it.
    // Also in a pid namespace of its own whose /proc is still the host's (root only), where the game cannot
    // look its launcher up.
    const std::string link = platform::documentsFolder() + "/claim.link";
    for (const std::string mode : {"local", "lockd", "none", "namespace lockd"}) {
        if (mode == "namespace lockd" && getuid() != 0) continue;
        std::string command = mode == "namespace lockd" ? "unshare --pid --fork env" : "env";
        command += " SDL_VIDEODRIVER=offscreen STARGRID_NETWORK=down";
        for (const std::string& variable : stargrid::test::onNfs({}, mode.substr(mode.rfind(' ') + 1)))
            command += " '" + variable + "'";
        command += " " STARGRID_CLAIM_PROGRAM " -- sh -c '\"$0\" --frames 3 --fixed-step; exit $?' " STARGRID_EXECUTABLE
                   " 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_TRUE(pipe);
        std::string output;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << mode << ": " << output;
        EXPECT_THAT(output, HasSubstr("stargrid: running on")) << mode;
        // The game took the launcher's link over, and it went with the game.
        struct stat info;
        EXPECT_NE(lstat(link.c_str(), &info), 0) << mode;
    }
}

TEST(Stargrid, AMissingRuntimeFolderIsSaidOnceForWhatNeedsIt) {
    kite::test::TemporaryFolder runtime("stargrid-runtime");
    ASSERT_TRUE(runtime.made());
    const std::string missing = runtime.path() + "/missing";
    Game game({"--frames", "30"}, {"STARGRID_NETWORK=down", "XDG_RUNTIME_DIR=" + missing}, true);
    EXPECT_EQ(game.waitForExit(), 0);
    auto count = [&game](const std::string& text) {
        return std::count_if(game.lines().begin(), game.lines().end(),
                             [&text](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_EQ(count("UserFolders: the runtime folder " + missing + " is refused: No such file or directory"), 1);
    EXPECT_EQ(count("UrlHandover: there is no runtime folder for its socket; URLs handed over there do not reach "
                    "this game"),
              1);
    EXPECT_EQ(count("Pasteboard: "), 1);
    EXPECT_EQ(count("another game"), 0);
}

TEST(Stargrid, BadOptionsExitWithStatusTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--device", "iphone6"}, {"--frames", "ten"}, {"--frames", "-3"}, {"--frames"}, {"--bogus"}}) {
        Game game(args);
        EXPECT_EQ(game.waitForExit(), 2) << args[0];
    }
    // An empty number is no number (it used to run zero frames), nor is one after a space.
    for (const std::string frames : {"''", "abc", "' 3'"}) {
        const Finished run = runToEnd("--frames " + frames);
        EXPECT_EQ(run.status, 2) << frames;
        EXPECT_EQ(run.output, "stargrid: --frames needs a whole number of frames\n") << frames;
    }
    Game game({"--frames", "1"}, {"STARGRID_DEVICE=pixel"});
    EXPECT_EQ(game.waitForExit(), 2);
    EXPECT_EQ(runToEnd("--frames 1 --script").output, "stargrid: --script needs a value\n");
}

// The director counts frames in 32 bits: a count past the most it reaches would never end the run, and one past
// what a long holds was refused as no whole number. Both are refused naming the largest. (Checked only, for
// those a run once took: such a run would never end.)
TEST(Stargrid, AFrameCountPastTheLargestIsRefusedNamingIt) {
    const std::string refusal = "stargrid: --frames needs a whole number of frames, at most 4294967295\n";
    for (const std::string frames : {"4294967296", "9223372036854775807", "000000000000000000000004294967296"}) {
        const Finished check = runToEnd("--check-options --frames " + frames);
        EXPECT_EQ(check.status, 2) << frames;
        EXPECT_EQ(check.output, refusal) << frames;
    }
    for (const std::string frames : {"9223372036854775808", "123456789012345678901234567890"}) {
        const Finished run = runToEnd("--frames " + frames);
        EXPECT_EQ(run.status, 2) << frames;
        EXPECT_EQ(run.output, refusal) << frames;
    }
    const Finished largest = runToEnd("--check-options --frames 4294967295");
    EXPECT_EQ(largest.status, 0) << largest.output;
    EXPECT_EQ(largest.output, "");
}

// Only --check-options ends a launch without running it: no variable does, whatever it names (the game's
// parent too), as one left in an environment would end every run there unrun.
TEST(Stargrid, OnlyAnOptionAsksForTheOptionsToBeCheckedWithoutARun) {
    kite::test::TemporaryFolder shots("stargrid-check");
    ASSERT_TRUE(shots.made());
    const std::string marked = shots.path() + "/marked.png", checked = shots.path() + "/checked.png";
    Game run({"--frames", "30", "--shot", "20:" + marked}, {"STARGRID_CHECK_OPTIONS=" + std::to_string(getpid())});
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.waitForExit(), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(marked)) << testing::PrintToString(run.lines());
    EXPECT_THAT(run.shellLines(), Contains("stargrid: quit"));

    const Finished check = runToEnd("--check-options --frames 30 --shot 20:" + checked);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output, "");
    EXPECT_FALSE(std::filesystem::exists(checked));
    const Finished refused = runToEnd("--frames 30 --check-options --device nokia");
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.output, "stargrid: --device needs iphone4, iphone5 or ipad\n");
}

// An argument that is no URL, or no file name, is refused saying what is wrong with it.
TEST(Stargrid, ABadArgumentIsRefusedSayingWhatIsWrongWithIt) {
    for (const auto& [args, said] : std::vector<std::pair<std::string, std::string>>{
             {"''", "stargrid: an empty argument is not a URL\n"},
             {"'pg5e18c0a7d94b2f63://x y'", "stargrid: not a URL (a space at byte 23): pg5e18c0a7d94b2f63://x y\n"},
             {"--frames 1 --script ''", "stargrid: --script needs a file name, not \"\"\n"}}) {
        const Finished run = runToEnd(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.output, said) << args;
    }
}

}  // namespace
