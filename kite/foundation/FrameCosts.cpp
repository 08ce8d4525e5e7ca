#include "kite/foundation/FrameCosts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "kite/foundation/Log.h"
#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/PrintableText.h"
#include "platform/StoredFile.h"

namespace kite {

namespace {

// The file the costs go to; null, said once, when it cannot be written, so a wrong path is not
// mistaken for a run without costs. A regular file or a device (/dev/null): a FIFO would hold start-up
// until something reads it.
std::FILE* openCostsFile(const char* path) {
    std::string reason;
    const int fd = platform::openRegularFileOrDevice(path, O_WRONLY | O_CREAT | O_TRUNC, platform::LinkAtFile::Follow,
                                                     &reason, 0666);
    std::FILE* out = fd < 0 ? nullptr : ::fdopen(fd, "w");
    if (fd >= 0 && !out) {
        reason = std::strerror(errno);
        ::close(fd);
    }
    if (!out)
        log("FrameCosts: cannot write %s: %s; frame costs are not recorded", platform::printableText(path).c_str(),
            reason.c_str());
    return out;
}

// Milliseconds with three decimals and a point whatever the locale: the file is read by programs.
std::string milliseconds(double seconds) { return platform::fixedPointText(seconds * 1e3, 3); }

}  // namespace

std::unique_ptr<FrameCosts>& FrameCosts::instance() {
    static std::unique_ptr<FrameCosts> costs = []() -> std::unique_ptr<FrameCosts> {
        const char* path = std::getenv("STARGRID_FRAME_COSTS");
        std::FILE* out = path && *path ? openCostsFile(path) : nullptr;
        return out ? std::unique_ptr<FrameCosts>(new FrameCosts(out, path)) : nullptr;
    }();
    return costs;
}

void FrameCosts::recordTo(const std::string& path) {
    std::FILE* out = path.empty() ? nullptr : openCostsFile(path.c_str());
    instance().reset(out ? new FrameCosts(out, path) : nullptr);
}

FrameCosts::FrameCosts(std::FILE* out, std::string path)
    : out_(out),
      path_(std::move(path)),
      thread_(std::this_thread::get_id()),
      frameStart_(platform::threadCpuSeconds()) {}

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
    if (writeFailed_) {
        spent_.clear();
        return;
    }
    double named = 0.0;
    for (const auto& entry : spent_) named += entry.second;
    spent_.emplace_back("other", std::max(0.0, total - named));
    std::sort(spent_.begin(), spent_.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string line = "frame " + std::to_string(frame) + ": " + milliseconds(total) + " ms";
    const char* separator = "; ";
    for (const auto& entry : spent_) {
        if (entry.second < 0.0005e-3) continue;
        line += separator + std::string(entry.first) + " " + milliseconds(entry.second);
        separator = ", ";
    }
    line += '\n';
    spent_.clear();
    // A file that takes no more (a full disk) is said once, as one that cannot be opened is.
    if (std::fwrite(line.data(), 1, line.size(), out_) != line.size() || std::fflush(out_) != 0) {
        log("FrameCosts: cannot write %s: %s; frame costs are not recorded", platform::printableText(path_).c_str(),
            std::strerror(errno));
        writeFailed_ = true;
    }
}

}  // namespace kite
