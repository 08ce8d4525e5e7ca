// Runs the game executable with environment variables a user got wrong: each wrong value is named at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/TemporaryFolder.h"

namespace {

using ::testing::HasSubstr;

struct GameRun {
    int status = -1;
    std::vector<std::string> lines;  // both streams
    long count(const std::string& text) const {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    // The index of the first line holding the text; the number of lines when none does.
    std::size_t first(const std::string& text) const {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.find(text) != std::string::npos; }) -
               lines.begin();
    }
};

class StargridEnvironment : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.made()); }

    // The game headless in fixed steps, with its per-user files in the test's folder, no game server
    // (the bootstrap page's port refuses at once) and the given variables.
    GameRun run(const std::string& variables, const std::string& args) const {
        const std::string& h = home.path();
        const std::string command = "mkdir -p -m 700 " + h +
                                    "/runtime && SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null" +
                                    " XDG_CONFIG_HOME=" + h + "/config XDG_DATA_HOME=" + h +
                                    "/data XDG_CACHE_HOME=" + h + "/cache XDG_RUNTIME_DIR=" + h + "/runtime" +
                                    " STARGRID_BOOTSTRAP_URL=http://127.0.0.1:9/bus_ser_ios.html " + variables + " " +
                                    STARGRID_EXECUTABLE + " --fixed-step " + args + " 2>&1";
        GameRun run;
        std::FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return run;
        std::string output;
        std::array<char, 512> buffer;
        while (std::fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
        return run;
    }

    kite::test::TemporaryFolder home{"stargrid-environment"};
};

TEST_F(StargridEnvironment, AnUnknownDeviceIsRefusedWithTheValidNames) {
    const GameRun game = run("STARGRID_DEVICE=foo", "--frames 1");
    EXPECT_EQ(game.status, 2);
    EXPECT_THAT(game.lines, testing::ElementsAre(HasSubstr("STARGRID_DEVICE")));
    ASSERT_EQ(game.lines.size(), 1u);
    EXPECT_THAT(game.lines[0], HasSubstr("foo"));
    EXPECT_THAT(game.lines[0], HasSubstr("iphone4, iphone5, ipad"));
}

TEST_F(StargridEnvironment, AResourcesFolderThatIsNotThereIsNamedBeforeAnyImageIsMissed) {
    const std::string missing = home.path() + "/no-such-folder";
    const GameRun game = run("STARGRID_NETWORK=up STARGRID_RESOURCES=" + missing, "--frames 3");
    EXPECT_EQ(game.status, 0);
    const std::string line =
        "FileUtils: STARGRID_RESOURCES names " + missing + " which is not a folder: No such file or directory";
    EXPECT_EQ(game.count(line), 1) << testing::PrintToString(game.lines);
    EXPECT_LT(game.first(line), game.first("Image"));
    EXPECT_LT(game.first("Image"), game.lines.size()) << "the images are missed as before";
}

// The store's products file lies in that folder: its refusal names the file, escaped, and why it is not there.
TEST_F(StargridEnvironment, TheStoreNamesTheProductsFileItMissedAndTheResourcesFolderThatIsNotThere) {
    const std::string missing = home.path() + "/no-such\x1b[2J-folder";
    const GameRun game = run("STARGRID_NETWORK=up STARGRID_RESOURCES='" + missing + "'", "--frames 3");
    EXPECT_EQ(game.status, 0);
    const std::string shown = home.path() + "/no-such\\x1b[2J-folder";
    EXPECT_EQ(game.count("LocalStore: cannot read the products file " + shown +
                         "/Store/Products.plist: the resources folder " + shown + " is not there"),
              1)
        << testing::PrintToString(game.lines);
}

TEST_F(StargridEnvironment, AnUnknownNetworkStateIsReportedOnceWithWhatDecidesInstead) {
    const GameRun game = run("STARGRID_NETWORK=sideways", "--frames 3");
    EXPECT_EQ(game.status, 0);
    EXPECT_EQ(game.count("NetworkReachability: unknown STARGRID_NETWORK \"sideways\"; the routing table decides"), 1)
        << testing::PrintToString(game.lines);
}

}  // namespace
