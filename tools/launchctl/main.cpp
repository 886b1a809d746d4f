// launchctl print|bootout|enable|disable system/<label>, launchctl bootstrap system <plist>:
// what the helper and the status query ask of launchctl, answered by systemd. The job <label>
// is the unit <label>.service.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

#include "platform/linux/plist_bundle.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/system_bus.h"

namespace {

using platform::linux_impl::BusError;
using SystemdBus = platform::linux_impl::SystemBus;

constexpr int kFailed = 1;
constexpr int kUsage = 64;           // EX_USAGE
constexpr int kBadJob = 65;          // EX_DATAERR: the job definition names no usable label
constexpr int kNoJob = 66;           // EX_NOINPUT: the job definition cannot be read
constexpr int kNoSuchService = 113;  // what launchctl answers for a service it does not have
constexpr std::string_view kDomain = "system/";

int usage() {
    std::fputs(
        "usage: launchctl print|bootout|enable|disable system/<label> | launchctl bootstrap "
        "system <job definition>\n",
        stderr);
    return kUsage;
}

int fail(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    return kFailed;
}

int notFound(const std::string& label) {
    std::fprintf(stderr, "Could not find service \"%s\" in domain for system\n", label.c_str());
    return kNoSuchService;
}

int answer(const BusError& error, const std::string& label) {
    return error.unknownUnit() ? notFound(label) : fail(error.message);
}

std::string unitOf(const std::string& label) { return label + ".service"; }

// The status query reads an answer with status 0 as running unless it says "active count = 0";
// any other status reads as stopped. A stopped unit is what launchctl calls a service that is
// not loaded; so is a unit without a file, which is inactive. One whose file was removed while it
// runs still runs. A unit on its way up or down is not running yet or any more: one that is
// still starting may yet fail, and must not show as running until it has.
int print(SystemdBus& systemd, const std::string& label) {
    auto result = systemd.unitState(unitOf(label));
    if (auto* error = std::get_if<BusError>(&result)) return answer(*error, label);
    const auto& state = std::get<platform::linux_impl::UnitState>(result);
    const std::string& active = state.activeState;
    if (active == "active" || active == "reloading") {
        std::printf("system/%s = {\n\tstate = running\n\tactive count = 1\n}\n", label.c_str());
        return 0;
    }
    if (active == "activating" || active == "deactivating") {
        std::fprintf(stderr, "Service \"%s\" is %s, not running\n", label.c_str(), active.c_str());
        return kNoSuchService;
    }
    if (active != "failed") return notFound(label);
    std::printf("system/%s = {\n\tstate = waiting\n\tactive count = 0\n", label.c_str());
    if (state.exitStatus) std::printf("\tlast exit code = %d\n", *state.exitStatus);
    // Why it failed, for the app to tell: the gateway's own status line is one line here.
    auto outcome = systemd.unitOutcome(unitOf(label));
    if (const auto* why = std::get_if<platform::linux_impl::UnitOutcome>(&outcome)) {
        if (!why->result.empty() && why->result != "success") {
            std::printf("\tlast result = %s\n", why->result.c_str());
        }
        std::string status = why->statusText;
        std::replace_if(
            status.begin(), status.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        if (!status.empty()) std::printf("\tlast status = %s\n", status.c_str());
    }
    std::printf("}\n");
    return 0;
}

// What systemd kept of the failed start, for the person who asked for it: the unit's result, its
// program's exit status, and the last status line the program sent (STATUS=), where it says why.
void whyItFailed(SystemdBus& systemd, const std::string& label) {
    auto result = systemd.unitOutcome(unitOf(label));
    const auto* outcome = std::get_if<platform::linux_impl::UnitOutcome>(&result);
    if (!outcome) return;
    std::string line = unitOf(label) + ": result \"" + outcome->result + "\"";
    if (outcome->exitStatus) line += ", exit status " + std::to_string(*outcome->exitStatus);
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!outcome->statusText.empty()) std::fprintf(stderr, "%s\n", outcome->statusText.c_str());
}

int runJob(SystemdBus& systemd, const char* method, const std::string& label) {
    auto result = systemd.runJob(method, unitOf(label));
    if (auto* error = std::get_if<BusError>(&result)) return answer(*error, label);
    const auto& jobResult = std::get<std::string>(result);
    if (jobResult == "done") return 0;
    fail("The job " + std::string(method) + " " + unitOf(label) + " ended with result \"" +
         jobResult + "\"; see the unit's journal");
    if (std::string_view(method) == "StartUnit") whyItFailed(systemd, label);
    return kFailed;
}

int bootstrap(SystemdBus& systemd, const std::string& jobDefinition) {
    // Here a job's definition is its unit, which systemd reads itself, so the label is the name
    // of the definition ("<label>.plist"); one that is there (a sandbox's, a blessed helper's)
    // must say the same.
    const std::filesystem::path path(jobDefinition);
    const std::string label = path.stem().string();
    if (path.extension() != ".plist" || !platform::linux_impl::isPlainName(label)) {
        std::fprintf(stderr,
                     "%s is not named <label>.plist with a label of letters, digits, '.', '-' "
                     "and '_'\n",
                     jobDefinition.c_str());
        return kBadJob;
    }
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return runJob(systemd, "StartUnit", label);
    platform::linux_impl::PosixFileSystem files;
    auto contents = files.readFile(jobDefinition);
    if (auto* error = std::get_if<platform::FileError>(&contents)) {
        std::fprintf(stderr, "Could not read %s: %s\n", jobDefinition.c_str(),
                     error->description.c_str());
        return kNoJob;
    }
    const auto strings = platform::linux_impl::parsePlistStrings(std::get<std::string>(contents));
    const auto named = strings.find("Label");
    if (named == strings.end() || named->second != label) {
        std::fprintf(stderr, "%s does not name the label %s\n", jobDefinition.c_str(),
                     label.c_str());
        return kBadJob;
    }
    return runJob(systemd, "StartUnit", label);
}

int run(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string_view verb = argv[1];
    const std::string_view target = argv[2];
    const bool bootstrapping = verb == "bootstrap";
    if (argc != (bootstrapping ? 4 : 3)) return usage();
    std::string label;
    if (bootstrapping) {
        if (target != "system") return usage();
    } else {
        if (!target.starts_with(kDomain)) return usage();
        label = target.substr(kDomain.size());
        if (!platform::linux_impl::isPlainName(label)) return usage();
        if (verb != "print" && verb != "bootout" && verb != "enable" && verb != "disable") {
            return usage();
        }
    }

    auto connected = SystemdBus::connect();
    if (auto* error = std::get_if<BusError>(&connected)) return fail(error->message);
    auto& systemd = std::get<SystemdBus>(connected);

    if (bootstrapping) return bootstrap(systemd, argv[3]);
    if (verb == "print") return print(systemd, label);
    if (verb == "bootout") return runJob(systemd, "StopUnit", label);
    auto error = systemd.setEnabled(unitOf(label), verb == "enable");
    return error ? answer(*error, label) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Out of memory is the one thing that throws here; it is still a failure, not an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
