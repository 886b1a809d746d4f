#include "platform/testing/dbus/mock_polkit.h"

#include <systemd/sd-bus.h>

#include <fstream>
#include <stdexcept>

namespace platform::testing {

MockPolkit::MockPolkit(const std::filesystem::path& folder)
    : DbusMock(folder, "polkitd", "org.freedesktop.PolicyKit1") {}

void MockPolkit::setAllowed(const std::vector<std::string>& actions) {
    sd_bus_message* call = nullptr;
    sd_bus_error error{};
    int r = sd_bus_message_new_method_call(bus(), &call, busName().c_str(),
                                           "/org/freedesktop/PolicyKit1/Authority",
                                           "org.freedesktop.DBus.Mock", "SetAllowed");
    if (r >= 0) r = sd_bus_message_open_container(call, 'a', "s");
    for (const auto& action : actions) {
        if (r >= 0) r = sd_bus_message_append(call, "s", action.c_str());
    }
    if (r >= 0) r = sd_bus_message_close_container(call);
    if (r >= 0) r = sd_bus_call(bus(), call, 0, &error, nullptr);
    const std::string message = error.message ? error.message : "";
    sd_bus_error_free(&error);
    sd_bus_message_unref(call);
    if (r < 0) throw std::runtime_error("SetAllowed failed: " + message);
}

std::vector<std::string> MockPolkit::checks() const {
    std::ifstream in(log());
    std::vector<std::string> calls;
    // Each line is "<time> <method> <arguments>".
    for (std::string line; std::getline(in, line);) {
        const auto method = line.find(' ') + 1;
        if (line.compare(method, 19, "CheckAuthorization ") == 0) {
            calls.push_back(line.substr(method + 19));
        }
    }
    return calls;
}

}  // namespace platform::testing
