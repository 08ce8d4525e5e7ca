#include "kite/rendering/TextureAtlas.h"

#include <GLES2/gl2ext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/QuadBatchBuffer.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "platform/GLExtensions.h"

namespace kite {

TextureAtlas* TextureAtlas::createWithTexture(Texture2D* texture, ssize_t capacity) {
    auto* atlas = new (std::nothrow) TextureAtlas();
    if (atlas && atlas->initWithTexture(texture, capacity)) {
        atlas->autorelease();
        return atlas;
    }
    delete atlas;
    return nullptr;
}

TextureAtlas::~TextureAtlas() {
    std::free(quads_);
    std::free(indices_);
    if (buffersVBO_[0] || buffersVBO_[1]) glDeleteBuffers(2, buffersVBO_);
    if (usesVAO_ && vaoName_) {
        platform::glDeleteVertexArraysOES(1, &vaoName_);
        GLStateCache::bindVAO(0);
    }
    releaseAndClear(texture_);
}

bool TextureAtlas::initWithTexture(Texture2D* texture, ssize_t capacity) {
    if (capacity < 0 || capacity > MAX_CAPACITY) {
        kite::log("TextureAtlas: capacity %ld is beyond the %ld quads 16-bit indices address",
                  static_cast<long>(capacity), static_cast<long>(MAX_CAPACITY));
        return false;
    }
    totalQuads_ = 0;
    capacity_ = capacity;
    assignRetained(texture_, texture);
    const std::size_t n = static_cast<std::size_t>(capacity);
    quads_ = static_cast<PosColorTexQuad*>(std::calloc(n ? n : 1, sizeof(PosColorTexQuad)));
    indices_ = static_cast<GLushort*>(std::calloc(n ? n * 6 : 1, sizeof(GLushort)));
    if (!quads_ || !indices_) {
        kite::log("TextureAtlas: no memory for %ld quads", static_cast<long>(capacity));
        freeStorage();
        releaseAndClear(texture_);
        return false;
    }
    setupIndices();
    setupBuffers();
    dirty_ = true;
    return true;
}

void TextureAtlas::freeStorage() {
    std::free(quads_);
    std::free(indices_);
    quads_ = nullptr;
    indices_ = nullptr;
    capacity_ = 0;
    totalQuads_ = 0;
}

void TextureAtlas::setupIndices() {
    if (capacity_ > 0) fillQuadIndices(indices_, static_cast<std::size_t>(capacity_));
}

void TextureAtlas::uploadBuffers() {
    glBindBuffer(GL_ARRAY_BUFFER, buffersVBO_[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(PosColorTexQuad) * capacity_), quads_,
                 GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffersVBO_[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(GLushort) * 6 * capacity_), indices_,
                 GL_STATIC_DRAW);
}

void TextureAtlas::setupBuffers() {
    usesVAO_ = Configuration::getInstance()->supportsVertexArrayObject();
    if (usesVAO_) {
        platform::glGenVertexArraysOES(1, &vaoName_);
        GLStateCache::bindVAO(vaoName_);
        glGenBuffers(2, buffersVBO_);
        uploadBuffers();
        glBindBuffer(GL_ARRAY_BUFFER, buffersVBO_[0]);
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glEnableVertexAttribArray(2);
        pointBatchVertexAttributes();
        GLStateCache::bindVAO(0);
    } else {
        GLStateCache::bindVAO(0);
        glGenBuffers(2, buffersVBO_);
        uploadBuffers();
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void TextureAtlas::updateQuad(const PosColorTexQuad* quad, ssize_t index) {
    if (index < 0 || index >= capacity_) return;
    totalQuads_ = std::max(totalQuads_, index + 1);
    quads_[index] = *quad;
    dirty_ = true;
}

void TextureAtlas::insertQuad(const PosColorTexQuad* quad, ssize_t index) {
    if (index < 0 || index > totalQuads_ || totalQuads_ >= capacity_) return;
    ++totalQuads_;
    const ssize_t moving = totalQuads_ - 1 - index;
    if (moving > 0) std::memmove(&quads_[index + 1], &quads_[index], sizeof(PosColorTexQuad) * moving);
    quads_[index] = *quad;
    dirty_ = true;
}

void TextureAtlas::removeQuadAtIndex(ssize_t index) {
    if (index < 0 || index >= totalQuads_) return;
    const ssize_t moving = totalQuads_ - 1 - index;
    if (moving > 0) std::memmove(&quads_[index], &quads_[index + 1], sizeof(PosColorTexQuad) * moving);
    --totalQuads_;
    dirty_ = true;
}

bool TextureAtlas::resizeCapacity(ssize_t newCapacity) {
    if (newCapacity == capacity_) return true;
    if (newCapacity < 0 || newCapacity > MAX_CAPACITY) {
        kite::log("TextureAtlas: capacity %ld is beyond the %ld quads 16-bit indices address",
                  static_cast<long>(newCapacity), static_cast<long>(MAX_CAPACITY));
        return false;  // the atlas stays as it was
    }
    const ssize_t oldCapacity = capacity_;
    totalQuads_ = std::min(totalQuads_, newCapacity);
    capacity_ = newCapacity;
    const std::size_t n = static_cast<std::size_t>(newCapacity);

    auto* quads = static_cast<PosColorTexQuad*>(std::realloc(quads_, (n ? n : 1) * sizeof(PosColorTexQuad)));
    if (quads) quads_ = quads;
    auto* indices = static_cast<GLushort*>(std::realloc(indices_, (n ? n * 6 : 1) * sizeof(GLushort)));
    if (indices) indices_ = indices;
    if (!quads || !indices) {
        kite::log("TextureAtlas: no memory to resize to %ld quads", static_cast<long>(newCapacity));
        freeStorage();
        return false;
    }
    if (newCapacity > oldCapacity) std::fill(quads_ + oldCapacity, quads_ + newCapacity, PosColorTexQuad());
    setupIndices();
    uploadBuffers();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    dirty_ = true;
    return true;
}

void TextureAtlas::setTexture(Texture2D* texture) { assignRetained(texture_, texture); }

void TextureAtlas::drawNumberOfQuads(ssize_t numberOfQuads, ssize_t start) {
    if (numberOfQuads <= 0) return;
    // Never read past the buffers.
    if (start < 0 || start >= capacity_) return;
    if (numberOfQuads > capacity_ - start) numberOfQuads = capacity_ - start;

    GLStateCache::bindTexture2D(texture_ ? texture_->getName() : 0);
    const auto count = static_cast<GLsizei>(numberOfQuads * 6);
    const auto* offset = reinterpret_cast<const void*>(sizeof(GLushort) * 6 * static_cast<std::size_t>(start));
    const auto bytes = static_cast<GLsizeiptr>(sizeof(PosColorTexQuad) * totalQuads_);
    if (usesVAO_) {
        if (dirty_) {
            glBindBuffer(GL_ARRAY_BUFFER, buffersVBO_[0]);
            // Orphan the old storage so the copy does not wait for draws still reading it.
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(PosColorTexQuad) * capacity_), nullptr,
                         GL_DYNAMIC_DRAW);
            if (void* mapped = platform::glMapBufferOES(GL_ARRAY_BUFFER, GL_WRITE_ONLY_OES)) {
                std::memcpy(mapped, quads_, static_cast<std::size_t>(bytes));
                platform::glUnmapBufferOES(GL_ARRAY_BUFFER);
            } else {
                glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, quads_);
            }
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            dirty_ = false;
        }
        GLStateCache::bindVAO(vaoName_);
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, offset);
        GLStateCache::bindVAO(0);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, buffersVBO_[0]);
        if (dirty_) {
            glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, quads_);
            dirty_ = false;
        }
        GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
        pointBatchVertexAttributes();
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffersVBO_[1]);
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, offset);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
    if (Renderer* renderer = frameRenderer()) {
        renderer->addDrawnBatches(1);
        renderer->addDrawnVertices(count);
    }
}

std::string TextureAtlas::description() const {
    char text[64];
    std::snprintf(text, sizeof(text), "<TextureAtlas | totalQuads = %d>", static_cast<int>(totalQuads_));
    return text;
}

}  // namespace kite
