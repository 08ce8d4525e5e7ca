// One render group's commands, split into five lists by global order and 3D flags.
#pragma once
#include <cstddef>
#include <vector>

#include "kite/rendering/RenderCommand.h"

namespace kite {

class RenderQueue {
public:
    enum QueueGroup {
        GLOBALZ_NEG = 0,
        OPAQUE_3D = 1,
        TRANSPARENT_3D = 2,
        GLOBALZ_ZERO = 3,
        GLOBALZ_POS = 4,
        QUEUE_COUNT = 5,
    };

    // Picks the list by the command's global order (below, at or above 0) and its 3D flags.
    // Inline: every drawn node passes here every frame.
    void push_back(RenderCommand* command) {
        const float z = command->getGlobalOrder();
        if (z < 0.0f) {
            commands_[GLOBALZ_NEG].push_back(command);
        } else if (z > 0.0f) {
            commands_[GLOBALZ_POS].push_back(command);
        } else if (command->is3D()) {
            commands_[command->isTransparent() ? TRANSPARENT_3D : OPAQUE_3D].push_back(command);
        } else {
            commands_[GLOBALZ_ZERO].push_back(command);  // zero, and also not a number
        }
    }
    // Transparent 3D by depth, farthest first; the negative and positive lists by
    // global order. Sorting is stable, so equal keys keep the order of arrival.
    void sort();
    // Empties every list.
    void clear();

    std::size_t size() const;
    const std::vector<RenderCommand*>& getSubQueue(QueueGroup group) const { return commands_[group]; }
    std::size_t getSubQueueSize(QueueGroup group) const { return commands_[group].size(); }

    // Depth and cull state around the queue's drawing.
    void saveRenderState();
    void restoreRenderState();

    // Set while the renderer walks this queue, so a queue nested in itself is caught.
    bool isBeingVisited() const { return beingVisited_; }
    void setBeingVisited(bool visited) { beingVisited_ = visited; }

private:
    std::vector<RenderCommand*> commands_[QUEUE_COUNT];
    bool beingVisited_ = false;
    bool isCullEnabled_ = false;
    bool isDepthEnabled_ = false;
    unsigned char isDepthWrite_ = 0;
};

}  // namespace kite
