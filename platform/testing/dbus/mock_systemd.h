#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

struct sd_bus;

namespace platform::testing {

// A private bus (dbus-daemon) with a fake systemd on it (dbusmock and mock_systemd.py), made the
// system bus of this process and its children through DBUS_SYSTEM_BUS_ADDRESS. Both are stopped
// with the object. Failures to start throw std::runtime_error. With `serve` false the bus stays
// empty, as on a machine without systemd.
class MockSystemd {
public:
    explicit MockSystemd(const std::filesystem::path& folder, bool serve = true);
    ~MockSystemd();
    MockSystemd(const MockSystemd&) = delete;
    MockSystemd& operator=(const MockSystemd&) = delete;

    const std::string& address() const { return address_; }
    // Adds or changes a unit; `startResult` is how its start jobs end ("done", "failed", ...).
    // A change is signalled (PropertiesChanged) with only the properties that changed.
    void setUnit(const std::string& unit, const std::string& loadState,
                 const std::string& activeState, const std::string& startResult = "done",
                 int exitStatus = 0);
    // The manager's and the mock's methods called since the last call of this function (one
    // "Method args" line each), without property reads and signals.
    std::vector<std::string> takeCalls();
    // Waits until `method` has been called `count` times in all; false after a deadline.
    bool waitForCalls(const std::string& method, int count) const;

private:
    void start(bool serve);
    void shutdown();

    std::filesystem::path log_;
    std::size_t logRead_ = 0;
    pid_t daemon_ = -1;
    pid_t mock_ = -1;
    std::string address_;
    sd_bus* bus_ = nullptr;
};

}  // namespace platform::testing
