// Vertex, quad and blend-pair layouts shared by every textured drawing path.
#pragma once
#include <GLES2/gl2.h>

#include <cstddef>

#include "kite/foundation/math/Color.h"
#include "kite/foundation/math/Vec3.h"

namespace kite {

// A texture coordinate.
struct Tex2F {
    GLfloat u = 0.0f;
    GLfloat v = 0.0f;
};

// One vertex as the GPU reads it: position, colour (normalised bytes), texture coordinate.
struct PosColorTexVertex {
    Vec3 vertices;
    Color4B colors;
    Tex2F texCoords;
};

// Corners in the order top-left, bottom-left, top-right, bottom-right; quad q
// is drawn with the indices 4q, 4q+1, 4q+2, 4q+3, 4q+2, 4q+1.
struct PosColorTexQuad {
    PosColorTexVertex tl;
    PosColorTexVertex bl;
    PosColorTexVertex tr;
    PosColorTexVertex br;
};

static_assert(sizeof(PosColorTexVertex) == 24, "a vertex is 24 bytes");
static_assert(offsetof(PosColorTexVertex, colors) == 12, "colour at byte 12");
static_assert(offsetof(PosColorTexVertex, texCoords) == 16, "texture coordinate at byte 16");
static_assert(sizeof(PosColorTexQuad) == 96, "a quad is 96 bytes");

// The index pattern above for quads 0 .. count - 1, six indices each, from out onwards
// (16-bit indices, or 32-bit ones where the driver takes them).
template <class Index>
inline void fillQuadIndices(Index* out, std::size_t count) {
    for (std::size_t q = 0; q < count; ++q, out += 6) {
        const auto v = static_cast<Index>(q * 4);
        out[0] = v;
        out[1] = static_cast<Index>(v + 1);
        out[2] = static_cast<Index>(v + 2);
        out[3] = static_cast<Index>(v + 3);
        out[4] = static_cast<Index>(v + 2);
        out[5] = static_cast<Index>(v + 1);
    }
}

// A pair of GL blend factors; {GL_ONE, GL_ZERO} means blending off.
struct BlendFunc {
    GLenum src;
    GLenum dst;

    static const BlendFunc DISABLE;
    static const BlendFunc ALPHA_PREMULTIPLIED;
    static const BlendFunc ALPHA_NON_PREMULTIPLIED;
    static const BlendFunc ADDITIVE;

    bool operator==(const BlendFunc& other) const { return src == other.src && dst == other.dst; }
    bool operator!=(const BlendFunc& other) const { return !(*this == other); }
    bool operator<(const BlendFunc& other) const { return src < other.src || (src == other.src && dst < other.dst); }
};

inline constexpr BlendFunc BlendFunc::DISABLE{GL_ONE, GL_ZERO};
inline constexpr BlendFunc BlendFunc::ALPHA_PREMULTIPLIED{GL_ONE, GL_ONE_MINUS_SRC_ALPHA};
inline constexpr BlendFunc BlendFunc::ALPHA_NON_PREMULTIPLIED{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
inline constexpr BlendFunc BlendFunc::ADDITIVE{GL_SRC_ALPHA, GL_ONE};

}  // namespace kite
