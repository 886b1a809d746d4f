#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

// A moment in the machine's current time zone.
struct LocalDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long nanosecond = 0;
};

class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    virtual ~Clock() = default;
    virtual LocalDateTime nowLocal() const = 0;
    // What bounds and intervals are measured in: never goes back, from an arbitrary start.
    virtual TimePoint now() const = 0;
    // For a thread that blocks outside the clock (in poll) until `deadline`. A clock that is moved
    // by hand calls `wake` from the thread that moves it once the deadline is reached, unless the
    // returned handle was let go first; `wake` must not call back into the clock. Real time
    // flows by itself, so the wait's own time-out is enough and there is no handle.
    // A sink: a clock that wakes keeps `wake`, so it is taken by value.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    virtual std::shared_ptr<void> wakeAt(TimePoint /*deadline*/, std::function<void()> /*wake*/) {
        return nullptr;
    }
};

}  // namespace platform
