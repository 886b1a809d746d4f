#include "platform/testing/virtual_dispatch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace platform::testing {
namespace {

// The tasks running on this thread, innermost last: advance() may be called from a task.
struct Running {
    const VirtualDispatch* dispatch;
    const std::string* queue;
    bool main;
};
thread_local std::vector<Running> running;

// The innermost task of `dispatch` running on this thread, if any.
const Running* runningTaskOf(const VirtualDispatch& dispatch) {
    for (auto task = running.rbegin(); task != running.rend(); ++task) {
        if (task->dispatch == &dispatch) return &*task;
    }
    return nullptr;
}

}  // namespace

class VirtualDispatch::VirtualQueue : public Queue {
public:
    VirtualQueue(VirtualDispatch& owner, std::string label, bool main)
        : owner_(owner), label_(std::move(label)), main_(main) {}
    void async(Task task) override {
        owner_.post(label_, main_, Duration::zero(), std::move(task), false);
    }
    void asyncAfter(Duration delay, Task task) override {
        owner_.post(label_, main_, delay, std::move(task), false);
    }

private:
    VirtualDispatch& owner_;
    std::string label_;
    bool main_;
};

VirtualDispatch::VirtualDispatch()
    : main_(std::make_unique<VirtualQueue>(*this, "main", true)),
      global_(std::make_unique<VirtualQueue>(*this, "global", false)) {}

VirtualDispatch::~VirtualDispatch() = default;

Queue& VirtualDispatch::main() { return *main_; }
Queue& VirtualDispatch::global() { return *global_; }

std::shared_ptr<Queue> VirtualDispatch::makeSerialQueue(const std::string& label) {
    return std::make_shared<VirtualQueue>(*this, label, false);
}

void VirtualDispatch::performAfterDelay(Duration delay, Task task) {
    post("main", true, delay, std::move(task), true);
}

void VirtualDispatch::post(const std::string& queue, bool main, Duration delay, Task task,
                           bool waitsForModal) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(Entry{now_ + std::max(delay, Duration::zero()), nextSeq_++, queue, main,
                                 std::move(task), waitsForModal});
    }
    posted_.notify_all();
}

void VirtualDispatch::beginModal() {
    std::lock_guard lock(mutex_);
    ++modalDepth_;
}

void VirtualDispatch::endModal() {
    std::lock_guard lock(mutex_);
    if (--modalDepth_ > 0) return;
    // What fell due during the alert runs now, in its original order.
    for (auto& entry : parked_) {
        entry.due = now_;
        entry.seq = nextSeq_++;
        entry.waitsForModal = false;
        pending_.push_back(std::move(entry));
    }
    parked_.clear();
}

void VirtualDispatch::advance(Duration by) {
    std::unique_lock lock(mutex_);
    const Duration until = now_ + by;
    for (;;) {
        auto next = std::min_element(pending_.begin(), pending_.end(), [](auto& a, auto& b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (next == pending_.end() || next->due > until) break;
        Entry entry = std::move(*next);
        pending_.erase(next);
        now_ = std::max(now_, entry.due);
        if (entry.waitsForModal && modalDepth_ > 0) {
            parked_.push_back(std::move(entry));
            continue;
        }
        lock.unlock();
        {
            running.push_back({this, &entry.queue, entry.main});
            const std::shared_ptr<void> leave(nullptr, [](void*) { running.pop_back(); });
            entry.task();
            // What the task held may post on release, so it goes before the lock is taken again.
            entry.task = nullptr;
        }
        lock.lock();
    }
    now_ = std::max(now_, until);
}

bool VirtualDispatch::pumpUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds realTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + realTimeout;
    for (;;) {
        runUntilIdle();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        const bool ready = posted_.wait_until(lock, deadline, [&] {
            return std::any_of(pending_.begin(), pending_.end(),
                               [&](const Entry& e) { return e.due <= now_; });
        });
        if (!ready) {
            lock.unlock();
            return done();
        }
    }
}

bool VirtualDispatch::followRealTimeUntil(const std::function<bool()>& done,
                                          std::chrono::milliseconds realTimeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + realTimeout;
    for (auto last = Clock::now(); Clock::now() < deadline;) {
        const auto now = Clock::now();
        advance(std::chrono::duration_cast<Duration>(now - last));
        last = now;
        if (pumpUntil(done, std::chrono::milliseconds(5))) return true;
    }
    return done();
}

Duration VirtualDispatch::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::size_t VirtualDispatch::pendingCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size() + parked_.size();
}

std::string VirtualDispatch::currentQueue() const {
    const Running* task = runningTaskOf(*this);
    return task ? *task->queue : std::string();
}

bool VirtualDispatch::isMainThread() const {
    if (const Running* task = runningTaskOf(*this)) return task->main;
    return std::this_thread::get_id() == mainThread_;
}

void VirtualDispatch::offMainThread(const platform::CodeLocation& where) const {
    const std::string queue = currentQueue();
    std::fprintf(stderr, "Main-thread-only code ran off the main thread, %s: %s\n",
                 queue.empty() ? "on another thread" : ("on the queue \"" + queue + "\"").c_str(),
                 where.function_name());
    std::abort();
}

}  // namespace platform::testing
