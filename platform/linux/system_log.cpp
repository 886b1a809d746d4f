#include "platform/linux/system_log.h"

#include <syslog.h>

#include <cstdio>

namespace platform::linux_impl {

SystemLog::SystemLog(std::string ident) : ident_(std::move(ident)) {
    ::openlog(ident_.c_str(), LOG_PID, LOG_USER);
}

SystemLog::~SystemLog() { ::closelog(); }

void SystemLog::write(std::string_view line) {
    const std::string text(line);
    // The line is data, never a format.
    ::syslog(LOG_NOTICE, "%s", text.c_str());
    std::lock_guard lock(stderrMutex_);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace platform::linux_impl
