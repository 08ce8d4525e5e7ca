// A particle emitter that draws its live particles as textured quads in one quad command.
#pragma once
#include <string>
#include <vector>

#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/ParticleSystem.h"

namespace kite {

class ParticleSystemQuad : public ParticleSystem {
public:
    static ParticleSystemQuad* create(int numberOfParticles);

    ParticleSystemQuad() = default;

    bool initWithTotalParticles(int numberOfParticles) override;
    std::string description() const override;

    // Draws nothing without a texture, or while a batch node draws the quads.
    // The renderer reads the quads from memory: no buffer of the system's own to upload after a step.
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;
    void updateQuadWithParticle(Particle* particle, const Vec2& newPosition) override;

    // Growing past the allocation clears the live particles; both reset the system.
    void setTotalParticles(int total) override;
    void setTexture(Texture2D* newTexture) override;
    void setBatchNode(ParticleBatchNode* batch) override;
    // Texture coordinates of every quad from a rectangle of the texture, in points.
    void initTexCoordsWithRect(const Rect& pointRect);

    const PosColorTexQuad* getQuads() const { return quads.data(); }

protected:
    // The quad a particle is drawn with: the batch atlas's or this emitter's own.
    PosColorTexQuad* quadFor(const Particle* particle);

    std::vector<PosColorTexQuad> quads;  // one per total particle; empty inside a batch
    QuadCommand quadCommand;
};

}  // namespace kite
