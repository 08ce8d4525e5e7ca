// The quad system's own GL objects: a vertex buffer refreshed after every step, a fixed index buffer,
// and an array object holding their layout where the driver has them.
#include <cstddef>

#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/scene/ParticleSystemQuad.h"
#include "platform/GLExtensions.h"

namespace kite {

namespace {

bool usesVertexArrays() { return Configuration::getInstance()->supportsVertexArrayObject(); }

void quadAttributes() {
    const auto stride = static_cast<GLsizei>(sizeof(PosColorTexVertex));
    glEnableVertexAttribArray(GLProgram::VERTEX_ATTRIB_POSITION);
    glEnableVertexAttribArray(GLProgram::VERTEX_ATTRIB_COLOR);
    glEnableVertexAttribArray(GLProgram::VERTEX_ATTRIB_TEX_COORD);
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(PosColorTexVertex, vertices)));
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<const void*>(offsetof(PosColorTexVertex, colors)));
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_TEX_COORD, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(PosColorTexVertex, texCoords)));
}

}  // namespace

ParticleSystemQuad::~ParticleSystemQuad() { deleteBuffers(); }

void ParticleSystemQuad::initIndices() {
    indices.resize(quads.size() * 6);
    // Quads past 16,384 wrap around the 16-bit range; the renderer never draws from these indices.
    fillQuadIndices(indices.data(), quads.size());
}

void ParticleSystemQuad::setupBuffers() {
    deleteBuffers();
    const bool arrays = usesVertexArrays();
    // The index buffer binding belongs to the array object bound: none may be bound but ours.
    if (arrays) {
        GLStateCache::bindVAO(0);
        platform::glGenVertexArraysOES(1, &VAOname);
        GLStateCache::bindVAO(VAOname);
    }
    glGenBuffers(2, buffersVBO);
    glBindBuffer(GL_ARRAY_BUFFER, buffersVBO[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(PosColorTexQuad) * quads.size()), quads.data(),
                 GL_DYNAMIC_DRAW);
    if (arrays) quadAttributes();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffersVBO[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(GLushort) * indices.size()), indices.data(),
                 GL_STATIC_DRAW);
    if (arrays) GLStateCache::bindVAO(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void ParticleSystemQuad::deleteBuffers() {
    if (buffersVBO[0] || buffersVBO[1]) glDeleteBuffers(2, buffersVBO);
    buffersVBO[0] = buffersVBO[1] = 0;
    if (VAOname) {
        GLStateCache::bindVAO(0);
        platform::glDeleteVertexArraysOES(1, &VAOname);
        VAOname = 0;
    }
}

void ParticleSystemQuad::postStep() {
    if (!buffersVBO[0] || quads.empty()) return;
    glBindBuffer(GL_ARRAY_BUFFER, buffersVBO[0]);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(sizeof(PosColorTexQuad) * quads.size()),
                    quads.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

}  // namespace kite
