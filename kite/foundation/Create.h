// The create pattern shared by engine objects: allocate without throwing,
// init, autorelease; on a failed init the half-built object is deleted.
#pragma once
#include <new>
#include <utility>

namespace kite {

// Returns an autoreleased T on which init(args...) succeeded, or null.
template <class T, class... Args>
T* createAutoreleased(Args&&... args) {
    T* object = new (std::nothrow) T();
    if (object && object->init(std::forward<Args>(args)...)) {
        object->autorelease();
        return object;
    }
    delete object;
    return nullptr;
}

// Releases a Ref held through a pointer variable and clears the variable.
template <class T>
void releaseAndClear(T*& object) {
    if (object) {
        T* old = object;
        object = nullptr;
        old->release();
    }
}

// Points a retaining member at a new object: retains the new one first, then
// releases the old one, so assigning the same object is safe.
template <class T, class U>
void assignRetained(T*& member, U* value) {
    if (value) value->retain();
    if (member) member->release();
    member = value;
}

}  // namespace kite
