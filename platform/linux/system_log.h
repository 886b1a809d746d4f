#pragma once

#include <mutex>
#include <string>

#include "platform/log.h"

namespace platform::linux_impl {

// Each line goes to the system log and to standard error.
class SystemLog : public Log {
public:
    explicit SystemLog(std::string ident);
    ~SystemLog() override;
    void write(std::string_view line) override;

private:
    std::string ident_;  // syslog keeps the pointer
    std::mutex stderrMutex_;
};

}  // namespace platform::linux_impl
