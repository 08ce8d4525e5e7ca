// The owned byte buffer.
#include "kite/foundation/Data.h"

#include <cstdlib>
#include <cstring>

#include "kite/foundation/Log.h"

namespace kite {

const Data Data::Null;

Data::Data(const Data& other) { copy(other.bytes, other.size); }

Data::Data(Data&& other) noexcept { move(other); }

Data::~Data() { clear(); }

Data& Data::operator=(const Data& other) {
    if (this != &other) copy(other.bytes, other.size);
    return *this;
}

Data& Data::operator=(Data&& other) noexcept {
    move(other);
    return *this;
}

void Data::copy(const unsigned char* source, std::int64_t count) {
    if (count < 1 || source == nullptr) {
        clear();
        return;
    }
    if (static_cast<std::uint64_t>(count) > SIZE_MAX) {
        log("Data: cannot hold %lld bytes", static_cast<long long>(count));
        clear();
        return;
    }
    // The new block is filled before the old one goes: source may point into it.
    auto* block = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(count)));
    if (block == nullptr) {
        log("Data: out of memory for %lld bytes", static_cast<long long>(count));
        clear();
        return;
    }
    std::memcpy(block, source, static_cast<std::size_t>(count));
    clear();
    bytes = block;
    size = count;
}

void Data::move(Data& other) {
    if (this == &other) return;
    clear();
    bytes = other.bytes;
    size = other.size;
    other.bytes = nullptr;
    other.size = 0;
}

void Data::fastSet(unsigned char* block, std::int64_t count) {
    if (block != bytes) std::free(bytes);
    bytes = block;
    size = (block && count > 0) ? count : 0;
}

void Data::clear() {
    std::free(bytes);
    bytes = nullptr;
    size = 0;
}

unsigned char* Data::takeBuffer(std::int64_t* sizeOut) {
    unsigned char* block = bytes;
    if (sizeOut) *sizeOut = size;
    bytes = nullptr;
    size = 0;
    return block;
}

}  // namespace kite
