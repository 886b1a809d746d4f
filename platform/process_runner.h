#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProcessResult {
    // Set when the program could not be started; nothing else is meaningful then.
    std::optional<std::string> startError;
    // Set when the program outlived the time-out and was killed.
    bool timedOut = false;
    int status = 0;
    // Standard output and standard error, joined into one stream in the order they were written.
    std::string output;
};

// A program started without waiting for it. It is reaped when it exits, so it never lingers
// as a zombie; the object may be dropped at any time.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    virtual ~ChildProcess() = default;
    virtual int processIdentifier() const = 0;
    // Any thread.
    virtual bool isRunning() const = 0;
    // How it ended (a signal counts as its number); absent while it runs. Any thread.
    virtual std::optional<int> exitStatus() const = 0;
};

struct StartedProcess {
    // Set when the program could not be started; `process` is null then.
    std::optional<std::string> startError;
    std::shared_ptr<ChildProcess> process;
};

class ProcessRunner {
public:
    ProcessRunner() = default;
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;
    virtual ~ProcessRunner() = default;
    // Runs an executable by absolute path (no PATH search, no shell) and waits for it.
    virtual ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                              std::chrono::milliseconds timeout) = 0;
    // Starts an executable by absolute path (no PATH search, no shell) in a session of its own,
    // with standard input from /dev/null, and returns at once: it outlives the caller.
    virtual StartedProcess start(const std::string& executable,
                                 const std::vector<std::string>& args) = 0;
};

}  // namespace platform
