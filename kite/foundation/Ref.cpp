#include "kite/foundation/Ref.h"

#include <atomic>
#include <new>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/SmallObjectPool.h"

namespace kite {

namespace {
// Images are constructed on the texture loader's thread, so the counter is atomic.
std::atomic<unsigned int> objectCounter{0};
ScriptEngineManager* scriptEngineManager = nullptr;
}  // namespace

Ref::Ref() : referenceCount_(1), objectId_(++objectCounter) {}

Ref::~Ref() {
    ScriptEngine* engine = scriptEngineManager ? scriptEngineManager->getScriptEngine() : nullptr;
    if (!engine) return;
    if (scriptId_ != 0 || engine->getScriptType() == 2) engine->removeScriptObject(this);
}

void* Ref::operator new(std::size_t size) {
    if (void* block = SmallObjectPool::allocate(size)) return block;
    throw std::bad_alloc();
}

void* Ref::operator new(std::size_t size, const std::nothrow_t&) noexcept { return SmallObjectPool::allocate(size); }

void Ref::operator delete(void* block, std::size_t size) noexcept { SmallObjectPool::release(block, size); }

void Ref::release() {
    if (--referenceCount_ == 0) delete this;
}

Ref* Ref::autorelease() {
    PoolManager::getInstance()->getCurrentPool()->addObject(this);
    return this;
}

ScriptEngineManager* ScriptEngineManager::getInstance() {
    if (!scriptEngineManager) scriptEngineManager = new (std::nothrow) ScriptEngineManager();
    return scriptEngineManager;
}

void ScriptEngineManager::destroyInstance() {
    delete scriptEngineManager;
    scriptEngineManager = nullptr;
}

ScriptEngineManager::~ScriptEngineManager() { delete engine_; }

void ScriptEngineManager::setScriptEngine(ScriptEngine* engine) {
    if (engine_ != engine) {
        delete engine_;
        engine_ = engine;
    }
}

namespace {
int sendNodeEventThrough(ScriptEngine* engine, Ref* node, int action) {
    ScriptEngine::NodeEventData data{node, &action};
    ScriptEngine::Event event{0, &data};
    return engine->sendEvent(&event);
}

ScriptEngine* installedEngine() { return scriptEngineManager ? scriptEngineManager->getScriptEngine() : nullptr; }
}  // namespace

bool ScriptEngineManager::sendNodeEventOrClearScriptCall(Ref* node, int action) {
    ScriptEngine* engine = installedEngine();
    if (!engine) return false;
    if (engine->isCalledFromScript()) {
        engine->setCalledFromScript(false);
        return false;
    }
    return sendNodeEventThrough(engine, node, action) != 0;
}

bool ScriptEngineManager::sendNodeEventUnlessScriptCall(Ref* node, int action) {
    ScriptEngine* engine = installedEngine();
    if (!engine || engine->isCalledFromScript()) return false;
    return sendNodeEventThrough(engine, node, action) != 0;
}

int ScriptEngineManager::sendNodeEvent(Ref* node, int action) {
    ScriptEngine* engine = installedEngine();
    return engine ? sendNodeEventThrough(engine, node, action) : 0;
}

}  // namespace kite
