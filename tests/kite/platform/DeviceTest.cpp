// Device services: screen density from the device profile, accelerometer samples (injected: a desktop has no
// sensor) and the text bitmap's failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "kite/platform/Device.h"
#include "kite/platform/KTAccelerometerDispatcher.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerAcceleration.h"
#include "support/DirectorShutdown.h"
#include "support/LogCapture.h"

namespace kite {
namespace {

using ::testing::ElementsAre;

TEST(DeviceTest, APhoneProfileHas326DotsPerInch) { EXPECT_EQ(Device::getDPI(), 326); }

TEST(DeviceTest, SamplesAreDispatchedOnlyWhileTheAccelerometerIsOn) {
    int received = 0;
    double lastX = 0;
    auto* listener = EventListenerAcceleration::create([&](Acceleration* acc, Event*) {
        ++received;
        lastX = acc->x;
    });
    ASSERT_NE(listener, nullptr);
    EventDispatcher* events = Director::getInstance()->getEventDispatcher();
    events->setEnabled(true);  // as with a GL view
    events->addEventListenerWithFixedPriority(listener, 1);
    KTAccelerometerDispatcher& sensor = KTAccelerometerDispatcher::sharedAccelerometerDispatcher();
    sensor.accelerometer(0.5, 0, 0, 1.0);
    Device::setAccelerometerEnabled(true);
    Device::setAccelerometerInterval(0.1f);
    EXPECT_FLOAT_EQ(sensor.getAccelerometerInterval(), 0.1f);
    sensor.accelerometer(0.5, 0.25, -1, 2.0);
    Device::setAccelerometerEnabled(false);
    sensor.accelerometer(0.7, 0, 0, 3.0);
    EXPECT_EQ(received, 1);
    EXPECT_DOUBLE_EQ(lastX, 0.5);
    test::shutDownDirector();
}

TEST(DeviceTest, SamplesAreTurnedToTheInterfaceOrientation) {
    std::vector<Vec2> received;
    auto* listener = EventListenerAcceleration::create([&](Acceleration* acc, Event*) {
        received.emplace_back(static_cast<float>(acc->x), static_cast<float>(acc->y));
    });
    ASSERT_NE(listener, nullptr);
    EventDispatcher* events = Director::getInstance()->getEventDispatcher();
    events->setEnabled(true);
    events->addEventListenerWithFixedPriority(listener, 1);
    KTAccelerometerDispatcher& sensor = KTAccelerometerDispatcher::sharedAccelerometerDispatcher();
    EXPECT_EQ(sensor.getInterfaceOrientation(), KTAccelerometerDispatcher::PORTRAIT);
    Device::setAccelerometerEnabled(true);
    test::LogCapture log;
    for (int orientation : {1, 2, 3, 4, 7}) {
        sensor.setInterfaceOrientation(orientation);
        sensor.accelerometer(0.5, 0.25, -1, 1.0);
    }
    sensor.setInterfaceOrientation(KTAccelerometerDispatcher::PORTRAIT);
    Device::setAccelerometerEnabled(false);
    // Portrait as it comes, upside down half round, landscape right and left a quarter each way;
    // an orientation outside the four is logged and the sample still goes out, unturned.
    EXPECT_THAT(received, ElementsAre(Vec2(0.5f, 0.25f), Vec2(-0.5f, -0.25f), Vec2(-0.25f, 0.5f),
                                      Vec2(0.25f, -0.5f), Vec2(0.5f, 0.25f)));
    EXPECT_EQ(log.count("unknow orientation"), 1u);
    received.clear();
    sensor.setInterfaceOrientation(KTAccelerometerDispatcher::LANDSCAPE_RIGHT);
    Device::setAccelerometerEnabled(true);
    sensor.accelerometer(0.5, 0, 0, 2.0);  // a tilt along the device's x reads along the interface's y
    Device::setAccelerometerEnabled(false);
    sensor.setInterfaceOrientation(KTAccelerometerDispatcher::PORTRAIT);
    EXPECT_THAT(received, ElementsAre(Vec2(0.0f, 0.5f)));
    test::shutDownDirector();
}

TEST(DeviceTest, TextBitmapsFailCleanly) {
    int width = -1, height = -1;
    bool premultiplied = false;
    FontDefinition def;
    def._fontName = "Helvetica";
    def._fontSize = 20;
    EXPECT_TRUE(
        Device::getTextureDataWithText(nullptr, def, Device::TextAlign::CENTER, width, height, premultiplied).isNull());
    EXPECT_EQ(width, 0);
    def._dimensions = Size(10, 20000);  // beyond any texture size limit
    EXPECT_TRUE(
        Device::getTextureDataWithText("tall", def, Device::TextAlign::CENTER, width, height, premultiplied).isNull());
    def._dimensions = Size::ZERO;
    const Data ok = Device::getTextureDataWithText("ok", def, Device::TextAlign::CENTER, width, height, premultiplied);
    EXPECT_EQ(ok.getSize(), static_cast<std::int64_t>(width) * height * 4);
    EXPECT_TRUE(premultiplied);
}

}  // namespace
}  // namespace kite
