#include "kite/foundation/SmallObjectPool.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace kite {
namespace {

constexpr std::size_t kClasses = SmallObjectPool::kLargest / SmallObjectPool::kAlignment;
// A class's first slab is small, since most classes hold a handful of objects; each next one
// doubles, up to the size that serves thousands of sprites with few slabs.
constexpr std::size_t kFirstSlabBytes = 4 * 1024;
constexpr std::size_t kLargestSlabBytes = 64 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

struct SizeClass {
    FreeBlock* freed = nullptr;  // blocks given back, reused first
    char* unused = nullptr;      // the rest of the newest slab
    char* unusedEnd = nullptr;
    std::size_t nextSlabBytes = kFirstSlabBytes;
};

struct Pools {
    std::mutex mutex;
    SizeClass classes[kClasses];
    std::vector<void*> slabs;  // kept reachable; never freed
    std::size_t bytesInSlabs = 0;
    std::size_t bytesInUse = 0;
};

// Made on first use and never destroyed: objects may be released during static destruction.
Pools& pools() {
    alignas(Pools) static unsigned char storage[sizeof(Pools)];
    static Pools* made = ::new (storage) Pools();
    return *made;
}

// Under AddressSanitizer every block is the heap's own, so overruns and leaks stay visible.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooling = false;
#else
constexpr bool kPooling = true;
#endif

std::size_t classOf(std::size_t size) {
    return (size + SmallObjectPool::kAlignment - 1) / SmallObjectPool::kAlignment - 1;
}

}  // namespace

void* SmallObjectPool::allocate(std::size_t size) noexcept {
    if (!kPooling || size == 0 || size > kLargest) return ::operator new(size == 0 ? 1 : size, std::nothrow);
    const std::size_t index = classOf(size);
    const std::size_t blockBytes = (index + 1) * kAlignment;
    Pools& all = pools();
    std::lock_guard<std::mutex> lock(all.mutex);
    SizeClass& sizeClass = all.classes[index];
    if (FreeBlock* block = sizeClass.freed) {
        sizeClass.freed = block->next;
        all.bytesInUse += blockBytes;
        return block;
    }
    if (!sizeClass.unused || static_cast<std::size_t>(sizeClass.unusedEnd - sizeClass.unused) < blockBytes) {
        const std::size_t slabBytes = std::max(sizeClass.nextSlabBytes, blockBytes);
        void* slab = ::operator new(slabBytes, std::nothrow);
        if (!slab) return nullptr;
        try {
            all.slabs.push_back(slab);
        } catch (const std::bad_alloc&) {
            ::operator delete(slab);
            return nullptr;
        }
        all.bytesInSlabs += slabBytes;
        sizeClass.nextSlabBytes = std::min(slabBytes * 2, kLargestSlabBytes);
        sizeClass.unused = static_cast<char*>(slab);
        sizeClass.unusedEnd = sizeClass.unused + slabBytes;
    }
    void* block = sizeClass.unused;
    sizeClass.unused += blockBytes;
    all.bytesInUse += blockBytes;
    return block;
}

void SmallObjectPool::release(void* block, std::size_t size) noexcept {
    if (!block) return;
    if (!kPooling || size == 0 || size > kLargest) {
        ::operator delete(block);
        return;
    }
    Pools& all = pools();
    std::lock_guard<std::mutex> lock(all.mutex);
    const std::size_t index = classOf(size);
    SizeClass& sizeClass = all.classes[index];
    sizeClass.freed = new (block) FreeBlock{sizeClass.freed};
    all.bytesInUse -= (index + 1) * kAlignment;
}

std::size_t SmallObjectPool::bytesInUse() noexcept {
    Pools& all = pools();
    std::lock_guard<std::mutex> lock(all.mutex);
    return all.bytesInUse;
}

std::size_t SmallObjectPool::bytesInSlabs() noexcept {
    Pools& all = pools();
    std::lock_guard<std::mutex> lock(all.mutex);
    return all.bytesInSlabs;
}

}  // namespace kite
