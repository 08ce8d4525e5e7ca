// An owned byte buffer: what the file layer reads and the image and font loaders consume.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kite {

class Data {
public:
    static const Data Null;

    Data() = default;
    Data(const Data& other);
    Data(Data&& other) noexcept;
    ~Data();

    Data& operator=(const Data& other);
    Data& operator=(Data&& other) noexcept;

    // Frees the current block, then copies size bytes (nothing when size < 1).
    void copy(const unsigned char* bytes, std::int64_t size);
    // Takes over the other buffer's block; the block held so far is freed.
    void move(Data& other);
    // Adopts a block from malloc without copying; the block held so far is freed.
    void fastSet(unsigned char* bytes, std::int64_t size);
    // Frees the block and leaves the buffer empty.
    void clear();
    // Hands the block (from malloc) to the caller and leaves the buffer empty.
    unsigned char* takeBuffer(std::int64_t* size = nullptr);

    bool isNull() const { return bytes == nullptr || size == 0; }
    unsigned char* getBytes() const { return bytes; }
    std::int64_t getSize() const { return size; }

private:
    unsigned char* bytes = nullptr;
    std::int64_t size = 0;
};

}  // namespace kite
