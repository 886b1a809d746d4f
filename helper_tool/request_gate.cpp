#include "helper_tool/request_gate.h"

#include <poll.h>

#include <cerrno>
#include <fstream>
#include <span>
#include <sstream>
#include <system_error>

#include "platform/linux/clocked_poll.h"
#include "platform/linux/local_clock.h"

namespace {

// The fields after the command's name, which is in parentheses and may hold anything, even
// spaces and ')'; the state is field 3.
constexpr int kFirstFieldAfterName = 3;
constexpr int kStartTimeField = 22;

// Connections kept for later checks; more are closed when their check is done.
constexpr std::size_t kIdleConnections = 4;

using platform::linux_impl::BusError;
using platform::linux_impl::BusResult;
using platform::linux_impl::PolkitAnswer;
using platform::linux_impl::SystemBus;

// The bus's own errors (and ours) mean polkit was never reached; any other is polkit's answer.
bool reachedPolkit(const BusError& error) {
    return !error.name.empty() && !error.name.starts_with("org.freedesktop.DBus.Error.");
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

PolkitGate::PolkitGate(std::shared_ptr<platform::Clock> clock, std::chrono::milliseconds bound,
                       std::optional<std::string> busAddress)
    : clock_(clock ? std::move(clock) : std::make_shared<platform::linux_impl::LocalClock>()),
      bound_(bound),
      busAddress_(std::move(busAddress)) {}

BusResult<SystemBus> PolkitGate::takeConnection() {
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            SystemBus bus = std::move(idle_.back());
            idle_.pop_back();
            return bus;
        }
    }
    return SystemBus::connect(busAddress_);
}

void PolkitGate::giveBack(SystemBus bus) {
    std::lock_guard lock(mutex_);
    if (idle_.size() < kIdleConnections) idle_.push_back(std::move(bus));
}

std::optional<std::string> PolkitGate::refusal(const Caller& caller, const std::string& request,
                                               int callerSocket) {
    const std::string what = request + " for user " + std::to_string(caller.uid) + " (process " +
                             std::to_string(caller.pid) + ")";
    const std::string gone = "Refused " + what + ": the calling process is gone";
    if (!caller.startTime) return gone;
    auto cannotAsk = [&](const BusError& error) {
        return "Refused " + what + ": polkit cannot be asked (" + error.message + ")";
    };
    auto connected = takeConnection();
    if (auto* error = std::get_if<BusError>(&connected)) return cannotAsk(*error);
    SystemBus bus = std::move(std::get<SystemBus>(connected));
    std::string cancellationId;
    {
        std::lock_guard lock(mutex_);
        cancellationId = "orvane-helper-" + std::to_string(++lastCheck_);
    }

    std::optional<BusResult<PolkitAnswer>> answer;
    auto check = bus.checkAuthorization(
        {caller.pid, *caller.startTime, caller.uid}, kAction, {{"subcommand", request}},
        cancellationId, [&answer](BusResult<PolkitAnswer> got) { answer = std::move(got); });
    if (auto* error = std::get_if<BusError>(&check)) return cannotAsk(*error);

    platform::linux_impl::ClockedPoll poll(*clock_);
    const auto deadline = clock_->now() + bound_;
    bool lost = false;
    // Nobody is left to be asked for once the caller hangs up or the bound has passed: the
    // check is cancelled, which also takes polkit's dialog away.
    auto cancelled = [&](std::string line) -> std::optional<std::string> {
        lost = bus.cancelAuthorizationCheck(cancellationId).has_value();
        std::get<SystemBus::Slot>(check).reset();
        if (!lost) giveBack(std::move(bus));
        return line;
    };
    while (!answer) {
        if (auto failure = bus.process()) {
            answer = *failure;
            lost = true;
            break;
        }
        if (answer) break;
        pollfd fds[2] = {{bus.fd(), bus.events(), 0}, {callerSocket, POLLRDHUP, 0}};
        const int ready = poll.wait(std::span(fds, callerSocket >= 0 ? 2 : 1), deadline);
        if (ready == 0) {
            return cancelled(
                "Refused " + what + ": polkit did not answer within " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(bound_).count()) +
                " s");
        }
        if (ready < 0) {
            answer = BusError{"", "poll failed: " + std::generic_category().message(errno)};
            lost = true;
        } else if (fds[1].revents & (POLLRDHUP | POLLHUP | POLLERR)) {
            return cancelled(gone);
        }
    }
    // The slot refers to its bus, which another thread may use once given back.
    std::get<SystemBus::Slot>(check).reset();
    if (!lost) giveBack(std::move(bus));
    if (const auto* error = std::get_if<BusError>(&*answer)) {
        if (!reachedPolkit(*error)) return cannotAsk(*error);
        return "Refused " + what + ": polkit could not decide (" + error->name + ": " +
               error->message + ")";
    }
    const auto& decided = std::get<PolkitAnswer>(*answer);
    if (decided.authorized) return std::nullopt;
    if (decided.dismissed) return "Refused " + what + ": the authentication was dismissed";
    return "Refused " + what + ": not authorized";
}
