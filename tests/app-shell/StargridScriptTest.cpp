// Runs the game executable with input scripts and shots, as tests and demos do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "GameProcess.h"
#include "platform/PngFile.h"
#include "support/TemporaryFolder.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

struct GameRun {
    int status = -1;
    std::string output;
};

// The game headless in fixed steps, with its per-user files in home; its output (both streams) collected.
GameRun runGame(const std::string& home, const std::string& args) {
    const std::string command = "SDL_VIDEODRIVER=offscreen STARGRID_NETWORK=down XDG_CONFIG_HOME=" + home +
                                "/config XDG_DATA_HOME=" + home + "/data XDG_CACHE_HOME=" + home + "/cache " +
                                STARGRID_EXECUTABLE + " --fixed-step " + args + " 2>&1";
    GameRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 512> buffer;
    while (std::fgets(buffer.data(), buffer.size(), pipe)) run.output += buffer.data();
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::array<unsigned, 2> pngSize(const std::string& path) {
    std::optional<platform::PngImage> png = platform::readPng(path);
    if (!png) return {0, 0};
    return {static_cast<unsigned>(png->width), static_cast<unsigned>(png->height)};
}

class StargridScript : public ::testing::Test {
protected:
    kite::test::TemporaryFolder folder{"stargrid-script"};
    // A folder of its own, so runs of the same test in other build trees never share it.
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        dir = folder.path();
    }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    std::filesystem::path dir;
};

TEST_F(StargridScript, ShotsAreSavedAtTheDevicesPixelSize) {
    const std::string shot = (dir / "ipad.png").string();
    GameRun run = runGame(folder.path(), "--device ipad --frames 5 --shot 3:" + shot);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("frame 3 saved to " + shot));
    EXPECT_EQ(pngSize(shot), (std::array<unsigned, 2>{768, 1024}));
}

TEST_F(StargridScript, ScriptDrivesTheLifecycleAndQuits) {
    const std::string shot = (dir / "tap.png").string();
    const std::string script = write("demo.script",
                                     "# tap, go away and come back, then quit\n"
                                     "tap 2 320 568\n"
                                     "drag 4 100 100 200 300 3\n"
                                     "background 9\nforeground 12\n"
                                     "shot 14 " +
                                         shot + "\nquit 16\n");
    GameRun run = runGame(folder.path(), "--script " + script);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("stargrid: entering the background"));
    EXPECT_THAT(run.output, HasSubstr("stargrid: entering the foreground"));
    EXPECT_THAT(run.output, HasSubstr("stargrid: quit"));
    EXPECT_EQ(pngSize(shot), (std::array<unsigned, 2>{640, 1136}));
}

TEST_F(StargridScript, MalformedScriptOrShotIsRefusedBeforeTheWindowOpens) {
    GameRun bad = runGame(folder.path(), "--script " + write("bad.script", "tap 1 2 3\nswipe 4 1 1\n"));
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.output, HasSubstr("--script: line 2: unknown step \"swipe\""));
    EXPECT_EQ(runGame(folder.path(), "--script " + (dir / "missing").string()).status, 2);
    EXPECT_EQ(runGame(folder.path(), "--shot 0:x.png").status, 2);
    EXPECT_EQ(runGame(folder.path(), "--shot").status, 2);
}

TEST_F(StargridScript, AShotThatCannotBeWrittenSaysWhyAndFailsTheRun) {
    const std::string shot = (dir / "missing" / "x.png").string();
    GameRun run = runGame(folder.path(), "--frames 3 --shot 2:" + shot);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_THAT(run.output, HasSubstr("KTEAGLView: cannot write the frame to " + shot + ": No such file or directory"));
    EXPECT_THAT(run.output, HasSubstr("stargrid: not written: shot 2 " + shot + " (the file could not be written)"));
}

TEST_F(StargridScript, AShotAtAFifoIsRefusedAtOnceAndFailsTheRun) {
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string home = folder.path();
    stargrid::test::Game game({"--fixed-step", "--frames", "3", "--shot", "2:" + fifo},
                              {"SDL_VIDEODRIVER=offscreen", "STARGRID_NETWORK=down", "XDG_DATA_HOME=" + home + "/data",
                               "XDG_CONFIG_HOME=" + home + "/config", "XDG_CACHE_HOME=" + home + "/cache"},
                              true);
    // Nothing reads the FIFO: a write that waited for a reader would never end.
    EXPECT_EQ(game.waitForExit(std::chrono::seconds(60)), 1);
    EXPECT_THAT(game.lines(),
                Contains("KTEAGLView: cannot write the frame to " + fifo + ": not a regular file (a FIFO)"));
}

TEST_F(StargridScript, ANodeReportThatCannotBeWrittenSaysWhyAndFailsTheRun) {
    const std::string report = (dir / "missing" / "nodes.txt").string();
    GameRun run = runGame(folder.path(), "--script " + write("nodes.script", "nodes 2 " + report + "\nquit 4\n"));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_THAT(run.output,
                HasSubstr("ScriptPlayer: cannot write the node report " + report + ": No such file or directory"));
    EXPECT_THAT(run.output, HasSubstr("stargrid: not written: nodes 2 " + report + " (the file could not be written)"));
}

TEST_F(StargridScript, ShotsAndReportsOfFramesTheRunEndedBeforeFailIt) {
    const std::string late = (dir / "late.png").string();
    const std::string next = (dir / "next.png").string();
    const std::string last = (dir / "last.png").string();
    GameRun run = runGame(folder.path(), "--frames 10 --shot 20:" + late + " --shot 11:" + next + " --shot 10:" + last);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_THAT(run.output, HasSubstr("stargrid: not written: shot 20 " + late + " (the run ended before frame 20)"));
    EXPECT_THAT(run.output,
                HasSubstr("stargrid: not written: shot 11 " + next + " (no frame was drawn from frame 11 on)"));
    EXPECT_EQ(pngSize(last), (std::array<unsigned, 2>{640, 1136})) << "the last frame drawn is taken";

    const std::string report = (dir / "nodes.txt").string();
    GameRun quit = runGame(folder.path(), "--script " + write("quit.script", "quit 3\nnodes 5 " + report + "\n"));
    EXPECT_EQ(quit.status, 1) << quit.output;
    EXPECT_THAT(quit.output, HasSubstr("stargrid: not written: nodes 5 " + report + " (the run ended before frame 5)"));
    EXPECT_FALSE(std::filesystem::exists(report));
}

TEST_F(StargridScript, AShotAtABackgroundTickOfARunThatEndsThereSaysNoFrameWasDrawnFromIt) {
    const std::string shot = (dir / "hidden.png").string();
    GameRun run =
        runGame(folder.path(), "--script " + write("hidden.script", "background 5\nshot 15 " + shot + "\nquit 20\n"));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_THAT(run.output,
                HasSubstr("stargrid: not written: shot 15 " + shot + " (no frame was drawn from frame 15 on)"));
    EXPECT_FALSE(std::filesystem::exists(shot));
}

TEST_F(StargridScript, AFolderGivenAsTheScriptIsRefused) {
    GameRun run = runGame(folder.path(), "--frames 2 --script " + dir.string());
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_THAT(run.output, HasSubstr("stargrid: --script: cannot read " + dir.string() + ": it is a folder"));
}

TEST_F(StargridScript, AScriptStartingWithAByteOrderMarkPlays) {
    const std::string shot = (dir / "marked.png").string();
    GameRun run =
        runGame(folder.path(), "--script " + write("marked.script", "\xEF\xBB\xBFshot 2 " + shot + "\nquit 4\n"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(pngSize(shot), (std::array<unsigned, 2>{640, 1136}));
}

}  // namespace
