// The particle emitter: spawns particles at a rate and moves, colours, sizes and spins them over their lives.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kite/foundation/math/Color.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/Node.h"
#include "kite/scene/Protocols.h"

namespace kite {

class ParticleBatchNode;
class Texture2D;

// One live particle. The gravity and radius members are both kept; the emitter's mode says which one moves it.
struct Particle {
    Vec2 pos;       // relative to the emitter's origin
    Vec2 startPos;  // where the emitter was when the particle was born
    Color4F color;
    Color4F deltaColor;  // per second
    float size = 0.0f;
    float deltaSize = 0.0f;
    float rotation = 0.0f;  // degrees
    float deltaRotation = 0.0f;
    float timeToLive = 0.0f;  // seconds
    std::uint32_t atlasIndex = 0;
    struct {
        Vec2 dir;
        float radialAccel = 0.0f;
        float tangentialAccel = 0.0f;
    } modeA;  // gravity
    struct {
        float angle = 0.0f;             // radians
        float degreesPerSecond = 0.0f;  // radians per second, named for its input unit
        float radius = 0.0f;
        float deltaRadius = 0.0f;
    } modeB;  // radius
};

class ParticleSystem : public Node, public TextureProtocol {
public:
    enum class Mode { GRAVITY = 0, RADIUS = 1 };
    // FREE: particles keep their world position when the emitter moves; RELATIVE: they follow the emitter's
    // position in its parent; GROUPED: they move with the emitter node.
    enum class PositionType { FREE = 0, RELATIVE = 1, GROUPED = 2 };
    static constexpr float DURATION_INFINITY = -1.0f;
    static constexpr float START_SIZE_EQUAL_TO_END_SIZE = -1.0f;
    static constexpr float START_RADIUS_EQUAL_TO_END_RADIUS = -1.0f;

    ParticleSystem() = default;
    ~ParticleSystem() override;

    bool init() override { return initWithTotalParticles(150); }
    // False when the particle records cannot be had (a negative count included).
    virtual bool initWithTotalParticles(int numberOfParticles);

    // Emits again from the start; the live particles die at the next update.
    void resetSystem();
    void stopSystem();
    bool isFull() const { return particleCount == totalParticles; }
    // Adds one particle when there is room; false when full.
    bool addParticle();

    void update(float dt) override;
    virtual void updateWithNoTime() { update(0.0f); }
    virtual void updateQuadWithParticle(Particle* particle, const Vec2& newPosition);
    // Hands the frame's quads to GL; subclasses that draw do it.
    virtual void postStep() {}

    void onEnter() override;
    void onExit() override;

    virtual bool isAutoRemoveOnFinish() const { return isAutoRemoveOnFinishFlag; }
    virtual void setAutoRemoveOnFinish(bool value) { isAutoRemoveOnFinishFlag = value; }

    // Gravity mode.
    virtual const Vec2& getGravity() const { return modeA.gravity; }
    virtual void setGravity(const Vec2& g) { modeA.gravity = g; }
    virtual float getSpeed() const { return modeA.speed; }
    virtual void setSpeed(float v) { modeA.speed = v; }
    virtual float getSpeedVar() const { return modeA.speedVar; }
    virtual void setSpeedVar(float v) { modeA.speedVar = v; }
    virtual float getTangentialAccel() const { return modeA.tangentialAccel; }
    virtual void setTangentialAccel(float v) { modeA.tangentialAccel = v; }
    virtual float getTangentialAccelVar() const { return modeA.tangentialAccelVar; }
    virtual void setTangentialAccelVar(float v) { modeA.tangentialAccelVar = v; }
    virtual float getRadialAccel() const { return modeA.radialAccel; }
    virtual void setRadialAccel(float v) { modeA.radialAccel = v; }
    virtual float getRadialAccelVar() const { return modeA.radialAccelVar; }
    virtual void setRadialAccelVar(float v) { modeA.radialAccelVar = v; }
    virtual bool getRotationIsDir() const { return modeA.rotationIsDir; }
    virtual void setRotationIsDir(bool v) { modeA.rotationIsDir = v; }
    // Radius mode; angles in degrees.
    virtual float getStartRadius() const { return modeB.startRadius; }
    virtual void setStartRadius(float v) { modeB.startRadius = v; }
    virtual float getStartRadiusVar() const { return modeB.startRadiusVar; }
    virtual void setStartRadiusVar(float v) { modeB.startRadiusVar = v; }
    virtual float getEndRadius() const { return modeB.endRadius; }
    virtual void setEndRadius(float v) { modeB.endRadius = v; }
    virtual float getEndRadiusVar() const { return modeB.endRadiusVar; }
    virtual void setEndRadiusVar(float v) { modeB.endRadiusVar = v; }
    virtual float getRotatePerSecond() const { return modeB.rotatePerSecond; }
    virtual void setRotatePerSecond(float v) { modeB.rotatePerSecond = v; }
    virtual float getRotatePerSecondVar() const { return modeB.rotatePerSecondVar; }
    virtual void setRotatePerSecondVar(float v) { modeB.rotatePerSecondVar = v; }

    virtual bool isActive() const { return isActiveFlag; }
    virtual bool isBlendAdditive() const;
    virtual void setBlendAdditive(bool additive);
    virtual ParticleBatchNode* getBatchNode() const { return batchNode; }
    virtual void setBatchNode(ParticleBatchNode* batch);
    virtual int getTotalParticles() const { return totalParticles; }
    virtual void setTotalParticles(int total) { totalParticles = total; }
    Texture2D* getTexture() const override { return texture; }
    void setTexture(Texture2D* newTexture) override;
    void setBlendFunc(const BlendFunc& blend) override;
    const BlendFunc& getBlendFunc() const override { return blendFunc; }
    void setOpacityModifyRGB(bool value) override { opacityModifyRGB = value; }
    bool isOpacityModifyRGB() const override { return opacityModifyRGB; }

    int getParticleCount() const { return particleCount; }
    // Particles updated in the last step: what draw shows.
    int getParticleIndex() const { return particleIdx; }
    const Particle* getParticles() const { return particles.data(); }
    float getElapsed() const { return elapsed; }
    int getAtlasIndex() const { return atlasIndex; }
    void setAtlasIndex(int index) { atlasIndex = index; }
    float getDuration() const { return duration; }
    void setDuration(float d) { duration = d; }
    const Vec2& getSourcePosition() const { return sourcePosition; }
    void setSourcePosition(const Vec2& p) { sourcePosition = p; }
    const Vec2& getPosVar() const { return posVar; }
    void setPosVar(const Vec2& v) { posVar = v; }
    float getLife() const { return life; }
    void setLife(float v) { life = v; }
    float getLifeVar() const { return lifeVar; }
    void setLifeVar(float v) { lifeVar = v; }
    float getAngle() const { return angle; }
    void setAngle(float v) { angle = v; }
    float getAngleVar() const { return angleVar; }
    void setAngleVar(float v) { angleVar = v; }
    Mode getEmitterMode() const { return emitterMode; }
    void setEmitterMode(Mode mode) { emitterMode = mode; }
    float getStartSize() const { return startSize; }
    void setStartSize(float v) { startSize = v; }
    float getStartSizeVar() const { return startSizeVar; }
    void setStartSizeVar(float v) { startSizeVar = v; }
    float getEndSize() const { return endSize; }
    void setEndSize(float v) { endSize = v; }
    float getEndSizeVar() const { return endSizeVar; }
    void setEndSizeVar(float v) { endSizeVar = v; }
    const Color4F& getStartColor() const { return startColor; }
    void setStartColor(const Color4F& c) { startColor = c; }
    const Color4F& getStartColorVar() const { return startColorVar; }
    void setStartColorVar(const Color4F& c) { startColorVar = c; }
    const Color4F& getEndColor() const { return endColor; }
    void setEndColor(const Color4F& c) { endColor = c; }
    const Color4F& getEndColorVar() const { return endColorVar; }
    void setEndColorVar(const Color4F& c) { endColorVar = c; }
    float getStartSpin() const { return startSpin; }
    void setStartSpin(float v) { startSpin = v; }
    float getStartSpinVar() const { return startSpinVar; }
    void setStartSpinVar(float v) { startSpinVar = v; }
    float getEndSpin() const { return endSpin; }
    void setEndSpin(float v) { endSpin = v; }
    float getEndSpinVar() const { return endSpinVar; }
    void setEndSpinVar(float v) { endSpinVar = v; }
    float getEmissionRate() const { return emissionRate; }
    void setEmissionRate(float rate) { emissionRate = rate; }
    PositionType getPositionType() const { return positionType; }
    void setPositionType(PositionType type) { positionType = type; }

protected:
    virtual void updateBlendFunc();
    // Fills the record at index particleCount with a newborn particle.
    void initParticle(Particle* particle);
    // Where the emitter is for its position type: the particles' frame of reference.
    Vec2 currentEmitterPosition() const;
    bool stepParticle(Particle* particle, float dt, const Vec2& currentPosition, const Mat4& worldToNode);
    void removeDeadParticle(int index);

    bool isAutoRemoveOnFinishFlag = false;
    float elapsed = 0.0f;
    struct {
        Vec2 gravity;
        float speed = 0.0f;
        float speedVar = 0.0f;
        float tangentialAccel = 0.0f;
        float tangentialAccelVar = 0.0f;
        float radialAccel = 0.0f;
        float radialAccelVar = 0.0f;
        bool rotationIsDir = false;
    } modeA;
    struct {
        float startRadius = 0.0f;
        float startRadiusVar = 0.0f;
        float endRadius = 0.0f;
        float endRadiusVar = 0.0f;
        float rotatePerSecond = 0.0f;
        float rotatePerSecondVar = 0.0f;
    } modeB;
    std::vector<Particle> particles;  // allocatedParticles zeroed records
    float emitCounter = 0.0f;
    int particleIdx = 0;
    ParticleBatchNode* batchNode = nullptr;  // not retained: the batch is the parent
    int atlasIndex = 0;
    int allocatedParticles = 0;
    bool isActiveFlag = true;
    int particleCount = 0;
    float duration = 0.0f;
    Vec2 sourcePosition;
    Vec2 posVar;
    float life = 0.0f;
    float lifeVar = 0.0f;
    float angle = 0.0f;
    float angleVar = 0.0f;
    Mode emitterMode = Mode::GRAVITY;
    float startSize = 0.0f;
    float startSizeVar = 0.0f;
    float endSize = 0.0f;
    float endSizeVar = 0.0f;
    Color4F startColor{0.0f, 0.0f, 0.0f, 0.0f};
    Color4F startColorVar{0.0f, 0.0f, 0.0f, 0.0f};
    Color4F endColor{0.0f, 0.0f, 0.0f, 0.0f};
    Color4F endColorVar{0.0f, 0.0f, 0.0f, 0.0f};
    float startSpin = 0.0f;
    float startSpinVar = 0.0f;
    float endSpin = 0.0f;
    float endSpinVar = 0.0f;
    float emissionRate = 0.0f;
    int totalParticles = 0;
    Texture2D* texture = nullptr;  // retained
    BlendFunc blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
    bool opacityModifyRGB = false;
    int yCoordFlipped = 1;
    PositionType positionType = PositionType::FREE;
};

}  // namespace kite
