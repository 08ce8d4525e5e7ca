// A serial work queue: jobs run one at a time, in posting order, on a thread of its own.
#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

class SerialQueue {
public:
    // A unit of work; the queue owns it until it has run.
    class Job {
    public:
        virtual ~Job() = default;
        virtual void run() = 0;
    };

    // The name labels the thread (cut to what the system keeps) in debuggers and tools. A thread that
    // cannot be started (the system's limit on threads or memory) leaves a queue that refuses every job:
    // see running and startError.
    explicit SerialQueue(std::string name);
    // Closes the queue, lets the jobs already queued run, then joins the thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Queues a job behind the others. Refused (false) once the queue is closed.
    bool post(std::unique_ptr<Job> job);
    // Takes no more jobs; the thread ends after running those already queued.
    void close();
    // Closed, and every job has run: joining now would not wait.
    bool finished() const;
    // Whether the queue has its thread; when not, why it could not be started.
    bool running() const { return thread_.joinable(); }
    const std::string& startError() const { return startError_; }

    const std::string& name() const { return name_; }

private:
    void run();

    const std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::unique_ptr<Job>> jobs_;
    bool closed_ = false;
    bool finished_ = false;
    std::string startError_;
    std::thread thread_;  // last: starts once everything above exists
};

}  // namespace platform
