#include "kite/scene/ParticleBatchNode.h"

#include <algorithm>
#include <cstring>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/ParticleSystemQuad.h"

namespace kite {

ParticleBatchNode* ParticleBatchNode::createWithTexture(Texture2D* texture, int capacity) {
    return createAutoreleased<ParticleBatchNode>(texture, capacity);
}

ParticleBatchNode::~ParticleBatchNode() {
    for (Node* child : children) {
        if (auto* system = dynamic_cast<ParticleSystem*>(child)) system->setBatchNode(nullptr);
    }
    releaseAndClear(textureAtlas);
}

bool ParticleBatchNode::initWithTexture(Texture2D* texture, int capacity) {
    if (!texture) {
        log("ParticleBatchNode: no texture");
        return false;
    }
    textureAtlas = TextureAtlas::createWithTexture(texture, std::max(capacity, 1));
    if (!textureAtlas) {
        log("ParticleBatchNode: cannot make an atlas of %d quads", capacity);
        return false;
    }
    textureAtlas->retain();
    blendFunc = texture->hasPremultipliedAlpha() ? BlendFunc::ALPHA_PREMULTIPLIED : BlendFunc::ALPHA_NON_PREMULTIPLIED;
    setGLProgramState(GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR));
    return true;
}

Texture2D* ParticleBatchNode::getTexture() const { return textureAtlas ? textureAtlas->getTexture() : nullptr; }

void ParticleBatchNode::setTexture(Texture2D* texture) {
    if (!textureAtlas || !texture) return;
    textureAtlas->setTexture(texture);
    for (Node* child : children) static_cast<ParticleSystemQuad*>(child)->setTexture(texture);
}

void ParticleBatchNode::addChildHelper(Node* child, int localZ, int childTag, const std::string& childName,
                                       bool setTag) {
    auto* system = dynamic_cast<ParticleSystemQuad*>(child);
    if (!system || system->getParent() || system->getBatchNode()) {
        log("ParticleBatchNode: only a particle system without a parent can join");
        return;
    }
    const ssize_t first = textureAtlas->getTotalQuads();
    const ssize_t needed = first + system->getTotalParticles();
    if (needed > textureAtlas->getCapacity() &&
        !textureAtlas->resizeCapacity(std::max(needed, textureAtlas->getCapacity() * 2))) {
        log("ParticleBatchNode: no room for %d more quads", system->getTotalParticles());
        return;
    }
    Node::addChildHelper(child, localZ, childTag, childName, setTag);
    if (child->getParent() != this) return;
    system->setAtlasIndex(static_cast<int>(first));
    textureAtlas->increaseTotalQuadsWith(system->getTotalParticles());
    system->setBatchNode(this);
    system->setTexture(textureAtlas->getTexture());
}

// Takes the child's run out of the atlas and moves the later runs down over it.
void ParticleBatchNode::releaseQuadsOf(Node* child) {
    auto* system = dynamic_cast<ParticleSystemQuad*>(child);
    if (!system || system->getBatchNode() != this) return;
    const ssize_t start = system->getAtlasIndex();
    const ssize_t total = textureAtlas->getTotalQuads();
    const ssize_t count = std::min<ssize_t>(system->getTotalParticles(), total - start);
    if (start < 0 || count <= 0) {
        system->setBatchNode(nullptr);
        return;
    }
    PosColorTexQuad* quads = textureAtlas->getQuads();
    const auto after = static_cast<std::size_t>(total - start - count);
    std::memmove(quads + start, quads + start + count, sizeof(PosColorTexQuad) * after);
    textureAtlas->removeAllQuads();
    textureAtlas->increaseTotalQuadsWith(total - count);
    for (Node* other : children) {
        auto* later = static_cast<ParticleSystemQuad*>(other);
        if (later->getAtlasIndex() > start) later->setAtlasIndex(later->getAtlasIndex() - static_cast<int>(count));
    }
    system->setBatchNode(nullptr);
}

void ParticleBatchNode::removeChild(Node* child, bool cleanup) {
    if (!child || child->getParent() != this || !children.contains(child)) return;
    RefPtr<Node> keep(child);
    releaseQuadsOf(child);
    Node::removeChild(child, cleanup);
}

void ParticleBatchNode::removeAllChildrenWithCleanup(bool cleanup) {
    for (Node* child : children) static_cast<ParticleSystem*>(child)->setBatchNode(nullptr);
    textureAtlas->removeAllQuads();
    Node::removeAllChildrenWithCleanup(cleanup);
}

void ParticleBatchNode::disableParticle(int particleIndex) {
    if (particleIndex < 0 || particleIndex >= textureAtlas->getCapacity()) return;
    PosColorTexQuad& quad = textureAtlas->getQuads()[particleIndex];
    quad.tl.vertices.x = quad.tl.vertices.y = 0.0f;
    quad.bl.vertices.x = quad.bl.vertices.y = 0.0f;
    quad.tr.vertices.x = quad.tr.vertices.y = 0.0f;
    quad.br.vertices.x = quad.br.vertices.y = 0.0f;
}

void ParticleBatchNode::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    if (!renderer || textureAtlas->getTotalQuads() == 0) return;
    batchCommand.init(globalZOrder, getGLProgram(), blendFunc, textureAtlas, transform, flags);
    renderer->addCommand(&batchCommand);
}

}  // namespace kite
