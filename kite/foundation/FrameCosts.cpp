#include "kite/foundation/FrameCosts.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "kite/foundation/Log.h"
#include "platform/Clock.h"

namespace kite {

namespace {

// The file the costs go to; null, said once, when it cannot be written, so a wrong path is not
// mistaken for a run without costs.
std::FILE* openCostsFile(const char* path) {
    std::FILE* out = std::fopen(path, "w");
    if (!out) log("FrameCosts: cannot write %s: %s; frame costs are not recorded", path, std::strerror(errno));
    return out;
}

}  // namespace

std::unique_ptr<FrameCosts>& FrameCosts::instance() {
    static std::unique_ptr<FrameCosts> costs = []() -> std::unique_ptr<FrameCosts> {
        const char* path = std::getenv("STARGRID_FRAME_COSTS");
        std::FILE* out = path && *path ? openCostsFile(path) : nullptr;
        return out ? std::unique_ptr<FrameCosts>(new FrameCosts(out)) : nullptr;
    }();
    return costs;
}

void FrameCosts::recordTo(const std::string& path) {
    std::FILE* out = path.empty() ? nullptr : openCostsFile(path.c_str());
    instance().reset(out ? new FrameCosts(out) : nullptr);
}

FrameCosts::FrameCosts(std::FILE* out)
    : out_(out), thread_(std::this_thread::get_id()), frameStart_(platform::threadCpuSeconds()) {}

FrameCosts::~FrameCosts() { std::fclose(out_); }

void FrameCosts::begin(const char* step) { open_.push_back({step, platform::threadCpuSeconds(), 0.0}); }

void FrameCosts::end() {
    if (open_.empty()) return;
    const Open done = open_.back();
    open_.pop_back();
    const double elapsed = platform::threadCpuSeconds() - done.start;
    if (!open_.empty()) open_.back().nested += elapsed;
    const double own = elapsed - done.nested;
    auto same = std::find_if(spent_.begin(), spent_.end(),
                             [&](const auto& entry) { return std::strcmp(entry.first, done.step) == 0; });
    if (same == spent_.end())
        spent_.emplace_back(done.step, own);
    else
        same->second += own;
}

void FrameCosts::frameEnded(unsigned int frame) {
    FrameCosts* costs = active();
    if (costs && costs->onItsThread()) costs->write(frame);
}

void FrameCosts::write(unsigned int frame) {
    const double now = platform::threadCpuSeconds();
    const double total = now - frameStart_;
    frameStart_ = now;
    // Steps still open (the frame ends inside one) carry on into the next frame.
    for (Open& open : open_) open.start = now, open.nested = 0.0;
    double named = 0.0;
    for (const auto& entry : spent_) named += entry.second;
    spent_.emplace_back("other", std::max(0.0, total - named));
    std::sort(spent_.begin(), spent_.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::fprintf(out_, "frame %u: %.3f ms", frame, total * 1e3);
    const char* separator = "; ";
    for (const auto& entry : spent_) {
        if (entry.second < 0.0005e-3) continue;
        std::fprintf(out_, "%s%s %.3f", separator, entry.first, entry.second * 1e3);
        separator = ", ";
    }
    std::fputc('\n', out_);
    std::fflush(out_);
    spent_.clear();
}

}  // namespace kite
