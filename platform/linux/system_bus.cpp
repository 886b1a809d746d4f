#include "platform/linux/system_bus.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <system_error>

namespace platform::linux_impl {
namespace {

constexpr char kSystemd[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kManager[] = "org.freedesktop.systemd1.Manager";
constexpr char kUnit[] = "org.freedesktop.systemd1.Unit";
constexpr char kServiceUnit[] = "org.freedesktop.systemd1.Service";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr char kAlreadySubscribed[] = "org.freedesktop.systemd1.AlreadySubscribed";
constexpr char kPolkit[] = "org.freedesktop.PolicyKit1";
constexpr char kAuthorityPath[] = "/org/freedesktop/PolicyKit1/Authority";
constexpr char kAuthority[] = "org.freedesktop.PolicyKit1.Authority";
constexpr std::uint32_t kAllowUserInteraction = 1;
// A check may wait for a person typing a password; its bound is the caller's, not sd-bus's.
constexpr std::uint64_t kNoTimeout = UINT64_MAX;

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

BusResult<std::string> stringProperty(sd_bus* bus, const char* path, const char* interface,
                                      const char* name) {
    sd_bus_error error{};
    char* value = nullptr;
    const int r = sd_bus_get_property_string(bus, kSystemd, path, interface, name, &error, &value);
    if (r < 0) return busError(error, std::string("Could not read ") + name, r);
    std::string text(value);
    std::free(value);
    return text;
}

// Several string properties of one interface into their fields; the first failure, if any.
std::optional<BusError> readStrings(
    sd_bus* bus, const char* path, const char* interface,
    std::initializer_list<std::pair<const char*, std::string*>> properties) {
    for (const auto& [name, field] : properties) {
        auto value = stringProperty(bus, path, interface, name);
        if (auto* failure = std::get_if<BusError>(&value)) return *failure;
        *field = std::move(std::get<std::string>(value));
    }
    return std::nullopt;
}

// The main process's last exit status.
std::optional<int> exitStatus(sd_bus* bus, const char* path) {
    std::int32_t status = 0;
    if (sd_bus_get_property_trivial(bus, kSystemd, path, kServiceUnit, "ExecMainStatus", nullptr,
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

// Whether a PropertiesChanged of the unit's own interface names its state.
bool namesUnitState(sd_bus_message* m) {
    const char* interface = nullptr;
    if (sd_bus_message_read(m, "s", &interface) < 0 || std::strcmp(interface, kUnit) != 0) {
        return false;
    }
    auto isState = [](const char* name) {
        return std::strcmp(name, "ActiveState") == 0 || std::strcmp(name, "SubState") == 0;
    };
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return false;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) return false;
        if (isState(name)) return true;
        if (sd_bus_message_skip(m, "v") < 0 || sd_bus_message_exit_container(m) < 0) return false;
    }
    if (sd_bus_message_exit_container(m) < 0) return false;
    if (sd_bus_message_enter_container(m, 'a', "s") < 0) return false;
    const char* invalidated = nullptr;
    while (sd_bus_message_read(m, "s", &invalidated) > 0) {
        if (isState(invalidated)) return true;
    }
    return false;
}

int onUnitPropertiesChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    if (namesUnitState(m)) (*static_cast<std::function<void()>*>(userdata))();
    return 0;
}

BusResult<PolkitAnswer> readAnswer(sd_bus_message* reply) {
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        return BusError{error->name, error->message ? error->message : error->name};
    }
    auto unreadable = [](int r) { return localError("Could not read polkit's answer", r); };
    PolkitAnswer answer;
    int authorized = 0;
    int challenge = 0;
    int r = sd_bus_message_enter_container(reply, 'r', "bba{ss}");
    if (r >= 0) r = sd_bus_message_read(reply, "bb", &authorized, &challenge);
    if (r >= 0) r = sd_bus_message_enter_container(reply, 'a', "{ss}");
    if (r < 0) return unreadable(r);
    answer.authorized = authorized != 0;
    const char* key = nullptr;
    const char* value = nullptr;
    while ((r = sd_bus_message_read(reply, "{ss}", &key, &value)) > 0) {
        if (std::strcmp(key, "polkit.dismissed") == 0 && std::strcmp(value, "") != 0) {
            answer.dismissed = true;
        }
    }
    if (r < 0) return unreadable(r);
    return answer;
}

using CheckDone = std::function<void(BusResult<PolkitAnswer>)>;

int onAuthorizationAnswer(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    (*static_cast<CheckDone*>(userdata))(readAnswer(reply));
    return 0;
}

// The slot's callback state (its userdata, a T) goes with the slot.
template <class T>
void deletedWithSlot(sd_bus_slot* slot) {
    sd_bus_slot_set_destroy_callback(slot, [](void* data) { delete static_cast<T*>(data); });
}

}  // namespace

void SystemBus::SlotUnref::operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
void SystemBus::Close::operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }

BusResult<SystemBus> SystemBus::connect(const std::optional<std::string>& address) {
    sd_bus* bus = nullptr;
    int r = 0;
    if (!address) {
        r = sd_bus_open_system(&bus);
    } else if ((r = sd_bus_new(&bus)) >= 0) {
        r = sd_bus_set_address(bus, address->c_str());
        if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0) r = sd_bus_start(bus);
    }
    SystemBus connected(bus);
    if (r < 0) return localError("Could not connect to the system bus", r);
    return connected;
}

BusResult<std::string> SystemBus::loadUnit(const std::string& unit) {
    // GetUnit knows only units in memory; LoadUnit also answers for one that is not, and for
    // one without a file, which is never active.
    sd_bus_error error{};
    sd_bus_message* raw = nullptr;
    int r = sd_bus_call_method(bus_.get(), kSystemd, kManagerPath, kManager, "LoadUnit", &error,
                               &raw, "s", unit.c_str());
    Message reply(raw);
    if (r < 0) return busError(error, "Could not load " + unit, r);
    const char* path = nullptr;
    r = sd_bus_message_read(reply.get(), "o", &path);
    if (r < 0) return localError("Could not read systemd's answer", r);
    return std::string(path);
}

BusResult<UnitState> SystemBus::unitState(const std::string& unit) {
    auto found = loadUnit(unit);
    if (auto* failure = std::get_if<BusError>(&found)) return *failure;
    const char* path = std::get<std::string>(found).c_str();

    UnitState state;
    if (auto failure =
            readStrings(bus_.get(), path, kUnit,
                        {{"ActiveState", &state.activeState}, {"SubState", &state.subState}})) {
        return *failure;
    }
    if (state.activeState == "failed") state.exitStatus = exitStatus(bus_.get(), path);
    return state;
}

BusResult<UnitOutcome> SystemBus::unitOutcome(const std::string& unit) {
    auto found = loadUnit(unit);
    if (auto* failure = std::get_if<BusError>(&found)) return *failure;
    const char* path = std::get<std::string>(found).c_str();

    UnitOutcome outcome;
    if (auto failure =
            readStrings(bus_.get(), path, kServiceUnit,
                        {{"Result", &outcome.result}, {"StatusText", &outcome.statusText}})) {
        return *failure;
    }
    outcome.exitStatus = exitStatus(bus_.get(), path);
    return outcome;
}

BusResult<std::string> SystemBus::runJob(const char* method, const std::string& unit) {
    // systemd tells whoever queued a job when it is removed. The match is in place before the
    // job is queued, so its signal cannot come first and be missed.
    std::map<std::string, std::string> removed;
    sd_bus_slot* rawSlot = nullptr;
    int r = sd_bus_match_signal(bus_.get(), &rawSlot, kSystemd, kManagerPath, kManager,
                                "JobRemoved", onJobRemoved, &removed);
    Slot slot(rawSlot);
    if (r < 0) return localError("Could not follow systemd's jobs", r);

    sd_bus_error error{};
    sd_bus_message* raw = nullptr;
    r = sd_bus_call_method(bus_.get(), kSystemd, kManagerPath, kManager, method, &error, &raw, "ss",
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

std::optional<BusError> SystemBus::setEnabled(const std::string& unit, bool enabled) {
    sd_bus_error error{};
    // Linked for good (not only until reboot), without replacing links someone else made.
    const int r =
        enabled
            ? sd_bus_call_method(bus_.get(), kSystemd, kManagerPath, kManager, "EnableUnitFiles",
                                 &error, nullptr, "asbb", 1, unit.c_str(), 0, 0)
            : sd_bus_call_method(bus_.get(), kSystemd, kManagerPath, kManager, "DisableUnitFiles",
                                 &error, nullptr, "asb", 1, unit.c_str(), 0);
    if (r < 0) return busError(error, "Could not change " + unit + " for boot", r);
    const int reloaded = sd_bus_call_method(bus_.get(), kSystemd, kManagerPath, kManager, "Reload",
                                            &error, nullptr, "");
    if (reloaded < 0) return busError(error, "Could not reload systemd", reloaded);
    return std::nullopt;
}

BusResult<SystemBus::Slot> SystemBus::followUnit(const std::string& unit,
                                                 std::function<void()> changed) {
    auto found = loadUnit(unit);
    if (auto* failure = std::get_if<BusError>(&found)) return *failure;
    auto* callback = new std::function<void()>(std::move(changed));
    sd_bus_slot* raw = nullptr;
    const int r =
        sd_bus_match_signal(bus_.get(), &raw, kSystemd, std::get<std::string>(found).c_str(),
                            kProperties, "PropertiesChanged", onUnitPropertiesChanged, callback);
    if (r < 0) {
        delete callback;
        return localError("Could not listen to " + unit, r);
    }
    Slot slot(raw);
    deletedWithSlot<std::function<void()>>(raw);
    // systemd signals unit changes only to its subscribers; a connection subscribes once.
    sd_bus_error error{};
    const int subscribed = sd_bus_call_method(bus_.get(), kSystemd, kManagerPath, kManager,
                                              "Subscribe", &error, nullptr, "");
    if (subscribed < 0 && !sd_bus_error_has_name(&error, kAlreadySubscribed)) {
        return busError(error, "Could not subscribe to systemd", subscribed);
    }
    sd_bus_error_free(&error);
    return slot;
}

BusResult<SystemBus::Slot> SystemBus::checkAuthorization(
    const PolkitSubject& subject, const std::string& action,
    const std::map<std::string, std::string>& details, const std::string& cancellationId,
    std::function<void(BusResult<PolkitAnswer>)> done) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &raw, kPolkit, kAuthorityPath, kAuthority,
                                           "CheckAuthorization");
    Message call(raw);
    if (r >= 0) {
        r = sd_bus_message_append(call.get(), "(sa{sv})s", "unix-process", 3, "pid", "u",
                                  static_cast<std::uint32_t>(subject.pid), "start-time", "t",
                                  static_cast<std::uint64_t>(subject.startTime), "uid", "i",
                                  static_cast<std::int32_t>(subject.uid), action.c_str());
    }
    if (r >= 0) r = sd_bus_message_open_container(call.get(), 'a', "{ss}");
    for (auto entry = details.begin(); r >= 0 && entry != details.end(); ++entry) {
        r = sd_bus_message_append(call.get(), "{ss}", entry->first.c_str(), entry->second.c_str());
    }
    if (r >= 0) r = sd_bus_message_close_container(call.get());
    if (r >= 0) {
        r = sd_bus_message_append(call.get(), "us", kAllowUserInteraction, cancellationId.c_str());
    }
    if (r < 0) return localError("Could not write the question to polkit", r);

    auto* callback = new CheckDone(std::move(done));
    sd_bus_slot* rawSlot = nullptr;
    r = sd_bus_call_async(bus_.get(), &rawSlot, call.get(), onAuthorizationAnswer, callback,
                          kNoTimeout);
    if (r < 0) {
        delete callback;
        return localError("Could not ask polkit", r);
    }
    Slot slot(rawSlot);
    deletedWithSlot<CheckDone>(rawSlot);
    return slot;
}

std::optional<BusError> SystemBus::cancelAuthorizationCheck(const std::string& cancellationId) {
    const int r = sd_bus_call_method_async(bus_.get(), nullptr, kPolkit, kAuthorityPath, kAuthority,
                                           "CancelCheckAuthorization", nullptr, nullptr, "s",
                                           cancellationId.c_str());
    if (r < 0) return localError("Could not cancel the check", r);
    // Sent now: the caller may not come back to this connection for a while.
    const int flushed = sd_bus_flush(bus_.get());
    if (flushed < 0) return localError("Could not cancel the check", flushed);
    return std::nullopt;
}

int SystemBus::fd() const { return sd_bus_get_fd(bus_.get()); }

short SystemBus::events() const {
    const int events = sd_bus_get_events(bus_.get());
    return static_cast<short>(events < 0 ? POLLIN : events);
}

std::optional<BusError> SystemBus::process() {
    for (;;) {
        const int r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) return localError("Lost the system bus", r);
        if (r == 0) return std::nullopt;
    }
}

}  // namespace platform::linux_impl
