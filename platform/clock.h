#pragma once

namespace platform {

// A moment in the machine's current time zone.
struct LocalDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    long nanosecond = 0;
};

class Clock {
public:
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    virtual ~Clock() = default;
    virtual LocalDateTime nowLocal() const = 0;
};

}  // namespace platform
