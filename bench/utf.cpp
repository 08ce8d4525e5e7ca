// UTF-8 to UTF-16 conversion speed on ASCII, Chinese and mixed text.
#include <benchmark/benchmark.h>

#include <string>

#include "kite/foundation/ConvertUTF.h"
#include "kite/foundation/StringUtils.h"

namespace {

std::string repeat(const std::string& piece, std::size_t bytes) {
    std::string text;
    while (text.size() < bytes) text += piece;
    return text;
}

const std::string& sample(int kind) {
    static const std::string ascii = repeat("Level 12  Target 3560  Score 2045. ", 64 * 1024);
    static const std::string chinese =
        repeat("\xE5\x85\xB3\xE5\x8D\xA1\xE7\x9B\xAE\xE6\xA0\x87\xE5\xBE\x97\xE5\x88\x86",
               64 * 1024);  // 关卡目标得分
    static const std::string mixed =
        repeat("Combo x3 \xE8\xBF\x9E\xE5\x87\xBB \xF0\x9F\x98\x80 caf\xC3\xA9 ", 64 * 1024);
    switch (kind) {
        case 0: return ascii;
        case 1: return chinese;
        default: return mixed;
    }
}

// The string helper: validation, conversion and the output string.
void UTF8ToUTF16(benchmark::State& state, int kind) {
    const std::string& text = sample(kind);
    std::u16string out;
    for (auto _ : state) {
        bool ok = kite::StringUtils::UTF8ToUTF16(text, out);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(UTF8ToUTF16, ascii, 0);
BENCHMARK_CAPTURE(UTF8ToUTF16, chinese, 1);
BENCHMARK_CAPTURE(UTF8ToUTF16, mixed, 2);

// The conversion core alone, into preallocated room.
void ConvertUTF8ToUTF16Core(benchmark::State& state, int kind) {
    const std::string& text = sample(kind);
    std::u16string room(text.size(), u'\0');
    for (auto _ : state) {
        const auto* source = reinterpret_cast<const kite::UTF8*>(text.data());
        kite::UTF16* target = &room[0];
        auto result = kite::convertUTF8ToUTF16(&source, source + text.size(), &target, target + room.size(),
                                               kite::ConversionMode::STRICT);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(target);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(ConvertUTF8ToUTF16Core, ascii, 0);
BENCHMARK_CAPTURE(ConvertUTF8ToUTF16Core, chinese, 1);
BENCHMARK_CAPTURE(ConvertUTF8ToUTF16Core, mixed, 2);

}  // namespace
