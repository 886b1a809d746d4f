#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/polkit_check.h"
#include "platform/process_runner.h"

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
    // person at the caller's seat answers a password dialog.
    virtual std::optional<std::string> refusal(const Caller& caller,
                                               const std::string& request) = 0;
};

// polkit decides, through its checker, with the person asked when the policy wants it.
class PolkitGate : public RequestGate {
public:
    static constexpr char kAction[] =
        "com.velmora.qorprivilegedhelper.runqorlaunchctlwithsubcommand";

    explicit PolkitGate(std::shared_ptr<platform::ProcessRunner> processes,
                        std::string checker = platform::linux_impl::kPolkitChecker,
                        std::chrono::milliseconds bound = platform::linux_impl::kPolkitAnswerBound)
        : processes_(std::move(processes)), checker_(std::move(checker)), bound_(bound) {}
    std::optional<std::string> refusal(const Caller& caller, const std::string& request) override;

private:
    std::shared_ptr<platform::ProcessRunner> processes_;
    std::string checker_;
    std::chrono::milliseconds bound_;
};
