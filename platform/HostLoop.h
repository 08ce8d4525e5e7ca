// The host run loop: SDL events, lifecycle signals and display links, paced by the frame clock.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/InputEvent.h"

namespace platform {

class DisplayLink;

class HostLoop {
public:
    // The loop of the main thread.
    static HostLoop& main();
    HostLoop() = default;
    ~HostLoop();
    HostLoop(const HostLoop&) = delete;
    HostLoop& operator=(const HostLoop&) = delete;

    struct Handlers {
        std::function<void()> background;  // the game goes to the background
        std::function<void()> foreground;  // and comes back
        std::function<void()> quit;        // runs after background; the loop stops afterwards
        // Every input event the loop does not handle itself (touches, text, keys, focus, size).
        std::function<void(const InputEvent&)> input;
        // After each pass, for checks such as a frame limit.
        std::function<void()> afterPass;
    };
    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    // Fixed step: each pass advances the frame clock by exactly one tick (1/60 s)
    // without waiting. Otherwise passes wait for the next due link on real time.
    void setFixedStep(bool on);
    bool isFixedStep() const { return fixedStep_; }

    // Runs passes until stop or quit; returns the exit status (0).
    int run();
    // One pass: lifecycle signals, posted and window events, then the links that are due.
    void runOnce();
    // Delivered in the next pass, before the window's own events, as if the window sent it
    // (scripted input, tests).
    void post(InputEvent event) { posted_.push_back(std::move(event)); }
    void stop() { stopping_ = true; }
    bool isStopping() const { return stopping_; }

    // Lifecycle transitions, alternating: a second background (or foreground) in a row does nothing.
    void enterBackground();
    void enterForeground();
    // The quit steps, background when in the foreground, then the quit handler, then stop. Once only.
    void quit();
    bool isInBackground() const { return background_; }

    // Another toolkit's events, pumped once per pass by every loop; set by the web window when it is
    // first made, so a program without web pages never loads that toolkit.
    static void setToolkitEventPump(void (*pump)());

    // On real time, brought up to date with the clock first.
    std::uint64_t currentTick();
    std::size_t linkCount() const { return links_.size(); }

    // Run-loop sources (socket watchers): each is polled once per pass, after the events and
    // before the links, and must not block. Removing one from inside a poll is allowed.
    using SourceId = std::uint64_t;
    SourceId addSource(std::function<void()> poll);
    void removeSource(SourceId id);

    // Steps that run once when a quit begins, before its background step, in the order added (a
    // socket stops taking requests and settles those it took in while the game can still act).
    SourceId addQuitStep(std::function<void()> step);
    void removeQuitStep(SourceId id);

    // Display links register themselves here.
    void add(std::shared_ptr<DisplayLink> link);
    void remove(const DisplayLink* link);

    // Back to a fresh state (tests).
    void reset();

private:
    void handleSignals();
    void pollSources();
    void handleEvents(double waitSeconds);
    void deliver(const InputEvent& event);
    void updateTick();
    void syncRealTimeTick();
    double secondsUntilNextLink() const;

    Handlers handlers_;
    std::vector<std::shared_ptr<DisplayLink>> links_;
    struct Source {
        SourceId id;
        std::shared_ptr<std::function<void()>> poll;
    };
    std::vector<Source> sources_;
    std::vector<Source> quitSteps_;
    SourceId nextSource_ = 1;
    std::vector<InputEvent> posted_;
    bool fixedStep_ = false;
    bool stopping_ = false;
    bool quitting_ = false;
    bool quitBegun_ = false;  // the quit steps ran
    bool background_ = false;
    std::uint64_t tick_ = 0;
    double epoch_ = -1.0;  // clock time of tick 0 in real-time mode
};

}  // namespace platform
