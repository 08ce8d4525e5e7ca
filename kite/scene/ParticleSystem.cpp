#include "kite/scene/ParticleSystem.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/ParticleBatchNode.h"

namespace kite {

namespace {

// A fresh value in [-1, 1) from the process-wide C sequence, so that seeding repeats an effect.
float randomMinus1To1() { return static_cast<float>(std::rand()) * 4.656613e-10f * 2.0f - 1.0f; }

float clampUnit(float v) { return std::min(1.0f, std::max(0.0f, v)); }

// Change per second over a life; a particle with no life left changes no more (it dies at the next update).
float perSecond(float change, float timeToLive) { return timeToLive > 0.0f ? change / timeToLive : 0.0f; }

Vec2 transformPoint(const Mat4& m, const Vec2& p) {
    Vec3 v(p.x, p.y, 0.0f);
    m.transformPoint(&v);
    return Vec2(v.x, v.y);
}

}  // namespace

ParticleSystem::~ParticleSystem() { releaseAndClear(texture); }

bool ParticleSystem::initWithTotalParticles(int numberOfParticles) {
    if (numberOfParticles < 0) {
        log("ParticleSystem: a negative particle count (%d) is refused", numberOfParticles);
        return false;
    }
    totalParticles = numberOfParticles;
    try {
        particles.assign(static_cast<std::size_t>(numberOfParticles), Particle());
    } catch (const std::exception&) {
        log("ParticleSystem: no memory for %d particles", numberOfParticles);
        return false;
    }
    allocatedParticles = numberOfParticles;
    if (batchNode) {
        for (int i = 0; i < totalParticles; ++i) particles[i].atlasIndex = static_cast<std::uint32_t>(i);
    }
    isActiveFlag = true;
    blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
    positionType = PositionType::FREE;
    emitterMode = Mode::GRAVITY;
    isAutoRemoveOnFinishFlag = false;
    return true;
}

void ParticleSystem::onEnter() {
    Node::onEnter();
    // After the action manager, which runs at a lower priority.
    scheduleUpdateWithPriority(1);
}

void ParticleSystem::onExit() {
    unscheduleUpdate();
    Node::onExit();
}

void ParticleSystem::resetSystem() {
    isActiveFlag = true;
    elapsed = 0.0f;
    for (int i = 0; i < particleCount; ++i) particles[i].timeToLive = 0.0f;
}

void ParticleSystem::stopSystem() {
    isActiveFlag = false;
    elapsed = duration;
    emitCounter = 0.0f;
}

bool ParticleSystem::addParticle() {
    if (isFull()) return false;
    initParticle(&particles[particleCount]);
    ++particleCount;
    return true;
}

// The draws happen in this exact order, one per variance term, so that a seed gives the same effect.
void ParticleSystem::initParticle(Particle* p) {
    p->timeToLive = std::max(0.0f, life + lifeVar * randomMinus1To1());
    p->pos.x = sourcePosition.x + posVar.x * randomMinus1To1();
    p->pos.y = sourcePosition.y + posVar.y * randomMinus1To1();

    Color4F start;
    start.r = clampUnit(startColor.r + startColorVar.r * randomMinus1To1());
    start.g = clampUnit(startColor.g + startColorVar.g * randomMinus1To1());
    start.b = clampUnit(startColor.b + startColorVar.b * randomMinus1To1());
    start.a = clampUnit(startColor.a + startColorVar.a * randomMinus1To1());
    Color4F end;
    end.r = clampUnit(endColor.r + endColorVar.r * randomMinus1To1());
    end.g = clampUnit(endColor.g + endColorVar.g * randomMinus1To1());
    end.b = clampUnit(endColor.b + endColorVar.b * randomMinus1To1());
    end.a = clampUnit(endColor.a + endColorVar.a * randomMinus1To1());
    p->color = start;
    p->deltaColor = Color4F(perSecond(end.r - start.r, p->timeToLive), perSecond(end.g - start.g, p->timeToLive),
                            perSecond(end.b - start.b, p->timeToLive), perSecond(end.a - start.a, p->timeToLive));

    const float startS = std::max(0.0f, startSize + startSizeVar * randomMinus1To1());
    p->size = startS;
    if (endSize == START_SIZE_EQUAL_TO_END_SIZE) {
        p->deltaSize = 0.0f;
    } else {
        const float endS = std::max(0.0f, endSize + endSizeVar * randomMinus1To1());
        p->deltaSize = perSecond(endS - startS, p->timeToLive);
    }

    const float startA = startSpin + startSpinVar * randomMinus1To1();
    const float endA = endSpin + endSpinVar * randomMinus1To1();
    p->rotation = startA;
    p->deltaRotation = perSecond(endA - startA, p->timeToLive);

    if (positionType == PositionType::FREE) {
        p->startPos = convertToWorldSpace(Vec2(0.0f, 0.0f));
    } else if (positionType == PositionType::RELATIVE) {
        p->startPos = position;
    }

    const float a = (angle + angleVar * randomMinus1To1()) * kDegreesToRadians;
    if (emitterMode == Mode::GRAVITY) {
        const float s = modeA.speed + modeA.speedVar * randomMinus1To1();
        p->modeA.dir = Vec2(std::cos(a) * s, std::sin(a) * s);
        p->modeA.radialAccel = modeA.radialAccel + modeA.radialAccelVar * randomMinus1To1();
        p->modeA.tangentialAccel = modeA.tangentialAccel + modeA.tangentialAccelVar * randomMinus1To1();
        if (modeA.rotationIsDir) p->rotation = -std::atan2(p->modeA.dir.y, p->modeA.dir.x) * kRadiansToDegrees;
    } else {
        const float startRadius = modeB.startRadius + modeB.startRadiusVar * randomMinus1To1();
        const float endRadius = modeB.endRadius + modeB.endRadiusVar * randomMinus1To1();
        p->modeB.radius = startRadius;
        p->modeB.deltaRadius = modeB.endRadius == START_RADIUS_EQUAL_TO_END_RADIUS
                                   ? 0.0f
                                   : perSecond(endRadius - startRadius, p->timeToLive);
        p->modeB.angle = a;
        p->modeB.degreesPerSecond =
            (modeB.rotatePerSecond + modeB.rotatePerSecondVar * randomMinus1To1()) * kDegreesToRadians;
    }
}

Vec2 ParticleSystem::currentEmitterPosition() const {
    switch (positionType) {
        case PositionType::FREE: return convertToWorldSpace(Vec2(0.0f, 0.0f));
        case PositionType::RELATIVE: return position;
        case PositionType::GROUPED: break;
    }
    return Vec2(0.0f, 0.0f);
}

void ParticleSystem::update(float dt) {
    if (isActiveFlag && emissionRate != 0.0f) {
        const float rate = 1.0f / emissionRate;
        if (particleCount < totalParticles) {
            emitCounter += dt;
            while (particleCount < totalParticles && emitCounter > rate) {
                addParticle();
                emitCounter -= rate;
            }
        }
        elapsed += dt;
        if (duration != DURATION_INFINITY && duration < elapsed) stopSystem();
    }

    particleIdx = 0;
    const Vec2 currentPosition = currentEmitterPosition();
    const Mat4 worldToNode = getWorldToNodeTransform();
    while (particleIdx < particleCount) {
        Particle* p = &particles[particleIdx];
        if (stepParticle(p, dt, currentPosition, worldToNode)) {
            ++particleIdx;
            continue;
        }
        removeDeadParticle(particleIdx);
        if (particleCount == 0 && isAutoRemoveOnFinishFlag) {
            unscheduleUpdate();
            removeFromParentAndCleanup(true);  // may be the last reference: touch nothing after it
            return;
        }
    }
    if (visible && !batchNode) postStep();
}

// Moves one particle by dt; false when its life is over.
bool ParticleSystem::stepParticle(Particle* p, float dt, const Vec2& currentPosition, const Mat4& worldToNode) {
    p->timeToLive -= dt;
    if (p->timeToLive <= 0.0f) return false;
    if (emitterMode == Mode::GRAVITY) {
        Vec2 radial;
        if (p->pos.x != 0.0f || p->pos.y != 0.0f) radial = p->pos.getNormalized();
        const Vec2 tangential(-radial.y, radial.x);
        const Vec2 accel = radial * p->modeA.radialAccel + tangential * p->modeA.tangentialAccel + modeA.gravity;
        p->modeA.dir += accel * dt;
        p->pos += p->modeA.dir * dt * static_cast<float>(yCoordFlipped);
    } else {
        p->modeB.angle += p->modeB.degreesPerSecond * dt;
        p->modeB.radius += p->modeB.deltaRadius * dt;
        p->pos.x = -std::cos(p->modeB.angle) * p->modeB.radius;
        p->pos.y = -std::sin(p->modeB.angle) * p->modeB.radius * static_cast<float>(yCoordFlipped);
    }
    p->color.r += p->deltaColor.r * dt;
    p->color.g += p->deltaColor.g * dt;
    p->color.b += p->deltaColor.b * dt;
    p->color.a += p->deltaColor.a * dt;
    p->size = std::max(0.0f, p->size + p->deltaSize * dt);
    p->rotation += p->deltaRotation * dt;

    Vec2 newPosition = p->pos;
    if (positionType == PositionType::FREE) {
        const Vec2 moved = transformPoint(worldToNode, currentPosition) - transformPoint(worldToNode, p->startPos);
        newPosition = p->pos - moved;
    } else if (positionType == PositionType::RELATIVE) {
        newPosition = p->pos - (currentPosition - p->startPos);
    }
    if (batchNode) newPosition += position;
    updateQuadWithParticle(p, newPosition);
    return true;
}

// The last live record moves into the dead one's slot; no shifting.
void ParticleSystem::removeDeadParticle(int index) {
    const std::uint32_t deadAtlasIndex = particles[index].atlasIndex;
    const int last = particleCount - 1;
    if (index != last) particles[index] = particles[last];
    if (batchNode) {
        batchNode->disableParticle(atlasIndex + static_cast<int>(deadAtlasIndex));
        particles[last].atlasIndex = deadAtlasIndex;
    }
    --particleCount;
}

void ParticleSystem::updateQuadWithParticle(Particle*, const Vec2&) {}

void ParticleSystem::setTexture(Texture2D* newTexture) {
    assignRetained(texture, newTexture);
    updateBlendFunc();
}

void ParticleSystem::setBlendFunc(const BlendFunc& blend) {
    if (blendFunc == blend) return;
    blendFunc = blend;
    updateBlendFunc();
}

void ParticleSystem::updateBlendFunc() {
    if (!texture) return;
    opacityModifyRGB = false;
    if (blendFunc == BlendFunc::ALPHA_PREMULTIPLIED) {
        if (texture->hasPremultipliedAlpha()) {
            opacityModifyRGB = true;
        } else {
            blendFunc = BlendFunc::ALPHA_NON_PREMULTIPLIED;
        }
    }
}

bool ParticleSystem::isBlendAdditive() const { return blendFunc.src == GL_SRC_ALPHA && blendFunc.dst == GL_ONE; }

void ParticleSystem::setBlendAdditive(bool additive) {
    if (additive) {
        blendFunc = BlendFunc::ADDITIVE;
    } else if (texture && !texture->hasPremultipliedAlpha()) {
        blendFunc = BlendFunc::ALPHA_NON_PREMULTIPLIED;
    } else {
        blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
    }
}

void ParticleSystem::setBatchNode(ParticleBatchNode* batch) {
    if (batchNode == batch) return;
    batchNode = batch;
    if (batch) {
        for (int i = 0; i < totalParticles; ++i) particles[i].atlasIndex = static_cast<std::uint32_t>(i);
    }
}

}  // namespace kite
