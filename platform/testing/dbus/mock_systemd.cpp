#include "platform/testing/dbus/mock_systemd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace platform::testing {
namespace {

using Clock = std::chrono::steady_clock;
// Python starts slowly on a loaded machine; this only bounds a broken setup.
constexpr auto kStartDeadline = std::chrono::seconds(60);
constexpr char kName[] = "org.freedesktop.systemd1";

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

// Starts argv[0] by path; `addressFd`, when given, becomes the child's descriptor 3.
pid_t spawn(const std::vector<std::string>& args, int addressFd, bool quiet) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (addressFd >= 0) posix_spawn_file_actions_adddup2(&actions, addressFd, 3);
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) fail("Could not start " + args[0] + ": " + std::strerror(error));
    return pid;
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) fail("The private bus or the mock systemd did not start in time");
    return static_cast<int>(left.count());
}

// The address the daemon prints on descriptor `fd` once it listens.
std::string readAddress(int fd, Clock::time_point deadline) {
    std::string text;
    while (text.find('\n') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, millisecondsLeft(deadline)) < 0 && errno != EINTR) fail("poll failed");
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) fail("dbus-daemon exited before printing its address");
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

int onOwnerChanged(sd_bus_message* m, void* owned, sd_bus_error*) {
    const char *name = nullptr, *from = nullptr, *to = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &from, &to) >= 0 && std::strcmp(name, kName) == 0) {
        *static_cast<bool*>(owned) = *to != '\0';
    }
    return 0;
}

}  // namespace

MockSystemd::MockSystemd(const std::filesystem::path& folder, bool serve)
    : log_(folder / "mock_systemd.log") {
    try {
        start(serve);
    } catch (...) {
        shutdown();
        throw;
    }
}

MockSystemd::~MockSystemd() { shutdown(); }

void MockSystemd::start(bool serve) {
    const auto deadline = Clock::now() + kStartDeadline;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) fail("pipe failed");
    try {
        daemon_ = spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=3"},
                        pipe[1], true);
        ::close(pipe[1]);
        pipe[1] = -1;
        address_ = readAddress(pipe[0], deadline);
    } catch (...) {
        for (int fd : pipe) {
            if (fd >= 0) ::close(fd);
        }
        throw;
    }
    ::close(pipe[0]);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    if (!serve) return;

    // Subscribed before the mock starts, so its name cannot be taken unseen.
    bool owned = false;
    if (sd_bus_open_system(&bus_) < 0 ||
        sd_bus_add_match(bus_, nullptr,
                         "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged'",
                         onOwnerChanged, &owned) < 0) {
        fail("Could not connect to the private bus at " + address_);
    }
    mock_ = spawn({"/usr/bin/python3", "-m", "dbusmock", "--template", ORVANE_MOCK_SYSTEMD_TEMPLATE,
                   "--logfile", log_.string()},
                  -1, false);
    while (!owned) {
        if (::waitpid(mock_, nullptr, WNOHANG) == mock_) {
            mock_ = -1;
            fail("The mock systemd exited at start; is python3-dbusmock installed?");
        }
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) fail("Lost the private bus");
        if (r == 0) sd_bus_wait(bus_, std::min(millisecondsLeft(deadline), 100) * 1000ull);
    }
}

void MockSystemd::shutdown() {
    bus_ = sd_bus_flush_close_unref(bus_);
    stop(mock_);
    stop(daemon_);
    mock_ = daemon_ = -1;
}

void MockSystemd::setUnit(const std::string& unit, const std::string& loadState,
                          const std::string& activeState, const std::string& startResult,
                          int exitStatus) {
    sd_bus_error error{};
    const int r =
        sd_bus_call_method(bus_, kName, "/org/freedesktop/systemd1", "org.freedesktop.DBus.Mock",
                           "SetUnit", &error, nullptr, "ssssi", unit.c_str(), loadState.c_str(),
                           activeState.c_str(), startResult.c_str(), exitStatus);
    const std::string message = error.message ? error.message : "";
    sd_bus_error_free(&error);
    if (r < 0) fail("SetUnit failed: " + message);
}

namespace {

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool MockSystemd::waitForCalls(const std::string& method, int count) const {
    const auto deadline = Clock::now() + kStartDeadline;
    for (;;) {
        std::istringstream log(readAll(log_));
        int seen = 0;
        for (std::string time, called; log >> time >> called;) {
            seen += called == method;
            log.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        }
        if (seen >= count) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<std::string> MockSystemd::takeCalls() {
    const std::string log = readAll(log_);
    std::vector<std::string> calls;
    // Each line is "<time> <method> <arguments>", written whole.
    for (auto start = logRead_, end = log.find('\n', start); end != std::string::npos;
         start = end + 1, end = log.find('\n', start)) {
        const std::string line = log.substr(start, end - start);
        const std::string call = line.substr(line.find(' ') + 1);
        logRead_ = end + 1;
        if (call.starts_with("Get ") || call.starts_with("GetAll ") || call.starts_with("emit ") ||
            call.starts_with("SetUnit ")) {
            continue;
        }
        calls.push_back(call);
    }
    return calls;
}

}  // namespace platform::testing
