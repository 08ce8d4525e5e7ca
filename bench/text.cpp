// Text: 100 distinct system-font strings of ten Chinese characters (glyph cache cold and warm), and the
// layout of a 1,000-character TrueType label.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/StringUtils.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "platform/TextRenderer.h"

namespace {

using namespace kite;

constexpr int kStrings = 100;
constexpr int kViewport = 64;
constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Ten common CJK ideographs per string, different from string to string.
std::vector<std::string> chineseStrings() {
    std::vector<std::string> out;
    std::uint32_t value = 12345u;
    for (int s = 0; s < kStrings; ++s) {
        std::u32string text;
        for (int c = 0; c < 10; ++c) {
            value = value * 1103515245u + 12345u;
            text.push_back(static_cast<char32_t>(0x4E00 + (value >> 8) % 3000));
        }
        std::string utf8;
        StringUtils::UTF32ToUTF8(text, utf8);
        out.push_back(utf8);
    }
    return out;
}

void renderAll(const std::vector<std::string>& strings, benchmark::State& state) {
    platform::TextRequest request;
    request.fontName = "Helvetica Neue";
    request.fontSize = 22;
    platform::TextBitmap bitmap;
    std::string error;
    for (const std::string& text : strings) {
        request.text = text;
        if (!platform::TextRenderer::instance().render(request, 4096, bitmap, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(bitmap.rgba.data());
    }
}

void BM_SystemFontStrings(benchmark::State& state) {
    const bool cold = state.range(0) == 0;
    const std::vector<std::string> strings = chineseStrings();
    renderAll(strings, state);  // fonts found once
    for (auto _ : state) {
        if (cold) platform::TextRenderer::instance().clearGlyphCache();
        renderAll(strings, state);
    }
    state.counters["strings"] = kStrings;
    state.SetLabel(cold ? "cold glyph cache" : "warm glyph cache");
}
BENCHMARK(BM_SystemFontStrings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void setUp(bench::GLStage& made) {
    bench::openGLStage(made, kViewport);
    if (!made.renderer) return;
    Director::getInstance();
    bench::installFrameServices(made, kViewport);
}

// A thousand letters, a few words each line, changing from one run to the next (glyphs already in the atlas).
void BM_TrueTypeLayout1000(benchmark::State& state) {
    bench::GLStage& s = bench::sharedStage<bench::GLStage, setUp>();
    TTFConfig config;
    config.fontFilePath = kFontPath;
    config.fontSize = 18;
    Label* label = s.renderer ? Label::createWithTTF(config, "") : nullptr;
    if (!label) {
        state.SkipWithError("no GL context or font");
        return;
    }
    RefPtr<Label> held(label);
    label->setMaxLineWidth(600);
    std::string texts[2];
    for (int i = 0; i < 1000; ++i) {
        texts[0] += static_cast<char>(i % 9 == 8 ? ' ' : 'a' + i % 26);
        texts[1] += static_cast<char>(i % 7 == 6 ? ' ' : 'A' + i % 26);
    }
    int which = 0;
    for (auto _ : state) {
        label->setString(texts[which ^= 1]);
        label->updateContent();
        benchmark::DoNotOptimize(label->getStringNumLines());
    }
    state.counters["characters"] = 1000;
    PoolManager::getInstance()->getCurrentPool()->clear();
}
BENCHMARK(BM_TrueTypeLayout1000)->Unit(benchmark::kMicrosecond);

}  // namespace
