#include "kite/audio/linux/CDPropertyModifier.h"

#include <cmath>

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/audio/linux/CDSoundSource.h"

namespace {

using namespace kite::audio;

TEST(CDFloatInterpolator, CurvesAtSampledTimes) {
    kite::RefPtr<CDFloatInterpolator> linear = CDFloatInterpolator::create(kIT_Linear, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(linear->interpolate(0.25f), 0.75f);
    EXPECT_FLOAT_EQ(linear->interpolate(1.0f), 0.0f);
    EXPECT_FLOAT_EQ(linear->interpolate(3.0f), 0.0f);

    kite::RefPtr<CDFloatInterpolator> sCurve = CDFloatInterpolator::create(kIT_SCurve, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(sCurve->interpolate(0.5f), 0.5f);
    EXPECT_FLOAT_EQ(sCurve->interpolate(0.25f), 0.15625f);

    kite::RefPtr<CDFloatInterpolator> rise = CDFloatInterpolator::create(kIT_Exponential, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(rise->interpolate(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(rise->interpolate(0.5f), std::pow(2.0f, -5.0f) - 0.001f);

    kite::RefPtr<CDFloatInterpolator> fall = CDFloatInterpolator::create(kIT_Exponential, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(fall->interpolate(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(fall->interpolate(0.1f), 1.0f - (1.0f - 0.5f));

    kite::RefPtr<CDFloatInterpolator> unknown = CDFloatInterpolator::create(7, 2.0f, 3.0f);
    EXPECT_FLOAT_EQ(unknown->interpolate(0.5f), 0.0f);
    kite::test::drainAutoreleasePool();
}

class CDPropertyModifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = CDSoundEngine::create();
        ASSERT_TRUE(engine);
        ASSERT_TRUE(engine->functioning()) << kite::test::kNoAudioDevice;
        ASSERT_TRUE(engine->loadBuffer(0, tones.tone("fade.wav", 0.5)));
        source = engine->soundSourceForSound(0, 0);
        ASSERT_TRUE(source);
        source->setLooping(true);
    }
    void TearDown() override {
        source.reset();
        engine.reset();
        kite::test::drainAutoreleasePool();
    }
    kite::test::ToneFolder tones;
    kite::RefPtr<CDSoundEngine> engine;
    kite::RefPtr<CDSoundSource> source;
};

TEST_F(CDPropertyModifierTest, LinearFaderFollowsItsLineAndStopsTheSourceAtTheEnd) {
    kite::RefPtr<CDSoundSourceFader> fader = CDSoundSourceFader::create(source.get(), kIT_Linear, 1.0f, 0.0f);
    ASSERT_TRUE(fader);
    fader->setStopTargetWhenComplete(true);
    ASSERT_TRUE(source->play());
    fader->modify(0.25f);
    EXPECT_FLOAT_EQ(source->gain(), 0.75f);
    EXPECT_TRUE(source->isPlaying());
    fader->modify(1.0f);
    EXPECT_FLOAT_EQ(source->gain(), 0.0f);
    EXPECT_FALSE(source->isPlaying());
}

TEST_F(CDPropertyModifierTest, PannerAndPitchBenderMoveTheirProperty) {
    kite::RefPtr<CDSoundSourcePanner> panner = CDSoundSourcePanner::create(source.get(), kIT_Linear, -1.0f, 1.0f);
    panner->modify(0.75f);
    EXPECT_FLOAT_EQ(source->pan(), 0.5f);
    kite::RefPtr<CDSoundSourcePitchBender> bender =
        CDSoundSourcePitchBender::create(source.get(), kIT_SCurve, 1.0f, 2.0f);
    bender->setEndValue(3.0f);
    bender->modify(0.5f);
    EXPECT_FLOAT_EQ(source->pitch(), 2.0f);
    bender->modify(1.0f);
    EXPECT_FLOAT_EQ(source->pitch(), 3.0f);
    EXPECT_EQ(bender->interpolationType(), kIT_SCurve);
}

TEST_F(CDPropertyModifierTest, EngineFaderMovesTheMasterGain) {
    kite::RefPtr<CDSoundEngineFader> fader = CDSoundEngineFader::create(engine.get(), kIT_Exponential, 1.0f, 0.0f);
    fader->modify(0.1f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.5f);
    fader->modify(1.0f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.0f);
}

TEST_F(CDPropertyModifierTest, ModifierNeedsATarget) {
    EXPECT_FALSE(CDSoundSourceFader::create(nullptr, kIT_Linear, 0, 1));
}

TEST_F(CDPropertyModifierTest, GroupPassesSwitchesToItsMembersBothWays) {
    kite::RefPtr<CDAudioInterruptTargetGroup> group = CDAudioInterruptTargetGroup::create();
    group->addAudioInterruptTarget(source.get());
    group->addAudioInterruptTarget(engine.get());
    source->setGain(0.6f);
    group->setMute(true);
    EXPECT_TRUE(source->mute());
    EXPECT_TRUE(engine->mute());
    group->setMute(false);
    EXPECT_FALSE(source->mute());
    EXPECT_FLOAT_EQ(source->gain(), 0.6f);

    group->setMute(true);
    kite::RefPtr<CDSoundSource> late = engine->soundSourceForSound(0, 0);
    ASSERT_TRUE(late);
    group->addAudioInterruptTarget(late.get());
    EXPECT_TRUE(late->mute());  // takes the group's switches on joining
    group->removeAudioInterruptTarget(late.get());
    group->setMute(false);
    EXPECT_TRUE(late->mute());
    EXPECT_FALSE(engine->mute());
}

}  // namespace
