// ktArray: a growable array of retained Ref pointers, shared by the scheduler and the action manager.
#pragma once
#include <sys/types.h>

#include "kite/foundation/Ref.h"

namespace kite {

struct ktArray {
    ssize_t num;  // objects held
    ssize_t max;  // slots allocated
    Ref** arr;
};

// A new empty array with room for capacity objects (0 means 7); null when memory is short.
ktArray* ktArrayNew(ssize_t capacity);
// Releases every object (last first), frees the array and clears the caller's pointer.
void ktArrayFree(ktArray** array);
// Releases the objects from the last to the first; the capacity stays.
void ktArrayRemoveAllObjects(ktArray* array);
// Doubles the capacity; false (array unchanged) when memory is short.
bool ktArrayDoubleCapacity(ktArray* array);
// Doubles the capacity until num + extra objects fit.
bool ktArrayEnsureExtraCapacity(ktArray* array, ssize_t extra);
// First index holding the object, or -1.
ssize_t ktArrayGetIndexOfObject(const ktArray* array, const Ref* object);
bool ktArrayContainsObject(const ktArray* array, const Ref* object);
// Retains the object and stores it after the last one, growing the array when it is full.
// False (nothing retained) when the array cannot grow.
bool ktArrayAppendObject(ktArray* array, Ref* object);
// Removes the object at index, shifting the later ones down; releases it when asked.
// An index outside the array does nothing.
void ktArrayRemoveObjectAtIndex(ktArray* array, ssize_t index, bool releaseObject = true);

}  // namespace kite
