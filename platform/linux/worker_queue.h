#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"

namespace platform::linux_impl {

// Runs tasks on its own threads in order of due time: one thread makes a serial queue, more make
// a concurrent one. Tasks still pending at destruction are dropped; running ones finish first.
class WorkerQueue : public Queue {
public:
    WorkerQueue(std::string label, unsigned threads);
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
    void work();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> entries_;
    std::uint64_t nextSeq_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace platform::linux_impl
