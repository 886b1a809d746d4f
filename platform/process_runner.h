#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// One line of a streamed run's output, without its newline.
struct OutputLine {
    enum class Stream { Output, Error };
    Stream stream = Stream::Output;
    std::string_view text;
    // Bytes of an overlong line beyond the bound that were not kept.
    std::size_t leftOut = 0;
    // False only for the last line of a stream when it ends without a newline.
    bool complete = true;
    // Another complete line that came with this one follows at once: a caller may pass them on
    // together, as they were written.
    bool more = false;
};

struct StreamedRun {
    std::chrono::milliseconds timeout{0};
    // The child's whole environment ("NAME=value" each); the caller's own when not set.
    std::optional<std::vector<std::string>> environment;
    // A longer line is cut there and the rest counted, so that memory stays bounded however
    // the child writes.
    std::size_t maxLine = std::size_t{64} * 1024;
};

struct StreamedResult {
    // Set when the program could not be started; nothing below is meaningful then.
    std::optional<std::string> startError;
    // The start failed before the program was tried (no pipe for its output).
    bool beforeSpawn = false;
    // Set when the program outlived the time-out and was killed.
    bool timedOut = false;
    // How it ended: its exit status, or the signal that ended it; neither when that is unknown.
    std::optional<int> exitStatus;
    std::optional<int> signal;
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
    // As run, with standard input from /dev/null, but standard output and error stay apart and
    // each of their lines goes to `line` as it comes, on the calling thread; the deadline is on
    // the runner's clock.
    virtual StreamedResult runStreaming(const std::string& executable,
                                        const std::vector<std::string>& args,
                                        const StreamedRun& how,
                                        const std::function<void(const OutputLine&)>& line) = 0;
    // Starts an executable by absolute path (no PATH search, no shell) in a session of its own,
    // with standard input from /dev/null, and returns at once: it outlives the caller.
    virtual StartedProcess start(const std::string& executable,
                                 const std::vector<std::string>& args) = 0;
};

}  // namespace platform
