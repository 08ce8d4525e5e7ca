#include "kite/scene/ActionManager.h"

#include <cstdint>
#include <cstdlib>

#include "kite/foundation/CArray.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Action.h"
#include "kite/scene/Node.h"

namespace {

int allocationsBeforeFailure = -1;  // -1: none fails
bool hashAddFailed = false;

// Counts down the test hook; true when this allocation is the one to fail.
bool allocationFails() {
    if (allocationsBeforeFailure < 0) return false;
    return allocationsBeforeFailure-- == 0;
}

void* managerAlloc(std::size_t size) { return allocationFails() ? nullptr : std::malloc(size); }

void* managerCalloc(std::size_t count, std::size_t size) {
    return allocationFails() ? nullptr : std::calloc(count, size);
}

}  // namespace

// A table that cannot grow refuses the new entry instead of ending the process.
#define HASH_NONFATAL_OOM 1
#define uthash_nonfatal_oom(obj) (hashAddFailed = true)
#define uthash_malloc(size) managerAlloc(size)
#define uthash_free(ptr, size) std::free(ptr)
#include <uthash.h>

namespace kite {

void actionManagerFailAllocation(int after) { allocationsBeforeFailure = after; }

// The 32-bit index sits beside the flags so that the element packs without holes.
struct ActionManager::Element {
    ktArray* actions;
    Node* target;
    Action* currentAction;
    std::int32_t actionIndex;
    bool currentActionSalvaged;
    bool paused;
    UT_hash_handle hh;
};

ActionManager::ActionManager() = default;

ActionManager::~ActionManager() {
    for (Element *element = targets_, *next = nullptr; element; element = next) {
        next = static_cast<Element*>(element->hh.next);
        removeAllActionsFromTarget(element->target);
    }
}

ActionManager::Element* ActionManager::find(const Node* target) const {
    Element* element = nullptr;
    HASH_FIND_PTR(targets_, &target, element);
    return element;
}

void ActionManager::deleteElement(Element* element) {
    ktArrayFree(&element->actions);
    HASH_DEL(targets_, element);
    element->target->release();
    std::free(element);
}

bool ActionManager::isRunning(Action* action) const {
    const Element* owner = find(action->getOriginalTarget());
    return owner && owner->actions && ktArrayContainsObject(owner->actions, action);
}

void ActionManager::addAction(Action* action, Node* target, bool paused) {
    if (!action || !target) return;
    if (isRunning(action)) {
        // One action has one target: a second run would steer the first target's action
        // at the second node, and outlive either of them.
        log("ActionManager: the action is already running; run a clone of it instead");
        return;
    }
    Element* element = find(target);
    bool created = false;
    if (!element) {
        element = static_cast<Element*>(managerCalloc(1, sizeof(Element)));
        if (!element) {
            log("ActionManager: out of memory, action not added");
            return;
        }
        element->paused = paused;
        element->target = target;
        hashAddFailed = false;
        HASH_ADD_PTR(targets_, target, element);
        if (hashAddFailed) {
            std::free(element);
            log("ActionManager: out of memory, action not added");
            return;
        }
        target->retain();
        created = true;
    }
    bool stored = false;
    if (!element->actions && !allocationFails()) element->actions = ktArrayNew(4);
    if (element->actions) {
        bool grows = element->actions->num == element->actions->max;
        if (!grows || !allocationFails()) stored = ktArrayAppendObject(element->actions, action);
    }
    if (!stored) {
        log("ActionManager: out of memory, action not added");
        // An element made for this action alone goes again, unless update is walking it.
        if (created && element != currentTarget_) deleteElement(element);
        return;
    }
    action->startWithTarget(target);
}

void ActionManager::removeAction(Action* action) {
    if (!action) return;
    Element* element = find(action->getOriginalTarget());
    if (!element || !element->actions) return;
    std::ptrdiff_t index = ktArrayGetIndexOfObject(element->actions, action);
    if (index >= 0) removeActionAtIndex(index, element);
}

void ActionManager::removeActionByTag(int tag, Node* target) {
    Element* element = find(target);
    if (!element || !element->actions) return;
    for (std::ptrdiff_t i = 0; i < element->actions->num; ++i) {
        auto* action = static_cast<Action*>(element->actions->arr[i]);
        if (action->getTag() == tag && action->getOriginalTarget() == target) {
            removeActionAtIndex(i, element);
            return;
        }
    }
}

Action* ActionManager::getActionByTag(int tag, const Node* target) const {
    Element* element = find(target);
    if (!element || !element->actions) return nullptr;
    for (std::ptrdiff_t i = 0; i < element->actions->num; ++i) {
        auto* action = static_cast<Action*>(element->actions->arr[i]);
        if (action->getTag() == tag) return action;
    }
    return nullptr;
}

std::size_t ActionManager::getNumberOfRunningActionsInTarget(const Node* target) const {
    Element* element = find(target);
    return element && element->actions ? static_cast<std::size_t>(element->actions->num) : 0;
}

void ActionManager::removeAllActionsFromTarget(Node* target) {
    if (!target) return;
    Element* element = find(target);
    if (!element) return;
    if (element->actions && element->currentAction && !element->currentActionSalvaged &&
        ktArrayContainsObject(element->actions, element->currentAction)) {
        element->currentAction->retain();
        element->currentActionSalvaged = true;
    }
    if (element->actions) ktArrayRemoveAllObjects(element->actions);
    if (currentTarget_ == element) {
        currentTargetSalvaged_ = true;
    } else {
        deleteElement(element);
    }
}

void ActionManager::removeActionAtIndex(std::ptrdiff_t index, Element* element) {
    Action* action = static_cast<Action*>(element->actions->arr[index]);
    if (action == element->currentAction && !element->currentActionSalvaged) {
        element->currentAction->retain();
        element->currentActionSalvaged = true;
    }
    ktArrayRemoveObjectAtIndex(element->actions, index, true);
    if (element->actionIndex >= index) element->actionIndex--;
    if (element->actions->num == 0) {
        if (currentTarget_ == element) {
            currentTargetSalvaged_ = true;
        } else {
            deleteElement(element);
        }
    }
}

void ActionManager::pauseTarget(Node* target) {
    if (Element* element = find(target)) element->paused = true;
}

void ActionManager::resumeTarget(Node* target) {
    if (Element* element = find(target)) element->paused = false;
}

bool ActionManager::isTargetPaused(Node* target) const {
    Element* element = find(target);
    return element && element->paused;
}

void ActionManager::update(float dt) {
    for (Element* element = targets_; element;) {
        currentTarget_ = element;
        currentTargetSalvaged_ = false;
        // The array stays while its element is the current one (only its slots change), but the
        // count is read again before every step: actions may add or remove actions meanwhile.
        const ktArray* actions = element->paused ? nullptr : element->actions;
        for (element->actionIndex = 0; actions && element->actionIndex < actions->num; ++element->actionIndex) {
            auto* action = static_cast<Action*>(actions->arr[element->actionIndex]);
            if (!action) continue;
            element->currentAction = action;
            element->currentActionSalvaged = false;
            action->step(dt);
            if (element->currentActionSalvaged) {
                // Removed during its own step: drop the keep-alive reference.
                action->release();
            } else if (action->isDone()) {
                action->stop();
                element->currentAction = nullptr;
                removeAction(action);
            }
            element->currentAction = nullptr;
        }
        Element* next = static_cast<Element*>(element->hh.next);
        if (currentTargetSalvaged_ && (!element->actions || element->actions->num == 0)) deleteElement(element);
        element = next;
    }
    currentTarget_ = nullptr;
}

}  // namespace kite
