#include "kite/rendering/GroupCommand.h"

#include "kite/rendering/Renderer.h"

namespace kite {

GroupCommandManager::GroupCommandManager(Renderer* renderer) : renderer_(renderer) {
    groupMapping_.max_load_factor(1.0f);
}

int GroupCommandManager::getGroupID() {
    for (auto& [id, inUse] : groupMapping_) {
        if (!inUse) {
            inUse = true;
            return id;
        }
    }
    if (!renderer_) return -1;
    const int id = renderer_->createRenderQueue();
    groupMapping_[id] = true;
    return id;
}

void GroupCommandManager::releaseGroupID(int groupID) {
    auto it = groupMapping_.find(groupID);
    if (it != groupMapping_.end()) it->second = false;
}

GroupCommand::GroupCommand() {
    type_ = Type::GROUP_COMMAND;
    takeQueue();
}

GroupCommand::~GroupCommand() {
    if (manager_) {
        manager_->releaseGroupID(renderQueueID_);
        manager_->release();
    }
}

void GroupCommand::takeQueue() {
    if (!manager_) {
        Renderer* renderer = frameRenderer();
        if (!renderer) return;
        manager_ = renderer->getGroupCommandManager();
        manager_->retain();  // the IDs must outlive a renderer torn down first
    } else {
        manager_->releaseGroupID(renderQueueID_);
    }
    renderQueueID_ = manager_->getGroupID();
}

void GroupCommand::init(float globalOrder) {
    globalOrder_ = globalOrder;
    takeQueue();
}

int GroupCommand::getRenderQueueID() {
    // Made before the director had a renderer: the queue comes with the first use.
    if (!manager_) takeQueue();
    return renderQueueID_;
}

}  // namespace kite
