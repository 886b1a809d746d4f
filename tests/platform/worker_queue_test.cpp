// Letting a worker queue go while its threads are busy.
#include "platform/linux/worker_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {

using platform::linux_impl::WorkerQueue;
using namespace std::chrono_literals;

TEST(WorkerQueue, ADrainingQueueLetsGoWhileItsTaskWaitsOnTheReleasingThread) {
    std::promise<void> released;
    std::atomic<int> ran{0};
    std::promise<void> done;
    auto queue = std::make_unique<WorkerQueue>("drain", 1, WorkerQueue::OnRelease::Drain);
    queue->async([&, releasedFuture = released.get_future().share()] {
        // As a dialog run for this task on the main thread would: it waits for the thread that
        // is about to release the queue.
        releasedFuture.wait();
        ++ran;
    });
    queue->async([&] {
        ++ran;
        done.set_value();
    });
    queue.reset();  // must not wait for the first task
    released.set_value();
    ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_EQ(ran, 2) << "what was queued still runs";
}

TEST(WorkerQueue, AQueueReleasedByItsOwnTaskEndsCleanly) {
    std::promise<void> done;
    std::promise<void> posted;
    auto* queue = new WorkerQueue("self", 1);
    queue->async([&, queue, postedFuture = posted.get_future().share()] {
        postedFuture.wait();  // the poster is done with the queue
        delete queue;
        done.set_value();
    });
    posted.set_value();
    EXPECT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
}

}  // namespace
