// Labels of one bitmap font, their text changed every frame: layout, quads and drawing per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/Node.h"

namespace {

using namespace kite;

constexpr int kViewport = 64;
constexpr int kLabels = 200;
constexpr int kCharacters = 20;
constexpr int kCell = 8;
constexpr const char* kGlyphs = "0123456789";

struct Stage : bench::GLStage {
    std::string fontPath;
};

// An uncompressed 32-bit TGA of ten 8 x 8 white cells, and a text description of its digits.
std::string writeFont() {
    const std::string dir = "/tmp/stargrid-bench-labels";
    std::remove((dir + "/digits.fnt").c_str());
    std::string mkdir = "mkdir -p " + dir;
    if (std::system(mkdir.c_str()) != 0) return "";
    const int width = 10 * kCell;
    std::vector<char> tga(18, 0);
    tga[2] = 2;  // uncompressed true colour
    tga[12] = static_cast<char>(width & 0xFF), tga[13] = static_cast<char>(width >> 8);
    tga[14] = kCell, tga[16] = 32, tga[17] = 0x28;  // 32 bits, top-left origin, 8 alpha bits
    tga.insert(tga.end(), static_cast<std::size_t>(width * kCell * 4), static_cast<char>(0xFF));
    std::ofstream(dir + "/digits.tga", std::ios::binary).write(tga.data(), static_cast<std::streamsize>(tga.size()));

    std::string fnt =
        "info face=\"Digits\" size=8 padding=0,0,0,0\ncommon lineHeight=10 base=8 pages=1\n"
        "page id=0 file=\"digits.tga\"\n";
    for (int i = 0; i < 10; ++i) {
        fnt += "char id=" + std::to_string(static_cast<int>(kGlyphs[i])) + " x=" + std::to_string(i * kCell) +
               " y=0 width=8 height=8 xoffset=0 yoffset=1 xadvance=9 page=0 chnl=15\n";
    }
    std::ofstream(dir + "/digits.fnt") << fnt;
    return dir + "/digits.fnt";
}

void setUp(Stage& made) {
    bench::openGLStage(made, kViewport);
    if (!made.renderer) return;
    Director::getInstance();  // nodes reach it; its frame services are replaced below
    bench::installFrameServices(made, kViewport);
    made.fontPath = writeFont();
}

Stage& stage() { return bench::sharedStage<Stage, setUp>(); }

// Twenty digits that differ from frame to frame and from label to label.
std::string digitsFor(std::uint32_t frame, int label) {
    std::string text(kCharacters, '0');
    std::uint32_t value = frame * 2654435761u + static_cast<std::uint32_t>(label) * 40503u;
    for (char& c : text) {
        c = kGlyphs[value % 10];
        value = value * 1103515245u + 12345u;
    }
    return text;
}

void BM_LabelsChangingEveryFrame(benchmark::State& state) {
    Stage& s = stage();
    if (!s.renderer || s.fontPath.empty()) {
        state.SkipWithError("no GL context or font");
        return;
    }
    RefPtr<Node> root(Node::create());
    std::vector<Label*> labels;
    for (int i = 0; i < kLabels; ++i) {
        Label* label = Label::createWithBMFont(s.fontPath, digitsFor(0, i));
        if (!label) {
            state.SkipWithError("the font did not load");
            return;
        }
        label->setAnchorPoint(Vec2::ZERO);
        label->setPosition(static_cast<float>(-(i % 7) * 10), static_cast<float>(i % 60));
        root->addChild(label);
        labels.push_back(label);
    }
    PoolManager::getInstance()->getCurrentPool()->clear();

    std::uint32_t frame = 0;
    std::int64_t drawCalls = 0;
    for (auto _ : state) {
        ++frame;
        for (int i = 0; i < kLabels; ++i) labels[static_cast<std::size_t>(i)]->setString(digitsFor(frame, i));
        drawCalls = bench::drawFrame(s.renderer.get(), root.get());
    }
    state.counters["draw_calls_per_frame"] = static_cast<double>(drawCalls);
    state.counters["labels"] = kLabels;
}
BENCHMARK(BM_LabelsChangingEveryFrame)->Unit(benchmark::kMillisecond);

}  // namespace
