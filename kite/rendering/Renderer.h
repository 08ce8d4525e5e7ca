// The renderer: collects the frame's render commands, sorts them by global order, batches quads by material and draws.
#pragma once
#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/Size.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/QuadBatchBuffer.h"
#include "kite/rendering/RenderQueue.h"
#include "kite/rendering/ktTypes.h"

namespace kite {

class RenderCommand;
class QuadCommand;
class TrianglesCommand;
class MeshCommand;
class GroupCommandManager;

class Renderer {
public:
    static constexpr int VBO_SIZE = 65536;        // vertices per staging set of triangles
    static constexpr int INDEX_VBO_SIZE = 98304;  // indices per staging set (6 per quad)
    static constexpr int BATCH_RUN_RESERVED_SIZE = 64;

    Renderer();
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Fills the quad index pattern and creates the GL buffers; until then render draws nothing.
    void initGLView();
    // Off: batches are sorted and filled as usual but never handed to GL (measures the CPU side alone).
    // Set before initGLView, which then makes no GL buffers.
    void setFlushesToGL(bool flushes) { flushesToGL_ = flushes; }

    // Adds to the queue of the innermost group (inline: every drawn node passes here every frame).
    void addCommand(RenderCommand* command) {
        const int queue = commandGroupStack_.back();
        if (command && static_cast<std::size_t>(queue) < renderGroups_.size())
            renderGroups_[static_cast<std::size_t>(queue)]->push_back(command);
        else
            addCommand(command, queue);  // refused there, with a log line
    }
    void addCommand(RenderCommand* command, int renderQueue);
    void pushGroup(int renderQueueID);
    void popGroup();
    int createRenderQueue();

    // Sorts and draws everything added since the last render, then empties the queues.
    void render();
    // Clears colour and depth of the current framebuffer.
    void clear();
    void setDepthTest(bool enable);

    // Rough on-screen test of a node of the given size under the given transform. The window
    // and the visiting camera are read once per pass: a pass ends at render().
    bool checkVisibility(const Mat4& transform, const Size& size) {
        // Inline: every moving sprite asks, every frame.
        if (!cullingView_.known) readCullingView();
        if (!cullingView_.testable) return true;
        const float hw = cullingView_.halfWidth, hh = cullingView_.halfHeight;
        const float sx = size.width * 0.5f, sy = size.height * 0.5f;
        const float* m = transform.m;
        const float px = m[0] * sx + m[4] * sy + m[12] - hw;
        const float py = m[1] * sx + m[5] * sy + m[13] - hh;
        const float ex = std::max(std::fabs(sx * m[0] + sy * m[4]), std::fabs(sx * m[0] - sy * m[4]));
        const float ey = std::max(std::fabs(sx * m[1] + sy * m[5]), std::fabs(sx * m[1] - sy * m[5]));
        return std::fabs(px) - ex < hw && std::fabs(py) - ey < hh;
    }

    // Draw calls and the indices they passed, since last zeroed.
    std::int64_t getDrawnBatches() const { return drawnBatches_; }
    void addDrawnBatches(std::int64_t number) { drawnBatches_ += number; }
    std::int64_t getDrawnVertices() const { return drawnVertices_; }
    void addDrawnVertices(std::int64_t number) { drawnVertices_ += number; }
    void clearDrawStats() { drawnBatches_ = drawnVertices_ = 0; }

    // Quads one batch holds: 131,072 where the driver takes 32-bit indices, else 16,384.
    int getQuadCapacity() const { return quadBuffer_.getCapacity(); }

    GroupCommandManager* getGroupCommandManager() const { return groupCommandManager_; }
    bool isGLViewAssigned() const { return glViewAssigned_; }

private:
    void setupBuffer();
    void setupVBOAndVAO();
    void setupVBO();

    void visitRenderQueue(RenderQueue& queue);
    void processRenderCommand(RenderCommand* command);
    void applyDepthStateFor2D();

    void flush();
    void flush2D();
    void flush3D();
    void endMeshBatch();
    void drawBatchedQuads();
    void drawBatchedTriangles();
    void fillQuads(const QuadCommand* command);
    void fillVerticesAndIndices(const TrianglesCommand* command);
    void uploadVertices(GLuint vao, GLuint vbo, const void* data, std::size_t bytes);
    void drawElements(GLsizei count, std::size_t startIndex, GLenum indexType, std::size_t indexSize);
    // A batch as runs of consecutive commands of one material, gathered while it fills, so
    // drawing it does not walk every command again.
    template <class Command>
    struct MaterialRun {
        const Command* first;  // its material is used for the run
        std::uint32_t materialID;
        GLsizei indices;
    };
    // Adds the command's indices to the last run, or starts a run (a material of 0 never merges).
    template <class Command>
    static void addToRuns(std::vector<MaterialRun<Command>>& runs, const Command* command, GLsizei indices);
    // Draws the uploaded indices run by run, switching material where it changes.
    template <class Command>
    void drawByMaterial(const std::vector<MaterialRun<Command>>& runs, GLenum indexType, std::size_t indexSize);
    void clean();
    void readCullingView();

    // What checkVisibility tests against, read at its first call of a pass.
    struct CullingView {
        bool known = false;
        bool testable = false;  // a window, seen by the default camera
        float halfWidth = 0.0f;
        float halfHeight = 0.0f;
    };
    CullingView cullingView_;

    std::vector<int> commandGroupStack_;
    std::vector<std::unique_ptr<RenderQueue>> renderGroups_;

    std::uint32_t lastMaterialID_ = 0;
    MeshCommand* lastBatchedMeshCommand_ = nullptr;
    std::vector<MaterialRun<TrianglesCommand>> triangleRuns_;
    std::vector<MaterialRun<QuadCommand>> quadRuns_;

    // Triangle batches are staged here, grown to the largest batch yet (at most VBO_SIZE vertices
    // and INDEX_VBO_SIZE indices); their GL buffers take the size of each batch as it is drawn.
    std::vector<PosColorTexVertex> verts_;
    std::vector<GLushort> indices_;
    GLuint buffersVAO_ = 0;
    GLuint buffersVBO_[2] = {0, 0};
    int filledVertex_ = 0;
    int filledIndex_ = 0;

    QuadBatchBuffer quadBuffer_;
    int numberQuads_ = 0;

    bool glViewAssigned_ = false;
    bool buffersCreated_ = false;
    bool usesVAO_ = false;  // decided when the buffers are made
    bool flushesToGL_ = true;

    std::int64_t drawnBatches_ = 0;
    std::int64_t drawnVertices_ = 0;
    bool isDepthTestFor2D_ = false;

    GroupCommandManager* groupCommandManager_ = nullptr;
};

}  // namespace kite
