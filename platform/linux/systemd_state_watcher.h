#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/service_state_watcher.h"

namespace platform::linux_impl {

// Follows `<label>.service` through systemd's D-Bus interface (SystemBus::followUnit). One
// thread of the watcher's own waits in poll() on the bus and a wake-up descriptor: it makes the
// blocking calls of a new watch, so a slow bus never holds up the main thread, and the callbacks
// come there. Without a bus or systemd a watch never calls back, and the first that finds so logs
// one line.
class SystemdStateWatcher : public ServiceStateWatcher {
public:
    // The system bus, or the bus at `busAddress`.
    explicit SystemdStateWatcher(std::optional<std::string> busAddress = std::nullopt);
    SystemdStateWatcher(const SystemdStateWatcher&) = delete;
    SystemdStateWatcher& operator=(const SystemdStateWatcher&) = delete;
    ~SystemdStateWatcher() override;

    std::unique_ptr<Watch> watch(const std::string& label, std::function<void()> changed) override;

private:
    class Loop;
    std::shared_ptr<Loop> loop_;
    std::thread thread_;
};

}  // namespace platform::linux_impl
