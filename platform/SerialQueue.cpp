// A serial work queue on a thread of its own.
#include "platform/SerialQueue.h"

#include <pthread.h>

#include <system_error>
#include <utility>

namespace platform {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)) {
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        startError_ = error.what();
        closed_ = finished_ = true;
    }
}

SerialQueue::~SerialQueue() {
    close();
    if (thread_.joinable()) thread_.join();
}

bool SerialQueue::post(std::unique_ptr<Job> job) {
    if (!job) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

void SerialQueue::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    wake_.notify_one();
}

bool SerialQueue::finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

void SerialQueue::run() {
    // Linux keeps 15 characters of a thread's name.
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                finished_ = true;
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job->run();
    }
}

}  // namespace platform
