// A node that draws the vector geometry it has accumulated: filled polygons with an optional outline.
#pragma once
#include <GLES2/gl2.h>

#include <cstdint>
#include <vector>

#include "kite/foundation/math/Color.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/Node.h"
#include "kite/scene/Protocols.h"

namespace kite {

class DrawNode : public Node, public BlendProtocol {
public:
    // One vertex as GL reads it. For outline vertices the texture coordinate carries the edge normal
    // the shader uses to mask the border; filled triangles use (0, 0).
    struct Vertex {
        Vec2 position;
        Color4B color;
        Tex2F texCoord;
    };
    static_assert(sizeof(Vertex) == 20, "the vertex layout is uploaded as is");

    static DrawNode* create();

    DrawNode() = default;
    ~DrawNode() override;

    bool init() override;

    // Fans the fill from the first vertex; an outline straddles the edges when the border is visible.
    // Fewer than 3 vertices, or more than the buffer can take, are refused with a log line.
    void drawPolygon(const Vec2* verts, int count, const Color4F& fillColor, float borderWidth,
                     const Color4F& borderColor);
    // Forgets the geometry; capacities and GL buffers stay.
    void clear();

    // Room for n more vertices in each batch; false (with a log line) when that size cannot be had.
    bool ensureCapacity(int n) { return ensureBatchCapacity(triangles_, n); }
    bool ensureCapacityGLPoint(int n) { return ensureBatchCapacity(points_, n); }
    bool ensureCapacityGLLine(int n) { return ensureBatchCapacity(lines_, n); }
    const Vertex* getVertices() const { return triangles_.buffer.data(); }
    int getVertexCount() const { return triangles_.bufferCount; }
    int getVertexCapacity() const { return triangles_.bufferCapacity; }

    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;

    void setBlendFunc(const BlendFunc& blend) override { blendFunc = blend; }
    const BlendFunc& getBlendFunc() const override { return blendFunc; }

private:
    // One growable client array mirrored in a GL buffer, drawn by its own command.
    struct Batch {
        GLuint vao = 0;
        GLuint vbo = 0;
        int bufferCapacity = 0;
        int bufferCount = 0;
        std::vector<Vertex> buffer;  // bufferCapacity entries
        CustomCommand customCommand;
        bool dirty = false;
    };

    bool ensureBatchCapacity(Batch& batch, int n);
    void setupBatch(Batch& batch);
    void uploadIfDirty(Batch& batch);
    void bindBatch(const Batch& batch);
    void queueBatch(Renderer* renderer, Batch& batch, void (DrawNode::*routine)(const Mat4&, uint32_t),
                    const Mat4& transform, uint32_t flags);
    void appendOutline(const Vec2* verts, int count, float borderWidth, const Color4B& borderColor);

    void onDraw(const Mat4& transform, uint32_t flags);
    void onDrawGLPoint(const Mat4& transform, uint32_t flags);
    void onDrawGLLine(const Mat4& transform, uint32_t flags);

    Batch triangles_;
    Batch points_;
    // Kept for the point batch's callers to come; no drawing routine reads it yet.
    Color4F pointColor{0.f, 0.f, 0.f, 0.f};
    Batch lines_;
    bool usesVAO_ = false;  // decided when the buffers are made
    BlendFunc blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
};

}  // namespace kite
