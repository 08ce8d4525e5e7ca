// Headless end to end: a scripted tap at a pixel reaches the node drawn there, and the shot of
// the next frame shows the node's answer.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kite/foundation/Create.h"
#include "kite/platform/Application.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/platform/ScriptPlayer.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Node.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Touch.h"
#include "platform/HostLoop.h"
#include "platform/PngFile.h"
#include "support/RunningScene.h"

namespace kite {
namespace {

// A square that fills itself with its colour and turns green when a touch begins on it.
class Pad : public Node {
public:
    static Pad* create() { return createAutoreleased<Pad>(); }
    bool init() override {
        auto* listener = EventListenerTouchOneByOne::create();
        listener->setSwallowTouches(true);
        listener->onTouchBegan = [this](Touch* touch, Event*) {
            const Vec2 local = convertToNodeSpace(touch->getLocation());
            if (local.x < 0 || local.y < 0 || local.x > getContentSize().width || local.y > getContentSize().height)
                return false;
            ++hits;
            color = {0.0f, 1.0f, 0.0f};
            return true;
        };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, this);
        return true;
    }
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override {
        command_.init(getGlobalZOrder(), transform, flags);
        command_.func = [this] {
            const Rect box = getBoundingBox();  // the parent is the scene: world points
            GLView* view = Director::getInstance()->getOpenGLView();
            GLfloat saved[4];
            glGetFloatv(GL_COLOR_CLEAR_VALUE, saved);  // the frame's own clear colour
            glEnable(GL_SCISSOR_TEST);
            view->setScissorInPoints(box.origin.x, box.origin.y, box.size.width, box.size.height);
            glClearColor(color[0], color[1], color[2], 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glDisable(GL_SCISSOR_TEST);
            glClearColor(saved[0], saved[1], saved[2], saved[3]);
        };
        renderer->addCommand(&command_);
    }
    std::array<float, 3> color{1.0f, 0.0f, 0.0f};
    int hits = 0;

private:
    CustomCommand command_;
};

struct App : Application {
    bool didFinishLaunching() override { return true; }
    void didEnterBackground() override { Director::getInstance()->stopAnimation(); }
    void willEnterForeground() override { Director::getInstance()->startAnimation(); }
};

// The pixel's colour in a shot, (0, 0) at the top left.
std::array<int, 3> colourAt(const platform::PngImage& image, int x, int y) {
    const std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
    return {p[0], p[1], p[2]};
}

class ScriptedTap : public test::RunningSceneTest {};

TEST_F(ScriptedTap, TapAtAPixelReachesTheNodeThereAndTheShotShowsItsAnswer) {
    App app;
    Pad* pad = Pad::create();
    pad->setAnchorPoint(Vec2::ZERO);
    pad->setPosition(120.0f, 600.0f);  // design points, y up: covers x 120..220, y 600..700
    pad->setContentSize(Size(100.0f, 100.0f));
    scene->addChild(pad);

    // Design (170, 650) is pixel (226.67, 269.33) with y down: 852 - 650 = 202 points from the top.
    // Kept for people to look at.
    const std::string artifacts = STARGRID_TEST_ARTIFACTS;
    std::filesystem::create_directories(artifacts);
    const std::string before = artifacts + "/scripted-tap-before.png";
    const std::string after = artifacts + "/scripted-tap-after.png";
    std::string error;
    auto script = platform::InputScript::parse(
        "shot 2 " + before + "\ntap 3 226 269\ntap 6 20 20\nshot 3 " + after + "\n", &error);
    ASSERT_TRUE(script) << error;
    platform::HostLoop& loop = RunningSceneTest::loop();
    ScriptPlayer player(*script, loop);
    player.setHostView(hostView);
    platform::HostLoop::Handlers handlers;
    handlers.input = [view = hostView](const platform::InputEvent& e) { view->handleInput(e); };
    handlers.afterPass = [&player] { player.afterPass(); };
    handlers.background = [&app] { app.didEnterBackground(); };
    handlers.foreground = [&app] { app.willEnterForeground(); };
    loop.setHandlers(handlers);
    app.run();
    player.start();
    for (int i = 0; i < 8; ++i) loop.runOnce();

    EXPECT_EQ(pad->hits, 1);  // the second tap, at (20, 20), is outside
    std::optional<platform::PngImage> first = platform::readPng(before);
    std::optional<platform::PngImage> second = platform::readPng(after);
    ASSERT_TRUE(first && second);
    ASSERT_EQ(second->width, 640);
    ASSERT_EQ(second->height, 1136);
    auto red = std::array<int, 3>{255, 0, 0};
    auto green = std::array<int, 3>{0, 255, 0};
    auto black = std::array<int, 3>{0, 0, 0};
    EXPECT_EQ(colourAt(*first, 226, 269), red);
    EXPECT_EQ(colourAt(*second, 226, 269), green);
    EXPECT_EQ(colourAt(*second, 170, 210), green);  // inside, near the top-left corner
    EXPECT_EQ(colourAt(*second, 150, 269), black);  // left of the pad
    EXPECT_EQ(colourAt(*second, 226, 190), black);  // above it
}

}  // namespace
}  // namespace kite
