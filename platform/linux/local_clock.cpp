#include "platform/linux/local_clock.h"

#include <ctime>

namespace platform::linux_impl {

LocalDateTime LocalClock::nowLocal() const {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min,         local.tm_sec,     ts.tv_nsec};
}

}  // namespace platform::linux_impl
