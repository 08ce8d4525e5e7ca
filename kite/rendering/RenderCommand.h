// Base of the render commands that nodes hand to the renderer each frame.
#pragma once
#include <cstdint>

#include "kite/foundation/math/Mat4.h"

namespace kite {

class RenderCommand {
public:
    enum class Type : std::int32_t {
        UNKNOWN_COMMAND = 0,
        QUAD_COMMAND = 1,
        CUSTOM_COMMAND = 2,
        BATCH_COMMAND = 3,
        GROUP_COMMAND = 4,
        MESH_COMMAND = 5,
        PRIMITIVE_COMMAND = 6,
        TRIANGLES_COMMAND = 7,
    };

    // The node's visit flag that asks for 3D rendering.
    static constexpr std::uint32_t FLAGS_RENDER_AS_3D = 1u << 3;

    RenderCommand() = default;
    virtual ~RenderCommand() = default;

    // Stores the global order; with the 3D flag, takes the depth of the
    // transform in the visiting camera's view.
    void init(float globalOrder, const Mat4& modelViewTransform, std::uint32_t flags) {
        globalOrder_ = globalOrder;
        is3D_ = (flags & FLAGS_RENDER_AS_3D) != 0;
        depth_ = is3D_ ? depthInView(modelViewTransform) : 0.0f;
    }

    float getGlobalOrder() const { return globalOrder_; }
    Type getType() const { return type_; }
    bool isTransparent() const { return isTransparent_; }
    void setTransparent(bool transparent) { isTransparent_ = transparent; }
    bool isSkipBatching() const { return skipBatching_; }
    void setSkipBatching(bool skip) { skipBatching_ = skip; }
    bool is3D() const { return is3D_; }
    void set3D(bool value) { is3D_ = value; }
    float getDepth() const { return depth_; }

protected:
    static float depthInView(const Mat4& modelViewTransform);

    Type type_ = Type::UNKNOWN_COMMAND;
    float globalOrder_ = 0.0f;
    bool isTransparent_ = true;
    bool skipBatching_ = false;
    bool is3D_ = false;
    float depth_ = 0.0f;
};

}  // namespace kite
