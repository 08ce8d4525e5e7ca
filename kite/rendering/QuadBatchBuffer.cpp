#include "kite/rendering/QuadBatchBuffer.h"

#include <GLES2/gl2ext.h>

#include <cstddef>

#include "kite/rendering/GLStateCache.h"
#include "platform/GLExtensions.h"

namespace kite {

namespace {

constexpr int kNarrowCapacity = 65536 / 4;  // quads that 16-bit indices reach
constexpr int kWideCapacity = 65536;

template <class Index>
void uploadQuadIndices(int quads) {
    std::vector<Index> indices(static_cast<std::size_t>(quads) * 6);
    fillQuadIndices(indices.data(), static_cast<std::size_t>(quads));
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(Index)), indices.data(),
                 GL_STATIC_DRAW);
}

}  // namespace

void pointBatchVertexAttributes() {
    constexpr GLsizei stride = sizeof(PosColorTexVertex);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PosColorTexVertex, vertices)));
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, reinterpret_cast<void*>(offsetof(PosColorTexVertex, colors)));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(PosColorTexVertex, texCoords)));
}

void unbindBatchBuffers(bool usesVAO) {
    if (usesVAO) {
        GLStateCache::bindVAO(0);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
}

QuadBatchBuffer::~QuadBatchBuffer() {
    if (!created_ || !toGL_) return;
    discard();
    glDeleteBuffers(RING, vbos_);
    glDeleteBuffers(1, &indexBuffer_);
    if (usesVAO_) {
        platform::glDeleteVertexArraysOES(RING, vaos_);
        GLStateCache::bindVAO(0);
    }
}

void QuadBatchBuffer::create(bool toGL, bool usesVAO, bool wideIndices) {
    if (created_) return;
    created_ = true;
    toGL_ = toGL;
    usesVAO_ = usesVAO;
    wideIndices_ = wideIndices;
    capacity_ = wideIndices ? kWideCapacity : kNarrowCapacity;
    maps_ = toGL && platform::loadGLExtensions().mapBuffer;
    if (!maps_) staging_.resize(static_cast<std::size_t>(capacity_) * 4);
    if (!toGL) return;

    GLStateCache::bindVAO(0);
    glGenBuffers(1, &indexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    if (wideIndices)
        uploadQuadIndices<GLuint>(capacity_);
    else
        uploadQuadIndices<GLushort>(capacity_);
    glGenBuffers(RING, vbos_);
    if (usesVAO) platform::glGenVertexArraysOES(RING, vaos_);
    for (int i = 0; i < RING; ++i) {
        if (usesVAO) GLStateCache::bindVAO(vaos_[i]);
        glBindBuffer(GL_ARRAY_BUFFER, vbos_[i]);
        // Storage is made once: batches write into it, they never orphan it.
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(PosColorTexVertex) * 4 * capacity_), nullptr,
                     GL_DYNAMIC_DRAW);
        if (usesVAO) {
            glEnableVertexAttribArray(0);
            glEnableVertexAttribArray(1);
            glEnableVertexAttribArray(2);
            pointBatchVertexAttributes();
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
        }
    }
    GLStateCache::bindVAO(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void QuadBatchBuffer::bindSlot() {
    if (usesVAO_) GLStateCache::bindVAO(vaos_[slot_]);
    glBindBuffer(GL_ARRAY_BUFFER, slotVBO());
}

// Each batch takes the next buffer of the ring, so it does not write storage that a draw
// still queued in the driver reads.
void QuadBatchBuffer::begin() {
    slot_ = (slot_ + 1) % RING;
    target_ = staging_.data();
    if (!maps_) return;
    bindSlot();
    auto* mapped = static_cast<PosColorTexVertex*>(platform::glMapBufferOES(GL_ARRAY_BUFFER, GL_WRITE_ONLY_OES));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (usesVAO_) GLStateCache::bindVAO(0);
    if (mapped) {
        target_ = mapped;
        mapped_ = true;
    } else {
        // A driver that refuses the mapping gets the batch through glBufferSubData.
        maps_ = false;
        staging_.resize(static_cast<std::size_t>(capacity_) * 4);
        target_ = staging_.data();
    }
}

PosColorTexVertex* QuadBatchBuffer::reserve(int quads) {
    if (!target_) begin();
    PosColorTexVertex* room = target_ + static_cast<std::size_t>(quads_) * 4;
    quads_ += quads;
    return room;
}

void QuadBatchBuffer::finish() {
    if (!target_) return;
    if (toGL_) {
        bindSlot();
        if (mapped_)
            platform::glUnmapBufferOES(GL_ARRAY_BUFFER);
        else
            glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(sizeof(PosColorTexVertex) * 4 * quads_),
                            staging_.data());
        if (!usesVAO_) {
            GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
            pointBatchVertexAttributes();
        }
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
        if (usesVAO_) glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    target_ = nullptr;
    mapped_ = false;
    quads_ = 0;
}

void QuadBatchBuffer::unbind() {
    if (toGL_) unbindBatchBuffers(usesVAO_);
}

void QuadBatchBuffer::discard() {
    if (mapped_) {
        bindSlot();
        platform::glUnmapBufferOES(GL_ARRAY_BUFFER);
        unbind();
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    target_ = nullptr;
    mapped_ = false;
    quads_ = 0;
}

}  // namespace kite
