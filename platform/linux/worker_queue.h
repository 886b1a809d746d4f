#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"

namespace platform::linux_impl {

// Runs tasks on its own threads in order of due time: one thread makes a serial queue, more make
// a concurrent one.
class WorkerQueue : public Queue {
public:
    enum class OnRelease {
        // Pending tasks are dropped; running ones finish before the destructor returns.
        Stop,
        // The destructor returns at once; the threads run what is queued and then end. A task
        // running at the time may be waiting on the very thread that lets the queue go.
        Drain,
    };

    WorkerQueue(std::string label, unsigned threads, OnRelease onRelease = OnRelease::Stop);
    ~WorkerQueue() override;
    WorkerQueue(const WorkerQueue&) = delete;
    WorkerQueue& operator=(const WorkerQueue&) = delete;

    void async(Task task) override { asyncAfter(Duration::zero(), std::move(task)); }
    void asyncAfter(Duration delay, Task task) override;
    // True on one of this queue's threads.
    bool isCurrent() const;

private:
    struct Entry {
        std::chrono::steady_clock::time_point due;
        std::uint64_t seq;
        Task task;
        bool operator>(const Entry& other) const {
            return due != other.due ? due > other.due : seq > other.seq;
        }
    };
    // Shared with the threads, which may outlive the queue.
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::priority_queue<Entry, std::vector<Entry>, std::greater<>> entries;
        std::uint64_t nextSeq = 0;
        bool stopping = false;
        bool draining = false;
    };
    static void work(const std::shared_ptr<State>& state);

    const std::shared_ptr<State> state_ = std::make_shared<State>();
    const std::string label_;
    const OnRelease onRelease_;
    std::vector<std::thread> threads_;
};

}  // namespace platform::linux_impl
