#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "kite/rendering/Texture2D.h"

namespace kite {
namespace {

using PF = Texture2D::PixelFormat;
using Bytes = std::vector<unsigned char>;

Bytes convert(const Bytes& in, PF from, PF to, PF* produced = nullptr) {
    unsigned char* out = nullptr;
    ssize_t outLen = 0;
    PF result = Texture2D::convertDataToFormat(in.data(), static_cast<ssize_t>(in.size()), from, to, &out, &outLen);
    if (produced) *produced = result;
    Bytes bytes(out, out + outLen);
    if (out != in.data()) std::free(out);
    return bytes;
}

// 16-bit results are stored in native little-endian order.
Bytes le16(std::initializer_list<unsigned int> values) {
    Bytes bytes;
    for (unsigned int v : values) {
        bytes.push_back(static_cast<unsigned char>(v & 0xFF));
        bytes.push_back(static_cast<unsigned char>(v >> 8));
    }
    return bytes;
}

struct Case {
    PF from, to;
    Bytes in, expected;
};

// Intensities 0xFF and 0x80; colours (200, 100, 50[, 0x90]) and (8, 16, 24[, 0x7F]).
// L(200,100,50) = (59800 + 58700 + 5700 + 500) / 1000 = 124; L(8,16,24) = (2392 + 9392 + 2736 + 500) / 1000 = 15.
const Case kCases[] = {
    {PF::I8, PF::RGBA8888, {0xFF, 0x80}, {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x80, 0x80, 0xFF}},
    {PF::I8, PF::RGB888, {0xFF, 0x80}, {0xFF, 0xFF, 0xFF, 0x80, 0x80, 0x80}},
    {PF::I8, PF::RGB565, {0xFF, 0x80}, le16({0xFFFF, (0x10u << 11) | (0x20u << 5) | 0x10u})},
    {PF::I8, PF::AI88, {0xFF, 0x80}, {0xFF, 0xFF, 0x80, 0xFF}},
    {PF::I8, PF::RGBA4444, {0xFF, 0x80}, le16({0xFFFF, 0x888F})},
    {PF::I8, PF::RGB5A1, {0xFF, 0x80}, le16({0xFFFF, (0x10u << 11) | (0x10u << 6) | (0x10u << 1) | 1u})},
    {PF::AI88, PF::RGBA8888, {0xFF, 0x40, 0x80, 0xC0}, {0xFF, 0xFF, 0xFF, 0x40, 0x80, 0x80, 0x80, 0xC0}},
    {PF::AI88, PF::RGB888, {0xFF, 0x40, 0x80, 0xC0}, {0xFF, 0xFF, 0xFF, 0x80, 0x80, 0x80}},
    {PF::AI88, PF::RGB565, {0xFF, 0x40, 0x80, 0xC0}, le16({0xFFFF, (0x10u << 11) | (0x20u << 5) | 0x10u})},
    {PF::AI88, PF::A8, {0xFF, 0x40, 0x80, 0xC0}, {0x40, 0xC0}},
    {PF::AI88, PF::I8, {0xFF, 0x40, 0x80, 0xC0}, {0xFF, 0x80}},
    {PF::AI88, PF::RGBA4444, {0xFF, 0x40, 0x80, 0xC0}, le16({0xFFF4, 0x888C})},
    {PF::AI88, PF::RGB5A1, {0xFF, 0x40, 0x80, 0xC0}, le16({0xFFFE, (0x10u << 11) | (0x10u << 6) | (0x10u << 1) | 1u})},
    {PF::RGB888, PF::RGBA8888, {200, 100, 50, 8, 16, 24}, {200, 100, 50, 255, 8, 16, 24, 255}},
    {PF::RGB888,
     PF::RGB565,
     {200, 100, 50, 8, 16, 24},
     le16({(25u << 11) | (25u << 5) | 6u, (1u << 11) | (4u << 5) | 3u})},
    {PF::RGB888, PF::I8, {200, 100, 50, 8, 16, 24}, {124, 15}},
    {PF::RGB888, PF::AI88, {200, 100, 50, 8, 16, 24}, {124, 255, 15, 255}},
    {PF::RGB888, PF::RGBA4444, {200, 100, 50, 8, 16, 24}, le16({0xC63F, 0x011F})},
    {PF::RGB888,
     PF::RGB5A1,
     {200, 100, 50, 8, 16, 24},
     le16({(25u << 11) | (12u << 6) | (6u << 1) | 1u, (1u << 11) | (2u << 6) | (3u << 1) | 1u})},
    {PF::RGBA8888, PF::RGB888, {200, 100, 50, 0x90, 8, 16, 24, 0x7F}, {200, 100, 50, 8, 16, 24}},
    {PF::RGBA8888,
     PF::RGB565,
     {200, 100, 50, 0x90, 8, 16, 24, 0x7F},
     le16({(25u << 11) | (25u << 5) | 6u, (1u << 11) | (4u << 5) | 3u})},
    {PF::RGBA8888, PF::A8, {200, 100, 50, 0x90, 8, 16, 24, 0x7F}, {0x90, 0x7F}},
    {PF::RGBA8888, PF::I8, {200, 100, 50, 0x90, 8, 16, 24, 0x7F}, {124, 15}},
    {PF::RGBA8888, PF::AI88, {200, 100, 50, 0x90, 8, 16, 24, 0x7F}, {124, 0x90, 15, 0x7F}},
    {PF::RGBA8888, PF::RGBA4444, {200, 100, 50, 0x90, 8, 16, 24, 0x7F}, le16({0xC639, 0x0117})},
    {PF::RGBA8888,
     PF::RGB5A1,
     {200, 100, 50, 0x90, 8, 16, 24, 0x7F},
     le16({(25u << 11) | (12u << 6) | (6u << 1) | 1u, (1u << 11) | (2u << 6) | (3u << 1) | 0u})},
};

TEST(Texture2DConversion, EverySupportedPairProducesTheExpectedBytes) {
    for (const Case& c : kCases) {
        PF produced = PF::NONE;
        Bytes out = convert(c.in, c.from, c.to, &produced);
        EXPECT_EQ(produced, c.to) << static_cast<int>(c.from) << " -> " << static_cast<int>(c.to);
        EXPECT_EQ(out, c.expected) << static_cast<int>(c.from) << " -> " << static_cast<int>(c.to);
    }
}

TEST(Texture2DConversion, SameOrAutoTargetPassesTheDataThrough) {
    const Bytes in = {1, 2, 3, 4};
    for (PF to : {PF::RGBA8888, PF::AUTO}) {
        unsigned char* out = nullptr;
        ssize_t outLen = 0;
        EXPECT_EQ(Texture2D::convertDataToFormat(in.data(), 4, PF::RGBA8888, to, &out, &outLen), PF::RGBA8888);
        EXPECT_EQ(out, in.data());
        EXPECT_EQ(outLen, 4);
    }
}

TEST(Texture2DConversion, UnlistedPairKeepsTheSourceFormat) {
    const Bytes in = {1, 2, 3, 4, 5, 6};
    const std::pair<PF, PF> unlisted[] = {{PF::RGB888, PF::A8},       {PF::RGB888, PF::RGB888},
                                          {PF::RGB565, PF::RGBA8888}, {PF::RGBA4444, PF::RGBA8888},
                                          {PF::I8, PF::A8},           {PF::RGBA8888, PF::BGRA8888}};
    for (auto [from, to] : unlisted) {
        unsigned char* out = nullptr;
        ssize_t outLen = 0;
        EXPECT_EQ(Texture2D::convertDataToFormat(in.data(), 6, from, to, &out, &outLen), from);
        EXPECT_EQ(out, in.data());
        EXPECT_EQ(outLen, 6);
    }
}

TEST(Texture2DConversion, TrailingPartialPixelIsDropped) {
    // Seven bytes of RGBA8888 hold one whole pixel.
    Bytes out = convert({10, 20, 30, 40, 50, 60, 70}, PF::RGBA8888, PF::RGB888);
    EXPECT_EQ(out, (Bytes{10, 20, 30}));
    // Five bytes of RGB888 hold one.
    out = convert({10, 20, 30, 40, 50}, PF::RGB888, PF::RGBA8888);
    EXPECT_EQ(out, (Bytes{10, 20, 30, 255}));
}

}  // namespace
}  // namespace kite
