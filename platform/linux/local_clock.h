#pragma once

#include "platform/clock.h"

namespace platform::linux_impl {

// The real time in the process's time zone (TZ, else the system's), and the monotonic clock.
class LocalClock : public Clock {
public:
    LocalDateTime nowLocal() const override;
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace platform::linux_impl
