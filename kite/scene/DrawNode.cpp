#include "kite/scene/DrawNode.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"
#include "platform/GLExtensions.h"

namespace kite {

namespace {

// Largest vertex count a batch may hold: its byte size must fit a GLsizeiptr and an int.
constexpr int kMaxVertices = std::numeric_limits<int>::max() / static_cast<int>(sizeof(DrawNode::Vertex));

// Below this, two edges turn back on themselves and the miter has no finite length.
constexpr double kStraightBackLimit = 1e-6;

Vec2 unitPerpendicular(const Vec2& from, const Vec2& to) {
    Vec2 d(to.x - from.x, to.y - from.y);
    const float length = d.length();
    if (length <= 2e-37f) return Vec2(0.0f, 0.0f);
    return Vec2(-d.y / length, d.x / length);
}

void pointAttributes() {
    const auto stride = static_cast<GLsizei>(sizeof(DrawNode::Vertex));
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(DrawNode::Vertex, position)));
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<const void*>(offsetof(DrawNode::Vertex, color)));
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_TEX_COORD, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(DrawNode::Vertex, texCoord)));
}

// Unbinds what a draw routine bound and counts its one draw call.
void finishBatchDraw(bool usesVAO, int vertexCount) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (usesVAO) GLStateCache::bindVAO(0);
    if (Renderer* renderer = frameRenderer()) {
        renderer->addDrawnBatches(1);
        renderer->addDrawnVertices(vertexCount);
    }
}

GLProgram* useProgram(GLProgram* program, const Mat4& transform) {
    if (program) {
        program->use();
        program->setUniformsForBuiltins(transform);
    }
    return program;
}

}  // namespace

DrawNode* DrawNode::create() { return createAutoreleased<DrawNode>(); }

DrawNode::~DrawNode() {
    for (Batch* batch : {&triangles_, &points_, &lines_}) {
        if (batch->vbo) glDeleteBuffers(1, &batch->vbo);
        if (batch->vao) {
            GLStateCache::bindVAO(0);
            platform::glDeleteVertexArraysOES(1, &batch->vao);
        }
    }
}

bool DrawNode::init() {
    blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
    setGLProgramState(
        GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR));
    if (!ensureCapacity(512) || !ensureCapacityGLPoint(64) || !ensureCapacityGLLine(256)) return false;
    usesVAO_ = Configuration::getInstance()->supportsVertexArrayObject();
    for (Batch* batch : {&triangles_, &lines_, &points_}) setupBatch(*batch);
    if (usesVAO_) GLStateCache::bindVAO(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    triangles_.dirty = points_.dirty = lines_.dirty = true;
    return true;
}

bool DrawNode::ensureBatchCapacity(Batch& batch, int n) {
    if (n < 0 || n > kMaxVertices - batch.bufferCount) {
        log("DrawNode: no room for %d more vertices", n);
        return false;
    }
    if (batch.bufferCount + n <= batch.bufferCapacity) return true;
    // Grows at least twofold, capped where the byte size would overflow.
    const int growth = std::max(batch.bufferCapacity, n);
    batch.bufferCapacity = batch.bufferCapacity > kMaxVertices - growth ? kMaxVertices : batch.bufferCapacity + growth;
    batch.buffer.resize(static_cast<std::size_t>(batch.bufferCapacity));
    return true;
}

void DrawNode::setupBatch(Batch& batch) {
    if (usesVAO_) {
        platform::glGenVertexArraysOES(1, &batch.vao);
        GLStateCache::bindVAO(batch.vao);
    }
    glGenBuffers(1, &batch.vbo);
    glBindBuffer(GL_ARRAY_BUFFER, batch.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(Vertex)) * batch.bufferCapacity, batch.buffer.data(),
                 GL_STREAM_DRAW);
    if (usesVAO_) {
        for (GLuint index :
             {GLProgram::VERTEX_ATTRIB_POSITION, GLProgram::VERTEX_ATTRIB_COLOR, GLProgram::VERTEX_ATTRIB_TEX_COORD}) {
            glEnableVertexAttribArray(index);
        }
        pointAttributes();
    }
}

void DrawNode::drawPolygon(const Vec2* verts, int count, const Color4F& fillColor, float borderWidth,
                           const Color4F& borderColor) {
    if (!verts || count < 3) {
        log("DrawNode: a polygon needs at least 3 vertices, got %d", verts ? count : 0);
        return;
    }
    const bool outline = borderColor.a > 0.0f && borderWidth > 0.0f;
    const long long triangleCount = outline ? 3LL * count - 2 : count - 2LL;
    if (triangleCount * 3 > kMaxVertices || !ensureCapacity(static_cast<int>(triangleCount * 3))) return;

    const Color4B fill(fillColor);
    const Tex2F none;
    Vertex* out = triangles_.buffer.data() + triangles_.bufferCount;
    for (int i = 0; i + 2 < count; ++i) {
        *out++ = Vertex{verts[0], fill, none};
        *out++ = Vertex{verts[i + 1], fill, none};
        *out++ = Vertex{verts[i + 2], fill, none};
    }
    triangles_.bufferCount += 3 * (count - 2);
    if (outline) appendOutline(verts, count, borderWidth, Color4B(borderColor));
    triangles_.dirty = true;
}

void DrawNode::appendOutline(const Vec2* verts, int count, float borderWidth, const Color4B& border) {
    struct Corner {
        Vec2 offset;  // the miter: how far the border's sides move at this vertex
        Vec2 normal;  // of the edge that leaves this vertex
    };
    std::vector<Corner> corners(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const Vec2& p0 = verts[(i - 1 + count) % count];
        const Vec2& p1 = verts[i];
        const Vec2& p2 = verts[(i + 1) % count];
        const Vec2 a = unitPerpendicular(p0, p1);
        const Vec2 b = unitPerpendicular(p1, p2);
        const double denominator = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y + 1.0;
        // An edge that turns straight back has no miter: the border keeps the incoming edge's width.
        const double scale = denominator > kStraightBackLimit ? 1.0 / denominator : 0.0;
        corners[i].offset = denominator > kStraightBackLimit
                                ? Vec2(static_cast<float>((a.x + b.x) * scale), static_cast<float>((a.y + b.y) * scale))
                                : a;
        corners[i].normal = b;
    }
    Vertex* out = triangles_.buffer.data() + triangles_.bufferCount;
    for (int i = 0; i < count; ++i) {
        const int j = (i + 1) % count;
        const Vec2 e = corners[i].normal;
        const Tex2F outward{e.x, e.y};
        const Tex2F inward{-e.x, -e.y};
        const Vec2 inner0 = verts[i] - corners[i].offset * borderWidth;
        const Vec2 inner1 = verts[j] - corners[j].offset * borderWidth;
        const Vec2 outer0 = verts[i] + corners[i].offset * borderWidth;
        const Vec2 outer1 = verts[j] + corners[j].offset * borderWidth;
        *out++ = Vertex{inner0, border, inward};
        *out++ = Vertex{inner1, border, inward};
        *out++ = Vertex{outer1, border, outward};
        *out++ = Vertex{inner0, border, inward};
        *out++ = Vertex{outer0, border, outward};
        *out++ = Vertex{outer1, border, outward};
    }
    triangles_.bufferCount += 6 * count;
}

void DrawNode::clear() {
    for (Batch* batch : {&triangles_, &points_, &lines_}) {
        batch->bufferCount = 0;
        batch->dirty = true;
    }
}

void DrawNode::queueBatch(Renderer* renderer, Batch& batch, void (DrawNode::*routine)(const Mat4&, uint32_t),
                          const Mat4& transform, uint32_t flags) {
    if (batch.bufferCount == 0) return;
    batch.customCommand.init(globalZOrder, transform, flags);
    batch.customCommand.func = [this, routine, transform, flags] { (this->*routine)(transform, flags); };
    renderer->addCommand(&batch.customCommand);
}

void DrawNode::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    if (!renderer) return;
    queueBatch(renderer, triangles_, &DrawNode::onDraw, transform, flags);
    queueBatch(renderer, points_, &DrawNode::onDrawGLPoint, transform, flags);
    queueBatch(renderer, lines_, &DrawNode::onDrawGLLine, transform, flags);
}

void DrawNode::uploadIfDirty(Batch& batch) {
    if (!batch.dirty) return;
    glBindBuffer(GL_ARRAY_BUFFER, batch.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(Vertex)) * batch.bufferCapacity, batch.buffer.data(),
                 GL_STREAM_DRAW);
    batch.dirty = false;
}

void DrawNode::bindBatch(const Batch& batch) {
    if (usesVAO_) {
        GLStateCache::bindVAO(batch.vao);
    } else {
        GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
        glBindBuffer(GL_ARRAY_BUFFER, batch.vbo);
        pointAttributes();
    }
}

void DrawNode::onDraw(const Mat4& transform, uint32_t) {
    if (!useProgram(getGLProgram(), transform)) return;
    GLStateCache::blendFunc(blendFunc.src, blendFunc.dst);
    uploadIfDirty(triangles_);
    bindBatch(triangles_);
    glDrawArrays(GL_TRIANGLES, 0, triangles_.bufferCount);
    finishBatchDraw(usesVAO_, triangles_.bufferCount);
}

void DrawNode::onDrawGLPoint(const Mat4& transform, uint32_t) {
    GLProgramCache* cache = GLProgramCache::getInstance();
    if (!useProgram(cache->getGLProgram(GLProgram::SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE), transform)) return;
    uploadIfDirty(points_);
    bindBatch(points_);
    glDrawArrays(GL_POINTS, 0, points_.bufferCount);
    finishBatchDraw(usesVAO_, points_.bufferCount);
}

void DrawNode::onDrawGLLine(const Mat4& transform, uint32_t) {
    GLProgramCache* cache = GLProgramCache::getInstance();
    if (!useProgram(cache->getGLProgram(GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR), transform)) return;
    uploadIfDirty(lines_);
    bindBatch(lines_);
    glLineWidth(2.0f);
    glDrawArrays(GL_LINES, 0, lines_.bufferCount);
    finishBatchDraw(usesVAO_, lines_.bufferCount);
}

}  // namespace kite
