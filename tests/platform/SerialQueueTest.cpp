// The serial work queue: one job at a time, in posting order, and the queued ones still run when it closes.
#include "platform/SerialQueue.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace {

class Recorded : public platform::SerialQueue::Job {
public:
    Recorded(std::function<void()> work) : work_(std::move(work)) {}
    void run() override { work_(); }

private:
    std::function<void()> work_;
};

TEST(SerialQueue, JobsRunOneAtATimeInPostingOrderAndDrainOnDestruction) {
    std::vector<int> order;
    int running = 0;
    bool overlapped = false;
    {
        platform::SerialQueue queue("test-queue");
        for (int i = 0; i < 100; ++i) {
            queue.post(std::make_unique<Recorded>([&, i] {
                overlapped = overlapped || ++running > 1;
                order.push_back(i);
                --running;
            }));
        }
    }  // joined here, after every queued job
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, AClosedQueueRefusesJobsAndReportsWhenItHasFinished) {
    platform::SerialQueue queue("test-queue");
    std::mutex mutex;
    std::condition_variable ran;
    bool done = false;
    EXPECT_TRUE(queue.post(std::make_unique<Recorded>([&] {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        ran.notify_all();
    })));
    queue.close();
    EXPECT_FALSE(queue.post(std::make_unique<Recorded>([] {})));
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(ran.wait_for(lock, std::chrono::seconds(10), [&] { return done; }));
    EXPECT_EQ(queue.name(), "test-queue");
}

}  // namespace
