#include "kite/foundation/CArray.h"

#include <cstdlib>
#include <cstring>

#include "kite/foundation/Log.h"

namespace kite {

ktArray* ktArrayNew(ssize_t capacity) {
    if (capacity <= 0) capacity = 7;
    auto* array = static_cast<ktArray*>(std::malloc(sizeof(ktArray)));
    if (!array) return nullptr;
    array->num = 0;
    array->max = capacity;
    array->arr = static_cast<Ref**>(std::calloc(static_cast<size_t>(capacity), sizeof(Ref*)));
    if (!array->arr) {
        std::free(array);
        return nullptr;
    }
    return array;
}

void ktArrayFree(ktArray** array) {
    if (!array || !*array) return;
    ktArray* doomed = *array;
    *array = nullptr;
    ktArrayRemoveAllObjects(doomed);
    std::free(doomed->arr);
    std::free(doomed);
}

void ktArrayRemoveAllObjects(ktArray* array) {
    if (!array) return;
    // The count drops before each release, so a destructor that looks at the
    // array sees only objects that are still alive.
    while (array->num > 0) {
        Ref* object = array->arr[--array->num];
        array->arr[array->num] = nullptr;
        object->release();
    }
}

bool ktArrayDoubleCapacity(ktArray* array) {
    ssize_t newMax = array->max > 0 ? array->max * 2 : 7;
    auto* slots = static_cast<Ref**>(std::realloc(array->arr, static_cast<size_t>(newMax) * sizeof(Ref*)));
    if (!slots) {
        kite::log("ktArray: out of memory growing to %zd slots", newMax);
        return false;
    }
    std::memset(slots + array->max, 0, static_cast<size_t>(newMax - array->max) * sizeof(Ref*));
    array->arr = slots;
    array->max = newMax;
    return true;
}

bool ktArrayEnsureExtraCapacity(ktArray* array, ssize_t extra) {
    while (array->max < array->num + extra) {
        if (!ktArrayDoubleCapacity(array)) return false;
    }
    return true;
}

ssize_t ktArrayGetIndexOfObject(const ktArray* array, const Ref* object) {
    if (!array) return -1;
    for (ssize_t i = 0; i < array->num; ++i) {
        if (array->arr[i] == object) return i;
    }
    return -1;
}

bool ktArrayContainsObject(const ktArray* array, const Ref* object) {
    return ktArrayGetIndexOfObject(array, object) != -1;
}

bool ktArrayAppendObject(ktArray* array, Ref* object) {
    if (!array || !object) return false;
    // Writing past the last slot would corrupt memory; grow instead.
    if (array->num >= array->max && !ktArrayDoubleCapacity(array)) return false;
    object->retain();
    array->arr[array->num++] = object;
    return true;
}

void ktArrayRemoveObjectAtIndex(ktArray* array, ssize_t index, bool releaseObject) {
    if (!array || index < 0 || index >= array->num) return;
    Ref* object = array->arr[index];
    --array->num;
    std::memmove(array->arr + index, array->arr + index + 1, static_cast<size_t>(array->num - index) * sizeof(Ref*));
    array->arr[array->num] = nullptr;
    // Released last, so that a destructor finds the array already consistent.
    if (releaseObject) object->release();
}

}  // namespace kite
