#include "kite/rendering/Primitive.h"

#include <cstdint>

#include "kite/rendering/GLStateCache.h"

namespace kite {

void VertexData::use() const {
    std::uint32_t flags = 0;
    for (const auto& stream : streams_) flags |= 1u << stream.semantic;
    GLStateCache::enableVertexAttribs(flags);
    for (const auto& stream : streams_) {
        if (!stream.buffer) continue;
        glBindBuffer(GL_ARRAY_BUFFER, stream.buffer->name);
        glVertexAttribPointer(stream.semantic, stream.size, stream.type, stream.normalize ? GL_TRUE : GL_FALSE,
                              stream.buffer->sizePerVertex,
                              reinterpret_cast<const void*>(static_cast<std::uintptr_t>(stream.offset)));
    }
}

void Primitive::draw() const {
    if (vertexData_) vertexData_->use();
    if (indices_) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices_->name);
        const GLenum type =
            indices_->type == IndexBuffer::IndexType::INDEX_TYPE_SHORT_16 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
        const auto offset =
            static_cast<std::uintptr_t>(start_) * static_cast<std::uintptr_t>(indices_->getSizePerIndex());
        glDrawElements(type_, count_, type, reinterpret_cast<const void*>(offset));
    } else {
        glDrawArrays(type_, start_, count_);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

}  // namespace kite
