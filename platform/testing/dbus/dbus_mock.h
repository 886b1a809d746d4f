#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

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
    // Every call the mock has logged so far, "<method> <arguments>" each, in order.
    std::vector<std::string> calls() const;

protected:
    // Calls `method` of the mock's own interface on `object`; the arguments as sd-bus takes them.
    // Throws std::runtime_error when it fails.
    void callMock(const char* object, const char* method, const char* types, ...);

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
    // "Method args" line each), without property reads, signals and the test's own SetUnit.
    std::vector<std::string> takeCalls();
    // Waits until `method` has been called `count` times in all; false after a deadline.
    bool waitForCalls(const std::string& method, int count) const;

private:
    std::size_t logRead_ = 0;  // calls taken so far
};

// polkit's authority (dbusmock's template): it refuses every action until told otherwise and
// never asks anyone. Its CheckAuthorization calls are in `calls()`.
class MockPolkit : public DbusMock {
public:
    explicit MockPolkit(const std::filesystem::path& folder)
        : DbusMock(folder, "polkitd", "org.freedesktop.PolicyKit1") {}
    // From now on this action, and only this, is granted.
    void allow(const std::string& action) {
        callMock("/org/freedesktop/PolicyKit1/Authority", "SetAllowed", "as", 1, action.c_str());
    }
};

}  // namespace platform::testing
