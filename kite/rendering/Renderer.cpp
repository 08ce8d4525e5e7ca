#include "kite/rendering/Renderer.h"

#include <GLES2/gl2ext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kite/foundation/Log.h"
#include "kite/rendering/BatchCommand.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/GroupCommand.h"
#include "kite/rendering/MeshCommand.h"
#include "kite/rendering/PrimitiveCommand.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/TrianglesCommand.h"
#include "platform/GLExtensions.h"

namespace kite {

namespace {

// Position of a vertex moved to world space: the first three components of m x (x, y, z, 1).
inline void transformPosition(const Mat4& m, Vec3& v) {
    const float x = v.x, y = v.y, z = v.z;
    v.x = m.m[0] * x + m.m[4] * y + m.m[8] * z + m.m[12];
    v.y = m.m[1] * x + m.m[5] * y + m.m[9] * z + m.m[13];
    v.z = m.m[2] * x + m.m[6] * y + m.m[10] * z + m.m[14];
}

// Copies vertices to their place in the batch, moved to world space on the way. A planar
// matrix (every 2D node's) leaves out the terms that are zero; the values are the same.
void transformVertices(const Mat4& mv, const PosColorTexVertex* from, PosColorTexVertex* to, int count) {
    const float* m = mv.m;
    if (!mv.isPlanar()) {
        for (int i = 0; i < count; ++i) {
            to[i] = from[i];
            transformPosition(mv, to[i].vertices);
        }
        return;
    }
    const float m0 = m[0], m1 = m[1], m4 = m[4], m5 = m[5], m10 = m[10], m12 = m[12], m13 = m[13], m14 = m[14];
    // Quads come four vertices at a time.
#pragma GCC unroll 4
    for (int i = 0; i < count; ++i) {
        const Vec3& v = from[i].vertices;
        to[i].vertices = Vec3(m0 * v.x + m4 * v.y + m12, m1 * v.x + m5 * v.y + m13, m10 * v.z + m14);
        to[i].colors = from[i].colors;
        to[i].texCoords = from[i].texCoords;
    }
}

// At least `needed` entries, doubling up to the limit.
template <class Entry>
void growStaging(std::vector<Entry>& staging, int needed, int limit) {
    const auto wanted = static_cast<std::size_t>(needed);
    if (staging.size() >= wanted) return;
    staging.resize(std::max(wanted, std::min(staging.size() * 2, static_cast<std::size_t>(limit))));
}

}  // namespace

Renderer::Renderer() {
    commandGroupStack_.push_back(0);
    renderGroups_.push_back(std::make_unique<RenderQueue>());
    triangleRuns_.reserve(BATCH_RUN_RESERVED_SIZE);
    quadRuns_.reserve(BATCH_RUN_RESERVED_SIZE);
    groupCommandManager_ = new GroupCommandManager(this);
}

Renderer::~Renderer() {
    renderGroups_.clear();
    // Group commands may outlive the renderer; they must not reach it any more.
    groupCommandManager_->renderer_ = nullptr;
    groupCommandManager_->release();
    if (buffersCreated_) {
        glDeleteBuffers(2, buffersVBO_);
        if (usesVAO_) {
            platform::glDeleteVertexArraysOES(1, &buffersVAO_);
            GLStateCache::bindVAO(0);
        }
    }
}

void Renderer::initGLView() {
    if (flushesToGL_) {
        setupBuffer();
    } else {
        quadBuffer_.create(false, false, true);
    }
    glViewAssigned_ = true;
}

void Renderer::setupBuffer() {
    if (buffersCreated_) return;  // a second GL view keeps the buffers
    Configuration* configuration = Configuration::getInstance();
    usesVAO_ = configuration->supportsVertexArrayObject();
    quadBuffer_.create(true, usesVAO_, configuration->supportsElementIndexUint());
    if (usesVAO_)
        setupVBOAndVAO();
    else
        setupVBO();
    buffersCreated_ = true;
}

void Renderer::setupVBOAndVAO() {
    platform::glGenVertexArraysOES(1, &buffersVAO_);
    GLStateCache::bindVAO(buffersVAO_);
    glGenBuffers(2, buffersVBO_);
    glBindBuffer(GL_ARRAY_BUFFER, buffersVBO_[0]);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glEnableVertexAttribArray(2);
    pointBatchVertexAttributes();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffersVBO_[1]);
    GLStateCache::bindVAO(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void Renderer::setupVBO() {
    GLStateCache::bindVAO(0);
    glGenBuffers(2, buffersVBO_);
}

void Renderer::addCommand(RenderCommand* command, int renderQueue) {
    if (!command) return;
    if (renderQueue < 0 || static_cast<std::size_t>(renderQueue) >= renderGroups_.size()) {
        kite::log("Renderer: no render queue %d, command dropped", renderQueue);
        return;
    }
    renderGroups_[static_cast<std::size_t>(renderQueue)]->push_back(command);
}

void Renderer::pushGroup(int renderQueueID) { commandGroupStack_.push_back(renderQueueID); }

void Renderer::popGroup() {
    if (commandGroupStack_.size() > 1) commandGroupStack_.pop_back();  // the main queue stays
}

int Renderer::createRenderQueue() {
    renderGroups_.push_back(std::make_unique<RenderQueue>());
    return static_cast<int>(renderGroups_.size()) - 1;
}

void Renderer::render() {
    if (glViewAssigned_) {
        for (auto& queue : renderGroups_) queue->sort();
        visitRenderQueue(*renderGroups_[0]);
    }
    clean();
}

void Renderer::clear() {
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDepthMask(GL_FALSE);
}

void Renderer::setDepthTest(bool enable) {
    if (enable) {
        glClearDepthf(1.0f);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    isDepthTestFor2D_ = enable;
}

void Renderer::applyDepthStateFor2D() {
    if (isDepthTestFor2D_) {
        glEnable(GL_DEPTH_TEST);
        glDepthMask(GL_TRUE);
    } else {
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
    }
}

void Renderer::visitRenderQueue(RenderQueue& queue) {
    queue.setBeingVisited(true);
    queue.saveRenderState();
    auto processList = [this, &queue](RenderQueue::QueueGroup group) {
        // Indexed, because a command run here may add to the list.
        for (std::size_t i = 0; i < queue.getSubQueueSize(group); ++i) {
            // Commands ahead, and the quads of nearer ones, are fetched while this one is drawn.
            const std::vector<RenderCommand*>& list = queue.getSubQueue(group);
            if (i + 16 < list.size()) {
                // Both lines: a quad command's fields run past its first 64 bytes.
                __builtin_prefetch(list[i + 16]);
                __builtin_prefetch(reinterpret_cast<const char*>(list[i + 16]) + 64);
            }
            if (i + 8 < list.size() && list[i + 8]->getType() == RenderCommand::Type::QUAD_COMMAND) {
                // Every line of its first quad and of its matrix: neither need start a line.
                const auto* ahead = static_cast<const QuadCommand*>(list[i + 8]);
                const char* quad = reinterpret_cast<const char*>(ahead->getQuads());
                const char* matrix = reinterpret_cast<const char*>(&ahead->getModelView());
                __builtin_prefetch(quad);
                __builtin_prefetch(quad + 64);
                __builtin_prefetch(quad + sizeof(PosColorTexQuad) - 1);
                __builtin_prefetch(matrix);
                __builtin_prefetch(matrix + sizeof(Mat4) - 1);
            }
            processRenderCommand(list[i]);
        }
        flush();
    };
    if (queue.getSubQueueSize(RenderQueue::GLOBALZ_NEG) > 0) {
        applyDepthStateFor2D();
        processList(RenderQueue::GLOBALZ_NEG);
    }
    if (queue.getSubQueueSize(RenderQueue::OPAQUE_3D) > 0) {
        glDepthMask(GL_TRUE);
        glEnable(GL_DEPTH_TEST);
        processList(RenderQueue::OPAQUE_3D);
    }
    if (queue.getSubQueueSize(RenderQueue::TRANSPARENT_3D) > 0) {
        glEnable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
        processList(RenderQueue::TRANSPARENT_3D);
    }
    if (queue.getSubQueueSize(RenderQueue::GLOBALZ_ZERO) > 0) {
        applyDepthStateFor2D();
        processList(RenderQueue::GLOBALZ_ZERO);
    }
    if (queue.getSubQueueSize(RenderQueue::GLOBALZ_POS) > 0) processList(RenderQueue::GLOBALZ_POS);
    queue.restoreRenderState();
    queue.setBeingVisited(false);
}

void Renderer::processRenderCommand(RenderCommand* command) {
    switch (command->getType()) {
        case RenderCommand::Type::QUAD_COMMAND: {
            auto* cmd = static_cast<QuadCommand*>(command);
            const ssize_t quads = cmd->getQuadCount();
            const int capacity = quadBuffer_.getCapacity();
            if (quads < 0 || quads > capacity || (quads > 0 && !cmd->getQuads())) {
                kite::log("Renderer: a quad command of %ld quads does not fit the %d-quad staging area, skipped",
                          static_cast<long>(quads), capacity);
                return;
            }
            if (lastBatchedMeshCommand_) endMeshBatch();
            if (filledIndex_ > 0) {
                drawBatchedTriangles();
                lastMaterialID_ = 0;
            }
            if (cmd->isSkipBatching() || numberQuads_ + quads > capacity) drawBatchedQuads();
            addToRuns(quadRuns_, static_cast<const QuadCommand*>(cmd), static_cast<GLsizei>(quads * 6));
            fillQuads(cmd);
            if (cmd->isSkipBatching()) drawBatchedQuads();
            break;
        }
        case RenderCommand::Type::CUSTOM_COMMAND:
            flush();
            static_cast<CustomCommand*>(command)->execute();
            break;
        case RenderCommand::Type::BATCH_COMMAND:
            flush();
            static_cast<BatchCommand*>(command)->execute();
            break;
        case RenderCommand::Type::GROUP_COMMAND: {
            flush();
            const int id = static_cast<GroupCommand*>(command)->getRenderQueueID();
            // Queue 0 is the main queue; naming it (or an unknown queue) would loop or overrun.
            if (id <= 0 || static_cast<std::size_t>(id) >= renderGroups_.size()) {
                kite::log("Renderer: a group command names no nested render queue (%d), skipped", id);
                return;
            }
            RenderQueue& nested = *renderGroups_[static_cast<std::size_t>(id)];
            // A queue that (through its groups) contains itself would recurse without end.
            if (nested.isBeingVisited()) {
                kite::log("Renderer: render queue %d nests itself, skipped", id);
                return;
            }
            visitRenderQueue(nested);
            break;
        }
        case RenderCommand::Type::MESH_COMMAND: {
            flush2D();
            auto* cmd = static_cast<MeshCommand*>(command);
            if (!cmd->isSkipBatching()) {
                if (lastBatchedMeshCommand_ && lastBatchedMeshCommand_->getBatchId() == cmd->getBatchId()) {
                    cmd->batchDraw();
                } else {
                    endMeshBatch();
                    cmd->preBatchDraw();
                    cmd->batchDraw();
                    lastBatchedMeshCommand_ = cmd;
                }
            } else {
                endMeshBatch();
                cmd->execute();
            }
            break;
        }
        case RenderCommand::Type::PRIMITIVE_COMMAND:
            flush();
            static_cast<PrimitiveCommand*>(command)->execute();
            break;
        case RenderCommand::Type::TRIANGLES_COMMAND: {
            auto* cmd = static_cast<TrianglesCommand*>(command);
            const ssize_t vertices = cmd->getVertexCount();
            const ssize_t indices = cmd->getIndexCount();
            if (vertices < 0 || indices < 0 || vertices > VBO_SIZE || indices > INDEX_VBO_SIZE ||
                (vertices > 0 && !cmd->getVertices()) || (indices > 0 && !cmd->getIndices())) {
                kite::log(
                    "Renderer: a triangles command of %ld vertices and %ld indices does not fit the "
                    "staging area, skipped",
                    static_cast<long>(vertices), static_cast<long>(indices));
                return;
            }
            endMeshBatch();
            if (numberQuads_ > 0) {
                drawBatchedQuads();
                lastMaterialID_ = 0;
            }
            if (cmd->isSkipBatching() || filledVertex_ + vertices > VBO_SIZE || filledIndex_ + indices > INDEX_VBO_SIZE)
                drawBatchedTriangles();
            addToRuns(triangleRuns_, static_cast<const TrianglesCommand*>(cmd), static_cast<GLsizei>(indices));
            fillVerticesAndIndices(cmd);
            if (cmd->isSkipBatching()) drawBatchedTriangles();
            break;
        }
        default: break;  // nothing to draw
    }
}

void Renderer::flush() {
    flush2D();
    flush3D();
}

void Renderer::flush2D() {
    if (numberQuads_ > 0) {
        drawBatchedQuads();
        lastMaterialID_ = 0;
    }
    if (filledIndex_ > 0) {
        drawBatchedTriangles();
        lastMaterialID_ = 0;
    }
}

void Renderer::flush3D() { endMeshBatch(); }

void Renderer::endMeshBatch() {
    if (lastBatchedMeshCommand_) {
        lastBatchedMeshCommand_->postBatchDraw();
        lastBatchedMeshCommand_ = nullptr;
    }
}

void Renderer::fillQuads(const QuadCommand* command) {
    const int quads = static_cast<int>(command->getQuadCount());
    if (quads <= 0) return;
    transformVertices(command->getModelView(), reinterpret_cast<const PosColorTexVertex*>(command->getQuads()),
                      quadBuffer_.reserve(quads), quads * 4);
    numberQuads_ += quads;
}

void Renderer::fillVerticesAndIndices(const TrianglesCommand* command) {
    const int vertices = static_cast<int>(command->getVertexCount());
    const int indices = static_cast<int>(command->getIndexCount());
    // The callers keep a batch within VBO_SIZE and INDEX_VBO_SIZE.
    growStaging(verts_, filledVertex_ + vertices, VBO_SIZE);
    growStaging(indices_, filledIndex_ + indices, INDEX_VBO_SIZE);
    PosColorTexVertex* target = &verts_[static_cast<std::size_t>(filledVertex_)];
    if (vertices > 0) std::memcpy(target, command->getVertices(), sizeof(PosColorTexVertex) * vertices);
    const Mat4& mv = command->getModelView();
    for (int i = 0; i < vertices; ++i) transformPosition(mv, target[i].vertices);
    const unsigned short* source = command->getIndices();
    for (int k = 0; k < indices; ++k)
        indices_[static_cast<std::size_t>(filledIndex_ + k)] = static_cast<GLushort>(source[k] + filledVertex_);
    filledVertex_ += vertices;
    filledIndex_ += indices;
}

void Renderer::uploadVertices(GLuint vao, GLuint vbo, const void* data, std::size_t bytes) {
    if (usesVAO_) {
        GLStateCache::bindVAO(vao);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        // Orphan the old storage so the copy does not wait for draws still reading it.
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_DYNAMIC_DRAW);
        if (void* mapped = platform::glMapBufferOES(GL_ARRAY_BUFFER, GL_WRITE_ONLY_OES)) {
            std::memcpy(mapped, data, bytes);
            platform::glUnmapBufferOES(GL_ARRAY_BUFFER);
        } else {
            glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), data);
        }
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), data, GL_DYNAMIC_DRAW);
        GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
        pointBatchVertexAttributes();
    }
}

void Renderer::drawElements(GLsizei count, std::size_t startIndex, GLenum indexType, std::size_t indexSize) {
    glDrawElements(GL_TRIANGLES, count, indexType, reinterpret_cast<const void*>(startIndex * indexSize));
    drawnBatches_ += 1;
    drawnVertices_ += count;
}

template <class Command>
void Renderer::addToRuns(std::vector<MaterialRun<Command>>& runs, const Command* command, GLsizei indices) {
    const std::uint32_t material = command->getMaterialID();
    if (runs.empty() || material == 0 || runs.back().materialID != material)
        runs.push_back(MaterialRun<Command>{command, material, 0});
    runs.back().indices += indices;
}

template <class Command>
void Renderer::drawByMaterial(const std::vector<MaterialRun<Command>>& runs, GLenum indexType, std::size_t indexSize) {
    std::size_t start = 0;
    GLsizei pending = 0;
    for (const MaterialRun<Command>& run : runs) {
        if (run.materialID != lastMaterialID_ || run.materialID == 0) {
            if (pending > 0) {
                drawElements(pending, start, indexType, indexSize);
                start += static_cast<std::size_t>(pending);
                pending = 0;
            }
            run.first->useMaterial();
            lastMaterialID_ = run.materialID;
        }
        pending += run.indices;
    }
    if (pending > 0) drawElements(pending, start, indexType, indexSize);
}

void Renderer::drawBatchedQuads() {
    if (numberQuads_ <= 0 || quadRuns_.empty()) return;
    quadBuffer_.finish();
    if (flushesToGL_) {
        drawByMaterial(quadRuns_, quadBuffer_.getIndexType(), quadBuffer_.getIndexSize());
        quadBuffer_.unbind();
    }
    quadRuns_.clear();
    numberQuads_ = 0;
}

void Renderer::drawBatchedTriangles() {
    if (filledVertex_ <= 0 || filledIndex_ <= 0 || triangleRuns_.empty()) return;
    if (!flushesToGL_) {
        triangleRuns_.clear();
        filledVertex_ = 0;
        filledIndex_ = 0;
        return;
    }
    uploadVertices(buffersVAO_, buffersVBO_[0], verts_.data(),
                   sizeof(PosColorTexVertex) * static_cast<std::size_t>(filledVertex_));
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffersVBO_[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(GLushort) * filledIndex_), indices_.data(),
                 GL_STATIC_DRAW);

    drawByMaterial(triangleRuns_, GL_UNSIGNED_SHORT, sizeof(GLushort));
    unbindBatchBuffers(usesVAO_);
    triangleRuns_.clear();
    filledVertex_ = 0;
    filledIndex_ = 0;
}

void Renderer::clean() {
    for (auto& queue : renderGroups_) queue->clear();
    quadBuffer_.discard();
    quadRuns_.clear();
    triangleRuns_.clear();
    filledVertex_ = 0;
    filledIndex_ = 0;
    numberQuads_ = 0;
    lastMaterialID_ = 0;
    lastBatchedMeshCommand_ = nullptr;
    cullingView_.known = false;
}

void Renderer::readCullingView() {
    const DirectorFrameServices& frame = getDirectorFrameServices();
    cullingView_.known = true;
    // Another camera sees the scene from elsewhere: no cheap test applies; nor without a window.
    cullingView_.testable =
        frame.getWinSize && !(frame.isVisitingNonDefaultCamera && frame.isVisitingNonDefaultCamera());
    if (!cullingView_.testable) return;
    const Size win = frame.getWinSize();
    cullingView_.halfWidth = win.width * 0.5f;
    cullingView_.halfHeight = win.height * 0.5f;
}

}  // namespace kite
