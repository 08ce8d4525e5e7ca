// The statistics store and transport: storing 10,000 events one insert each, and sending
// them in batches to a statistics endpoint on 127.0.0.1.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "platform/NetworkReachability.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatStore.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TemporaryFolder.h"

namespace {

using namespace pigeon;
constexpr int kEvents = 10000;

struct Setting {
    Setting() {
        setenv("XDG_DATA_HOME", (folder.path() + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder.path() + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
        platform::setNetworkPathForTesting(platform::NetworkPath::Cellular);
        server.server().Post("/mstat/report",
                             [](const httplib::Request&, httplib::Response& response) { response.status = 200; });
        server.start();
        PGStatConfig::getInstance().set(PGStatConfig::Text::statReportURL, server.url("/mstat/report"));
    }
    kite::test::TemporaryFolder folder{"stat-bench"};
    kite::test::LoopbackHttpServer server;
};

Setting& setting() {
    static Setting instance;
    return instance;
}

void storeAll() {
    PGStatStore& store = PGStatStore::getInstance();
    for (int i = 0; i < kEvents; ++i) {
        auto event = std::make_unique<PGStatCustomEvent>();
        event->eventID = "level_passed_" + std::to_string(i);
        store.storeEvent(std::move(event), nullptr);
    }
    store.waitForQueue();
}

// Each event is its own insert and its own transaction, as the store keeps them.
void StoreEvents(benchmark::State& state) {
    setting();
    PGStatConfig::getInstance().maxStoreEventCount = kEvents;
    for (auto _ : state) {
        state.PauseTiming();
        PGStatStore::getInstance().deleteDB();
        state.ResumeTiming();
        storeAll();
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(StoreEvents)->Unit(benchmark::kMillisecond)->UseRealTime();

// All stored events leave in batches of the given size; each batch is one report.
void SendStoredEvents(benchmark::State& state) {
    setting();
    PGStatConfig::getInstance().maxStoreEventCount = kEvents;
    PGStatConfig::getInstance().maxLoadEventCount = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        PGStatStore::getInstance().deleteDB();
        storeAll();
        state.ResumeTiming();
        PGStatStore::getInstance().sendCachedEvents(-1);
        StatQueue::waitUntilIdle(std::chrono::minutes(5));
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(SendStoredEvents)->Arg(30)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
