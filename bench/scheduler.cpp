// Per-frame cost of the scheduler with 1,000 per-frame update targets and 1,000 timers
// (the reported time per iteration is the time of one frame).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "kite/foundation/Scheduler.h"

namespace {

class Target : public kite::Ref {
public:
    void update(float dt) { sum += dt; }
    void tick(float dt) { sum += dt; }
    float sum = 0.0f;
};

// timerInterval 0 fires every timer every frame; 1 s fires each about once a second.
void frame(benchmark::State& state, float timerInterval) {
    constexpr int kTargets = 1000;
    kite::Scheduler scheduler;
    std::vector<std::unique_ptr<Target>> updated(kTargets), timed(kTargets);
    for (int i = 0; i < kTargets; ++i) {
        updated[i] = std::make_unique<Target>();
        timed[i] = std::make_unique<Target>();
        scheduler.scheduleUpdate(updated[i].get(), i % 7 - 3, false);
        scheduler.scheduleSelectorForever(kite::schedule_selector(&Target::tick), timed[i].get(), timerInterval, false);
    }
    for (auto _ : state) scheduler.update(1.0f / 60);
    benchmark::DoNotOptimize(updated[0]->sum + timed[0]->sum);
    scheduler.unscheduleAll();
}

void BM_SchedulerFrameAllTimersFiring(benchmark::State& state) { frame(state, 0.0f); }
void BM_SchedulerFrameTimersOncePerSecond(benchmark::State& state) { frame(state, 1.0f); }

BENCHMARK(BM_SchedulerFrameAllTimersFiring);
BENCHMARK(BM_SchedulerFrameTimersOncePerSecond);

}  // namespace
