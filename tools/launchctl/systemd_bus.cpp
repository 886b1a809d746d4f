#include "tools/launchctl/systemd_bus.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <system_error>

namespace launchctl {
namespace {

constexpr char kService[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kManager[] = "org.freedesktop.systemd1.Manager";
constexpr char kUnit[] = "org.freedesktop.systemd1.Unit";
constexpr char kServiceUnit[] = "org.freedesktop.systemd1.Service";

BusError localError(const std::string& what, int negativeErrno) {
    return {"", what + ": " + std::generic_category().message(-negativeErrno)};
}

// Takes over an sd_bus_error: its name and text, freed.
BusError busError(sd_bus_error& error, const std::string& what, int negativeErrno) {
    if (!sd_bus_error_is_set(&error)) return localError(what, negativeErrno);
    BusError result{error.name, error.message ? error.message : error.name};
    sd_bus_error_free(&error);
    return result;
}

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;
struct SlotUnref {
    void operator()(sd_bus_slot* s) const { sd_bus_slot_unref(s); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;

BusResult<std::string> stringProperty(sd_bus* bus, const char* path, const char* interface,
                                      const char* name) {
    sd_bus_error error{};
    char* value = nullptr;
    const int r = sd_bus_get_property_string(bus, kService, path, interface, name, &error, &value);
    if (r < 0) return busError(error, std::string("Could not read ") + name, r);
    std::string text(value);
    std::free(value);
    return text;
}

// The main process's last exit status.
std::optional<int> exitStatus(sd_bus* bus, const char* path) {
    std::int32_t status = 0;
    if (sd_bus_get_property_trivial(bus, kService, path, kServiceUnit, "ExecMainStatus", nullptr,
                                    'i', &status) < 0) {
        return std::nullopt;
    }
    return status;
}

// The results of the jobs removed so far, by job path.
int onJobRemoved(sd_bus_message* m, void* userdata, sd_bus_error*) {
    std::uint32_t id = 0;
    const char* job = nullptr;
    const char* unit = nullptr;
    const char* result = nullptr;
    if (sd_bus_message_read(m, "uoss", &id, &job, &unit, &result) >= 0) {
        (*static_cast<std::map<std::string, std::string>*>(userdata))[job] = result;
    }
    return 0;
}

}  // namespace

void SystemdBus::Close::operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }

BusResult<SystemdBus> SystemdBus::connect() {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_system(&bus);
    if (r < 0) return localError("Could not connect to the system bus", r);
    return SystemdBus(bus);
}

BusResult<std::string> SystemdBus::unitPath(const std::string& unit) {
    // GetUnit knows only units in memory; LoadUnit also answers for one that is not, and for
    // one without a file, which is never active.
    sd_bus_error error{};
    sd_bus_message* raw = nullptr;
    int r = sd_bus_call_method(bus_.get(), kService, kManagerPath, kManager, "LoadUnit", &error,
                               &raw, "s", unit.c_str());
    Message reply(raw);
    if (r < 0) return busError(error, "Could not load " + unit, r);
    const char* path = nullptr;
    r = sd_bus_message_read(reply.get(), "o", &path);
    if (r < 0) return localError("Could not read systemd's answer", r);
    return std::string(path);
}

BusResult<UnitState> SystemdBus::unitState(const std::string& unit) {
    auto found = unitPath(unit);
    if (auto* failure = std::get_if<BusError>(&found)) return *failure;
    const char* path = std::get<std::string>(found).c_str();

    UnitState state;
    auto active = stringProperty(bus_.get(), path, kUnit, "ActiveState");
    if (auto* failure = std::get_if<BusError>(&active)) return *failure;
    state.activeState = std::get<std::string>(active);
    if (state.activeState == "failed") state.exitStatus = exitStatus(bus_.get(), path);
    return state;
}

BusResult<UnitOutcome> SystemdBus::unitOutcome(const std::string& unit) {
    auto found = unitPath(unit);
    if (auto* failure = std::get_if<BusError>(&found)) return *failure;
    const char* path = std::get<std::string>(found).c_str();

    UnitOutcome outcome;
    for (auto [name, field] :
         {std::pair{"Result", &outcome.result}, std::pair{"StatusText", &outcome.statusText}}) {
        auto value = stringProperty(bus_.get(), path, kServiceUnit, name);
        if (auto* failure = std::get_if<BusError>(&value)) return *failure;
        *field = std::get<std::string>(value);
    }
    outcome.exitStatus = exitStatus(bus_.get(), path);
    return outcome;
}

BusResult<std::string> SystemdBus::runJob(const char* method, const std::string& unit) {
    // systemd tells whoever queued a job when it is removed. The match is in place before the
    // job is queued, so its signal cannot come first and be missed.
    std::map<std::string, std::string> removed;
    sd_bus_slot* rawSlot = nullptr;
    int r = sd_bus_match_signal(bus_.get(), &rawSlot, kService, kManagerPath, kManager,
                                "JobRemoved", onJobRemoved, &removed);
    Slot slot(rawSlot);
    if (r < 0) return localError("Could not follow systemd's jobs", r);

    sd_bus_error error{};
    sd_bus_message* raw = nullptr;
    r = sd_bus_call_method(bus_.get(), kService, kManagerPath, kManager, method, &error, &raw, "ss",
                           unit.c_str(), "replace");
    Message reply(raw);
    if (r < 0) return busError(error, std::string(method) + " " + unit + " failed", r);
    const char* jobPath = nullptr;
    r = sd_bus_message_read(reply.get(), "o", &jobPath);
    if (r < 0) return localError("Could not read systemd's answer", r);
    const std::string job = jobPath;

    while (!removed.contains(job)) {
        r = sd_bus_process(bus_.get(), nullptr);
        if (r > 0) continue;
        if (r == 0) r = sd_bus_wait(bus_.get(), UINT64_MAX);
        if (r < 0 && r != -EINTR) return localError("Lost systemd while waiting for a job", r);
    }
    return removed[job];
}

std::optional<BusError> SystemdBus::setEnabled(const std::string& unit, bool enabled) {
    sd_bus_error error{};
    // Linked for good (not only until reboot), without replacing links someone else made.
    const int r =
        enabled
            ? sd_bus_call_method(bus_.get(), kService, kManagerPath, kManager, "EnableUnitFiles",
                                 &error, nullptr, "asbb", 1, unit.c_str(), 0, 0)
            : sd_bus_call_method(bus_.get(), kService, kManagerPath, kManager, "DisableUnitFiles",
                                 &error, nullptr, "asb", 1, unit.c_str(), 0);
    if (r < 0) return busError(error, "Could not change " + unit + " for boot", r);
    const int reloaded = sd_bus_call_method(bus_.get(), kService, kManagerPath, kManager, "Reload",
                                            &error, nullptr, "");
    if (reloaded < 0) return busError(error, "Could not reload systemd", reloaded);
    return std::nullopt;
}

}  // namespace launchctl
