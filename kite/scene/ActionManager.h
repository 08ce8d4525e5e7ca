// The registry of running actions, grouped by node and stepped once per frame before other updates.
#pragma once
#include <cstddef>

#include "kite/foundation/Ref.h"

namespace kite {

class Action;
class Node;

class ActionManager : public Ref {
public:
    ActionManager();
    ~ActionManager() override;

    // Files the action under the target and starts it on it. A node seen for the first time
    // gets the given paused flag; a known node keeps its own. When memory is short the action
    // is not added (a log line says so) and nothing else changes. An action that is running
    // already (on this node or another) is refused with a log line.
    void addAction(Action* action, Node* target, bool paused);
    void removeAction(Action* action);
    void removeAllActionsFromTarget(Node* target);
    void removeActionByTag(int tag, Node* target);
    Action* getActionByTag(int tag, const Node* target) const;
    std::size_t getNumberOfRunningActionsInTarget(const Node* target) const;

    void pauseTarget(Node* target);
    void resumeTarget(Node* target);
    bool isTargetPaused(Node* target) const;

    // Steps every action of every unpaused node; actions may add or remove actions meanwhile.
    void update(float dt);

    struct Element;

private:
    void removeActionAtIndex(std::ptrdiff_t index, Element* element);
    void deleteElement(Element* element);
    Element* find(const Node* target) const;
    // True while the action is in the list of the target it was started with.
    bool isRunning(Action* action) const;

    Element* targets_ = nullptr;
    Element* currentTarget_ = nullptr;
    bool currentTargetSalvaged_ = false;
};

// Test hook: after that many further allocations, the next one made by an action manager fails,
// as when memory is short; -1 turns it off.
void actionManagerFailAllocation(int after);

}  // namespace kite
