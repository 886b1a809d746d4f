#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/linux/system_bus.h"

// The process at the other end of a client's socket, as the kernel named it when it connected.
struct Caller {
    pid_t pid = 0;
    uid_t uid = 0;
    // Field 22 of /proc/<pid>/stat, so that a pid reused by another process borrows no right.
    // Unset when the process was gone before it could be read.
    std::optional<std::uint64_t> startTime;
};

// When a process started, in clock ticks since boot; nothing when it cannot be read.
std::optional<std::uint64_t> processStartTime(pid_t pid);

// Decides, one by one, the requests that change the system.
class RequestGate {
public:
    RequestGate() = default;
    RequestGate(const RequestGate&) = delete;
    RequestGate& operator=(const RequestGate&) = delete;
    virtual ~RequestGate() = default;
    // Nothing when `caller` may make `request` (a launchctl subcommand, or
    // "createLogDirectory"); otherwise the one line that says why not. May block while the
    // person at the caller's seat answers a password dialog; it stops waiting, refusing, once
    // `callerSocket` (the client's connection; -1 for none) hangs up.
    virtual std::optional<std::string> refusal(const Caller& caller, const std::string& request,
                                               int callerSocket) = 0;
};

// polkit decides over D-Bus, with the person asked when the policy wants it. Each check has a
// connection of its own, kept for the next check once it is done, so concurrent checks (one may
// wait minutes for a password) never wait for each other.
class PolkitGate : public RequestGate {
public:
    static constexpr char kAction[] =
        "com.velmora.qorprivilegedhelper.runqorlaunchctlwithsubcommand";
    // Generous: the person may take their time to type a password.
    static constexpr std::chrono::minutes kAnswerBound{5};

    // `bound` is measured on `clock` (real time when not given); polkit is asked on the system
    // bus, or on the bus at `busAddress`.
    explicit PolkitGate(std::shared_ptr<platform::Clock> clock = nullptr,
                        std::chrono::milliseconds bound = kAnswerBound,
                        std::optional<std::string> busAddress = std::nullopt);
    std::optional<std::string> refusal(const Caller& caller, const std::string& request,
                                       int callerSocket) override;

private:
    platform::linux_impl::BusResult<platform::linux_impl::SystemBus> takeConnection();
    void giveBack(platform::linux_impl::SystemBus bus);

    std::shared_ptr<platform::Clock> clock_;
    std::chrono::milliseconds bound_;
    std::optional<std::string> busAddress_;
    std::mutex mutex_;
    std::vector<platform::linux_impl::SystemBus> idle_;
    std::uint64_t lastCheck_ = 0;
};
