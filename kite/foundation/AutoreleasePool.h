// Autorelease pools: deferred releases, emptied by the director after each frame.
#pragma once
#include <string>
#include <vector>

#include "kite/foundation/Ref.h"

namespace kite {

class AutoreleasePool {
public:
    // The new pool is pushed onto the pool manager's stack and becomes current.
    explicit AutoreleasePool(const std::string& name);
    ~AutoreleasePool();
    AutoreleasePool(const AutoreleasePool&) = delete;
    AutoreleasePool& operator=(const AutoreleasePool&) = delete;

    void addObject(Ref* object) { managedObjects_.push_back(object); }

    // Releases every object once per autorelease. Objects autoreleased into this
    // pool while it is being cleared (from a destructor) wait for the next clear.
    void clear();

    bool contains(const Ref* object) const;
    std::size_t size() const { return managedObjects_.size(); }
    const std::string& getName() const { return name_; }

private:
    std::vector<Ref*> managedObjects_;
    std::vector<Ref*> clearing_;  // reused between clears to keep its capacity
    std::string name_;
};

class PoolManager {
public:
    static PoolManager* getInstance();
    static void destroyInstance();

    AutoreleasePool* getCurrentPool() const { return poolStack_.back(); }
    bool isObjectInPools(const Ref* object) const;

private:
    friend class AutoreleasePool;
    PoolManager();
    ~PoolManager();

    void push(AutoreleasePool* pool) { poolStack_.push_back(pool); }
    void pop() { poolStack_.pop_back(); }

    std::vector<AutoreleasePool*> poolStack_;
};

}  // namespace kite
