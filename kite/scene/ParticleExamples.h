// The built-in particle effects.
#pragma once
#include "kite/scene/ParticleSystemQuad.h"

namespace kite {

class Texture2D;

// The texture the built-in effects use, made once and kept in the director's texture cache; null when it
// cannot be made.
Texture2D* defaultParticleTexture();

// A short burst in every direction from the middle of the window.
class ParticleExplosion : public ParticleSystemQuad {
public:
    static ParticleExplosion* create();
    static ParticleExplosion* createWithTotalParticles(int numberOfParticles);

    ParticleExplosion() = default;

    bool init() override { return initWithTotalParticles(700); }
    bool initWithTotalParticles(int numberOfParticles) override;
};

}  // namespace kite
