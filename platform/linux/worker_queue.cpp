#include "platform/linux/worker_queue.h"

#include <algorithm>

namespace platform::linux_impl {

WorkerQueue::WorkerQueue(std::string label, unsigned threads) : label_(std::move(label)) {
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) threads_.emplace_back([this] { work(); });
}

WorkerQueue::~WorkerQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& thread : threads_) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // destroyed from its own task: let it finish by itself
        } else {
            thread.join();
        }
    }
}

void WorkerQueue::asyncAfter(Duration delay, Task task) {
    {
        std::lock_guard lock(mutex_);
        entries_.push(Entry{std::chrono::steady_clock::now() + std::max(delay, Duration::zero()),
                            nextSeq_++, std::move(task)});
    }
    changed_.notify_one();
}

bool WorkerQueue::isCurrent() const {
    const auto self = std::this_thread::get_id();
    return std::any_of(threads_.begin(), threads_.end(),
                       [&](const std::thread& t) { return t.get_id() == self; });
}

void WorkerQueue::work() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (entries_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const auto due = entries_.top().due;
        if (due > std::chrono::steady_clock::now()) {
            changed_.wait_until(lock, due);
            continue;
        }
        Task task = std::move(const_cast<Entry&>(entries_.top()).task);
        entries_.pop();
        lock.unlock();
        task();
        // Released unlocked: what it captured may post to this queue as it goes.
        task = nullptr;
        lock.lock();
    }
}

}  // namespace platform::linux_impl
