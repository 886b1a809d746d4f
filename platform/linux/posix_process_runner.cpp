#include "platform/linux/posix_process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/linux/clocked_poll.h"
#include "platform/linux/local_clock.h"

extern char** environ;

namespace platform::linux_impl {
namespace {

std::string errorText(int error) { return std::generic_category().message(error); }

class Spawn {
public:
    Spawn() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~Spawn() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    Spawn(const Spawn&) = delete;
    Spawn& operator=(const Spawn&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
};

int exitStatus(int wstatus) {
    if (wstatus < 0) return -1;
    if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) return WTERMSIG(wstatus);
    return -1;
}

int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Far beyond any real bound, and small enough that adding it to the clock cannot overflow.
constexpr std::chrono::milliseconds kLongestTimeout = std::chrono::hours(24 * 365);

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INT_MAX));
}

// An ignored SIGCHLD, inherited from whoever started us, makes the kernel reap children at once:
// their exit status would be lost and every wait would last until the deadline.
void keepChildrenWaitable() {
    struct sigaction current {};
    if (::sigaction(SIGCHLD, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
        ::signal(SIGCHLD, SIG_DFL);
    }
}

// Blocks until the child has exited; -1 when it cannot be waited for.
int waitBlocking(pid_t pid) {
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return wstatus;
}

// Appends what can be read now; false at end of file or on error.
bool drain(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

std::vector<char*> argvOf(const std::string& executable, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Only standard input, output and error reach the child: descriptors made without close-on-exec
// (a library's connections and socket pairs) would otherwise hand it a connection to the service.
void keepOnlyStandardDescriptors(posix_spawn_file_actions_t& actions) {
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
}

// Signals a child must not inherit as ignored, and no blocked signals.
void resetSignals(posix_spawnattr_t& attr) {
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
}

// A child that is waited for: standard descriptors only, default signals, and a group of its own,
// so that a time-out can end whatever the child started too.
void inOwnGroup(Spawn& spawn) {
    keepOnlyStandardDescriptors(spawn.actions);
    posix_spawnattr_setpgroup(&spawn.attr, 0);
    resetSignals(spawn.attr);
    posix_spawnattr_setflags(
        &spawn.attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

class DetachedChild : public ChildProcess {
public:
    explicit DetachedChild(pid_t pid)
        : pid_(pid), status_(std::make_shared<std::atomic<int>>(kRunning)) {
        // One waiter per child: it reaps the child the moment it exits.
        std::thread([pid, status = status_] {
            status->store(linux_impl::exitStatus(waitBlocking(pid)));
        }).detach();
    }
    int processIdentifier() const override { return pid_; }
    bool isRunning() const override { return status_->load() == kRunning; }
    std::optional<int> exitStatus() const override {
        const int status = status_->load();
        if (status == kRunning) return std::nullopt;
        return status;
    }

private:
    static constexpr int kRunning = INT_MIN;
    pid_t pid_;
    std::shared_ptr<std::atomic<int>> status_;
};

// Cuts one stream into lines as its bytes come; a line longer than the bound keeps its start and
// counts the rest.
class LineSplitter {
public:
    LineSplitter(OutputLine::Stream stream, std::size_t maxLine,
                 const std::function<void(const OutputLine&)>& sink)
        : stream_(stream), maxLine_(maxLine), sink_(sink) {}
    void add(const char* data, std::size_t size) {
        while (size > 0) {
            const auto* newline = static_cast<const char*>(std::memchr(data, '\n', size));
            const std::size_t length = newline ? static_cast<std::size_t>(newline - data) : size;
            const std::size_t taken = std::min(length, maxLine_ - std::min(maxLine_, line_.size()));
            line_.append(data, taken);
            leftOut_ += length - taken;
            if (!newline) break;
            data += length + 1;
            size -= length + 1;
            emit(true, std::memchr(data, '\n', size) != nullptr);
        }
    }
    void finish() {
        if (!line_.empty() || leftOut_ > 0) emit(false, false);
    }

private:
    void emit(bool complete, bool more) {
        sink_(OutputLine{stream_, line_, leftOut_, complete, more});
        line_.clear();
        leftOut_ = 0;
    }
    OutputLine::Stream stream_;
    std::size_t maxLine_;
    const std::function<void(const OutputLine&)>& sink_;
    std::string line_;
    std::size_t leftOut_ = 0;
};

// Reads at most `budget` bytes of what is there now into `lines`; false at end of file or on
// error. The budget lets a child that writes without pause be looked at between reads.
bool drainInto(int fd, LineSplitter& lines, std::size_t budget) {
    char buffer[65536];
    while (budget > 0) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, budget));
        if (n > 0) {
            lines.add(buffer, static_cast<std::size_t>(n));
            budget -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

// A pipe whose ends close with it.
struct OwnedPipe {
    OwnedPipe() = default;
    OwnedPipe(const OwnedPipe&) = delete;
    OwnedPipe& operator=(const OwnedPipe&) = delete;
    int fds[2] = {-1, -1};
    bool open() { return ::pipe2(fds, O_CLOEXEC) == 0; }
    void closeEnd(int end) {
        if (fds[end] >= 0) ::close(fds[end]);
        fds[end] = -1;
    }
    ~OwnedPipe() {
        closeEnd(0);
        closeEnd(1);
    }
};

}  // namespace

PosixProcessRunner::PosixProcessRunner(std::shared_ptr<Clock> clock)
    : clock_(clock ? std::move(clock) : std::make_shared<LocalClock>()) {}

StartedProcess PosixProcessRunner::start(const std::string& executable,
                                         const std::vector<std::string>& args) {
    keepChildrenWaitable();
    Spawn spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    keepOnlyStandardDescriptors(spawn.actions);
    resetSignals(spawn.attr);
    // A session of its own: it stays when the application quits or its terminal closes.
    posix_spawnattr_setflags(&spawn.attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    auto argv = argvOf(executable, args);
    pid_t pid = 0;
    const int rc =
        ::posix_spawn(&pid, executable.c_str(), &spawn.actions, &spawn.attr, argv.data(), environ);
    if (rc != 0) return {errorText(rc), nullptr};
    return {std::nullopt, std::make_shared<DetachedChild>(pid)};
}

ProcessResult PosixProcessRunner::run(const std::string& executable,
                                      const std::vector<std::string>& args,
                                      std::chrono::milliseconds timeout) {
    ProcessResult result;
    keepChildrenWaitable();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.startError = errorText(errno);
        return result;
    }
    const int readEnd = pipeFds[0], writeEnd = pipeFds[1];

    Spawn spawn;
    posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd, STDERR_FILENO);
    inOwnGroup(spawn);

    auto argv = argvOf(executable, args);
    pid_t pid = 0;
    const int rc =
        ::posix_spawn(&pid, executable.c_str(), &spawn.actions, &spawn.attr, argv.data(), environ);
    ::close(writeEnd);
    if (rc != 0) {
        ::close(readEnd);
        result.startError = errorText(rc);
        return result;
    }
    ::fcntl(readEnd, F_SETFL, O_NONBLOCK);
    const int pidFd = pidfdOpen(pid);

    const auto deadline = std::chrono::steady_clock::now() + std::min(timeout, kLongestTimeout);
    bool pipeOpen = true;
    bool exited = false;
    int wstatus = 0;
    while (!exited) {
        pollfd fds[2] = {{pipeOpen ? readEnd : -1, POLLIN, 0}, {pidFd, POLLIN, 0}};
        // Without a pid descriptor, look at the child every few milliseconds.
        const int wait = pidFd >= 0 ? remainingMs(deadline) : std::min(remainingMs(deadline), 10);
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno != EINTR) break;
        if (pipeOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            pipeOpen = drain(readEnd, result.output);
        }
        const pid_t waited = ::waitpid(pid, &wstatus, WNOHANG);
        if (waited == pid || (waited < 0 && errno != EINTR)) {
            // Reaped by someone else, the status is unknown; waiting on would only hit the
            // deadline.
            if (waited < 0) wstatus = -1;
            exited = true;
            break;
        }
        if (remainingMs(deadline) == 0) {
            ::kill(-pid, SIGKILL);
            wstatus = waitBlocking(pid);
            result.timedOut = true;
            break;
        }
    }
    if (!exited && !result.timedOut) wstatus = waitBlocking(pid);
    // What the child wrote before it exited; a descendant that keeps the pipe open is not waited
    // for.
    if (pipeOpen) drain(readEnd, result.output);
    ::close(readEnd);
    if (pidFd >= 0) ::close(pidFd);
    result.status = exitStatus(wstatus);
    return result;
}

StreamedResult PosixProcessRunner::runStreaming(
    const std::string& executable, const std::vector<std::string>& args, const StreamedRun& how,
    const std::function<void(const OutputLine&)>& line) {
    StreamedResult result;
    keepChildrenWaitable();
    OwnedPipe pipes[2];
    if (!pipes[0].open() || !pipes[1].open()) {
        result.startError = errorText(errno);
        result.beforeSpawn = true;
        return result;
    }
    Spawn spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, pipes[0].fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, pipes[1].fds[1], STDERR_FILENO);
    inOwnGroup(spawn);
    auto argv = argvOf(executable, args);
    std::vector<char*> envp;
    if (how.environment) {
        for (const auto& entry : *how.environment) envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
    }
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, executable.c_str(), &spawn.actions, &spawn.attr, argv.data(),
                                 how.environment ? envp.data() : environ);
    for (auto& pipe : pipes) pipe.closeEnd(1);
    if (rc != 0) {
        result.startError = errorText(rc);
        return result;
    }
    LineSplitter splitters[2] = {{OutputLine::Stream::Output, how.maxLine, line},
                                 {OutputLine::Stream::Error, how.maxLine, line}};
    bool open[2] = {true, true};
    for (auto& pipe : pipes) ::fcntl(pipe.fds[0], F_SETFL, O_NONBLOCK);
    const int pidFd = pidfdOpen(pid);
    ClockedPoll waits(*clock_);
    const auto deadline = clock_->now() + std::min(how.timeout, kLongestTimeout);
    constexpr std::size_t kReadBudget = std::size_t{1} << 20;
    // Without a pid descriptor the child's end is seen when both pipes have ended.
    while (pidFd >= 0 || open[0] || open[1]) {
        pollfd fds[3] = {{open[0] ? pipes[0].fds[0] : -1, POLLIN, 0},
                         {open[1] ? pipes[1].fds[0] : -1, POLLIN, 0},
                         {pidFd, POLLIN, 0}};
        const int ready = waits.wait(fds, deadline);
        if (ready == 0) {
            // A group of its own: whatever it started, holding the pipes too, ends with it.
            ::kill(-pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        if (ready < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (open[i] && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                open[i] = drainInto(pipes[i].fds[0], splitters[i], kReadBudget);
            }
        }
        // The child's exit is what counts: a descendant may keep the pipes open.
        if (fds[2].revents) break;
    }
    const int wstatus = waitBlocking(pid);
    // What it wrote before it ended, without waiting for whoever holds the pipes on.
    for (int i = 0; i < 2; ++i) {
        if (open[i]) drainInto(pipes[i].fds[0], splitters[i], kReadBudget);
        splitters[i].finish();
    }
    if (pidFd >= 0) ::close(pidFd);
    if (wstatus >= 0 && WIFEXITED(wstatus)) result.exitStatus = WEXITSTATUS(wstatus);
    if (wstatus >= 0 && WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
    return result;
}

}  // namespace platform::linux_impl
