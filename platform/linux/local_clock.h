#pragma once

#include "platform/clock.h"

namespace platform::linux_impl {

// The real time in the process's time zone (TZ, else the system's).
class LocalClock : public Clock {
public:
    LocalDateTime nowLocal() const override;
};

}  // namespace platform::linux_impl
