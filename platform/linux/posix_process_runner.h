#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/process_runner.h"

namespace platform::linux_impl {

// posix_spawn. `run`: standard output and error joined into one pipe that is drained while the
// child runs, so any amount of output is read without blocking the child. `runStreaming`: a pipe
// each, drained the same way, its deadline on `clock` (real time when not given).
class PosixProcessRunner : public ProcessRunner {
public:
    explicit PosixProcessRunner(std::shared_ptr<Clock> clock = nullptr);
    ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                      std::chrono::milliseconds timeout) override;
    StreamedResult runStreaming(const std::string& executable, const std::vector<std::string>& args,
                                const StreamedRun& how,
                                const std::function<void(const OutputLine&)>& line) override;
    StartedProcess start(const std::string& executable,
                         const std::vector<std::string>& args) override;

private:
    std::shared_ptr<Clock> clock_;
};

}  // namespace platform::linux_impl
