#include "kite/foundation/AutoreleasePool.h"

#include <algorithm>
#include <new>

namespace kite {

namespace {
PoolManager* poolManager = nullptr;
}

AutoreleasePool::AutoreleasePool(const std::string& name) : name_(name) {
    managedObjects_.reserve(150);
    PoolManager::getInstance()->push(this);
}

AutoreleasePool::~AutoreleasePool() {
    // Objects autoreleased by destructors during a clear land here again and
    // have no later clear of this pool to wait for.
    while (!managedObjects_.empty()) clear();
    PoolManager::getInstance()->pop();
}

void AutoreleasePool::clear() {
    clearing_.swap(managedObjects_);
    // A release may destroy an object whose destructor autoreleases another
    // one: it lands in managedObjects_, which is not being walked.
    for (std::size_t i = 0; i < clearing_.size(); ++i) clearing_[i]->release();
    clearing_.clear();
}

bool AutoreleasePool::contains(const Ref* object) const {
    return std::find(managedObjects_.begin(), managedObjects_.end(), object) != managedObjects_.end();
}

PoolManager* PoolManager::getInstance() {
    if (!poolManager) {
        poolManager = new (std::nothrow) PoolManager();
        // The pool's constructor reaches the manager through getInstance, so
        // the singleton pointer must be set first.
        new AutoreleasePool("kite autorelease pool");
    }
    return poolManager;
}

void PoolManager::destroyInstance() {
    delete poolManager;
    poolManager = nullptr;
}

PoolManager::PoolManager() { poolStack_.reserve(10); }

PoolManager::~PoolManager() {
    while (!poolStack_.empty()) delete poolStack_.back();  // each pool pops itself
}

bool PoolManager::isObjectInPools(const Ref* object) const {
    return std::any_of(poolStack_.begin(), poolStack_.end(),
                       [object](const AutoreleasePool* pool) { return pool->contains(object); });
}

}  // namespace kite
