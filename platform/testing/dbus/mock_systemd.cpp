#include "platform/testing/dbus/mock_systemd.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace platform::testing {

namespace {

using Clock = std::chrono::steady_clock;
// Python answers slowly on a loaded machine; this only bounds a broken setup.
constexpr auto kCallsDeadline = std::chrono::seconds(60);

}  // namespace

MockSystemd::MockSystemd(const std::filesystem::path& folder, bool serve)
    : DbusMock(folder, ORVANE_MOCK_SYSTEMD_TEMPLATE, "org.freedesktop.systemd1", serve) {}

void MockSystemd::setUnit(const std::string& unit, const std::string& loadState,
                          const std::string& activeState, const std::string& startResult,
                          int exitStatus) {
    sd_bus_error error{};
    const int r = sd_bus_call_method(bus(), busName().c_str(), "/org/freedesktop/systemd1",
                                     "org.freedesktop.DBus.Mock", "SetUnit", &error, nullptr,
                                     "ssssi", unit.c_str(), loadState.c_str(), activeState.c_str(),
                                     startResult.c_str(), exitStatus);
    const std::string message = error.message ? error.message : "";
    sd_bus_error_free(&error);
    if (r < 0) throw std::runtime_error("SetUnit failed: " + message);
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
    const auto deadline = Clock::now() + kCallsDeadline;
    for (;;) {
        std::istringstream calls(readAll(log()));
        int seen = 0;
        for (std::string time, called; calls >> time >> called;) {
            seen += called == method;
            calls.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        }
        if (seen >= count) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<std::string> MockSystemd::takeCalls() {
    const std::string text = readAll(log());
    std::vector<std::string> calls;
    // Each line is "<time> <method> <arguments>", written whole.
    for (auto start = logRead_, end = text.find('\n', start); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        const std::string line = text.substr(start, end - start);
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
