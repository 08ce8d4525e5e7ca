#include "platform/HostLoop.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/Clock.h"
#include "platform/DisplayLink.h"
#include "platform/SDLInput.h"
#include "platform/Signals.h"

namespace platform {

namespace {

void (*toolkitEventPump)() = nullptr;  // see setToolkitEventPump
constexpr double kTick = 1.0 / DisplayLink::kTicksPerSecond;
// Signals and events are looked at least this often, even with no link running.
constexpr double kMaxWait = 0.05;
}  // namespace

HostLoop& HostLoop::main() {
    static HostLoop loop;
    return loop;
}

HostLoop::~HostLoop() {
    // Links outliving the loop must not reach back into it.
    for (auto& link : std::vector<std::shared_ptr<DisplayLink>>(links_)) link->invalidate();
}

std::uint64_t HostLoop::currentTick() {
    if (!fixedStep_) syncRealTimeTick();
    return tick_;
}

void HostLoop::setFixedStep(bool on) {
    if (on && !Clock::isFixed()) Clock::setFixed(Clock::now());
    fixedStep_ = on;
    epoch_ = -1.0;
}

void HostLoop::reset() {
    for (auto& link : std::vector<std::shared_ptr<DisplayLink>>(links_)) link->invalidate();
    links_.clear();
    sources_.clear();
    quitSteps_.clear();
    posted_.clear();
    handlers_ = Handlers();
    fixedStep_ = stopping_ = quitting_ = quitBegun_ = background_ = false;
    tick_ = 0;
    epoch_ = -1.0;
}

void HostLoop::add(std::shared_ptr<DisplayLink> link) {
    if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(std::move(link));
}

void HostLoop::remove(const DisplayLink* link) {
    links_.erase(std::remove_if(links_.begin(), links_.end(),
                                [link](const std::shared_ptr<DisplayLink>& l) { return l.get() == link; }),
                 links_.end());
}

HostLoop::SourceId HostLoop::addSource(std::function<void()> poll) {
    const SourceId id = nextSource_++;
    sources_.push_back({id, std::make_shared<std::function<void()>>(std::move(poll))});
    return id;
}

void HostLoop::removeSource(SourceId id) {
    sources_.erase(std::remove_if(sources_.begin(), sources_.end(), [id](const Source& s) { return s.id == id; }),
                   sources_.end());
}

HostLoop::SourceId HostLoop::addQuitStep(std::function<void()> step) {
    const SourceId id = nextSource_++;
    quitSteps_.push_back({id, std::make_shared<std::function<void()>>(std::move(step))});
    return id;
}

void HostLoop::removeQuitStep(SourceId id) {
    quitSteps_.erase(std::remove_if(quitSteps_.begin(), quitSteps_.end(), [id](const Source& s) { return s.id == id; }),
                     quitSteps_.end());
}

void HostLoop::pollSources() {
    // A copy, so a poll may add or remove sources; each poll stays alive until it returns.
    std::vector<Source> current(sources_);
    for (const Source& source : current) {
        if (stopping_) break;
        const bool stillThere =
            std::any_of(sources_.begin(), sources_.end(), [&](const Source& s) { return s.id == source.id; });
        if (stillThere) (*source.poll)();
    }
}

int HostLoop::run() {
    if (!quitting_) stopping_ = false;
    while (!stopping_) runOnce();
    return 0;
}

void HostLoop::updateTick() {
    if (fixedStep_) {
        Clock::advance(kTick);
        ++tick_;
        return;
    }
    syncRealTimeTick();
}

void HostLoop::syncRealTimeTick() {
    double now = Clock::now();
    if (epoch_ < 0.0) epoch_ = now - static_cast<double>(tick_) * kTick;
    double ticks = std::floor((now - epoch_) / kTick + 1e-9);
    // A clock that steps back never moves the tick count backwards.
    if (ticks > static_cast<double>(tick_)) tick_ = static_cast<std::uint64_t>(ticks);
}

double HostLoop::secondsUntilNextLink() const {
    if (links_.empty() || epoch_ < 0.0) return kMaxWait;
    std::uint64_t next = UINT64_MAX;
    for (const auto& link : links_) next = std::min(next, link->nextTick());
    double due = epoch_ + static_cast<double>(next) * kTick;
    return std::clamp(due - Clock::now(), 0.0, kMaxWait);
}

void HostLoop::handleSignals() {
    for (LifecycleSignal s = takeLifecycleSignal(); s != LifecycleSignal::None; s = takeLifecycleSignal()) {
        switch (s) {
            case LifecycleSignal::Background: enterBackground(); break;
            case LifecycleSignal::Foreground: enterForeground(); break;
            case LifecycleSignal::Quit: quit(); break;
            case LifecycleSignal::None: break;
        }
    }
}

void HostLoop::deliver(const InputEvent& event) {
    switch (event.type) {
        case InputEvent::Type::BACKGROUND: enterBackground(); break;
        case InputEvent::Type::FOREGROUND: enterForeground(); break;
        case InputEvent::Type::CLOSE: quit(); break;
        default:
            if (handlers_.input) handlers_.input(event);
            break;
    }
}

void HostLoop::handleEvents(double waitSeconds) {
    // Handlers may post more: those wait for the next pass.
    std::vector<InputEvent> posted;
    posted.swap(posted_);
    for (const InputEvent& event : posted) {
        if (stopping_) return;
        deliver(event);
    }
    const bool video = SDL_WasInit(SDL_INIT_VIDEO) != 0;
    if (!video) {
        if (waitSeconds > 0.0) std::this_thread::sleep_for(std::chrono::duration<double>(waitSeconds));
        return;
    }
    SDL_Event event;
    int waitMs = static_cast<int>(std::ceil(waitSeconds * 1000.0));
    bool have = waitMs > 0 ? SDL_WaitEventTimeout(&event, waitMs) != 0 : SDL_PollEvent(&event) != 0;
    while (have && !stopping_) {
        if (std::optional<InputEvent> input = translateSDLEvent(event)) deliver(*input);
        have = SDL_PollEvent(&event) != 0;
    }
}

void HostLoop::setToolkitEventPump(void (*pump)()) { toolkitEventPump = pump; }

void HostLoop::runOnce() {
    if (!fixedStep_) syncRealTimeTick();  // the wait below is measured from the tick grid
    handleSignals();
    if (!stopping_) handleEvents(fixedStep_ ? 0.0 : secondsUntilNextLink());
    if (toolkitEventPump) toolkitEventPump();
    if (!stopping_) handleSignals();
    if (!stopping_) pollSources();
    if (!stopping_) {
        updateTick();
        // Links may be added, invalidated or dropped by the callbacks: walk a copy
        // that keeps each one alive until its poll has returned.
        std::vector<std::shared_ptr<DisplayLink>> due(links_);
        for (auto& link : due) {
            if (stopping_) break;
            if (link->isValid()) link->poll(tick_);
        }
    }
    if (handlers_.afterPass && !stopping_) handlers_.afterPass();
}

void HostLoop::enterBackground() {
    if (background_ || quitting_) return;
    background_ = true;
    if (handlers_.background) handlers_.background();
}

void HostLoop::enterForeground() {
    if (!background_ || quitting_) return;
    background_ = false;
    if (handlers_.foreground) handlers_.foreground();
}

void HostLoop::quit() {
    if (quitting_ || quitBegun_) return;
    quitBegun_ = true;
    // A copy, so a step may remove itself; each stays alive until it returns.
    for (const Source& step : std::vector<Source>(quitSteps_)) (*step.poll)();
    enterBackground();
    quitting_ = true;
    if (handlers_.quit) handlers_.quit();
    stopping_ = true;
}

}  // namespace platform
