// The launched game on a full disk: the player is told once that the progress is not saved, the game
// plays on, and the progress reaches the disk when room comes back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Classes/PlatformAlert.h"
#include "app-shell/AppDelegate.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/UserDefault.h"
#include "kite/platform/KTDirectorCaller.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "platform/Clock.h"
#include "platform/DeviceProfile.h"
#include "platform/HostLoop.h"
#include "NowhereView.h"
#include "support/ForkedRun.h"
#include "support/SmallDisk.h"
#include "support/TemporaryFolder.h"

namespace {

using stargrid::test::NowhereView;

TEST(UnsavedProgress, AFullDiskIsToldOnceAndTheProgressIsSavedWhenRoomComesBack) {
    kite::test::TemporaryFolder folder("stargrid-unsaved");
    const std::string config = folder.path() + "/config";
    const kite::test::ForkedOutcome outcome = kite::test::runForked([&config, &folder] {
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        if (!kite::test::SmallDisk::mount(config)) return 98;
        kite::test::SmallDisk disk(config);
        if (!disk.fill()) return 97;
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_DATA_HOME", (folder.path() + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (folder.path() + "/cache").c_str(), 1);
        setenv("STARGRID_NETWORK", "down", 1);
        setenv("STARGRID_RESOURCES", STARGRID_SOURCE_DIR "/Resources", 1);
        std::vector<std::string> alerts;
        platformAlert::setPresenter(
            [&alerts](const std::string& title, const std::string& message, const std::string& button) {
                alerts.push_back(title + "|" + message + "|" + button);
            });
        platform::Clock::setFixed(10.0);
        platform::HostLoop::main().setFixedStep(true);
        platform::setCurrentDeviceProfile(*platform::deviceProfileNamed("iphone5"));
        AppDelegate app;
        kite::Director::getInstance()->setGLView(kite::createAutoreleased<NowhereView>());
        if (app.run() != 0) return 96;
        // The first start's defaults change the store in the first frame; every frame tries to save them.
        for (int frame = 0; frame < 30; ++frame) platform::HostLoop::main().runOnce();
        // Frames here come faster than the writer thread: its last outcome is waited for.
        kite::UserDefault::getInstance()->flush();
        for (const std::string& alert : alerts) std::fprintf(stderr, "alert while full: %s\n", alert.c_str());
        disk.makeRoom();
        // The next frame's save goes to the writer thread: waited for (bounded) without a flush, which
        // would save by itself.
        platform::HostLoop::main().runOnce();
        bool saved = false;
        for (int wait = 0; wait < 1000 && !saved; ++wait) {
            saved = kite::test::readWholeFile(config + "/stargrid/UserDefaults.plist").find("playerStatus") !=
                    std::string::npos;
            if (!saved) ::usleep(10000);
        }
        std::fprintf(stderr, "alerts in all: %zu; saved: %s\n", alerts.size(), saved ? "yes" : "no");
        return 0;
    });
    ASSERT_NE(outcome.status, 98) << "no file system of its own can be mounted here";
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("alert while full: 提示|游戏进度暂时无法保存!|确认\n"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("alerts in all: 1; saved: yes\n"), std::string::npos) << outcome.output;
}

}  // namespace
