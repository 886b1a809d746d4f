#pragma once

#include <poll.h>

#include <mutex>
#include <optional>
#include <span>

#include "platform/clock.h"

namespace platform::linux_impl {

// poll() until a deadline on a Clock: on real time the wait's own time-out ends it, while a clock
// that is moved by hand wakes it through a pipe, made the first time one is needed (so real time
// costs no descriptor). One per waiting thread.
class ClockedPoll {
public:
    explicit ClockedPoll(Clock& clock) : clock_(clock) {}
    ~ClockedPoll();
    ClockedPoll(const ClockedPoll&) = delete;
    ClockedPoll& operator=(const ClockedPoll&) = delete;

    // As poll() on `fds`, going on after a signal; 0 once `deadline` has passed on the clock
    // (none: no bound).
    int wait(std::span<pollfd> fds, std::optional<Clock::TimePoint> deadline);

private:
    int wakeFd();
    void wake();

    Clock& clock_;
    // The wait or the clock's wake, whichever comes first, makes the pipe.
    std::mutex mutex_;
    int pipe_[2] = {-1, -1};
};

}  // namespace platform::linux_impl
