#pragma once

#include "platform/process_runner.h"

namespace platform::linux_impl {

// posix_spawn. `run`: standard output and error joined into one pipe that is drained while the
// child runs, so any amount of output is read without blocking the child.
class PosixProcessRunner : public ProcessRunner {
public:
    ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                      std::chrono::milliseconds timeout) override;
    StartedProcess start(const std::string& executable,
                         const std::vector<std::string>& args) override;
};

}  // namespace platform::linux_impl
