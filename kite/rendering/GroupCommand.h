// A render command that stands for a nested render queue, and the allocator of queue IDs.
#pragma once
#include <cstdint>
#include <unordered_map>

#include "kite/foundation/Ref.h"
#include "kite/rendering/RenderCommand.h"

namespace kite {

class Renderer;

// Hands out render-queue IDs; a released ID is reused before a new queue is made.
class GroupCommandManager : public Ref {
public:
    explicit GroupCommandManager(Renderer* renderer);

    // -1 once the renderer is gone.
    int getGroupID();
    void releaseGroupID(int groupID);

private:
    friend class Renderer;
    Renderer* renderer_;                          // the owner; cleared by its destructor
    std::unordered_map<int, bool> groupMapping_;  // ID -> in use
};

class GroupCommand : public RenderCommand {
public:
    GroupCommand();
    ~GroupCommand() override;
    GroupCommand(const GroupCommand&) = delete;
    GroupCommand& operator=(const GroupCommand&) = delete;

    // Stores the global order and takes a fresh queue ID (the old one is freed first).
    void init(float globalOrder);

    // A command made before any renderer was reachable takes its queue here; -1 while
    // there still is none.
    int getRenderQueueID();

private:
    // Frees the current ID, if any, and takes a fresh one from the renderer's manager.
    void takeQueue();

    GroupCommandManager* manager_ = nullptr;
    int renderQueueID_ = -1;
};

}  // namespace kite
