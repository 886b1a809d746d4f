#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

struct sd_bus;

namespace platform::testing {

// A private bus (dbus-daemon) made the system bus of this process and its children through
// DBUS_SYSTEM_BUS_ADDRESS, with a dbusmock template serving `busName` on it. Both are stopped
// with the object. Failures to start throw std::runtime_error. With `serve` false the bus stays
// empty, as on a machine without the service.
class DbusMock {
public:
    // `templateName`: one of dbusmock's templates, or the path of one of ours.
    DbusMock(const std::filesystem::path& folder, const std::string& templateName,
             std::string busName, bool serve = true);
    ~DbusMock();
    DbusMock(const DbusMock&) = delete;
    DbusMock& operator=(const DbusMock&) = delete;

    const std::string& address() const { return address_; }

protected:
    // The mock's connection to the bus, for calls of its own mock interface.
    sd_bus* bus() const { return bus_; }
    const std::string& busName() const { return busName_; }
    // Where the mock writes one line per call: "<time> <method> <arguments>".
    const std::filesystem::path& log() const { return log_; }

private:
    void start(const std::string& templateName, bool serve);
    void shutdown();

    std::string busName_;
    std::filesystem::path log_;
    pid_t daemon_ = -1;
    pid_t mock_ = -1;
    std::string address_;
    sd_bus* bus_ = nullptr;
};

}  // namespace platform::testing
