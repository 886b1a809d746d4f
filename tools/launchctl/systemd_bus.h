#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>

struct sd_bus;

namespace launchctl {

// A failed call: systemd's error name and text, or, for a local failure, no name.
struct BusError {
    std::string name;
    std::string message;
    // systemd's answer for a unit it has no file for.
    bool unknownUnit() const { return name == "org.freedesktop.systemd1.NoSuchUnit"; }
};

template <class T>
using BusResult = std::variant<T, BusError>;

struct UnitState {
    std::string activeState;  // "active", "inactive", "failed", ...
    // The main process's last exit status, read for a failed unit only.
    std::optional<int> exitStatus;
};

// What systemd keeps of a unit's last run, to say why a start failed.
struct UnitOutcome {
    std::string result;      // "exit-code", "timeout", "protocol", ...
    std::string statusText;  // the last STATUS= the service sent, empty without one
    std::optional<int> exitStatus;
};

// The service manager's own D-Bus API (org.freedesktop.systemd1) on the system bus.
class SystemdBus {
public:
    // DBUS_SYSTEM_BUS_ADDRESS, when set, says where the system bus is.
    static BusResult<SystemdBus> connect();

    BusResult<UnitState> unitState(const std::string& unit);
    BusResult<UnitOutcome> unitOutcome(const std::string& unit);
    // Queues a job ("StartUnit" or "StopUnit") and waits until systemd removes it; the job's
    // result, "done" when it succeeded.
    BusResult<std::string> runJob(const char* method, const std::string& unit);
    // Links or unlinks the unit file for boot, then reloads, so systemd sees the change.
    std::optional<BusError> setEnabled(const std::string& unit, bool enabled);

private:
    struct Close {
        void operator()(sd_bus* bus) const;
    };
    explicit SystemdBus(sd_bus* bus) : bus_(bus) {}
    BusResult<std::string> unitPath(const std::string& unit);
    std::unique_ptr<sd_bus, Close> bus_;
};

}  // namespace launchctl
