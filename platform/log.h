#pragma once

#include <string_view>

namespace platform {

// One plain-text line per event. Implementations must never treat the line as a format pattern.
class Log {
public:
    Log() = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    virtual ~Log() = default;
    virtual void write(std::string_view line) = 0;
};

// Writes through the log installed in the registry.
void log(std::string_view line);

}  // namespace platform
