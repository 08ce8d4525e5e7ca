// Timers, per-frame callbacks and functions posted from other threads, stepped once per frame.
#pragma once
#include <climits>
#include <functional>
#include <mutex>
#include <vector>

#include "kite/foundation/CArray.h"
#include "kite/foundation/Ref.h"

namespace kite {

class Scheduler;

// A member function of a target, called with the time since its previous call.
using SEL_SCHEDULE = void (Ref::*)(float);

// Turns a member function of any Ref subclass into a selector.
template <class T>
SEL_SCHEDULE schedule_selector(void (T::*method)(float)) {
    return static_cast<SEL_SCHEDULE>(method);
}

// Repeat count that never runs out.
constexpr unsigned int kRepeatForever = UINT_MAX - 1;

class Timer : public Ref {
public:
    // Advances the timer by dt and fires it when due; at most one trigger per call.
    void update(float dt);

    virtual void trigger() = 0;
    virtual void cancel() = 0;

    float getInterval() const { return interval; }
    void setInterval(float seconds) { interval = seconds; }

protected:
    Timer() = default;
    void setupTimerWithInterval(float seconds, unsigned int repeatCount, float delaySeconds);

    Scheduler* scheduler = nullptr;
    float elapsed = -1.0f;  // -1: not started; the first update only starts the clock
    bool repeatsForever = false;
    bool delayPending = false;
    unsigned int executions = 0;
    unsigned int repeat = 0;  // further executions after the first
    float delay = 0.0f;
    float interval = 0.0f;
};

class TimerTargetSelector : public Timer {
public:
    bool initWithSelector(Scheduler* owner, SEL_SCHEDULE method, Ref* target, float seconds, unsigned int repeatCount,
                          float delaySeconds);

    void trigger() override;
    void cancel() override;

    SEL_SCHEDULE getSelector() const { return selector; }
    Ref* getTarget() const { return target; }

private:
    Ref* target = nullptr;  // not retained
    SEL_SCHEDULE selector = nullptr;
};

class Scheduler : public Ref {
public:
    // Action managers register at this priority so that actions run before everything else.
    static constexpr int PRIORITY_SYSTEM = INT_MIN;

    Scheduler();
    ~Scheduler() override;

    float getTimeScale() const { return timeScale; }
    void setTimeScale(float scale) { timeScale = scale; }

    // Runs one frame: per-frame callbacks by priority, then timers, then posted functions.
    void update(float dt);

    // Adds a timer calling target->*selector. Scheduling a selector that the target
    // already has only changes that timer's interval.
    void scheduleSelector(SEL_SCHEDULE selector, Ref* target, float interval, unsigned int repeat, float delay,
                          bool paused);
    void scheduleSelectorForever(SEL_SCHEDULE selector, Ref* target, float interval, bool paused) {
        scheduleSelector(selector, target, interval, kRepeatForever, 0.0f, paused);
    }
    void unscheduleSelector(SEL_SCHEDULE selector, Ref* target);
    // Removes that timer instance only (a timer whose repeats ran out).
    void unscheduleTimer(TimerTargetSelector* timer);
    bool isScheduled(SEL_SCHEDULE selector, Ref* target) const;

    // Calls target->update(dt) every frame; lower priorities run earlier.
    template <class T>
    void scheduleUpdate(T* target, int priority, bool paused) {
        schedulePerFrame([target](float dt) { target->update(dt); }, target, priority, paused);
    }
    // One per-frame callback per target; registering again with the same priority
    // keeps the callback and only updates the paused flag.
    void schedulePerFrame(const std::function<void(float)>& callback, void* target, int priority, bool paused);
    void unscheduleUpdate(void* target);
    bool isScheduledForUpdate(void* target) const;

    void unscheduleAllForTarget(void* target);
    void unscheduleAllWithMinPriority(int minPriority);
    void unscheduleAll() { unscheduleAllWithMinPriority(INT_MIN); }

    void pauseTarget(void* target);
    void resumeTarget(void* target);
    bool isTargetPaused(void* target) const;

    // Safe from any thread: the function runs on the main thread in the next update,
    // after the callbacks and timers, in posting order.
    void performFunctionInMainThread(const std::function<void()>& function);

    struct ListEntry;
    struct UpdateHashElement;
    struct TimerHashElement;

private:
    void removeUpdateFromHash(ListEntry* entry);
    void removeHashElement(TimerHashElement* element);
    void removeTimerAt(TimerHashElement* element, ssize_t index);
    void priorityIn(ListEntry** list, const std::function<void(float)>& callback, void* target, int priority,
                    bool paused);
    void appendIn(ListEntry** list, const std::function<void(float)>& callback, void* target, bool paused);

    float timeScale = 1.0f;
    ListEntry* updatesNegList = nullptr;  // priority < 0
    ListEntry* updates0List = nullptr;    // priority == 0
    ListEntry* updatesPosList = nullptr;  // priority > 0
    UpdateHashElement* hashForUpdates = nullptr;
    TimerHashElement* hashForTimers = nullptr;
    TimerHashElement* currentTarget = nullptr;
    bool currentTargetRemoved = false;
    bool insideUpdate = false;

    std::vector<std::function<void()>> postedFunctions;
    std::vector<std::function<void()>> runningFunctions_;  // reused between frames
    std::mutex postedMutex;
};

}  // namespace kite
