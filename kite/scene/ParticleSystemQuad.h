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
    // Frees the quads and deletes the system's own GL buffers.
    ~ParticleSystemQuad() override;

    bool initWithTotalParticles(int numberOfParticles) override;
    std::string description() const override;

    // Draws nothing without a texture, or while a batch node draws the quads. The renderer draws the quads
    // from memory, where neighbouring systems of one material share a draw call: the game's many small bursts
    // cost one call instead of one each (bench/particles.cpp), so the system's own buffers are kept up to date
    // but not drawn from.
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;
    void updateQuadWithParticle(Particle* particle, const Vec2& newPosition) override;
    // Uploads the step's quads into the system's vertex buffer.
    void postStep() override;

    // Growing past the allocation clears the live particles; both reset the system.
    void setTotalParticles(int total) override;
    void setTexture(Texture2D* newTexture) override;
    void setBatchNode(ParticleBatchNode* batch) override;
    // Texture coordinates of every quad from a rectangle of the texture, in points.
    void initTexCoordsWithRect(const Rect& pointRect);

    const PosColorTexQuad* getQuads() const { return quads.data(); }
    // The system's own GL objects: 0 inside a batch (and the array object where the driver has none).
    GLuint getVertexArrayName() const { return VAOname; }
    GLuint getVertexBufferName() const { return buffersVBO[0]; }
    GLuint getIndexBufferName() const { return buffersVBO[1]; }

protected:
    // The quad a particle is drawn with: the batch atlas's or this emitter's own.
    PosColorTexQuad* quadFor(const Particle* particle);
    // Zeroed quads and their indices for count particles; false (and neither) without the memory.
    bool allocateQuads(int count);
    // Six indices a quad, in the quads' corner order.
    void initIndices();
    // Makes the vertex and index buffers afresh from the quads and indices, with an array object that holds
    // the attribute layout where the driver has them.
    void setupBuffers();
    void deleteBuffers();

    std::vector<PosColorTexQuad> quads;  // one per total particle; empty inside a batch
    std::vector<GLushort> indices;       // six per quad; empty inside a batch
    GLuint VAOname = 0;
    GLuint buffersVBO[2] = {0, 0};  // vertices, indices
    QuadCommand quadCommand;
};

}  // namespace kite
