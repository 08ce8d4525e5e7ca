// The HTTP client's own cost per request: 1,000 small GETs to a loopback server, one at a time and
// with 8 in the queue, against the same GETs made with libcurl directly (one easy handle each, as
// the client's transport does). Frames are stepped without waiting, so delivery adds no frame time.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Scheduler.h"
#include "kite/http/HttpClient.h"
#include "kite/scene/Director.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/QuietStdout.h"

namespace {

constexpr int kRequests = 1000;

kite::test::LoopbackHttpServer& server() {
    static kite::test::LoopbackHttpServer* shared = [] {
        static kite::test::LoopbackHttpServer instance;
        instance.server().Get("/small", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("{\"code\":\"0000\"}", "application/json");
        });
        instance.start();
        return &instance;
    }();
    return *shared;
}

// Sends requests through the client keeping up to `inFlight` queued, stepping frames until all are answered.
void runThroughClient(int inFlight) {
    using kite::network::HttpRequest;
    kite::network::HttpClient* client = kite::network::HttpClient::getInstance();
    kite::Scheduler* scheduler = kite::Director::getInstance()->getScheduler();
    const std::string url = server().url("/small");
    int sent = 0;
    int answered = 0;
    auto sendOne = [&] {
        HttpRequest* request = HttpRequest::create();
        request->setRequestType(HttpRequest::Type::GET);
        request->setUrl(url);
        request->setResponseCallback([&](kite::network::HttpClient*, kite::network::HttpResponse* response) {
            benchmark::DoNotOptimize(response->getResponseData()->size());
            ++answered;
        });
        client->send(request);
        ++sent;
    };
    while (answered < kRequests) {
        while (sent < kRequests && sent - answered < inFlight) sendOne();
        scheduler->update(1.0f / 60);
        kite::PoolManager::getInstance()->getCurrentPool()->clear();
    }
}

// Argument: how many requests stay queued (1: one at a time).
void BM_HttpClient(benchmark::State& state) {
    server();
    kite::test::QuietStdout quiet;  // the client logs a line per request
    for (auto _ : state) runThroughClient(static_cast<int>(state.range(0)));
    state.SetItemsProcessed(state.iterations() * kRequests);
}
BENCHMARK(BM_HttpClient)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

void BM_LibcurlDirect(benchmark::State& state) {
    const std::string url = server().url("/small");
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (auto _ : state) {
        for (int i = 0; i < kRequests; ++i) {
            CURL* handle = curl_easy_init();
            curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
            curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, discard);
            benchmark::DoNotOptimize(curl_easy_perform(handle));
            curl_easy_cleanup(handle);
        }
    }
    state.SetItemsProcessed(state.iterations() * kRequests);
}
BENCHMARK(BM_LibcurlDirect)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
