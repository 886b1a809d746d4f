#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace dev_gateway {

// The gateway's own log: one time-stamped line per event, appended with one write each.
class GatewayLog {
public:
    GatewayLog() = default;
    ~GatewayLog();
    GatewayLog(const GatewayLog&) = delete;
    GatewayLog& operator=(const GatewayLog&) = delete;

    // Opens `file` (standard output without one), closing what was open; also after the file
    // was moved away, so a rotated log is followed. False, after a log line, when it cannot.
    bool open(const std::optional<std::filesystem::path>& file);
    void write(std::string_view event);

private:
    int fd_ = -1;
};

}  // namespace dev_gateway
