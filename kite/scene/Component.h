// Named behaviours attached to a node, and the container through which the node enters, exits and updates them.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>

#include "kite/foundation/Ref.h"

namespace kite {

class Node;

class Component : public Ref {
public:
    static Component* create();

    Component();
    ~Component() override = default;

    virtual bool init() { return true; }
    // Called when the component joins or leaves a container, and once per owner update.
    virtual void onEnter();
    virtual void onExit();
    virtual void update(float dt);
    virtual bool serialize(void*) { return true; }
    virtual bool isEnabled() const { return enabled; }
    virtual void setEnabled(bool b) { enabled = b; }

    const std::string& getName() const { return name; }
    void setName(const std::string& n) { name = n; }
    void setOwner(Node* node) { owner = node; }
    Node* getOwner() const { return owner; }

protected:
    Node* owner = nullptr;  // not retained: the owner holds the component
    std::string name;
    bool enabled = true;
    int scriptType = 0;
};

// Owned by its node; holds each component retained under its name.
class ComponentContainer {
public:
    explicit ComponentContainer(Node* node) : owner(node) {}
    virtual ~ComponentContainer();
    ComponentContainer(const ComponentContainer&) = delete;
    ComponentContainer& operator=(const ComponentContainer&) = delete;

    virtual Component* get(const std::string& name) const;
    // False, changing nothing, when a component of that name is already there.
    virtual bool add(Component* component);
    // False when no component has that name.
    virtual bool remove(const std::string& name);
    // False when the component is not in this container.
    virtual bool remove(Component* component);
    // Exits and releases every component, then stops the owner's update.
    virtual void removeAll();
    // Updates every component, the owner kept alive meanwhile.
    virtual void visit(float dt);
    bool isEmpty() const { return !components || components->empty(); }

private:
    using Table = std::unordered_map<std::string, Component*>;
    void detach(Table::iterator entry);

    std::unique_ptr<Table> components;  // made by the first add
    Node* owner = nullptr;
};

}  // namespace kite
