#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/worker_queue.h"
#include "platform/testing/virtual_dispatch.h"

namespace platform::testing {

// Virtual time on the main queue, real threads for every serial queue (so every connection's
// queue): for runs against real helper processes and sockets. A released queue's threads still
// run what was queued, and that may reach the main queue: the destructor waits until every task
// given to its queues has run or been dropped, so that none outlives the test's main queue.
class ThreadedConnections : public Dispatch {
public:
    explicit ThreadedConnections(VirtualDispatch& main) : main_(main) {}
    ~ThreadedConnections() override {
        std::unique_lock lock(tasks_->mutex);
        tasks_->none.wait(lock, [&] { return tasks_->pending == 0; });
    }
    ThreadedConnections(const ThreadedConnections&) = delete;
    ThreadedConnections& operator=(const ThreadedConnections&) = delete;
    Queue& main() override { return main_.main(); }
    Queue& global() override { return main_.global(); }
    std::shared_ptr<Queue> makeSerialQueue(const std::string& label) override {
        return std::make_shared<CountedQueue>(label, tasks_);
    }
    void performAfterDelay(Duration delay, Task task) override {
        main_.performAfterDelay(delay, std::move(task));
    }
    void beginModal() override { main_.beginModal(); }
    void endModal() override { main_.endModal(); }
    bool isMainThread() const override { return main_.isMainThread(); }
    void offMainThread(const platform::CodeLocation& where) const override {
        main_.offMainThread(where);
    }

private:
    struct Tasks {
        std::mutex mutex;
        std::condition_variable none;
        int pending = 0;
    };
    // Counts a task from when it is queued until the task is destroyed, run or not.
    class Ticket {
    public:
        explicit Ticket(std::shared_ptr<Tasks> tasks) : tasks_(std::move(tasks)) {
            std::lock_guard lock(tasks_->mutex);
            ++tasks_->pending;
        }
        ~Ticket() {
            std::lock_guard lock(tasks_->mutex);
            if (--tasks_->pending == 0) tasks_->none.notify_all();
        }
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;

    private:
        std::shared_ptr<Tasks> tasks_;
    };
    class CountedQueue : public Queue {
    public:
        CountedQueue(const std::string& label, std::shared_ptr<Tasks> tasks)
            : queue_(label, 1, linux_impl::WorkerQueue::OnRelease::Drain),
              tasks_(std::move(tasks)) {}
        void async(Task task) override { asyncAfter(Duration::zero(), std::move(task)); }
        void asyncAfter(Duration delay, Task task) override {
            queue_.asyncAfter(delay, [ticket = std::make_shared<Ticket>(tasks_),
                                      task = std::move(task)] { task(); });
        }

    private:
        linux_impl::WorkerQueue queue_;
        std::shared_ptr<Tasks> tasks_;
    };

    VirtualDispatch& main_;
    const std::shared_ptr<Tasks> tasks_ = std::make_shared<Tasks>();
};

}  // namespace platform::testing
