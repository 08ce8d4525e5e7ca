// Hosts the quads of several particle systems that share a texture in one atlas, drawn in one call.
#pragma once
#include "kite/rendering/BatchCommand.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/Node.h"
#include "kite/scene/Protocols.h"

namespace kite {

class TextureAtlas;

// Only quad particle systems may be children. Each takes a run of atlas quads from its atlas index, in
// the order the systems were added; the batch draws every run with the batch's texture and blending.
class ParticleBatchNode : public Node, public TextureProtocol {
public:
    static constexpr int DEFAULT_CAPACITY = 500;

    static ParticleBatchNode* createWithTexture(Texture2D* texture, int capacity = DEFAULT_CAPACITY);

    ParticleBatchNode() = default;
    ~ParticleBatchNode() override;

    // A null texture or an atlas that cannot be had is refused with a log line.
    bool initWithTexture(Texture2D* texture, int capacity);
    using Node::init;
    bool init(Texture2D* texture, int capacity) { return initWithTexture(texture, capacity); }

    void removeChild(Node* child, bool cleanup = true) override;
    void removeAllChildrenWithCleanup(bool cleanup) override;
    // Collapses one particle's quad so that it shows nothing.
    void disableParticle(int particleIndex);

    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;

    TextureAtlas* getTextureAtlas() const { return textureAtlas; }
    Texture2D* getTexture() const override;
    void setTexture(Texture2D* texture) override;
    void setBlendFunc(const BlendFunc& blend) override { blendFunc = blend; }
    const BlendFunc& getBlendFunc() const override { return blendFunc; }

protected:
    // Anything but a quad particle system without a parent is refused with a log line.
    void addChildHelper(Node* child, int localZ, int tag, const std::string& name, bool setTag) override;

private:
    void releaseQuadsOf(Node* child);

    TextureAtlas* textureAtlas = nullptr;  // retained
    BlendFunc blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
    BatchCommand batchCommand;
};

}  // namespace kite
