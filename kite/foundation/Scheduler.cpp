#include "kite/foundation/Scheduler.h"

#include <uthash.h>
#include <utlist.h>

#include <new>

namespace kite {

struct Scheduler::ListEntry {
    ListEntry* prev;
    ListEntry* next;
    std::function<void(float)> callback;
    void* target;
    int priority;
    bool paused;
    bool markedForDeletion;  // removal waits for the end of update
};

struct Scheduler::UpdateHashElement {
    ListEntry** list;  // the list holding entry
    ListEntry* entry;
    void* target;
    UT_hash_handle hh;
};

struct Scheduler::TimerHashElement {
    ktArray* timers;
    void* target;
    int timerIndex;
    Timer* currentTimer;
    bool currentTimerRemoved;  // retained so that it survives its own step
    bool paused;
    UT_hash_handle hh;
};

// Timer

void Timer::setupTimerWithInterval(float seconds, unsigned int repeatCount, float delaySeconds) {
    elapsed = -1.0f;
    interval = seconds;
    delay = delaySeconds;
    delayPending = delay > 0.0f;
    repeat = repeatCount;
    repeatsForever = repeat == kRepeatForever;
    executions = 0;
}

void Timer::update(float dt) {
    if (elapsed == -1.0f) {
        elapsed = 0.0f;
        executions = 0;
        return;
    }
    elapsed += dt;
    if (repeatsForever && !delayPending) {
        if (elapsed >= interval) {
            trigger();
            elapsed = 0.0f;
        }
        return;
    }
    if (delayPending) {
        if (elapsed >= delay) {
            trigger();
            elapsed -= delay;
            ++executions;
            delayPending = false;
        }
    } else if (elapsed >= interval) {
        trigger();
        elapsed = 0.0f;
        ++executions;
    }
    if (!repeatsForever && executions > repeat) cancel();
}

// TimerTargetSelector

bool TimerTargetSelector::initWithSelector(Scheduler* owner, SEL_SCHEDULE method, Ref* object, float seconds,
                                           unsigned int repeatCount, float delaySeconds) {
    scheduler = owner;
    target = object;
    selector = method;
    setupTimerWithInterval(seconds, repeatCount, delaySeconds);
    return true;
}

void TimerTargetSelector::trigger() {
    if (target && selector) (target->*selector)(elapsed);
}

// Removes this very timer: its callback may have replaced it by a new timer with the same selector.
void TimerTargetSelector::cancel() { scheduler->unscheduleTimer(this); }

// Scheduler

Scheduler::Scheduler() { postedFunctions.reserve(30); }

Scheduler::~Scheduler() { unscheduleAll(); }

void Scheduler::removeHashElement(TimerHashElement* element) {
    ktArrayFree(&element->timers);
    HASH_DEL(hashForTimers, element);
    delete element;
}

void Scheduler::scheduleSelector(SEL_SCHEDULE selector, Ref* target, float interval, unsigned int repeat, float delay,
                                 bool paused) {
    if (!selector || !target) return;
    TimerHashElement* element = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, element);
    if (!element) {
        element = new (std::nothrow) TimerHashElement{};
        if (!element) return;
        element->target = target;
        element->paused = paused;
        HASH_ADD_PTR(hashForTimers, target, element);
    }
    if (!element->timers) {
        element->timers = ktArrayNew(10);
        if (!element->timers) return;
    } else {
        for (ssize_t i = 0; i < element->timers->num; ++i) {
            auto* timer = static_cast<TimerTargetSelector*>(element->timers->arr[i]);
            if (timer->getSelector() == selector) {
                timer->setInterval(interval);
                return;
            }
        }
        if (!ktArrayEnsureExtraCapacity(element->timers, 1)) return;
    }
    auto* timer = new (std::nothrow) TimerTargetSelector();
    if (!timer) return;
    timer->initWithSelector(this, selector, target, interval, repeat, delay);
    ktArrayAppendObject(element->timers, timer);
    timer->release();
}

void Scheduler::unscheduleSelector(SEL_SCHEDULE selector, Ref* target) {
    if (!target || !selector) return;
    TimerHashElement* element = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, element);
    if (!element || !element->timers) return;
    for (ssize_t i = 0; i < element->timers->num; ++i) {
        if (static_cast<TimerTargetSelector*>(element->timers->arr[i])->getSelector() == selector) {
            removeTimerAt(element, i);
            return;
        }
    }
}

void Scheduler::unscheduleTimer(TimerTargetSelector* timer) {
    Ref* target = timer->getTarget();
    TimerHashElement* element = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, element);
    if (!element || !element->timers) return;
    for (ssize_t i = 0; i < element->timers->num; ++i) {
        if (element->timers->arr[i] == timer) {
            removeTimerAt(element, i);
            return;
        }
    }
}

void Scheduler::removeTimerAt(TimerHashElement* element, ssize_t i) {
    auto* timer = static_cast<Timer*>(element->timers->arr[i]);
    if (timer == element->currentTimer && !element->currentTimerRemoved) {
        element->currentTimer->retain();
        element->currentTimerRemoved = true;
    }
    ktArrayRemoveObjectAtIndex(element->timers, i, true);
    // The running walk must not skip the timer that moved into slot i.
    if (element->timerIndex >= i) --element->timerIndex;
    if (element->timers->num == 0) {
        if (currentTarget == element)
            currentTargetRemoved = true;
        else
            removeHashElement(element);
    }
}

bool Scheduler::isScheduled(SEL_SCHEDULE selector, Ref* target) const {
    if (!selector || !target) return false;
    TimerHashElement* element = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, element);
    if (!element || !element->timers) return false;
    for (ssize_t i = 0; i < element->timers->num; ++i) {
        if (static_cast<TimerTargetSelector*>(element->timers->arr[i])->getSelector() == selector) return true;
    }
    return false;
}

void Scheduler::removeUpdateFromHash(ListEntry* entry) {
    UpdateHashElement* element = nullptr;
    HASH_FIND_PTR(hashForUpdates, &entry->target, element);
    if (!element) return;
    DL_DELETE(*element->list, element->entry);
    delete element->entry;
    HASH_DEL(hashForUpdates, element);
    delete element;
}

void Scheduler::priorityIn(ListEntry** list, const std::function<void(float)>& callback, void* target, int priority,
                           bool paused) {
    auto* entry = new (std::nothrow) ListEntry{nullptr, nullptr, callback, target, priority, paused, false};
    if (!entry) return;
    ListEntry* before = nullptr;
    for (ListEntry* e = *list; e; e = e->next) {
        if (priority < e->priority) {
            before = e;
            break;
        }
    }
    if (before)
        DL_PREPEND_ELEM(*list, before, entry);
    else
        DL_APPEND(*list, entry);

    auto* element = new (std::nothrow) UpdateHashElement{};
    if (!element) {
        DL_DELETE(*list, entry);
        delete entry;
        return;
    }
    element->list = list;
    element->entry = entry;
    element->target = target;
    HASH_ADD_PTR(hashForUpdates, target, element);
}

void Scheduler::appendIn(ListEntry** list, const std::function<void(float)>& callback, void* target, bool paused) {
    priorityIn(list, callback, target, 0, paused);
}

void Scheduler::schedulePerFrame(const std::function<void(float)>& callback, void* target, int priority, bool paused) {
    if (!target) return;
    UpdateHashElement* element = nullptr;
    HASH_FIND_PTR(hashForUpdates, &target, element);
    if (element) {
        // Compared with the entry's own priority: a target asking for another
        // priority moves, one asking for the same keeps its callback.
        if (element->entry->priority == priority || insideUpdate) {
            element->entry->markedForDeletion = false;
            element->entry->paused = paused;
            return;
        }
        unscheduleUpdate(target);
    }
    if (priority == 0)
        appendIn(&updates0List, callback, target, paused);
    else if (priority < 0)
        priorityIn(&updatesNegList, callback, target, priority, paused);
    else
        priorityIn(&updatesPosList, callback, target, priority, paused);
}

void Scheduler::unscheduleUpdate(void* target) {
    if (!target) return;
    UpdateHashElement* element = nullptr;
    HASH_FIND_PTR(hashForUpdates, &target, element);
    if (!element) return;
    if (insideUpdate)
        element->entry->markedForDeletion = true;
    else
        removeUpdateFromHash(element->entry);
}

bool Scheduler::isScheduledForUpdate(void* target) const {
    if (!target) return false;
    UpdateHashElement* element = nullptr;
    HASH_FIND_PTR(hashForUpdates, &target, element);
    return element && !element->entry->markedForDeletion;
}

void Scheduler::unscheduleAllForTarget(void* target) {
    if (!target) return;
    TimerHashElement* element = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, element);
    if (element) {
        if (element->currentTimer && !element->currentTimerRemoved &&
            ktArrayContainsObject(element->timers, element->currentTimer)) {
            element->currentTimer->retain();
            element->currentTimerRemoved = true;
        }
        ktArrayRemoveAllObjects(element->timers);
        if (currentTarget == element)
            currentTargetRemoved = true;
        else
            removeHashElement(element);
    }
    unscheduleUpdate(target);
}

void Scheduler::unscheduleAllWithMinPriority(int minPriority) {
    for (TimerHashElement* element = hashForTimers; element;) {
        // Read the next element first: this one may be deleted.
        auto* next = static_cast<TimerHashElement*>(element->hh.next);
        unscheduleAllForTarget(element->target);
        element = next;
    }
    ListEntry* entry = nullptr;
    ListEntry* tmp = nullptr;
    if (minPriority < 0) {
        DL_FOREACH_SAFE(updatesNegList, entry, tmp) {
            if (entry->priority >= minPriority) unscheduleUpdate(entry->target);
        }
    }
    if (minPriority <= 0) {
        DL_FOREACH_SAFE(updates0List, entry, tmp) { unscheduleUpdate(entry->target); }
    }
    DL_FOREACH_SAFE(updatesPosList, entry, tmp) {
        if (entry->priority >= minPriority) unscheduleUpdate(entry->target);
    }
}

void Scheduler::pauseTarget(void* target) {
    if (!target) return;
    TimerHashElement* timers = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, timers);
    if (timers) timers->paused = true;
    UpdateHashElement* update = nullptr;
    HASH_FIND_PTR(hashForUpdates, &target, update);
    if (update) update->entry->paused = true;
}

void Scheduler::resumeTarget(void* target) {
    if (!target) return;
    TimerHashElement* timers = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, timers);
    if (timers) timers->paused = false;
    UpdateHashElement* update = nullptr;
    HASH_FIND_PTR(hashForUpdates, &target, update);
    if (update) update->entry->paused = false;
}

bool Scheduler::isTargetPaused(void* target) const {
    if (!target) return false;
    TimerHashElement* timers = nullptr;
    HASH_FIND_PTR(hashForTimers, &target, timers);
    if (timers) return timers->paused;
    UpdateHashElement* update = nullptr;
    HASH_FIND_PTR(hashForUpdates, &target, update);
    return update && update->entry->paused;
}

void Scheduler::performFunctionInMainThread(const std::function<void()>& function) {
    std::lock_guard<std::mutex> lock(postedMutex);
    postedFunctions.push_back(function);
}

void Scheduler::update(float dt) {
    insideUpdate = true;
    if (timeScale != 1.0f) dt *= timeScale;

    ListEntry* entry = nullptr;
    ListEntry* tmp = nullptr;
    for (ListEntry** list : {&updatesNegList, &updates0List, &updatesPosList}) {
        DL_FOREACH_SAFE(*list, entry, tmp) {
            if (!entry->paused && !entry->markedForDeletion) entry->callback(dt);
        }
    }

    for (TimerHashElement* element = hashForTimers; element;) {
        currentTarget = element;
        currentTargetRemoved = false;
        if (!element->paused) {
            for (element->timerIndex = 0; element->timers && element->timerIndex < element->timers->num;
                 ++element->timerIndex) {
                element->currentTimer = static_cast<Timer*>(element->timers->arr[element->timerIndex]);
                element->currentTimerRemoved = false;
                element->currentTimer->update(dt);
                if (element->currentTimerRemoved) {
                    element->currentTimer->release();
                    element->currentTimerRemoved = false;
                }
                element->currentTimer = nullptr;
            }
        }
        // Targets that got their first timer during this walk were added at the end.
        auto* next = static_cast<TimerHashElement*>(element->hh.next);
        if (currentTargetRemoved && (!element->timers || element->timers->num == 0)) removeHashElement(element);
        element = next;
    }

    for (ListEntry** list : {&updatesNegList, &updates0List, &updatesPosList}) {
        DL_FOREACH_SAFE(*list, entry, tmp) {
            if (entry->markedForDeletion) removeUpdateFromHash(entry);
        }
    }

    insideUpdate = false;
    currentTarget = nullptr;

    {
        std::lock_guard<std::mutex> lock(postedMutex);
        if (postedFunctions.empty()) return;
        runningFunctions_.swap(postedFunctions);
    }
    // Run unlocked, so a posted function may post again (it waits for the next frame).
    for (auto& function : runningFunctions_) function();
    runningFunctions_.clear();
}

}  // namespace kite
