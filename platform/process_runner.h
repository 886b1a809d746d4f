#pragma once

#include <chrono>
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

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs an executable by absolute path (no PATH search, no shell) and waits for it.
    virtual ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                              std::chrono::milliseconds timeout) = 0;
};

}  // namespace platform
