// Particle systems on a fixed step: the order of random draws, emission, lifetimes, position types,
// drawing alone and in a batch.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "SceneDrawSupport.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/ParticleBatchNode.h"
#include "kite/scene/ParticleExamples.h"
#include "kite/scene/ParticleSystemQuad.h"
#include "support/LogCapture.h"

using ::testing::FloatNear;
using ::testing::HasSubstr;

namespace kite {
namespace {

using test::Pixel;

constexpr float kStep = 1.0f / 60.0f;

class ParticleSystemTest : public test::SceneDrawTest {
protected:
    static void run(ParticleSystem* system, int frames) {
        for (int i = 0; i < frames; ++i) system->update(kStep);
    }
    static std::vector<Vec2> positions(const ParticleSystem* system) {
        std::vector<Vec2> result;
        for (int i = 0; i < system->getParticleCount(); ++i) result.push_back(system->getParticles()[i].pos);
        return result;
    }
    // Counts the pixels of the frame that are not black.
    int litPixels() const {
        const std::vector<std::uint8_t> rgba = readFrame();
        int lit = 0;
        for (std::size_t i = 0; i < rgba.size(); i += 4) lit += (rgba[i] | rgba[i + 1] | rgba[i + 2]) != 0;
        return lit;
    }
};

float nextRandom() { return static_cast<float>(std::rand()) * 4.656613e-10f * 2.0f - 1.0f; }

TEST_F(ParticleSystemTest, NewParticleDrawsItsRandomPropertiesInTheDocumentedOrder) {
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    ASSERT_NE(explosion, nullptr);
    std::srand(7);
    std::vector<float> r;
    for (int i = 0; i < 19; ++i) r.push_back(nextRandom());
    std::srand(7);
    ASSERT_TRUE(explosion->addParticle());
    EXPECT_FLOAT_EQ(nextRandom(), r[18]);  // exactly 18 draws: the end size of -1 takes none

    const Particle& p = explosion->getParticles()[0];
    EXPECT_FLOAT_EQ(p.timeToLive, 5.0f + 2.0f * r[0]);
    EXPECT_FLOAT_EQ(p.pos.x, 0.0f);  // no position variance, but both draws are taken
    EXPECT_FLOAT_EQ(p.color.r, std::min(1.0f, std::max(0.0f, 0.7f + 0.5f * r[3])));
    EXPECT_FLOAT_EQ(p.color.b, std::min(1.0f, std::max(0.0f, 0.2f + 0.5f * r[5])));
    const float endGreen = std::min(1.0f, std::max(0.0f, 0.5f + 0.5f * r[8]));
    EXPECT_FLOAT_EQ(p.deltaColor.g, (endGreen - p.color.g) / p.timeToLive);
    EXPECT_FLOAT_EQ(p.size, 15.0f + 10.0f * r[11]);
    EXPECT_FLOAT_EQ(p.deltaSize, 0.0f);
    const float angle = (90.0f + 360.0f * r[14]) * 0.017453292f;
    const float speed = 70.0f + 40.0f * r[15];
    EXPECT_FLOAT_EQ(p.modeA.dir.x, std::cos(angle) * speed);
    EXPECT_FLOAT_EQ(p.modeA.dir.y, std::sin(angle) * speed);
}

TEST_F(ParticleSystemTest, SeededExplosionRepeatsItsParticlesExactly) {
    auto simulate = [this](unsigned seed) {
        std::srand(seed);
        ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(300);
        explosion->setPosition(32, 32);
        run(explosion, 45);
        return positions(explosion);
    };
    const std::vector<Vec2> first = simulate(42);
    ASSERT_EQ(first.size(), 300u);
    EXPECT_EQ(simulate(42), first);
    EXPECT_NE(simulate(43), first);
}

TEST_F(ParticleSystemTest, ExplosionEmitsAtItsRateForItsDurationThenParticlesDieWithinTheirLives) {
    std::srand(1);
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    EXPECT_FLOAT_EQ(explosion->getEmissionRate(), 150.0f);
    run(explosion, 1);
    EXPECT_EQ(explosion->getParticleCount(), 2);  // 1/60 s at 150 a second
    run(explosion, 6);
    EXPECT_EQ(explosion->getParticleCount(), 15);
    EXPECT_FALSE(explosion->isActive());  // 0.1 s are over
    for (int i = 0; i < 15; ++i) {
        EXPECT_GE(explosion->getParticles()[i].timeToLive, 3.0f - 0.2f);
        EXPECT_LE(explosion->getParticles()[i].timeToLive, 7.0f);
    }
    run(explosion, 60 * 7);
    EXPECT_EQ(explosion->getParticleCount(), 0);
}

TEST_F(ParticleSystemTest, LongFrameEmitsSeveralButNeverMoreThanTheTotal) {
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    explosion->update(0.05f);
    EXPECT_EQ(explosion->getParticleCount(), 7);
    explosion->update(1.0f);
    EXPECT_EQ(explosion->getParticleCount(), 15);
}

TEST_F(ParticleSystemTest, ZeroEmissionRateEmitsNothingAndNeverStops) {
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    explosion->setEmissionRate(0);
    run(explosion, 60);
    EXPECT_EQ(explosion->getParticleCount(), 0);
    EXPECT_TRUE(explosion->isActive());
}

TEST_F(ParticleSystemTest, ZeroLifetimeGivesFiniteParticlesThatDieAtTheNextUpdate) {
    ParticleSystemQuad* system = ParticleSystemQuad::create(4);
    system->setLife(0);
    system->setEndSize(30);
    system->setEndColor(Color4F(1, 1, 1, 1));
    system->setEndSpin(90);
    ASSERT_TRUE(system->addParticle());
    const Particle& p = system->getParticles()[0];
    EXPECT_TRUE(std::isfinite(p.deltaColor.a) && std::isfinite(p.deltaSize) && std::isfinite(p.deltaRotation));
    system->update(kStep);
    EXPECT_EQ(system->getParticleCount(), 0);
}

TEST_F(ParticleSystemTest, TheTotalSetsTheRatePerLifeSoAZeroLifeWithAVarianceEmitsAllAtOnce) {
    std::srand(9);
    ParticleSystemQuad* system = ParticleSystemQuad::create(8);
    system->setDuration(ParticleSystem::DURATION_INFINITY);
    system->setLife(4);
    system->setLifeVar(3);
    system->setTotalParticles(8);
    EXPECT_FLOAT_EQ(system->getEmissionRate(), 2.0f);  // the mean life: the variance evens out
    system->setLife(0);
    system->setTotalParticles(8);
    EXPECT_TRUE(std::isinf(system->getEmissionRate()));
    system->update(kStep);
    // All eight are born in the one frame; those drawn a life shorter than it are gone by its end.
    int survivors = 0;
    for (int i = 0; i < system->getParticleCount(); ++i) survivors += system->getParticles()[i].timeToLive > 0.0f;
    EXPECT_GT(survivors, 0);
    EXPECT_LE(system->getParticleCount(), 8);
    system->update(kStep);
    EXPECT_LE(system->getParticleCount(), 8);
}

TEST_F(ParticleSystemTest, EndSizeOfMinusOneKeepsTheStartSize) {
    std::srand(3);
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    run(explosion, 1);
    const float size = explosion->getParticles()[0].size;
    run(explosion, 60);
    EXPECT_FLOAT_EQ(explosion->getParticles()[0].size, size);
}

TEST_F(ParticleSystemTest, PositionTypeDecidesWhetherParticlesFollowTheEmitter) {
    auto drawnX = [this](ParticleSystem::PositionType type) {
        Node* parent = Node::create();
        ParticleSystemQuad* system = ParticleSystemQuad::create(1);
        system->setTexture(test::solidTexture(255, 255, 255).get());
        system->setPositionType(type);
        system->setLife(10);
        system->setStartSize(2);
        system->setEndSize(ParticleSystem::START_SIZE_EQUAL_TO_END_SIZE);
        system->setStartColor(Color4F(1, 1, 1, 1));
        system->setEndColor(Color4F(1, 1, 1, 1));
        system->setEmissionRate(100);
        system->setDuration(ParticleSystem::DURATION_INFINITY);
        parent->addChild(system);
        system->setPosition(10, 10);
        system->update(0.02f);
        system->setPosition(30, 10);
        system->update(0.0f);
        const PosColorTexQuad& quad = system->getQuads()[0];
        return (quad.bl.vertices.x + quad.br.vertices.x) / 2;  // in the emitter's own space
    };
    EXPECT_THAT(drawnX(ParticleSystem::PositionType::FREE), FloatNear(-20.0f, 1e-4f));
    EXPECT_THAT(drawnX(ParticleSystem::PositionType::RELATIVE), FloatNear(-20.0f, 1e-4f));
    EXPECT_THAT(drawnX(ParticleSystem::PositionType::GROUPED), FloatNear(0.0f, 1e-4f));
}

TEST_F(ParticleSystemTest, AutoRemoveTakesTheSystemOffItsParentWithTheLastParticle) {
    Node* parent = Node::create();
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    explosion->setAutoRemoveOnFinish(true);
    explosion->setLife(0.5f);
    explosion->setLifeVar(0);
    parent->addChild(explosion);
    run(explosion, 60);
    EXPECT_EQ(parent->getChildrenCount(), 0u);
}

TEST_F(ParticleSystemTest, RaisingTheTotalClearsAndResetsLoweringOnlyChangesTheTotal) {
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    run(explosion, 10);
    explosion->setTotalParticles(10);
    EXPECT_EQ(explosion->getTotalParticles(), 10);
    EXPECT_FLOAT_EQ(explosion->getEmissionRate(), 2.0f);  // total / life
    EXPECT_TRUE(explosion->isActive());
    explosion->setTotalParticles(40);
    EXPECT_EQ(explosion->getParticleCount(), 0);
    EXPECT_FLOAT_EQ(explosion->getEmissionRate(), 8.0f);
    explosion->update(1.0f);
    EXPECT_EQ(explosion->getParticleCount(), 7);  // 1 s at 8 a second: the eighth interval is not yet exceeded
    EXPECT_EQ(explosion->description(), "<ParticleSystemQuad | Tag = -1, Total Particles = 40>");
}

TEST_F(ParticleSystemTest, SystemWithoutTextureDrawsNothing) {
    ParticleSystemQuad* system = ParticleSystemQuad::create(10);
    system->setEmissionRate(100);
    system->setLife(1);
    system->setStartSize(10);
    system->setStartColor(Color4F(1, 1, 1, 1));
    run(system, 5);
    ASSERT_GT(system->getParticleIndex(), 0);
    EXPECT_EQ(drawFrame(system), 0);
    EXPECT_EQ(litPixels(), 0);
}

TEST_F(ParticleSystemTest, ExplosionDrawsItsParticlesInOneCall) {
    std::srand(11);
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(100);
    ASSERT_NE(explosion->getTexture(), nullptr);
    EXPECT_EQ(explosion->getBlendFunc(), BlendFunc::ALPHA_PREMULTIPLIED);  // the default texture is premultiplied
    explosion->setPosition(32, 32);
    run(explosion, 20);
    EXPECT_EQ(drawFrame(explosion), 1);
    saveFrame();
    EXPECT_GT(litPixels(), 100);
    const Pixel centre = readPixel(32, 32);
    EXPECT_GT(centre.r, 0);
}

TEST_F(ParticleSystemTest, BatchDrawsSeveralSystemsInOneCallAndCompactsWhenOneLeaves) {
    std::srand(5);
    Texture2D* texture = defaultParticleTexture();
    ASSERT_NE(texture, nullptr);
    ParticleBatchNode* batch = ParticleBatchNode::createWithTexture(texture, 10);
    std::vector<ParticleExplosion*> explosions;
    for (int i = 0; i < 3; ++i) {
        ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(30);
        explosion->setPosition(16.0f + 16.0f * i, 32);
        batch->addChild(explosion);
        explosions.push_back(explosion);
    }
    EXPECT_EQ(explosions[2]->getAtlasIndex(), 60);
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), 90);
    for (ParticleExplosion* e : explosions) run(e, 20);
    EXPECT_EQ(drawFrame(batch), 1);
    saveFrame();
    const int allLit = litPixels();
    EXPECT_GT(allLit, 100);

    batch->removeChild(explosions[0], true);
    EXPECT_EQ(explosions[1]->getAtlasIndex(), 0);
    EXPECT_EQ(explosions[2]->getAtlasIndex(), 30);
    EXPECT_EQ(batch->getTextureAtlas()->getTotalQuads(), 60);
    EXPECT_EQ(drawFrame(batch), 1);
    EXPECT_LT(litPixels(), allLit);

    test::LogCapture logs;
    batch->addChild(Node::create());
    EXPECT_EQ(batch->getChildrenCount(), 2u);
    EXPECT_THAT(logs.text(), HasSubstr("ParticleBatchNode: only a particle system"));
}

TEST_F(ParticleSystemTest, DeadParticleInABatchLeavesNothingBehind) {
    ParticleBatchNode* batch = ParticleBatchNode::createWithTexture(defaultParticleTexture());
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    explosion->setPosition(32, 32);
    explosion->setLife(0.5f);
    explosion->setLifeVar(0);
    batch->addChild(explosion);
    run(explosion, 10);
    EXPECT_EQ(drawFrame(batch), 1);
    EXPECT_GT(litPixels(), 0);
    run(explosion, 60);
    EXPECT_EQ(explosion->getParticleCount(), 0);
    drawFrame(batch);
    EXPECT_EQ(litPixels(), 0);
}

}  // namespace
}  // namespace kite
