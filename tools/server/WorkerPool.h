// The threads the server's connections run on: a worker is started whenever a connection
// arrives and none is idle, up to a cap, so a few clients that connect and then stall hold
// a worker each and never the requests behind them.
#pragma once
#include <httplib.h>
// httplib pulls in the resolver's old DELETE macro.
#undef DELETE

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace stargrid_server {

class WorkerPool : public httplib::TaskQueue {
public:
    explicit WorkerPool(std::size_t mostWorkers) : mostWorkers_(mostWorkers) {}
    ~WorkerPool() override { shutdown(); }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Past the cap, jobs wait for the first worker to come free.
    void enqueue(std::function<void()> job) override;
    // Runs the jobs already queued, then joins every worker.
    void shutdown() override;

    std::size_t workerCount() const;

private:
    void work();

    const std::size_t mostWorkers_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
};

}  // namespace stargrid_server
