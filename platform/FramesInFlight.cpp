#include "platform/FramesInFlight.h"

#include <GLES2/gl2.h>

#include <cstdio>

#include "platform/GLExtensions.h"

namespace platform {

namespace {
// A frame that takes longer than this to draw is no longer waited for (a hung driver must not hang
// the game too); the bound then rests on the next frames' fences.
constexpr std::uint64_t kWaitNanoseconds = 2'000'000'000;
}  // namespace

FramesInFlight::FramesInFlight(int limit) : limit_(limit < 1 ? 1 : limit) {}

FramesInFlight::~FramesInFlight() {
    for (__GLsync* fence : fences_) glDeleteSync(fence);
}

void FramesInFlight::framePresented() {
    __GLsync* fence = glFenceSync();
    if (!fence) {
        glFinish();
        return;
    }
    fences_.push_back(fence);
    while (static_cast<int>(fences_.size()) > limit_) waitForOldest();
}

void FramesInFlight::waitForOldest() {
    __GLsync* oldest = fences_.front();
    fences_.pop_front();
    if (!glClientWaitSync(oldest, kWaitNanoseconds))
        std::fprintf(stderr, "platform: a frame was not drawn within %.0f s; not waiting for it\n",
                     static_cast<double>(kWaitNanoseconds) * 1e-9);
    glDeleteSync(oldest);
}

}  // namespace platform
