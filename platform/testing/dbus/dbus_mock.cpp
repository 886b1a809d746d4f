#include "platform/testing/dbus/dbus_mock.h"

#include <fcntl.h>
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
#include <thread>
#include <vector>

extern char** environ;

namespace platform::testing {
namespace {

using Clock = std::chrono::steady_clock;
// Python starts and answers slowly on a loaded machine; this only bounds a broken setup.
constexpr auto kStartDeadline = std::chrono::seconds(60);

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

// Starts argv[0] by path.
pid_t spawn(const std::vector<std::string>& args, bool quiet) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
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
                   std::string busName, bool serve)
    : busName_(std::move(busName)), log_(folder / (busName_ + ".log")) {
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
    address_ = "unix:path=" + (log_.parent_path() / (busName_ + ".bus")).string();
    daemon_ =
        spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=" + address_}, true);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    // The bus is up once it takes a connection.
    while (sd_bus_open_system(&bus_) < 0) {
        if (::waitpid(daemon_, nullptr, WNOHANG) == daemon_) {
            daemon_ = -1;
            fail("dbus-daemon exited at start");
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(millisecondsLeft(deadline), 10)));
    }
    if (!serve) return;

    // Subscribed before the mock starts, so its name cannot be taken unseen.
    Ownership ownership{busName_};
    if (sd_bus_add_match(bus_, nullptr,
                         "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged'",
                         onOwnerChanged, &ownership) < 0) {
        fail("Could not subscribe on the private bus at " + address_);
    }
    mock_ = spawn({"/usr/bin/python3", "-m", "dbusmock", "--template", templateName, "--logfile",
                   log_.string()},
                  false);
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

MockSystemd::MockSystemd(const std::filesystem::path& folder, bool serve)
    : DbusMock(folder, ORVANE_MOCK_SYSTEMD_TEMPLATE, "org.freedesktop.systemd1", serve) {}

void MockSystemd::setUnit(const std::string& unit, const std::string& loadState,
                          const std::string& activeState, const std::string& startResult,
                          int exitStatus) {
    callMock("/org/freedesktop/systemd1", "SetUnit", "ssssi", unit.c_str(), loadState.c_str(),
             activeState.c_str(), startResult.c_str(), exitStatus);
}

bool MockSystemd::waitForCalls(const std::string& method, int count) const {
    const auto deadline = Clock::now() + kStartDeadline;
    for (;;) {
        const auto all = calls();
        const auto seen = std::count_if(all.begin(), all.end(), [&](const std::string& call) {
            return call == method || call.starts_with(method + " ");
        });
        if (seen >= count) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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
