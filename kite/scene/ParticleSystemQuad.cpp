#include "kite/scene/ParticleSystemQuad.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/Director.h"
#include "kite/scene/ParticleBatchNode.h"

namespace kite {

namespace {

uint8_t toByte(float v) { return static_cast<uint8_t>(static_cast<int>(v)); }

}  // namespace

ParticleSystemQuad* ParticleSystemQuad::create(int numberOfParticles) {
    auto* system = new (std::nothrow) ParticleSystemQuad();
    if (system && system->initWithTotalParticles(numberOfParticles)) {
        system->autorelease();
        return system;
    }
    delete system;
    return nullptr;
}

bool ParticleSystemQuad::initWithTotalParticles(int numberOfParticles) {
    if (!ParticleSystem::initWithTotalParticles(numberOfParticles)) return false;
    if (!allocateQuads(numberOfParticles)) {
        log("ParticleSystemQuad: no memory for %d quads", numberOfParticles);
        return false;
    }
    setupBuffers();
    setGLProgramState(
        GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP));
    return true;
}

std::string ParticleSystemQuad::description() const {
    char text[96];
    std::snprintf(text, sizeof text, "<ParticleSystemQuad | Tag = %d, Total Particles = %d>", tag, totalParticles);
    return text;
}

PosColorTexQuad* ParticleSystemQuad::quadFor(const Particle* particle) {
    if (batchNode) {
        TextureAtlas* atlas = batchNode->getTextureAtlas();
        const ssize_t index = atlasIndex + static_cast<ssize_t>(particle->atlasIndex);
        return index < atlas->getCapacity() ? atlas->getQuads() + index : nullptr;
    }
    return particleIdx < static_cast<int>(quads.size()) ? &quads[particleIdx] : nullptr;
}

void ParticleSystemQuad::updateQuadWithParticle(Particle* particle, const Vec2& newPosition) {
    PosColorTexQuad* quad = quadFor(particle);
    if (!quad) return;
    const Color4F& c = particle->color;
    const Color4B color =
        opacityModifyRGB
            ? Color4B(toByte(c.r * c.a * 255), toByte(c.g * c.a * 255), toByte(c.b * c.a * 255), toByte(c.a * 255))
            : Color4B(toByte(c.r * 255), toByte(c.g * 255), toByte(c.b * 255), toByte(c.a * 255));
    quad->bl.colors = quad->br.colors = quad->tl.colors = quad->tr.colors = color;

    const float half = particle->size / 2.0f;
    const float x = newPosition.x;
    const float y = newPosition.y;
    if (particle->rotation == 0.0f) {
        quad->bl.vertices.x = x - half;
        quad->bl.vertices.y = y - half;
        quad->br.vertices.x = x + half;
        quad->br.vertices.y = y - half;
        quad->tl.vertices.x = x - half;
        quad->tl.vertices.y = y + half;
        quad->tr.vertices.x = x + half;
        quad->tr.vertices.y = y + half;
        return;
    }
    const float r = -particle->rotation * kDegreesToRadians;
    const float cr = std::cos(r);
    const float sr = std::sin(r);
    auto corner = [&](Vec3& out, float ox, float oy) {
        out.x = ox * cr - oy * sr + x;
        out.y = ox * sr + oy * cr + y;
    };
    corner(quad->bl.vertices, -half, -half);
    corner(quad->br.vertices, half, -half);
    corner(quad->tr.vertices, half, half);
    corner(quad->tl.vertices, -half, half);
}

void ParticleSystemQuad::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    // A system without texture has nothing to sample; inside a batch the batch draws.
    if (!renderer || particleIdx <= 0 || !texture || batchNode) return;
    quadCommand.init(globalZOrder, texture->getName(), glProgramState, blendFunc, quads.data(), particleIdx,
                     keepDrawTransform(transform), flags);
    renderer->addCommand(&quadCommand);
}

void ParticleSystemQuad::initTexCoordsWithRect(const Rect& pointRect) {
    const float scale = director->getContentScaleFactor();
    const Rect rect(pointRect.origin.x * scale, pointRect.origin.y * scale, pointRect.size.width * scale,
                    pointRect.size.height * scale);
    float wide = rect.size.width;
    float high = rect.size.height;
    if (texture) {
        wide = static_cast<float>(texture->getPixelsWide());
        high = static_cast<float>(texture->getPixelsHigh());
    }
    if (wide <= 0.0f || high <= 0.0f) return;
    const float left = rect.origin.x / wide;
    const float top = rect.origin.y / high;
    const float right = left + rect.size.width / wide;
    const float bottom = top + rect.size.height / high;

    PosColorTexQuad* first = quads.data();
    ssize_t count = static_cast<ssize_t>(quads.size());
    if (batchNode) {
        TextureAtlas* atlas = batchNode->getTextureAtlas();
        count = std::min<ssize_t>(totalParticles, atlas->getCapacity() - atlasIndex);
        first = atlas->getQuads() + atlasIndex;
    }
    for (ssize_t i = 0; i < count; ++i) {
        first[i].tl.texCoords = Tex2F{left, top};
        first[i].bl.texCoords = Tex2F{left, bottom};
        first[i].tr.texCoords = Tex2F{right, top};
        first[i].br.texCoords = Tex2F{right, bottom};
    }
}

void ParticleSystemQuad::setTexture(Texture2D* newTexture) {
    if (!texture || !newTexture || texture->getName() != newTexture->getName()) ParticleSystem::setTexture(newTexture);
    if (newTexture) initTexCoordsWithRect(Rect(Vec2(0.0f, 0.0f), newTexture->getContentSize()));
}

void ParticleSystemQuad::setTotalParticles(int total) {
    if (total < 0) {
        log("ParticleSystemQuad: a negative particle count (%d) is refused", total);
        return;
    }
    if (total > allocatedParticles) {
        if (batchNode) {
            log("ParticleSystemQuad: a system in a batch cannot grow past %d particles", allocatedParticles);
            return;
        }
        std::vector<Particle> newParticles;
        std::vector<PosColorTexQuad> newQuads;
        std::vector<GLushort> newIndices;
        try {
            newParticles.assign(static_cast<std::size_t>(total), Particle());
            newQuads.assign(static_cast<std::size_t>(total), PosColorTexQuad());
            newIndices.resize(static_cast<std::size_t>(total) * 6);
        } catch (const std::exception&) {
            log("ParticleSystemQuad: no memory for %d particles; the total stays %d", total, totalParticles);
            return;
        }
        particles.swap(newParticles);
        quads.swap(newQuads);
        indices.swap(newIndices);
        particleCount = 0;
        allocatedParticles = totalParticles = total;
        initIndices();
        setupBuffers();
        if (texture) initTexCoordsWithRect(Rect(Vec2(0.0f, 0.0f), texture->getContentSize()));
    } else {
        totalParticles = total;
    }
    // A life of zero gives an endless rate: the whole total is born at once, and lives as long as the life
    // variance lets it.
    emissionRate = static_cast<float>(totalParticles) / life;
    resetSystem();
}

void ParticleSystemQuad::setBatchNode(ParticleBatchNode* batch) {
    if (batchNode == batch) return;
    ParticleBatchNode* oldBatch = batchNode;
    ParticleSystem::setBatchNode(batch);
    if (!batch) {
        if (!allocateQuads(totalParticles)) {
            log("ParticleSystemQuad: no memory for %d quads; the system draws nothing", totalParticles);
            return;
        }
        if (oldBatch) setTexture(oldBatch->getTexture());
        setupBuffers();
        return;
    }
    if (!oldBatch) {
        TextureAtlas* atlas = batch->getTextureAtlas();
        for (std::size_t i = 0; i < quads.size(); ++i) {
            atlas->updateQuad(&quads[i], atlasIndex + static_cast<ssize_t>(i));
        }
        std::vector<PosColorTexQuad>().swap(quads);
        std::vector<GLushort>().swap(indices);
        deleteBuffers();
    }
}

bool ParticleSystemQuad::allocateQuads(int count) {
    try {
        quads.assign(static_cast<std::size_t>(count), PosColorTexQuad());
        indices.assign(static_cast<std::size_t>(count) * 6, 0);
    } catch (const std::exception&) {
        std::vector<PosColorTexQuad>().swap(quads);
        std::vector<GLushort>().swap(indices);
        return false;
    }
    initIndices();
    return true;
}

}  // namespace kite
