#include "kite/scene/SpriteBatchNode.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteFrame.h"

namespace kite {

SpriteBatchNode* SpriteBatchNode::createWithTexture(Texture2D* texture, ssize_t capacity) {
    return createAutoreleased<SpriteBatchNode>(texture, capacity);
}

SpriteBatchNode* SpriteBatchNode::create(const std::string& fileImage, ssize_t capacity) {
    Texture2D* texture = Director::getInstance()->getTextureCache()->addImage(fileImage);
    if (!texture) return nullptr;
    return createWithTexture(texture, capacity);
}

SpriteBatchNode::~SpriteBatchNode() {
    // The children leave batch mode: their atlas goes with this node.
    for (Sprite* sprite : descendants_) sprite->setBatchNode(nullptr);
    releaseAndClear(textureAtlas_);
}

bool SpriteBatchNode::init(Texture2D* texture, ssize_t capacity) { return initWithTexture(texture, capacity); }

bool SpriteBatchNode::initWithTexture(Texture2D* texture, ssize_t capacity) {
    blendFunc_ = texture && !texture->hasPremultipliedAlpha() ? BlendFunc::ALPHA_NON_PREMULTIPLIED
                                                              : BlendFunc::ALPHA_PREMULTIPLIED;
    if (capacity <= 0) capacity = DEFAULT_CAPACITY;
    releaseAndClear(textureAtlas_);
    textureAtlas_ = TextureAtlas::createWithTexture(texture, capacity);
    if (!textureAtlas_) {
        log("SpriteBatchNode: cannot make an atlas of %zd quads", capacity);
        return false;
    }
    textureAtlas_->retain();
    updateBlendFunc();
    children.reserve(static_cast<std::size_t>(capacity));
    descendants_.reserve(static_cast<std::size_t>(capacity));
    setGLProgramState(GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR));
    return true;
}

bool SpriteBatchNode::init() {
    Texture2D* texture = Texture2D::create();
    return initWithTexture(texture, 0);
}

std::string SpriteBatchNode::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<SpriteBatchNode | tag = %d>", tag);
    return text;
}

Texture2D* SpriteBatchNode::getTexture() const { return textureAtlas_ ? textureAtlas_->getTexture() : nullptr; }

void SpriteBatchNode::setTexture(Texture2D* texture) {
    if (!textureAtlas_) return;
    textureAtlas_->setTexture(texture);
    updateBlendFunc();
}

void SpriteBatchNode::updateBlendFunc() {
    const Texture2D* texture = getTexture();
    const bool premultiplied = texture && texture->hasPremultipliedAlpha();
    blendFunc_ = premultiplied ? BlendFunc::ALPHA_PREMULTIPLIED : BlendFunc::ALPHA_NON_PREMULTIPLIED;
    setOpacityModifyRGB(premultiplied);
}

// ---- children

void SpriteBatchNode::addChild(Node* child, int localZ, int tag) {
    auto* sprite = dynamic_cast<Sprite*>(child);
    if (child && !sprite) {
        log("SpriteBatchNode: children must be sprites");
        return;
    }
    Node::addChild(child, localZ, tag);
    if (sprite && sprite->getParent() == this) appendChild(sprite);
}

void SpriteBatchNode::addChild(Node* child, int localZ, const std::string& name) {
    auto* sprite = dynamic_cast<Sprite*>(child);
    if (child && !sprite) {
        log("SpriteBatchNode: children must be sprites");
        return;
    }
    Node::addChild(child, localZ, name);
    if (sprite && sprite->getParent() == this) appendChild(sprite);
}

void SpriteBatchNode::reorderChild(Node* child, int localZ) {
    if (!child || child->getLocalZOrder() == localZ) return;
    Node::reorderChild(child, localZ);
}

void SpriteBatchNode::removeChild(Node* child, bool cleanup) {
    auto* sprite = dynamic_cast<Sprite*>(child);
    if (!sprite || sprite->getParent() != this) return;
    removeSpriteFromAtlas(sprite);
    Node::removeChild(sprite, cleanup);
}

void SpriteBatchNode::removeAllChildrenWithCleanup(bool cleanup) {
    for (Sprite* sprite : descendants_) sprite->setBatchNode(nullptr);
    Node::removeAllChildrenWithCleanup(cleanup);
    descendants_.clear();
    if (textureAtlas_) textureAtlas_->removeAllQuads();
}

bool SpriteBatchNode::increaseAtlasCapacity() {
    const ssize_t capacity = textureAtlas_->getCapacity();
    ssize_t quantity = (capacity + 1) * 4 / 3;
    // The last step stops at what 16-bit indices address instead of failing short of it.
    if (quantity > TextureAtlas::MAX_CAPACITY && capacity < TextureAtlas::MAX_CAPACITY) {
        quantity = TextureAtlas::MAX_CAPACITY;
    }
    if (!textureAtlas_->resizeCapacity(quantity)) {
        if (!atlasFullReported_) log("SpriteBatchNode: cannot grow the atlas to %zd quads", quantity);
        atlasFullReported_ = true;
        return false;
    }
    return true;
}

void SpriteBatchNode::appendChild(Sprite* sprite) {
    if (!textureAtlas_) return;
    reorderChildDirty = true;
    sprite->setBatchNode(this);
    sprite->setDirty(true);
    if (textureAtlas_->getTotalQuads() == textureAtlas_->getCapacity() && !increaseAtlasCapacity()) {
        // Without room the sprite stays out of the atlas and is not drawn.
        sprite->setBatchNode(nullptr);
        return;
    }
    descendants_.push_back(sprite);
    const ssize_t index = static_cast<ssize_t>(descendants_.size()) - 1;
    sprite->setAtlasIndex(index);
    textureAtlas_->insertQuad(&sprite->getQuad(), index);
    for (Node* child : sprite->getChildren()) {
        if (auto* childSprite = dynamic_cast<Sprite*>(child)) appendChild(childSprite);
    }
}

void SpriteBatchNode::removeSpriteFromAtlas(Sprite* sprite) {
    if (!sprite) return;
    auto it = std::find(descendants_.begin(), descendants_.end(), sprite);
    if (it != descendants_.end() && textureAtlas_) textureAtlas_->removeQuadAtIndex(sprite->getAtlasIndex());
    sprite->setBatchNode(nullptr);
    if (it != descendants_.end()) {
        for (auto later = it + 1; later != descendants_.end(); ++later) {
            (*later)->setAtlasIndex((*later)->getAtlasIndex() - 1);
        }
        descendants_.erase(it);
    }
    for (Node* child : sprite->getChildren()) {
        if (auto* childSprite = dynamic_cast<Sprite*>(child)) removeSpriteFromAtlas(childSprite);
    }
}

void SpriteBatchNode::insertQuadFromSprite(Sprite* sprite, ssize_t index) {
    if (!sprite || !textureAtlas_ || index < 0) return;
    while (index >= textureAtlas_->getCapacity() || textureAtlas_->getCapacity() == textureAtlas_->getTotalQuads()) {
        if (!increaseAtlasCapacity()) return;
    }
    sprite->setBatchNode(this);
    sprite->setAtlasIndex(index);
    textureAtlas_->insertQuad(&sprite->getQuad(), index);
    sprite->setDirty(true);
    sprite->updateTransform();
}

void SpriteBatchNode::addSpriteWithoutQuad(Sprite* child, int z, int tag) {
    if (!child) return;
    child->setAtlasIndex(z);
    auto it =
        std::find_if(descendants_.begin(), descendants_.end(), [z](Sprite* s) { return s->getAtlasIndex() >= z; });
    descendants_.insert(it, child);
    Node::addChild(child, z, tag);
    reorderChildDirty = false;
}

// ---- order

void SpriteBatchNode::sortAllChildren() {
    if (!reorderChildDirty) return;
    std::vector<Node*> sorted(children.begin(), children.end());
    std::stable_sort(sorted.begin(), sorted.end(), Node::childDrawOrderLess);
    std::copy(sorted.begin(), sorted.end(), children.begin());
    if (!children.empty()) {
        for (Node* child : children) child->sortAllChildren();
        ssize_t index = 0;
        for (Node* child : children) {
            if (auto* sprite = dynamic_cast<Sprite*>(child)) updateAtlasIndex(sprite, &index);
        }
    }
    reorderChildDirty = false;
}

void SpriteBatchNode::updateAtlasIndex(Sprite* sprite, ssize_t* currentIndex) {
    auto place = [&](Sprite* s) {
        const ssize_t oldIndex = s->getAtlasIndex();
        s->setAtlasIndex(*currentIndex);
        s->setOrderOfArrival(0);
        if (oldIndex != *currentIndex) swap(oldIndex, *currentIndex);
        ++*currentIndex;
    };
    const Vector<Node*>& kids = sprite->getChildren();
    if (kids.empty()) {
        place(sprite);
        return;
    }
    bool needNewIndex = true;
    if (kids.front()->getLocalZOrder() >= 0) {
        place(sprite);
        needNewIndex = false;
    }
    for (Node* child : kids) {
        auto* childSprite = dynamic_cast<Sprite*>(child);
        if (!childSprite) continue;
        if (needNewIndex && childSprite->getLocalZOrder() >= 0) {
            place(sprite);
            needNewIndex = false;
        }
        updateAtlasIndex(childSprite, currentIndex);
    }
    if (needNewIndex) place(sprite);
}

void SpriteBatchNode::swap(ssize_t oldIndex, ssize_t newIndex) {
    if (oldIndex < 0 || newIndex < 0 || static_cast<std::size_t>(oldIndex) >= descendants_.size() ||
        static_cast<std::size_t>(newIndex) >= descendants_.size() || oldIndex >= textureAtlas_->getCapacity() ||
        newIndex >= textureAtlas_->getCapacity()) {
        return;
    }
    PosColorTexQuad* quads = textureAtlas_->getQuads();
    std::swap(quads[oldIndex], quads[newIndex]);
    descendants_[static_cast<std::size_t>(newIndex)]->setAtlasIndex(oldIndex);
    std::swap(descendants_[static_cast<std::size_t>(oldIndex)], descendants_[static_cast<std::size_t>(newIndex)]);
}

// ---- drawing

void SpriteBatchNode::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!visible || !isVisibleToCamera()) return;
    sortAllChildren();
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, modelViewTransform);
    draw(renderer, modelViewTransform, flags);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void SpriteBatchNode::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    if (!renderer || !textureAtlas_ || textureAtlas_->getTotalQuads() == 0) return;
    for (Node* child : children) child->updateTransform();
    batchCommand_.init(globalZOrder, getGLProgram(), blendFunc_, textureAtlas_, transform, flags);
    renderer->addCommand(&batchCommand_);
}

}  // namespace kite
