#include "platform/linux/worker_queue.h"

#include <algorithm>

namespace platform::linux_impl {

WorkerQueue::WorkerQueue(std::string label, unsigned threads, OnRelease onRelease)
    : label_(std::move(label)), onRelease_(onRelease) {
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
        threads_.emplace_back([state = state_] { work(state); });
    }
}

WorkerQueue::~WorkerQueue() {
    {
        std::lock_guard lock(state_->mutex);
        (onRelease_ == OnRelease::Drain ? state_->draining : state_->stopping) = true;
    }
    state_->changed.notify_all();
    for (auto& thread : threads_) {
        // Destroyed from its own task, or draining: the thread ends by itself, holding the state.
        if (onRelease_ == OnRelease::Drain || thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
}

void WorkerQueue::asyncAfter(Duration delay, Task task) {
    {
        std::lock_guard lock(state_->mutex);
        state_->entries.push(
            Entry{std::chrono::steady_clock::now() + std::max(delay, Duration::zero()),
                  state_->nextSeq++, std::move(task)});
    }
    state_->changed.notify_one();
}

bool WorkerQueue::isCurrent() const {
    const auto self = std::this_thread::get_id();
    return std::any_of(threads_.begin(), threads_.end(),
                       [&](const std::thread& t) { return t.get_id() == self; });
}

void WorkerQueue::work(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    while (!state->stopping) {
        if (state->entries.empty()) {
            if (state->draining) return;
            state->changed.wait(lock);
            continue;
        }
        const auto due = state->entries.top().due;
        if (due > std::chrono::steady_clock::now()) {
            state->changed.wait_until(lock, due);
            continue;
        }
        Task task = std::move(const_cast<Entry&>(state->entries.top()).task);
        state->entries.pop();
        lock.unlock();
        task();
        // Released unlocked: what it captured may post to this queue as it goes.
        task = nullptr;
        lock.lock();
    }
}

}  // namespace platform::linux_impl
