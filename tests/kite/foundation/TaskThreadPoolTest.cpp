#include "kite/foundation/TaskThreadPool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace kite {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

struct Latch {
    std::mutex mutex;
    std::condition_variable condition;
    bool open = false;

    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
        }
        condition.notify_all();
    }
    bool waitFor(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return condition.wait_for(lock, timeout, [this] { return open; });
    }
};

class TaskThreadPoolTest : public ::testing::Test {
protected:
    void TearDown() override {
        TaskThreadPool::setShutdownObserver(nullptr);
        TaskThreadPool::destroyInstance();
    }
};

TEST_F(TaskThreadPoolTest, DestroyWithoutAPoolLeavesNone) {
    ASSERT_FALSE(TaskThreadPool::hasInstance());
    TaskThreadPool::destroyInstance();
    EXPECT_FALSE(TaskThreadPool::hasInstance());
}

TEST_F(TaskThreadPoolTest, TasksRunInOrderAndCallbacksArePosted) {
    std::mutex mutex;
    std::vector<int> order;
    std::vector<TaskThreadPool::Task> posted;
    Latch done;
    TaskThreadPool* pool = TaskThreadPool::getInstance();
    ASSERT_NE(pool, nullptr);
    pool->setCallbackPoster([&](TaskThreadPool::Task callback) {
        std::lock_guard<std::mutex> lock(mutex);
        posted.push_back(std::move(callback));
        if (posted.size() == 2) done.release();
    });
    auto record = [&](int n) {
        return [&, n] {
            std::lock_guard<std::mutex> lock(mutex);
            order.push_back(n);
        };
    };
    pool->enqueue(TaskThreadPool::TaskType::IO, record(1), record(10));
    pool->enqueue(TaskThreadPool::TaskType::IO, record(2), record(20));
    ASSERT_TRUE(done.waitFor(5000ms));
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_THAT(order, ElementsAre(1, 2));  // callbacks wait for the poster's thread
    }
    for (auto& callback : posted) callback();
    EXPECT_THAT(order, ElementsAre(1, 2, 10, 20));
}

TEST_F(TaskThreadPoolTest, DestroyDropsQueuedTasksAndJoinsFromTheLastThread) {
    Latch started;
    Latch release;
    std::atomic<bool> queuedRan{false};
    std::atomic<bool> callbackRan{false};
    std::vector<TaskThreadPool::TaskType> shutdownOrder;
    TaskThreadPool* pool = TaskThreadPool::getInstance();
    pool->enqueue(TaskThreadPool::TaskType::IO, [&] {
        started.release();
        release.waitFor(5000ms);
    });
    pool->enqueue(
        TaskThreadPool::TaskType::IO, [&] { queuedRan = true; }, [&] { callbackRan = true; });
    ASSERT_TRUE(started.waitFor(5000ms));

    // The running task is let go only once its thread has been told to stop.
    TaskThreadPool::setShutdownObserver([&](TaskThreadPool::TaskType type) {
        shutdownOrder.push_back(type);
        if (type == TaskThreadPool::TaskType::IO) release.release();
    });
    TaskThreadPool::destroyInstance();

    EXPECT_FALSE(TaskThreadPool::hasInstance());
    EXPECT_FALSE(queuedRan);
    EXPECT_FALSE(callbackRan);
    EXPECT_THAT(shutdownOrder, ElementsAre(TaskThreadPool::TaskType::OTHER, TaskThreadPool::TaskType::NETWORK,
                                           TaskThreadPool::TaskType::IO));
}

}  // namespace
}  // namespace kite
