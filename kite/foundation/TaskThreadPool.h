// The worker-thread task pool: three task threads, made only on request, torn down by the director's reset.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>

namespace kite {

class TaskThreadPool {
public:
    enum class TaskType { IO = 0, NETWORK = 1, OTHER = 2 };
    static constexpr int kThreadCount = 3;

    using Task = std::function<void()>;
    // Hands a completion callback to the thread that should run it (the main thread).
    using CallbackPoster = std::function<void(Task)>;

    // The pool, made on first use (null if it cannot be allocated). Nothing in the
    // engine asks for it; destroyInstance is safe whether or not it exists.
    static TaskThreadPool* getInstance();
    static bool hasInstance();
    // Shuts the threads down from the last to the first: queued tasks and their
    // callbacks are dropped without running, a running task is waited for.
    static void destroyInstance();

    // Queues a task on the given thread; after it has run, its callback (if any) is
    // handed to the callback poster, or run on the worker when no poster is set.
    void enqueue(TaskType type, Task task, Task callback = nullptr);
    void setCallbackPoster(CallbackPoster poster);

    // Called on the destroying thread for each task thread once it has been told to
    // stop and its queues are empty, before it is joined (for tests; null removes it).
    using ShutdownObserver = std::function<void(TaskType)>;
    static void setShutdownObserver(ShutdownObserver observer);

private:
    class TaskThread {
    public:
        TaskThread(TaskThreadPool* pool, TaskType type);
        TaskThread(const TaskThread&) = delete;
        TaskThread& operator=(const TaskThread&) = delete;
        ~TaskThread();

        void push(Task task, Task callback);
        void shutdown();

    private:
        void run();

        TaskThreadPool* pool_;
        TaskType type_;
        std::queue<Task> tasks_;
        std::queue<Task> callbacks_;  // one per queued task, in the same order
        std::mutex mutex_;
        std::condition_variable condition_;
        bool stop_ = false;
        std::thread thread_;  // last: starts once everything above exists
    };

    TaskThreadPool();
    ~TaskThreadPool();

    void deliver(Task callback);

    std::mutex posterMutex_;
    CallbackPoster poster_;
    TaskThread* threads_[kThreadCount] = {};
};

}  // namespace kite
