// Where the renderer's quad batches go: a small ring of vertex buffers that the quads are written
// into in place (mapped where the driver can), and one index buffer of the quad pattern.
#pragma once
#include <GLES2/gl2.h>

#include <vector>

#include "kite/rendering/ktTypes.h"

namespace kite {

// Points attributes 0-2 (position, colour, texture coordinate) at the bound array buffer of vertices.
void pointBatchVertexAttributes();
// Unbinds a batch's buffers: its vertex array object, or the two buffers where there is none.
void unbindBatchBuffers(bool usesVAO);

class QuadBatchBuffer {
public:
    QuadBatchBuffer() = default;
    ~QuadBatchBuffer();
    QuadBatchBuffer(const QuadBatchBuffer&) = delete;
    QuadBatchBuffer& operator=(const QuadBatchBuffer&) = delete;

    // Makes the GL buffers; with 32-bit indices a batch holds 131,072 quads, else 16,384. The
    // buffers' storage grows with the largest batch.
    // Without GL (toGL false) batches are written to memory and never drawn.
    void create(bool toGL, bool usesVAO, bool wideIndices);

    // Quads one batch holds.
    int getCapacity() const { return capacity_; }
    GLenum getIndexType() const { return wideIndices_ ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT; }
    std::size_t getIndexSize() const { return wideIndices_ ? sizeof(GLuint) : sizeof(GLushort); }

    // Room for the next `count` quads of the current batch (one is begun when none is open);
    // the caller keeps the batch within getCapacity().
    PosColorTexVertex* reserve(int quads) {
        // Inline while the open batch has room where it is being written.
        if (quads_ + quads <= room_) {
            PosColorTexVertex* at = target_ + static_cast<std::size_t>(quads_) * 4;
            quads_ += quads;
            return at;
        }
        return reserveMore(quads);
    }
    int getQuadCount() const { return quads_; }
    // Ends the batch: its vertices reach the buffer, which is left bound with the indices for drawing.
    void finish();
    // Unbinds what finish bound.
    void unbind();
    // Drops an open batch without drawing it.
    void discard();

private:
    static constexpr int RING = 2;

    void begin();
    PosColorTexVertex* reserveMore(int quads);
    void bindSlot();
    // Memory of the batch's own for at least `quads` quads (what it holds is kept).
    PosColorTexVertex* stagingFor(int quads);
    // Copies the batch from memory into the bound buffer, growing its storage when needed.
    void upload();
    GLuint slotVBO() const { return vbos_[slot_]; }

    std::vector<PosColorTexVertex> staging_;  // written where the buffer is not mapped
    PosColorTexVertex* target_ = nullptr;     // the open batch's first vertex
    bool open_ = false;
    bool mapped_ = false;
    int quads_ = 0;
    int room_ = 0;  // quads the open batch's target holds; 0 when none is open
    int capacity_ = 0;
    int slot_ = 0;
    GLuint vbos_[RING] = {};
    int slotQuads_[RING] = {};  // quads each buffer's storage holds
    GLuint vaos_[RING] = {};
    GLuint indexBuffer_ = 0;
    int indexQuads_ = 0;  // quads the index buffer's pattern covers
    bool created_ = false;
    bool toGL_ = false;
    bool usesVAO_ = false;
    bool wideIndices_ = false;
    bool maps_ = false;
};

}  // namespace kite
