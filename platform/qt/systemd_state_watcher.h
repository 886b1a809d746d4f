#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/service_state_watcher.h"

namespace platform::qt {

// Follows `<label>.service` through systemd's D-Bus interface: each watch loads the unit,
// listens to its PropertiesChanged signal and subscribes, on a thread of the watcher's own (the
// callbacks come there too), so a slow bus never holds up the main thread. Without a bus or
// systemd a watch never calls back, and the first that finds so logs one line.
// Needs a QCoreApplication.
class SystemdStateWatcher : public ServiceStateWatcher {
public:
    // The system bus, or the bus at `busAddress`.
    explicit SystemdStateWatcher(std::optional<std::string> busAddress = std::nullopt);
    SystemdStateWatcher(const SystemdStateWatcher&) = delete;
    SystemdStateWatcher& operator=(const SystemdStateWatcher&) = delete;
    ~SystemdStateWatcher() override;

    std::unique_ptr<Watch> watch(const std::string& label, std::function<void()> changed) override;

private:
    class Bus;
    std::unique_ptr<Bus> bus_;
};

}  // namespace platform::qt
