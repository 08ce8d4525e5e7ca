// Script steps are timed by frames drawn, also when passes of the host loop draw nothing.
#include "kite/platform/ScriptPlayer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "kite/platform/Application.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"
#include "kite/scene/TextFieldTTF.h"
#include "platform/HostLoop.h"
#include "support/RunningScene.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace {

struct App : Application {
    bool didFinishLaunching() override { return true; }
    void didEnterBackground() override { Director::getInstance()->stopAnimation(); }
    void willEnterForeground() override { Director::getInstance()->startAnimation(); }
};

class ScriptPlayerTest : public test::RunningSceneTest {
protected:
    Size frameSize() const override { return Size(64.0f, 64.0f); }
    Size designSize() const override { return Size(64.0f, 64.0f); }
    void SetUp() override {
        RunningSceneTest::SetUp();
        view = hostView;
        dir = folder.path();
    }

    // Plays the script; runs passes until the shot is saved, answering the frames drawn by then.
    long framesWhenSaved(const std::string& text, const std::filesystem::path& shot) {
        std::string error;
        auto script = platform::InputScript::parse(text, &error);
        EXPECT_TRUE(script) << error;
        if (!script) return -1;
        ScriptPlayer player(*script, loop());
        player.setHostView(view);
        platform::HostLoop::Handlers handlers;
        handlers.afterPass = [&player] { player.afterPass(); };
        handlers.background = [this] { app.didEnterBackground(); };
        handlers.foreground = [this] { app.willEnterForeground(); };
        handlers.input = [this](const platform::InputEvent& event) { view->handleInput(event); };
        loop().setHandlers(handlers);
        app.run();
        player.start();
        for (int pass = 0; pass < 40 && !std::filesystem::exists(shot); ++pass) loop().runOnce();
        return std::filesystem::exists(shot) ? static_cast<long>(view->getPresentedFrames()) : -1;
    }

    App app;
    KTEAGLView* view = nullptr;
    kite::test::TemporaryFolder folder{"script-player"};
    std::filesystem::path dir;
};

TEST_F(ScriptPlayerTest, ShotIsTakenOfTheFrameDrawnAtItsNumberWhenPassesDrawNothing) {
    Director::getInstance()->setAnimationInterval(3.0 / 60);  // a frame every third pass
    const auto shot = dir / "frame4.png";
    EXPECT_EQ(framesWhenSaved("shot 4 " + shot.string() + "\n", shot), 4);
}

TEST_F(ScriptPlayerTest, ANodeReportIsWrittenOnceItsFrameIsDrawn) {
    Director::getInstance()->setAnimationInterval(3.0 / 60);
    const auto report = dir / "nodes.txt";
    EXPECT_EQ(framesWhenSaved("nodes 4 " + report.string() + "\n", report), 4);
    std::ifstream in(report);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("0\tkite::", 0), 0u) << first;  // the running scene
}

TEST_F(ScriptPlayerTest, TypedTextReachesTheFieldTheKeyboardIsAttachedTo) {
    TextFieldTTF* field = TextFieldTTF::textFieldWithPlaceHolder("number", "DejaVu Sans", 12);
    ASSERT_NE(field, nullptr);
    scene->addChild(field);
    ASSERT_TRUE(field->attachWithIME());
    const auto shot = dir / "typed.png";
    EXPECT_EQ(framesWhenSaved("type 2 138 00\nshot 3 " + shot.string() + "\n", shot), 3);
    EXPECT_EQ(field->getString(), "138 00");
    field->detachWithIME();
}

TEST_F(ScriptPlayerTest, StepsInTheBackgroundComeAtTheLoopsTicks) {
    // Frame 1 drawn; 2 to 4 are ticks in the background; the foreground comes before frame 5 is drawn.
    const auto shot = dir / "after.png";
    EXPECT_EQ(framesWhenSaved("background 2\nforeground 5\nshot 6 " + shot.string() + "\n", shot), 3);
    EXPECT_FALSE(loop().isInBackground());
}

}  // namespace
}  // namespace kite
