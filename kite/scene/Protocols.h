// Secondary interfaces of drawing nodes: the blend pair, and the texture with its blend pair.
#pragma once
#include "kite/rendering/ktTypes.h"

namespace kite {

class Texture2D;

class BlendProtocol {
public:
    virtual ~BlendProtocol() = default;
    virtual void setBlendFunc(const BlendFunc& blendFunc) = 0;
    virtual const BlendFunc& getBlendFunc() const = 0;
};

class TextureProtocol : public BlendProtocol {
public:
    virtual Texture2D* getTexture() const = 0;
    virtual void setTexture(Texture2D* texture) = 0;
};

}  // namespace kite
