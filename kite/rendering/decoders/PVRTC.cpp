#include "kite/rendering/decoders/PVRTC.h"

#include <vector>

namespace kite {

namespace {

// A block's two end-point colours with 5 bits per colour channel and 4 bits of alpha.
struct Colour {
    int r, g, b, a;
};

constexpr int kStandardWeights[4] = {0, 3, 5, 8};
constexpr int kPunchThroughWeights[4] = {0, 4, 4, 8};

struct Block {
    std::uint32_t modulation;
    std::uint32_t colours;
};

Colour unpackColourB(std::uint32_t word) {
    const std::uint32_t c = word >> 16;
    if (c & 0x8000) return {int((c >> 10) & 0x1F), int((c >> 5) & 0x1F), int(c & 0x1F), 0xF};
    const int r = (c >> 8) & 0xF, g = (c >> 4) & 0xF, b = c & 0xF;
    return {(r << 1) | (r >> 3), (g << 1) | (g >> 3), (b << 1) | (b >> 3), int((c >> 12) & 0x7) << 1};
}

Colour unpackColourA(std::uint32_t word) {
    const std::uint32_t c = word & 0xFFFF;
    if (c & 0x8000) {
        const int b = (c >> 1) & 0xF;
        return {int((c >> 10) & 0x1F), int((c >> 5) & 0x1F), (b << 1) | (b >> 3), 0xF};
    }
    const int r = (c >> 8) & 0xF, g = (c >> 4) & 0xF, b = (c >> 1) & 0x7;
    return {(r << 1) | (r >> 3), (g << 1) | (g >> 3), (b << 2) | (b >> 1), int((c >> 12) & 0x7) << 1};
}

// Morton order with the y bit lowest; bits beyond the smaller dimension are appended.
std::uint32_t twiddle(std::uint32_t x, std::uint32_t y, std::uint32_t blocksX, std::uint32_t blocksY) {
    const std::uint32_t smaller = blocksX < blocksY ? blocksX : blocksY;
    std::uint32_t result = 0;
    int shift = 0;
    for (std::uint32_t bit = 1; bit < smaller; bit <<= 1, ++shift) {
        if (y & bit) result |= 1u << (2 * shift);
        if (x & bit) result |= 1u << (2 * shift + 1);
    }
    const std::uint32_t rest = (x > y ? x : y) >> shift;
    return result | (rest << (2 * shift));
}

class Decoder {
public:
    Decoder(const std::uint8_t* input, int width, int height, bool twoBit)
        : blockWidth_(twoBit ? 8 : 4), twoBit_(twoBit) {
        blocksX_ = width / blockWidth_ < 2 ? 2 : width / blockWidth_;
        blocksY_ = height / 4 < 2 ? 2 : height / 4;
        const std::uint32_t count = std::uint32_t(blocksX_) * std::uint32_t(blocksY_);
        blocks_.resize(count);
        colourA_.resize(count);
        colourB_.resize(count);
        for (int by = 0; by < blocksY_; ++by) {
            for (int bx = 0; bx < blocksX_; ++bx) {
                const std::uint32_t index = std::uint32_t(by) * blocksX_ + bx;
                const std::uint32_t address = twiddle(bx, by, blocksX_, blocksY_);
                Block block{0, 0};
                // Sizes that are not powers of two can twiddle past the data: such blocks read as zero.
                if (address < count) {
                    const std::uint8_t* p = input + 8 * std::uint64_t(address);
                    block.modulation = p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
                    block.colours = p[4] | (p[5] << 8) | (p[6] << 16) | (std::uint32_t(p[7]) << 24);
                }
                blocks_[index] = block;
                colourA_[index] = unpackColourA(block.colours);
                colourB_[index] = unpackColourB(block.colours);
            }
        }
    }

    void decode(int width, int height, std::uint8_t* output) const {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Colour a = interpolate(colourA_, x, y);
                const Colour b = interpolate(colourB_, x, y);
                bool punchThrough = false;
                const int m = modulation(x, y, &punchThrough);
                const int weight = blockWidth_ * 4;
                std::uint8_t* out = output + 4 * (std::uint64_t(y) * width + x);
                out[0] = blend(a.r, b.r, m, 31 * weight);
                out[1] = blend(a.g, b.g, m, 31 * weight);
                out[2] = blend(a.b, b.b, m, 31 * weight);
                out[3] = punchThrough ? 0 : blend(a.a, b.a, m, 15 * weight);
            }
        }
    }

private:
    static std::uint8_t blend(int a, int b, int m, int scale) {
        // a and b are channel values times the bilinear weight sum; m is in eighths.
        const std::int64_t mixed = std::int64_t(a) * (8 - m) + std::int64_t(b) * m;
        const std::int64_t full = std::int64_t(scale) * 8;
        return static_cast<std::uint8_t>((mixed * 255 + full / 2) / full);
    }

    int wrapX(int bx) const { return ((bx % blocksX_) + blocksX_) % blocksX_; }
    int wrapY(int by) const { return ((by % blocksY_) + blocksY_) % blocksY_; }
    std::uint32_t blockIndex(int bx, int by) const { return std::uint32_t(wrapY(by)) * blocksX_ + wrapX(bx); }

    // Bilinear upscaling of one of the low-resolution images; each block's colour sits
    // at the block's centre. The result is the channel value times blockWidth x 4.
    Colour interpolate(const std::vector<Colour>& image, int x, int y) const {
        const int px = x - blockWidth_ / 2;
        const int py = y - 2;
        const int bx = px >= 0 ? px / blockWidth_ : -((-px + blockWidth_ - 1) / blockWidth_);
        const int by = py >= 0 ? py / 4 : -((-py + 3) / 4);
        const int fx = px - bx * blockWidth_;
        const int fy = py - by * 4;
        const Colour& p = image[blockIndex(bx, by)];
        const Colour& q = image[blockIndex(bx + 1, by)];
        const Colour& r = image[blockIndex(bx, by + 1)];
        const Colour& s = image[blockIndex(bx + 1, by + 1)];
        const int wp = (blockWidth_ - fx) * (4 - fy), wq = fx * (4 - fy), wr = (blockWidth_ - fx) * fy, ws = fx * fy;
        return {p.r * wp + q.r * wq + r.r * wr + s.r * ws, p.g * wp + q.g * wq + r.g * wr + s.g * ws,
                p.b * wp + q.b * wq + r.b * wr + s.b * ws, p.a * wp + q.a * wq + r.a * wr + s.a * ws};
    }

    // The stored modulation of a pixel, in eighths of colour B.
    int storedModulation(int x, int y, bool* punchThrough) const {
        const int bx = ((x % (blocksX_ * blockWidth_)) + blocksX_ * blockWidth_) % (blocksX_ * blockWidth_);
        const int by = ((y % (blocksY_ * 4)) + blocksY_ * 4) % (blocksY_ * 4);
        const Block& block = blocks_[blockIndex(bx / blockWidth_, by / 4)];
        const int lx = bx % blockWidth_, ly = by % 4;
        const bool modeFlag = block.colours & 1;
        if (!twoBit_) {
            const int value = (block.modulation >> (2 * (ly * 4 + lx))) & 3;
            if (!modeFlag) return kStandardWeights[value];
            if (value == 2 && punchThrough) *punchThrough = true;
            return kPunchThroughWeights[value];
        }
        if (!modeFlag) return ((block.modulation >> (ly * 8 + lx)) & 1) ? 8 : 0;
        std::uint32_t bits = block.modulation;
        // Bits 0 and 20 select the interpolation; their pixels keep one bit of precision.
        bits = (bits & ~1u) | ((bits >> 1) & 1u);
        bits = (bits & ~(1u << 20)) | (((bits >> 21) & 1u) << 20);
        const int value = (bits >> (ly * 8 + (lx & ~1))) & 3;
        return kStandardWeights[value];
    }

    int modulation(int x, int y, bool* punchThrough) const {
        if (!twoBit_ || ((x + y) & 1) == 0) return storedModulation(x, y, punchThrough);
        const Block& block = blocks_[blockIndex(x / blockWidth_, y / 4)];
        if (!(block.colours & 1)) return storedModulation(x, y, punchThrough);
        // A pixel between stored ones of the checkerboard takes its neighbours' average.
        const int left = storedModulation(x - 1, y, nullptr), right = storedModulation(x + 1, y, nullptr);
        const int up = storedModulation(x, y - 1, nullptr), down = storedModulation(x, y + 1, nullptr);
        if (block.modulation & 1) {
            if (block.modulation & (1u << 20)) return (up + down + 1) / 2;
            return (left + right + 1) / 2;
        }
        return (left + right + up + down + 2) / 4;
    }

    int blockWidth_;
    bool twoBit_;
    int blocksX_ = 2;
    int blocksY_ = 2;
    std::vector<Block> blocks_;
    std::vector<Colour> colourA_;
    std::vector<Colour> colourB_;
};

}  // namespace

std::uint64_t PVRTCLevelSize(int width, int height, bool twoBitMode) {
    const int blockWidth = twoBitMode ? 8 : 4;
    const std::uint64_t across = width / blockWidth < 2 ? 2 : width / blockWidth;
    const std::uint64_t down = height / 4 < 2 ? 2 : height / 4;
    return across * down * 8;
}

void PVRTDecompressPVRTC(const std::uint8_t* input, int width, int height, std::uint8_t* output, bool twoBitMode) {
    if (width < 1 || height < 1) return;
    Decoder decoder(input, width, height, twoBitMode);
    decoder.decode(width, height, output);
}

}  // namespace kite
