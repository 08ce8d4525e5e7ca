// Resource lookup (cached and missed), inflation and property-list parsing.
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/ZipUtils.h"
#include "kite/platform/FileUtilsLinux.h"

#include <benchmark/benchmark.h>

#include <zlib.h>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Tree {
    std::string root;
    Tree() {
        char pattern[] = "/tmp/bench-files-XXXXXX";
        root = mkdtemp(pattern);
        std::system(("mkdir -p '" + root + "/Resources/img/hd'").c_str());
        std::ofstream(root + "/Resources/img/hd/star.png") << "x";
    }
    ~Tree() { std::system(("rm -rf '" + root + "'").c_str()); }
};

void BM_CachedLookup(benchmark::State& state) {
    Tree tree;
    kite::FileUtilsLinux files(tree.root + "/Resources");
    files.init();
    files.setSearchResolutionsOrder({"hd"});
    files.fullPathForFilename("img/star.png");
    for (auto _ : state) benchmark::DoNotOptimize(files.fullPathForFilename("img/star.png"));
}
BENCHMARK(BM_CachedLookup);

// Misses are not cached: every call walks all search paths and resolutions.
void BM_MissedLookup(benchmark::State& state) {
    Tree tree;
    kite::FileUtilsLinux files(tree.root + "/Resources");
    files.init();
    files.setSearchPaths({"a", "b", "c"});
    files.setSearchResolutionsOrder({"hd", "sd"});
    for (auto _ : state) benchmark::DoNotOptimize(files.fullPathForFilename("img/none.png"));
}
BENCHMARK(BM_MissedLookup);

void BM_InflateOneMebibyte(benchmark::State& state) {
    std::vector<unsigned char> data(1 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>((i * 7) ^ (i >> 9));
    uLongf packedSize = compressBound(data.size());
    std::vector<unsigned char> packed(packedSize);
    compress(packed.data(), &packedSize, data.data(), data.size());
    const ssize_t hint = state.range(0);
    for (auto _ : state) {
        unsigned char* out = nullptr;
        benchmark::DoNotOptimize(
            kite::ZipUtils::inflateMemoryWithHint(packed.data(), static_cast<ssize_t>(packedSize), &out, hint));
        std::free(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_InflateOneMebibyte)->Arg(256 * 1024)->Arg(2 * 1024 * 1024);

// About the size of a sprite sheet's frame list.
void BM_ParseSpriteSheetPlist(benchmark::State& state) {
    kite::ValueMap frames;
    for (int i = 0; i < 200; ++i) {
        frames["frame" + std::to_string(i) + ".png"] =
            kite::Value(kite::ValueMap{{"frame", kite::Value("{{2,2},{64,64}}")},
                                       {"offset", kite::Value("{0,0}")},
                                       {"rotated", kite::Value(i % 2 == 0)},
                                       {"sourceSize", kite::Value("{64,64}")}});
    }
    std::string text = kite::PropertyList::serialize(kite::ValueMap{{"frames", kite::Value(frames)}});
    for (auto _ : state) {
        kite::Value root;
        benchmark::DoNotOptimize(kite::PropertyList::parse(text.data(), text.size(), root));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseSpriteSheetPlist);

}  // namespace
