// The sprite storm every program of the peer benchmark draws: where each sprite starts, how it
// moves, its texture and the command line. The LÖVE program (love/main.lua) repeats these
// formulas in Lua; keep the two alike.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bench {

constexpr int kBunnySize = 32;  // pixels a side

struct StormSize {
    int sprites = 1000;
    int width = 800;  // window pixels
    int height = 450;
};

// A sprite's centre and its velocity in pixels per frame.
struct Bunny {
    float x, y, vx, vy;
};

// Spread over the window by fixed strides, with 11 x 7 velocities: the same storm in every program.
inline Bunny bunnyAt(int i, const StormSize& size) {
    const long n = i;
    return Bunny{static_cast<float>((n * 7919) % (size.width + 1)),
                 static_cast<float>((n * 104729) % (size.height + 1)), static_cast<float>((n * 37) % 11 - 5) * 0.5f,
                 static_cast<float>((n * 53) % 7 - 3) * 0.5f + 0.25f};
}

// One frame's move: the centre bounces off the window's edges, so every sprite overlaps the window.
inline void step(Bunny& b, const StormSize& size) {
    b.x += b.vx;
    b.y += b.vy;
    if (b.x < 0.0f || b.x > static_cast<float>(size.width)) {
        b.vx = -b.vx;
        b.x += 2.0f * b.vx;
    }
    if (b.y < 0.0f || b.y > static_cast<float>(size.height)) {
        b.vy = -b.vy;
        b.y += 2.0f * b.vy;
    }
}

// A disc with a soft rim on a transparent square, RGBA rows; premultiplied for programs that
// blend premultiplied colours.
inline std::vector<unsigned char> bunnyPixels(bool premultiplied) {
    std::vector<unsigned char> pixels(kBunnySize * kBunnySize * 4);
    for (int y = 0; y < kBunnySize; ++y) {
        for (int x = 0; x < kBunnySize; ++x) {
            const float dx = static_cast<float>(x) - 15.5f, dy = static_cast<float>(y) - 15.5f;
            const float d2 = dx * dx + dy * dy;
            const int alpha = d2 < 13.0f * 13.0f ? 255 : d2 < 16.0f * 16.0f ? 128 : 0;
            const int rgb[3] = {255, 200 - y * 3, 80 + x * 4};
            unsigned char* p = &pixels[static_cast<std::size_t>((y * kBunnySize + x) * 4)];
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<unsigned char>(premultiplied ? rgb[c] * alpha / 255 : rgb[c]);
            p[3] = static_cast<unsigned char>(alpha);
        }
    }
    return pixels;
}

// --sprites N --width W --height H --frames F (frames: -1 runs until closed). False after a usage line.
inline bool parseStormArguments(int argc, char** argv, StormSize& size, long& frames) {
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        char* end = nullptr;
        const long number = value ? std::strtol(value, &end, 10) : 0;
        const bool valid = value && *end == '\0' && number >= 0 && number <= 10000000;
        if (!valid) {
            std::fprintf(stderr, "usage: %s [--sprites N] [--width W] [--height H] [--frames F]\n", argv[0]);
            return false;
        }
        if (std::strcmp(argv[i], "--sprites") == 0)
            size.sprites = static_cast<int>(number);
        else if (std::strcmp(argv[i], "--width") == 0 && number > 0)
            size.width = static_cast<int>(number);
        else if (std::strcmp(argv[i], "--height") == 0 && number > 0)
            size.height = static_cast<int>(number);
        else if (std::strcmp(argv[i], "--frames") == 0)
            frames = number;
        else {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[i]);
            return false;
        }
        ++i;
    }
    return true;
}

}  // namespace bench
