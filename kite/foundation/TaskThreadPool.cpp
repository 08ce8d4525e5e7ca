// The worker-thread task pool.
#include "kite/foundation/TaskThreadPool.h"

#include <new>
#include <system_error>
#include <utility>

namespace kite {

namespace {
TaskThreadPool* instance = nullptr;
TaskThreadPool::ShutdownObserver& shutdownObserver() {
    static TaskThreadPool::ShutdownObserver observer;
    return observer;
}
}  // namespace

TaskThreadPool::TaskThread::TaskThread(TaskThreadPool* pool, TaskType type)
    : pool_(pool), type_(type), thread_([this] { run(); }) {}

TaskThreadPool::TaskThread::~TaskThread() { shutdown(); }

void TaskThreadPool::TaskThread::push(Task task, Task callback) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) return;
        tasks_.push(std::move(task));
        callbacks_.push(std::move(callback));
    }
    condition_.notify_one();
}

void TaskThreadPool::TaskThread::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        while (!tasks_.empty()) tasks_.pop();
        while (!callbacks_.empty()) callbacks_.pop();
    }
    // Joined after unlocking, so the worker can see the flag and leave.
    condition_.notify_all();
    if (shutdownObserver()) shutdownObserver()(type_);
    if (thread_.joinable()) thread_.join();
}

void TaskThreadPool::TaskThread::run() {
    for (;;) {
        Task task;
        Task callback;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            condition_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
            if (stop_) return;
            task = std::move(tasks_.front());
            tasks_.pop();
            callback = std::move(callbacks_.front());
            callbacks_.pop();
        }
        if (task) task();
        if (callback) pool_->deliver(std::move(callback));
    }
}

TaskThreadPool::TaskThreadPool() {
    for (int i = 0; i < kThreadCount; ++i) {
        try {
            threads_[i] = new (std::nothrow) TaskThread(this, static_cast<TaskType>(i));
        } catch (const std::system_error&) {
            threads_[i] = nullptr;  // no thread could be started: tasks for it are refused
        }
    }
}

TaskThreadPool::~TaskThreadPool() {
    for (int i = kThreadCount - 1; i >= 0; --i) {
        delete threads_[i];
        threads_[i] = nullptr;
    }
}

TaskThreadPool* TaskThreadPool::getInstance() {
    if (instance == nullptr) instance = new (std::nothrow) TaskThreadPool();
    return instance;
}

void TaskThreadPool::setShutdownObserver(ShutdownObserver observer) { shutdownObserver() = std::move(observer); }

bool TaskThreadPool::hasInstance() { return instance != nullptr; }

void TaskThreadPool::destroyInstance() {
    delete instance;
    instance = nullptr;
}

void TaskThreadPool::enqueue(TaskType type, Task task, Task callback) {
    int index = static_cast<int>(type);
    if (index < 0 || index >= kThreadCount || threads_[index] == nullptr) return;
    threads_[index]->push(std::move(task), std::move(callback));
}

void TaskThreadPool::setCallbackPoster(CallbackPoster poster) {
    std::lock_guard<std::mutex> lock(posterMutex_);
    poster_ = std::move(poster);
}

void TaskThreadPool::deliver(Task callback) {
    CallbackPoster poster;
    {
        std::lock_guard<std::mutex> lock(posterMutex_);
        poster = poster_;
    }
    if (poster) {
        poster(std::move(callback));
    } else {
        callback();
    }
}

}  // namespace kite
