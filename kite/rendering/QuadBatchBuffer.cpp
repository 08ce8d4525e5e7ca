#include "kite/rendering/QuadBatchBuffer.h"

#include <GLES2/gl2ext.h>

#include <algorithm>
#include <cstddef>

#include "kite/rendering/GLStateCache.h"
#include "platform/GLExtensions.h"

namespace kite {

namespace {

constexpr int kNarrowCapacity = 65536 / 4;  // quads that 16-bit indices reach
// With 32-bit indices: a sprite storm of 100,000 draws in one call. A batch's buffers grow to what
// it holds, never to this.
constexpr int kWideCapacity = 131072;

template <class Index>
void uploadQuadIndices(int quads) {
    std::vector<Index> indices(static_cast<std::size_t>(quads) * 6);
    fillQuadIndices(indices.data(), static_cast<std::size_t>(quads));
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(Index)), indices.data(),
                 GL_STATIC_DRAW);
}

// Quads a buffer grown for `quads` holds: an eighth more, in steps of 1,024 quads, so a batch
// that grows a little each frame does not remake the storage every time.
int grownFor(int quads, int capacity) { return std::min((quads + quads / 8 + 1023) / 1024 * 1024, capacity); }

}  // namespace

void pointBatchVertexAttributes() {
    constexpr GLsizei stride = sizeof(PosColorTexVertex);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(PosColorTexVertex, vertices)));
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<void*>(offsetof(PosColorTexVertex, colors)));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(PosColorTexVertex, texCoords)));
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
    if (!toGL) return;

    // The index buffer is filled for the largest batch yet (finish grows it).
    GLStateCache::bindVAO(0);
    glGenBuffers(1, &indexBuffer_);
    glGenBuffers(RING, vbos_);
    if (usesVAO) platform::glGenVertexArraysOES(RING, vaos_);
    for (int i = 0; i < RING; ++i) {
        if (usesVAO) GLStateCache::bindVAO(vaos_[i]);
        glBindBuffer(GL_ARRAY_BUFFER, vbos_[i]);
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
// still queued in the driver reads. A buffer's storage grows with the largest batch it got (it is
// never orphaned); the batches are written straight into it through a mapping, and through
// memory of their own only while the storage grows or where the driver cannot map.
void QuadBatchBuffer::begin() {
    slot_ = (slot_ + 1) % RING;
    if (!maps_ || slotQuads_[slot_] == 0) {
        target_ = stagingFor(0);
        return;
    }
    bindSlot();
    auto* mapped = static_cast<PosColorTexVertex*>(platform::glMapBufferOES(GL_ARRAY_BUFFER, GL_WRITE_ONLY_OES));
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (usesVAO_) GLStateCache::bindVAO(0);
    if (mapped) {
        target_ = mapped;
        mapped_ = true;
    } else {
        maps_ = false;  // a driver that refuses the mapping gets every batch through glBufferSubData
        target_ = stagingFor(0);
    }
}

PosColorTexVertex* QuadBatchBuffer::stagingFor(int quads) {
    const std::size_t needed = static_cast<std::size_t>(quads) * 4;
    if (staging_.size() < needed) staging_.resize(std::max(needed, staging_.size() * 2));
    return staging_.data();
}

PosColorTexVertex* QuadBatchBuffer::reserveMore(int quads) {
    if (!open_) {
        begin();
        open_ = true;
    }
    const int filled = quads_;
    quads_ += quads;
    if (mapped_ && quads_ > slotQuads_[slot_]) {
        // Past the storage: what is written moves to memory, the storage grows at finish.
        PosColorTexVertex* moved = stagingFor(quads_);
        std::copy(target_, target_ + static_cast<std::size_t>(filled) * 4, moved);
        bindSlot();
        platform::glUnmapBufferOES(GL_ARRAY_BUFFER);
        unbind();
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        mapped_ = false;
        target_ = moved;
    } else if (!mapped_) {
        target_ = stagingFor(quads_);
    }
    room_ = mapped_ ? slotQuads_[slot_] : static_cast<int>(staging_.size() / 4);
    return target_ + static_cast<std::size_t>(filled) * 4;
}

void QuadBatchBuffer::upload() {
    const auto bytes = [](int quads) { return static_cast<GLsizeiptr>(sizeof(PosColorTexVertex) * 4 * quads); };
    if (quads_ > slotQuads_[slot_]) {
        slotQuads_[slot_] = grownFor(quads_, capacity_);
        glBufferData(GL_ARRAY_BUFFER, bytes(slotQuads_[slot_]), nullptr, GL_DYNAMIC_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, bytes(quads_), staging_.data());
    // Mapped batches need no memory of their own once the storage has grown.
    if (maps_) std::vector<PosColorTexVertex>().swap(staging_);
}

void QuadBatchBuffer::finish() {
    if (!open_) return;
    if (toGL_) {
        bindSlot();
        if (mapped_)
            platform::glUnmapBufferOES(GL_ARRAY_BUFFER);
        else
            upload();
        if (!usesVAO_) {
            GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
            pointBatchVertexAttributes();
        }
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
        if (quads_ > indexQuads_) {
            indexQuads_ = grownFor(quads_, capacity_);
            if (wideIndices_)
                uploadQuadIndices<GLuint>(indexQuads_);
            else
                uploadQuadIndices<GLushort>(indexQuads_);
        }
        if (usesVAO_) glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    target_ = nullptr;
    open_ = false;
    mapped_ = false;
    quads_ = 0;
    room_ = 0;
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
    open_ = false;
    mapped_ = false;
    quads_ = 0;
    room_ = 0;
}

}  // namespace kite
