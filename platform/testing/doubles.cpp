#include "platform/testing/doubles.h"

#include <algorithm>

namespace platform::testing {

Clock::TimePoint FixedClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::shared_ptr<void> FixedClock::wakeAt(TimePoint deadline, std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    const auto id = nextWaiter_++;
    // Wakes run under the lock, so that once a handle is let go its wake cannot be running.
    if (deadline <= now_) {
        wake();
    } else {
        waiters_.emplace(id, Waiter{deadline, std::move(wake)});
        waitersChanged_.notify_all();
    }
    return std::shared_ptr<void>(this, [this, id](void*) {
        std::lock_guard lock(mutex_);
        waiters_.erase(id);
    });
}

void FixedClock::advance(TimePoint::duration by) {
    std::lock_guard lock(mutex_);
    now_ += by;
    std::erase_if(waiters_, [this](auto& entry) {
        if (entry.second.deadline > now_) return false;
        entry.second.wake();
        return true;
    });
}

bool FixedClock::awaitWaiters(TimePoint deadline, std::size_t count,
                              std::chrono::milliseconds realTimeout) {
    std::unique_lock lock(mutex_);
    return waitersChanged_.wait_for(lock, realTimeout, [&] {
        const auto waiting = std::ranges::count(
            waiters_, deadline, [](const auto& entry) { return entry.second.deadline; });
        return static_cast<std::size_t>(waiting) >= count;
    });
}

}  // namespace platform::testing
