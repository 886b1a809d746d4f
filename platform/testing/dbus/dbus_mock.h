#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct sd_bus;

namespace platform::testing {

// A private bus (dbus-daemon) made the system (or session) bus of this process and its children
// through DBUS_SYSTEM_BUS_ADDRESS (or DBUS_SESSION_BUS_ADDRESS), with a dbusmock template serving
// `busName` on it. Both are stopped with the object. Failures to start throw
// std::runtime_error. With `serve` false the bus stays empty, as on a machine without the
// service.
class DbusMock {
public:
    enum class Bus { system, session };
    // `templateName`: one of dbusmock's templates, or the path of one of ours; it names the bus.
    // On a bus of its own, or with `address`, on that one.
    DbusMock(const std::filesystem::path& folder, const std::string& templateName,
             std::string busName, bool serve = true, Bus bus = Bus::system,
             std::string address = {});
    ~DbusMock();
    DbusMock(const DbusMock&) = delete;
    DbusMock& operator=(const DbusMock&) = delete;

    const std::string& address() const { return address_; }
    // Every call the mock has logged so far, "<method> <arguments>" each, in order.
    std::vector<std::string> calls() const;
    // Waits until `method` has been called `count` times in all; false after a deadline.
    bool waitForCalls(const std::string& method, int count) const;

protected:
    // Calls `method` of the mock's own interface on `object`; the arguments as sd-bus takes them.
    // Throws std::runtime_error when it fails.
    void callMock(const char* object, const char* method, const char* types, ...);

private:
    void start(const std::string& templateName, bool serve);
    void shutdown();

    std::string busName_;
    Bus bus_kind_ = Bus::system;
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

private:
    std::size_t logRead_ = 0;  // calls taken so far
};

// polkit's authority (mock_polkit.py): it refuses every action until told otherwise and never
// asks anyone. Its calls are in `calls()`.
class MockPolkit : public DbusMock {
public:
    explicit MockPolkit(const std::filesystem::path& folder);
    // How checks of `action` end from now on: "allow", "deny", "dismiss" (the dialog closed) or
    // "hang" (until the caller cancels).
    void setOutcome(const std::string& action, const std::string& outcome) {
        callMock("/org/freedesktop/PolicyKit1/Authority", "SetOutcome", "ss", action.c_str(),
                 outcome.c_str());
    }
};

// A status notifier watcher with a host on a private session bus (mock_status_tray.py): where
// it runs, status icons and their menus are exported for the panel to draw. On a bus of its own,
// or with `address`, on that one, so that it can come and go as a panel does.
class MockStatusTray : public DbusMock {
public:
    explicit MockStatusTray(const std::filesystem::path& folder, std::string address = {});
};

// The desktop's notification server (dbusmock's template) on the bus of `first`.
class MockNotifications : public DbusMock {
public:
    // On the session bus of `first`, which outlives it.
    MockNotifications(const std::filesystem::path& folder, const DbusMock& first)
        : DbusMock(folder, "notification_daemon", "org.freedesktop.Notifications", true,
                   Bus::session, first.address()) {}
    // The server's word that a notification's action was pressed, or that it closed.
    void invokeAction(std::uint32_t id, const std::string& key) {
        callMock(kPath, "EmitSignal", "sssav", kInterface, "ActionInvoked", "us", 2, "u", id, "s",
                 key.c_str());
    }
    void close(std::uint32_t id) {
        callMock(kPath, "EmitSignal", "sssav", kInterface, "NotificationClosed", "uu", 2, "u", id,
                 "u", 2u);
    }

private:
    static constexpr char kPath[] = "/org/freedesktop/Notifications";
    static constexpr char kInterface[] = "org.freedesktop.Notifications";
};

// A private X server (Xvfb) made the display of this process and its children through
// DISPLAY; stopped with the object. Failures to start throw std::runtime_error.
class PrivateDisplay {
public:
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

private:
    pid_t server_ = -1;
};

}  // namespace platform::testing
