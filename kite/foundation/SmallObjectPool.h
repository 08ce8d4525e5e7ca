// Memory for engine objects of up to 1 KB, taken from slabs of their size class: objects of one
// size lie together instead of between whatever was made with them, so walks over thousands of
// them (sprites, their actions) touch fewer cache lines and pages, and no object carries a heap
// header. Thread-safe. Slabs are kept for reuse, never handed back.
#pragma once
#include <cstddef>

namespace kite {

class SmallObjectPool {
public:
    // Sizes above this come from the heap as usual.
    static constexpr std::size_t kLargest = 1024;
    // Every block is aligned to this.
    static constexpr std::size_t kAlignment = 16;

    // Null when memory is short. Any size; the pool serves those up to kLargest.
    static void* allocate(std::size_t size) noexcept;
    // The size is the one allocate was given.
    static void release(void* block, std::size_t size) noexcept;
    // Bytes of the slabs' blocks handed out and not released (their size classes' sizes), and
    // bytes of all slabs made so far.
    static std::size_t bytesInUse() noexcept;
    static std::size_t bytesInSlabs() noexcept;
};

}  // namespace kite
