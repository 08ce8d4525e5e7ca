// Device services: screen density from the device profile, accelerometer samples (injected: a desktop has no
// sensor) and the text bitmap's failures.
#include <gtest/gtest.h>

#include "kite/platform/Device.h"
#include "kite/platform/KTAccelerometerDispatcher.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerAcceleration.h"
#include "support/DirectorShutdown.h"

namespace kite {
namespace {

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
