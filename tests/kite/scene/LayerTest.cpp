// Layers: colour and gradient fills probed at their edges, and the touch, keyboard and acceleration hooks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SceneDrawSupport.h"
#include "kite/foundation/Create.h"
#include "kite/platform/KTAccelerometerDispatcher.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventAcceleration.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventKeyboard.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Layer.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Touch.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"

using ::testing::ElementsAre;
using ::testing::FloatNear;

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

const Pixel kBlack{0, 0, 0, 255};

class LayerDrawTest : public test::SceneDrawTest {};

TEST_F(LayerDrawTest, ColourLayerFillsExactlyItsRectangle) {
    LayerColor* layer = LayerColor::create(Color4B(0, 0, 255, 255), 40, 30);
    layer->setPosition(10, 10);
    EXPECT_EQ(drawFrame(layer), 1);
    EXPECT_THAT(readPixel(10, 10), PixelNear(Pixel{0, 0, 255, 255}, 0));
    EXPECT_THAT(readPixel(49, 39), PixelNear(Pixel{0, 0, 255, 255}, 0));
    EXPECT_THAT(readPixel(9, 10), PixelNear(kBlack, 0));
    EXPECT_THAT(readPixel(10, 9), PixelNear(kBlack, 0));
    EXPECT_THAT(readPixel(50, 39), PixelNear(kBlack, 0));
    EXPECT_THAT(readPixel(49, 40), PixelNear(kBlack, 0));
}

TEST_F(LayerDrawTest, HalfTransparentColourLayerBlendsOverWhatIsBelow) {
    LayerColor* below = LayerColor::create(Color4B(0, 0, 255, 255), 64, 64);
    below->addChild(LayerColor::create(Color4B(255, 0, 0, 128), 32, 64));
    drawFrame(below);
    EXPECT_THAT(readPixel(16, 32), PixelNear(Pixel{128, 0, 127, 191}, 2));  // alpha blends with itself too
    EXPECT_THAT(readPixel(48, 32), PixelNear(Pixel{0, 0, 255, 255}, 0));
}

TEST_F(LayerDrawTest, DefaultGradientRunsFromTheStartColourAtTheTopToTheEndAtTheBottom) {
    LayerGradient* layer = LayerGradient::create(Color4B(255, 0, 0, 255), Color4B(0, 0, 255, 255));
    layer->setContentSize(Size(64, 64));
    drawFrame(layer);
    EXPECT_THAT(readPixel(0, 63), PixelNear(Pixel{253, 0, 2, 255}, 3));
    EXPECT_THAT(readPixel(63, 63), PixelNear(Pixel{253, 0, 2, 255}, 3));
    EXPECT_THAT(readPixel(0, 0), PixelNear(Pixel{2, 0, 253, 255}, 3));
    EXPECT_THAT(readPixel(32, 32), PixelNear(Pixel{129, 0, 126, 255}, 3));
    saveFrame();
}

TEST_F(LayerDrawTest, HorizontalGradientHasTheStartColourOnTheLeft) {
    LayerGradient* layer = LayerGradient::create(Color4B(0, 255, 0, 255), Color4B(255, 255, 255, 255), Vec2(1, 0));
    layer->setContentSize(Size(64, 64));
    drawFrame(layer);
    EXPECT_THAT(readPixel(0, 10), PixelNear(Pixel{2, 255, 2, 255}, 3));
    EXPECT_THAT(readPixel(63, 50), PixelNear(Pixel{253, 255, 253, 255}, 3));
}

TEST_F(LayerDrawTest, GradientWithoutDirectionShowsTheFlatStartColour) {
    LayerGradient* layer = LayerGradient::create(Color4B(0, 255, 0, 255), Color4B(255, 0, 0, 255), Vec2(0, 0));
    layer->setContentSize(Size(64, 64));
    drawFrame(layer);
    EXPECT_THAT(readPixel(0, 0), PixelNear(Pixel{0, 255, 0, 255}, 0));
    EXPECT_THAT(readPixel(63, 63), PixelNear(Pixel{0, 255, 0, 255}, 0));
}

TEST(LayerColor, CornersAndColoursFollowSizeAndOpacity) {
    LayerColor* layer = LayerColor::create(Color4B(255, 0, 0, 128), 100, 50);
    const Vec2* v = layer->getSquareVertices();
    EXPECT_EQ(v[0], Vec2(0, 0));
    EXPECT_EQ(v[1], Vec2(100, 0));
    EXPECT_EQ(v[2], Vec2(0, 50));
    EXPECT_EQ(v[3], Vec2(100, 50));
    for (int i = 0; i < 4; ++i) {
        const Color4F& c = layer->getSquareColors()[i];
        EXPECT_FLOAT_EQ(c.r, 1.0f);
        EXPECT_FLOAT_EQ(c.g, 0.0f);
        EXPECT_THAT(c.a, FloatNear(0.50196f, 1e-5));
    }
    EXPECT_EQ(layer->getBlendFunc(), BlendFunc::ALPHA_NON_PREMULTIPLIED);
    EXPECT_EQ(layer->description(), "<LayerColor | Tag = -1>");
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(LayerGradient, DiagonalWithoutCompressionMeetsHalfwayAtTheOtherCorners) {
    LayerGradient* layer = LayerGradient::create(Color4B(255, 255, 255, 255), Color4B(0, 0, 0, 255), Vec2(1, -1));
    layer->setCompressedInterpolation(false);
    const Color4F* c = layer->getSquareColors();
    EXPECT_THAT(c[2].r, FloatNear(1.0f, 1e-5));  // top-left: start
    EXPECT_THAT(c[1].r, FloatNear(0.0f, 1e-5));  // bottom-right: end
    EXPECT_THAT(c[0].r, FloatNear(0.5f, 1e-5));
    EXPECT_THAT(c[3].r, FloatNear(0.5f, 1e-5));
    EXPECT_EQ(layer->description(), "<LayerGradient | Tag = -1>");
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(LayerGradient, EndOpacityAndLayerOpacityScaleTheEndAlpha) {
    LayerGradient* layer = LayerGradient::create(Color4B(0, 0, 0, 255), Color4B(0, 0, 0, 0));
    EXPECT_THAT(layer->getSquareColors()[0].a, FloatNear(0.0f, 1e-5));
    EXPECT_THAT(layer->getSquareColors()[2].a, FloatNear(1.0f, 1e-5));
    layer->setOpacity(51);
    EXPECT_THAT(layer->getSquareColors()[2].a, FloatNear(0.2f, 1e-5));
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(Layer, IgnoresItsAnchorSoItsCornerSitsAtItsPosition) {
    Layer* layer = Layer::create();
    EXPECT_EQ(layer->getAnchorPoint(), Vec2(0.5f, 0.5f));
    EXPECT_TRUE(layer->isIgnoreAnchorForPosition());
    EXPECT_EQ(layer->getContentSize(), Director::getInstance()->getWinSize());
    layer->setContentSize(Size(100, 100));
    EXPECT_EQ(layer->convertToWorldSpace(Vec2(0, 0)), Vec2(0, 0));
    EXPECT_EQ(layer->description(), "<Layer | Tag = -1>");
    PoolManager::getInstance()->getCurrentPool()->clear();
}

// A layer that writes down the hooks it receives.
class Recorder : public Layer {
public:
    bool onTouchBegan(Touch* t, Event*) override {
        heard.push_back("began" + std::to_string(t->getId()));
        return true;
    }
    void onTouchEnded(Touch* t, Event*) override { heard.push_back("ended" + std::to_string(t->getId())); }
    void onTouchesBegan(const std::vector<Touch*>& t, Event*) override {
        heard.push_back("touches" + std::to_string(t.size()));
    }
    void onKeyPressed(EventKeyboard::KeyCode, Event*) override { heard.push_back("key"); }
    void onKeyReleased(EventKeyboard::KeyCode, Event*) override { heard.push_back("keyUp"); }
    void onAcceleration(Acceleration* a, Event*) override { heard.push_back("acc" + std::to_string(int(a->x))); }
    std::vector<std::string> heard;
};

class LayerInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::setFixed(1000.0);
        scene = Scene::create();
        Director::getInstance()->runWithScene(scene);
        Director::getInstance()->mainLoop();
        dispatcher = Director::getInstance()->getEventDispatcher();
        wasEnabled = dispatcher->isEnabled();
        dispatcher->setEnabled(true);
        layer = createAutoreleased<Recorder>();
        scene->addChild(layer);
        touch = new Touch();
        touch->setTouchInfo(3, 10.0f, 10.0f);
    }
    void TearDown() override {
        touch->release();
        dispatcher->setEnabled(wasEnabled);
        test::shutDownDirector();
        platform::Clock::useRealTime();
    }
    void dispatchTouch(EventTouch::EventCode code) {
        EventTouch event;
        event.setEventCode(code);
        event.setTouches({touch});
        dispatcher->dispatchEvent(&event);
    }

    Scene* scene = nullptr;
    EventDispatcher* dispatcher = nullptr;
    bool wasEnabled = false;
    Recorder* layer = nullptr;
    Touch* touch = nullptr;
};

TEST_F(LayerInputTest, AllAtOnceIsTheDefaultTouchMode) {
    layer->setTouchEnabled(true);
    dispatchTouch(EventTouch::EventCode::BEGAN);
    EXPECT_THAT(layer->heard, ElementsAre("touches1"));
}

TEST_F(LayerInputTest, ModeChangedWhileDisabledTakesEffectOnEnabling) {
    layer->setTouchMode(Layer::TouchMode::ONE_BY_ONE);
    EXPECT_EQ(layer->getTouchListener(), nullptr);
    layer->setTouchEnabled(true);
    EXPECT_NE(dynamic_cast<EventListenerTouchOneByOne*>(layer->getTouchListener()), nullptr);
    dispatchTouch(EventTouch::EventCode::BEGAN);
    dispatchTouch(EventTouch::EventCode::ENDED);
    EXPECT_THAT(layer->heard, ElementsAre("began3", "ended3"));
}

TEST_F(LayerInputTest, ChangingSwallowingReplacesTheListener) {
    layer->setTouchMode(Layer::TouchMode::ONE_BY_ONE);
    layer->setTouchEnabled(true);
    EventListener* old = layer->getTouchListener();
    old->retain();
    layer->setSwallowsTouches(false);
    EXPECT_NE(layer->getTouchListener(), old);
    EXPECT_FALSE(old->isRegistered());
    old->release();
    dispatchTouch(EventTouch::EventCode::BEGAN);
    EXPECT_THAT(layer->heard, ElementsAre("began3"));
}

TEST_F(LayerInputTest, DisabledTouchHearsNothing) {
    layer->setTouchEnabled(true);
    layer->setTouchEnabled(false);
    EXPECT_EQ(layer->getTouchListener(), nullptr);
    dispatchTouch(EventTouch::EventCode::BEGAN);
    EXPECT_TRUE(layer->heard.empty());
}

TEST_F(LayerInputTest, KeyboardAndAccelerationReachTheirHooks) {
    layer->setKeypadEnabled(true);
    EXPECT_TRUE(layer->isKeyboardEnabled());
    layer->setAccelerometerEnabled(true);
    EventKeyboard down(EventKeyboard::KeyCode::KEY_BACK, true);
    dispatcher->dispatchEvent(&down);
    EventKeyboard up(EventKeyboard::KeyCode::KEY_BACK, false);
    dispatcher->dispatchEvent(&up);
    Acceleration sample;
    sample.x = 2;
    EventAcceleration shake(sample);
    dispatcher->dispatchEvent(&shake);
    EXPECT_THAT(layer->heard, ElementsAre("key", "keyUp", "acc2"));
    layer->setKeyboardEnabled(false);
    layer->setAccelerometerEnabled(false);
    dispatcher->dispatchEvent(&down);
    dispatcher->dispatchEvent(&shake);
    EXPECT_EQ(layer->heard.size(), 3u);
}

TEST_F(LayerInputTest, SamplesOfTheAccelerometerReachALayerThatSwitchedItOn) {
    KTAccelerometerDispatcher& sensor = KTAccelerometerDispatcher::sharedAccelerometerDispatcher();
    layer->setAccelerometerEnabled(true);
    EXPECT_TRUE(sensor.isAccelerometerEnabled());
    sensor.accelerometer(2.0, 0.0, 0.0, 1.0);
    EXPECT_THAT(layer->heard, ElementsAre("acc2"));
    layer->setAccelerometerEnabled(false);
    EXPECT_FALSE(sensor.isAccelerometerEnabled());
    sensor.accelerometer(3.0, 0.0, 0.0, 2.0);
    EXPECT_THAT(layer->heard, ElementsAre("acc2"));
}

TEST_F(LayerInputTest, TheIntervalReachesTheAccelerometerOnlyFromAnEnabledRunningLayer) {
    KTAccelerometerDispatcher& sensor = KTAccelerometerDispatcher::sharedAccelerometerDispatcher();
    sensor.setAccelerometerInterval(0.5f);
    layer->setAccelerometerInterval(0.1);  // not enabled
    EXPECT_FLOAT_EQ(sensor.getAccelerometerInterval(), 0.5f);
    Recorder* offStage = createAutoreleased<Recorder>();
    offStage->setAccelerometerEnabled(true);
    offStage->setAccelerometerInterval(0.2);  // not running
    EXPECT_FLOAT_EQ(sensor.getAccelerometerInterval(), 0.5f);
    layer->setAccelerometerEnabled(true);
    layer->setAccelerometerInterval(0.25);
    EXPECT_FLOAT_EQ(sensor.getAccelerometerInterval(), 0.25f);
    offStage->setAccelerometerEnabled(false);
    layer->setAccelerometerEnabled(false);
}

}  // namespace
}  // namespace kite
