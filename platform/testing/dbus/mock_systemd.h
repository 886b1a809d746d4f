#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/dbus/dbus_mock.h"

namespace platform::testing {

// A fake systemd (mock_systemd.py) on a private system bus. With `serve` false the bus stays
// empty, as on a machine without systemd.
class MockSystemd : public DbusMock {
public:
    explicit MockSystemd(const std::filesystem::path& folder, bool serve = true);
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
    std::size_t logRead_ = 0;
};

}  // namespace platform::testing
