#include "platform/testing/dbus/dbus_mock.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/testing/test_platform.h"

extern char** environ;

namespace platform::testing {
namespace {

using Clock = std::chrono::steady_clock;
// Python starts and answers slowly on a loaded machine; this only bounds a broken setup.
constexpr auto kStartDeadline = std::chrono::seconds(60);

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
    if (left.count() <= 0) fail("The private bus or the mock service did not start in time");
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

// Starts a server that prints where it listens on its descriptor 3, and reads that line.
pid_t spawnPrinting(const std::vector<std::string>& args, Clock::time_point deadline,
                    std::string& printed) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) fail("pipe failed");
    pid_t pid = -1;
    try {
        pid = spawn(args, pipe[1], true);
        ::close(pipe[1]);
        pipe[1] = -1;
        printed = readAddress(pipe[0], deadline);
    } catch (...) {
        for (int fd : pipe) {
            if (fd >= 0) ::close(fd);
        }
        stop(pid);
        throw;
    }
    ::close(pipe[0]);
    return pid;
}

struct Ownership {
    const std::string& name;
    bool owned = false;
};

int onOwnerChanged(sd_bus_message* m, void* data, sd_bus_error*) {
    auto* ownership = static_cast<Ownership*>(data);
    const char *name = nullptr, *from = nullptr, *to = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &from, &to) >= 0 && ownership->name == name) {
        ownership->owned = *to != '\0';
    }
    return 0;
}

}  // namespace

DbusMock::DbusMock(const std::filesystem::path& folder, const std::string& templateName,
                   std::string busName, bool serve, Bus bus, std::string address)
    : busName_(std::move(busName)),
      bus_kind_(bus),
      log_(folder / (busName_ + ".log")),
      address_(std::move(address)) {
    try {
        start(templateName, serve);
    } catch (...) {
        shutdown();
        throw;
    }
}

DbusMock::~DbusMock() { shutdown(); }

void DbusMock::start(const std::string& templateName, bool serve) {
    const auto deadline = Clock::now() + kStartDeadline;
    if (address_.empty()) {
        daemon_ =
            spawnPrinting({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=3"},
                          deadline, address_);
    }
    const bool system = bus_kind_ == Bus::system;
    ::setenv(system ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    if (!serve) return;

    // Subscribed before the mock starts, so its name cannot be taken unseen.
    Ownership ownership{busName_};
    if ((system ? sd_bus_open_system(&bus_) : sd_bus_open_user(&bus_)) < 0 ||
        sd_bus_add_match(bus_, nullptr,
                         "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged'",
                         onOwnerChanged, &ownership) < 0) {
        fail("Could not connect to the private bus at " + address_);
    }
    mock_ = spawn({"/usr/bin/python3", "-m", "dbusmock", "--template", templateName, "--logfile",
                   log_.string()},
                  -1, false);
    while (!ownership.owned) {
        if (::waitpid(mock_, nullptr, WNOHANG) == mock_) {
            mock_ = -1;
            fail("The mock of " + busName_ +
                 " exited at start; is python3-dbusmock installed? Run scripts/install-deps");
        }
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) fail("Lost the private bus");
        if (r == 0) sd_bus_wait(bus_, std::min(millisecondsLeft(deadline), 100) * 1000ull);
    }
}

std::vector<std::string> DbusMock::calls() const {
    std::ifstream in(log_);
    std::vector<std::string> lines;
    // Each line is "<time> <method> <arguments>", written whole; a line still being written has no
    // line feed yet and is left for the next look.
    for (std::string line; std::getline(in, line) && !in.eof();) {
        lines.push_back(line.substr(line.find(' ') + 1));
    }
    return lines;
}

void DbusMock::callMock(const char* object, const char* method, const char* types, ...) {
    sd_bus_error error{};
    va_list arguments;
    va_start(arguments, types);
    const int r = sd_bus_call_methodv(bus_, busName_.c_str(), object, "org.freedesktop.DBus.Mock",
                                      method, &error, nullptr, types, arguments);
    va_end(arguments);
    const std::string message = error.message ? error.message : "";
    sd_bus_error_free(&error);
    if (r < 0) fail(std::string(method) + " failed: " + message);
}

void DbusMock::shutdown() {
    bus_ = sd_bus_flush_close_unref(bus_);
    stop(mock_);
    stop(daemon_);
    mock_ = daemon_ = -1;
}

MockStatusTray::MockStatusTray(const std::filesystem::path& folder, std::string address)
    : DbusMock(folder, ORVANE_MOCK_STATUS_TRAY_TEMPLATE, "org.kde.StatusNotifierWatcher", true,
               Bus::session, std::move(address)) {}

PrivateDisplay::PrivateDisplay() {
    std::string display;
    server_ = spawnPrinting(
        {"/usr/bin/Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "800x600x24"},
        Clock::now() + kStartDeadline, display);
    ::setenv("DISPLAY", (":" + display).c_str(), 1);
}

PrivateDisplay::~PrivateDisplay() { stop(server_); }

MockPolkit::MockPolkit(const std::filesystem::path& folder)
    : DbusMock(folder, ORVANE_MOCK_POLKIT_TEMPLATE, "org.freedesktop.PolicyKit1") {}

MockSystemd::MockSystemd(const std::filesystem::path& folder, bool serve)
    : DbusMock(folder, ORVANE_MOCK_SYSTEMD_TEMPLATE, "org.freedesktop.systemd1", serve) {}

void MockSystemd::setUnit(const std::string& unit, const std::string& loadState,
                          const std::string& activeState, const std::string& startResult,
                          int exitStatus) {
    callMock("/org/freedesktop/systemd1", "SetUnit", "ssssi", unit.c_str(), loadState.c_str(),
             activeState.c_str(), startResult.c_str(), exitStatus);
}

bool DbusMock::waitForCalls(const std::string& method, int count) const {
    return eventually(
        [&] {
            const auto all = calls();
            return std::count_if(all.begin(), all.end(), [&](const std::string& call) {
                       return call == method || call.starts_with(method + " ");
                   }) >= count;
        },
        kStartDeadline);
}

std::vector<std::string> MockSystemd::takeCalls() {
    const auto all = calls();
    std::vector<std::string> taken;
    for (; logRead_ < all.size(); ++logRead_) {
        const auto& call = all[logRead_];
        if (!call.starts_with("Get ") && !call.starts_with("GetAll ") &&
            !call.starts_with("emit ") && !call.starts_with("SetUnit ")) {
            taken.push_back(call);
        }
    }
    return taken;
}

}  // namespace platform::testing
