#include "helper_tool/request_gate.h"

#include <fstream>
#include <sstream>

namespace {

// The fields after the command's name, which is in parentheses and may hold anything, even
// spaces and ')'; the state is field 3.
constexpr int kFirstFieldAfterName = 3;
constexpr int kStartTimeField = 22;

// The first line of the checker's output, for a log line.
std::string firstLine(const std::string& output) {
    const auto end = output.find('\n');
    return end == std::string::npos ? output : output.substr(0, end);
}

}  // namespace

std::optional<std::uint64_t> processStartTime(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string stat = buffer.str();
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    for (int i = kFirstFieldAfterName; i < kStartTimeField; ++i) fields >> field;
    std::uint64_t start = 0;
    if (!(fields >> start)) return std::nullopt;
    return start;
}

std::optional<std::string> PolkitGate::refusal(const Caller& caller, const std::string& request) {
    const std::string what = request + " for user " + std::to_string(caller.uid) + " (process " +
                             std::to_string(caller.pid) + ")";
    if (!caller.startTime) return "Refused " + what + ": the calling process is gone";
    const std::string subject = std::to_string(caller.pid) + "," +
                                std::to_string(*caller.startTime) + "," +
                                std::to_string(caller.uid);
    const auto result = processes_->run(checker_,
                                        {"--process", subject, "--action-id", kAction, "--detail",
                                         "subcommand", request, "--allow-user-interaction"},
                                        bound_);
    switch (platform::linux_impl::polkitStatusForExit(result)) {
        case platform::errAuthorizationSuccess: return std::nullopt;
        case platform::errAuthorizationDenied: return "Refused " + what + ": not authorized";
        case platform::errAuthorizationCanceled:
            return "Refused " + what + ": the authentication was dismissed";
        default: break;
    }
    if (result.startError) {
        return "Refused " + what + ": polkit cannot be asked (" + checker_ + ": " +
               *result.startError + ")";
    }
    if (result.timedOut) {
        return "Refused " + what + ": polkit did not answer within " +
               std::to_string(std::chrono::duration_cast<std::chrono::seconds>(bound_).count()) +
               " s";
    }
    return "Refused " + what + ": polkit could not decide (status " +
           std::to_string(result.status) + ": " + firstLine(result.output) + ")";
}
