// What the mesh light pass reads of one light of the running scene, in world space.
#pragma once
#include "kite/foundation/math/Vec3.h"

namespace kite {

struct SceneLight {
    enum class Type { DIRECTIONAL = 0, POINT = 1, SPOT = 2, AMBIENT = 3 };

    Type type = Type::AMBIENT;
    // Matched against a mesh's light mask: the light reaches meshes whose mask shares a bit with it.
    unsigned int flag = 1;
    Vec3 color;      // 0..1 per channel, intensity applied
    Vec3 position;   // point and spot lights
    Vec3 direction;  // directional and spot lights: where the light travels
    // Point and spot lights: the light fades to nothing at this distance.
    float range = 0.0f;
    float innerAngleCos = 1.0f;  // spot lights: full light inside this cone,
    float outerAngleCos = 1.0f;  // none outside this one
};

}  // namespace kite
