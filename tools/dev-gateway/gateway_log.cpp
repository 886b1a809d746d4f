#include "tools/dev-gateway/gateway_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <system_error>

#include "platform/linux/system_log.h"
#include "platform/registry.h"

namespace dev_gateway {

GatewayLog::~GatewayLog() {
    if (fd_ > STDOUT_FILENO) ::close(fd_);
}

bool GatewayLog::open(const std::optional<std::filesystem::path>& file) {
    int fd = STDOUT_FILENO;
    if (file) {
        fd = ::open(file->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
        if (fd < 0) {
            platform::log("Could not open the log file " + file->string() + ": " +
                          std::generic_category().message(errno));
            return false;
        }
    }
    if (fd_ > STDOUT_FILENO) ::close(fd_);
    fd_ = fd;
    return true;
}

void GatewayLog::write(std::string_view event) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ ", &utc);
    // Values from the configuration are outside text: escaped, they cannot forge a line.
    const std::string line = stamp + platform::linux_impl::loggableLine(event) + "\n";
    (void)!::write(fd_, line.data(), line.size());
}

}  // namespace dev_gateway
