#include "kite/scene/Component.h"

#include <vector>

#include "kite/foundation/Create.h"
#include "kite/scene/Node.h"

namespace kite {

namespace {

// Script-side action codes of a component event.
enum ComponentScriptAction { kComponentEnter = 0, kComponentExit = 1, kComponentUpdate = 2 };
constexpr int kScriptTypeLua = 2;
constexpr int kComponentScriptEvent = 10;

// Tells a script engine of an event on a script-side component, unless the call came from script.
void sendComponentEvent(Component* component, int scriptType, int action) {
    if (scriptType != kScriptTypeLua) return;
    ScriptEngine* engine = ScriptEngineManager::getInstance()->getScriptEngine();
    if (!engine) return;
    if (engine->isCalledFromScript()) {
        engine->setCalledFromScript(false);
        return;
    }
    ScriptEngine::NodeEventData data;
    data.node = component;
    data.action = &action;
    ScriptEngine::Event event;
    event.type = kComponentScriptEvent;
    event.data = &data;
    engine->sendEvent(&event);
}

}  // namespace

Component* Component::create() { return createAutoreleased<Component>(); }

Component::Component() {
    if (ScriptEngine* engine = ScriptEngineManager::getInstance()->getScriptEngine()) {
        scriptType = engine->getScriptType();
    }
}

void Component::onEnter() { sendComponentEvent(this, scriptType, kComponentEnter); }

void Component::onExit() { sendComponentEvent(this, scriptType, kComponentExit); }

void Component::update(float) { sendComponentEvent(this, scriptType, kComponentUpdate); }

ComponentContainer::~ComponentContainer() {
    if (!components) return;
    for (auto& entry : *components) entry.second->release();
}

Component* ComponentContainer::get(const std::string& name) const {
    if (!components) return nullptr;
    auto it = components->find(name);
    return it == components->end() ? nullptr : it->second;
}

bool ComponentContainer::add(Component* component) {
    if (!component) return false;
    if (!components) {
        components = std::make_unique<Table>();
        components->max_load_factor(1.0f);
    }
    if (components->count(component->getName()) != 0) return false;
    component->setOwner(owner);
    component->retain();
    components->emplace(component->getName(), component);
    component->onEnter();
    return true;
}

void ComponentContainer::detach(Table::iterator entry) {
    Component* component = entry->second;
    components->erase(entry);
    component->onExit();
    component->setOwner(nullptr);
    component->release();
}

bool ComponentContainer::remove(const std::string& name) {
    if (!components) return false;
    auto it = components->find(name);
    if (it == components->end()) return false;
    detach(it);
    return true;
}

bool ComponentContainer::remove(Component* component) {
    if (!components) return false;
    for (auto it = components->begin(); it != components->end(); ++it) {
        if (it->second == component) {
            detach(it);
            return true;
        }
    }
    return false;
}

void ComponentContainer::removeAll() {
    if (!components) return;
    // Taken out first, so that a component's exit cannot reach a half-emptied table.
    std::unique_ptr<Table> taken = std::move(components);
    for (auto& entry : *taken) {
        entry.second->onExit();
        entry.second->setOwner(nullptr);
    }
    for (auto& entry : *taken) entry.second->release();
    if (owner) owner->unscheduleUpdate();
}

void ComponentContainer::visit(float dt) {
    if (!components) return;
    RefPtr<Node> keepOwner(owner);
    // A component may add or remove components while it updates: walk a retained copy.
    std::vector<RefPtr<Component>> current;
    current.reserve(components->size());
    for (auto& entry : *components) current.emplace_back(entry.second);
    for (auto& component : current) component->update(dt);
}

}  // namespace kite
