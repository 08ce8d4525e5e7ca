// Vertex streams, buffers and the primitive that a primitive command draws.
#pragma once
#include <GLES2/gl2.h>

#include <vector>

namespace kite {

// A GL vertex buffer and the byte size of one vertex in it.
struct VertexBuffer {
    GLuint name = 0;
    int sizePerVertex = 0;
};

// A GL index buffer of 16-bit (type 0) or 32-bit indices.
struct IndexBuffer {
    enum class IndexType { INDEX_TYPE_SHORT_16 = 0, INDEX_TYPE_UINT_32 = 1 };
    GLuint name = 0;
    IndexType type = IndexType::INDEX_TYPE_SHORT_16;
    int getSizePerIndex() const { return type == IndexType::INDEX_TYPE_SHORT_16 ? 2 : 4; }
};

// One attribute read from a vertex buffer.
struct VertexStreamAttribute {
    const VertexBuffer* buffer = nullptr;
    GLuint semantic = 0;  // attribute location
    GLint size = 0;
    GLenum type = GL_FLOAT;
    bool normalize = false;
    int offset = 0;
};

// The streams of one primitive.
class VertexData {
public:
    void addStream(const VertexStreamAttribute& stream) { streams_.push_back(stream); }
    const std::vector<VertexStreamAttribute>& getStreams() const { return streams_; }
    // Enables every stream's attribute and points it into its buffer.
    void use() const;

private:
    std::vector<VertexStreamAttribute> streams_;
};

class Primitive {
public:
    Primitive(const VertexData* vertexData, const IndexBuffer* indices, GLenum type)
        : vertexData_(vertexData), indices_(indices), type_(type) {}

    void setStart(int start) { start_ = start; }
    void setCount(int count) { count_ = count; }
    int getStart() const { return start_; }
    int getCount() const { return count_; }

    // Indexed when an index buffer is set, else an array draw; unbinds both buffer targets after.
    void draw() const;

private:
    const VertexData* vertexData_;
    const IndexBuffer* indices_;
    GLenum type_;
    int start_ = 0;
    int count_ = 0;
};

}  // namespace kite
