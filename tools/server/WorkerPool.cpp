#include "tools/server/WorkerPool.h"

#include <utility>

namespace stargrid_server {

void WorkerPool::enqueue(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        // Every idle worker may already be woken for a job queued before this one.
        if (idle_ < jobs_.size() && workers_.size() < mostWorkers_) workers_.emplace_back([this] { work(); });
    }
    wake_.notify_one();
}

void WorkerPool::shutdown() {
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        workers.swap(workers_);
    }
    wake_.notify_all();
    for (std::thread& worker : workers) worker.join();
}

std::size_t WorkerPool::workerCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return workers_.size();
}

void WorkerPool::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (jobs_.empty()) return;  // stopping, and nothing is left to run
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

}  // namespace stargrid_server
