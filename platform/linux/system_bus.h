#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

struct sd_bus;
struct sd_bus_slot;

namespace platform::linux_impl {

// A failed call: the error's D-Bus name and text, or, for a local failure, no name.
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
    std::string subState;     // "running", "dead", "exited", ...
    // The main process's last exit status, read for a failed unit only.
    std::optional<int> exitStatus;
};

// What systemd keeps of a unit's last run, to say why a start failed.
struct UnitOutcome {
    std::string result;      // "exit-code", "timeout", "protocol", ...
    std::string statusText;  // the last STATUS= the service sent, empty without one
    std::optional<int> exitStatus;
};

// The process polkit is asked about, as the kernel named it.
struct PolkitSubject {
    pid_t pid = 0;
    std::uint64_t startTime = 0;  // clock ticks since boot, field 22 of /proc/<pid>/stat
    uid_t uid = 0;
};

// polkit's answer to one check.
struct PolkitAnswer {
    bool authorized = false;
    // The person at the subject's seat closed the authentication dialog.
    bool dismissed = false;
};

// One connection to the system bus and what we ask of systemd (org.freedesktop.systemd1) and
// polkit (org.freedesktop.PolicyKit1) there. It has no thread: blocking calls wait on the
// calling thread, and what comes later (a unit's change, polkit's answer) runs from process(),
// which the owner's event loop calls when fd() is ready for events(). Used by one thread at a
// time.
class SystemBus {
public:
    // Ends a subscription or a pending call when destroyed.
    struct SlotUnref {
        void operator()(sd_bus_slot* slot) const;
    };
    using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;

    // The system bus (DBUS_SYSTEM_BUS_ADDRESS, when set, says where it is), or the bus at
    // `address`.
    static BusResult<SystemBus> connect(const std::optional<std::string>& address = std::nullopt);

    // The unit's object path; also for a unit that is not loaded, or has no file.
    BusResult<std::string> loadUnit(const std::string& unit);
    BusResult<UnitState> unitState(const std::string& unit);
    BusResult<UnitOutcome> unitOutcome(const std::string& unit);
    // Queues a job ("StartUnit" or "StopUnit") and waits until systemd removes it; the job's
    // result, "done" when it succeeded.
    BusResult<std::string> runJob(const char* method, const std::string& unit);
    // Links or unlinks the unit file for boot, then reloads, so systemd sees the change.
    std::optional<BusError> setEnabled(const std::string& unit, bool enabled);
    // Calls `changed` from process() whenever the unit's ActiveState or SubState changes, for as
    // long as the slot lives. Listens before it subscribes, so no change after it returns is
    // missed.
    BusResult<Slot> followUnit(const std::string& unit, std::function<void()> changed);

    // Asks polkit whether `subject` may perform `action` with `details`, letting polkit ask the
    // person at its seat. The answer (or the failure) comes to `done` from process(), unless the
    // slot goes first. `cancellationId` names the check for cancelAuthorizationCheck.
    BusResult<Slot> checkAuthorization(const PolkitSubject& subject, const std::string& action,
                                       const std::map<std::string, std::string>& details,
                                       const std::string& cancellationId,
                                       std::function<void(BusResult<PolkitAnswer>)> done);
    // Tells polkit to drop the check (and its dialog); sent without waiting for the answer.
    std::optional<BusError> cancelAuthorizationCheck(const std::string& cancellationId);

    // For the owner's event loop: poll fd() for events() (POLLIN, POLLOUT), then process().
    int fd() const;
    short events() const;
    // Handles everything that has arrived; an error once the connection is lost.
    std::optional<BusError> process();

private:
    struct Close {
        void operator()(sd_bus* bus) const;
    };
    explicit SystemBus(sd_bus* bus) : bus_(bus) {}
    std::unique_ptr<sd_bus, Close> bus_;
};

}  // namespace platform::linux_impl
