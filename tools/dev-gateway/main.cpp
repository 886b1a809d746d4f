// orvane-dev-gateway [config.ini]: stands in for the storage gateway in development and tests.
// It checks its configuration, tells systemd it is ready (Type=notify), then logs a heartbeat
// every sleep-time seconds. SIGHUP reads the configuration again; SIGTERM stops it.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/posix_file_system.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/system_log.h"
#include "platform/outside_text.h"
#include "platform/registry.h"
#include "service/qor_tools.h"
#include "tools/dev-gateway/gateway_config.h"
#include "tools/dev-gateway/gateway_log.h"

namespace {

using Clock = std::chrono::steady_clock;
using dev_gateway::GatewayConfig;
using dev_gateway::GatewayLog;

constexpr int kUsage = 64;       // EX_USAGE
constexpr int kCantCreate = 73;  // EX_CANTCREAT: the log file cannot be opened
constexpr int kConfig = 78;      // EX_CONFIG

// Signals arrive as reads of a descriptor, in the loop, never in a handler.
int blockedSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return ::signalfd(-1, &signals, SFD_CLOEXEC);
}

// Passes each line on and keeps the last: a start that fails hands it to systemd as the
// service's status, so whoever asked for the start learns why, not only the journal.
class LastLineLog : public platform::Log {
public:
    explicit LastLineLog(std::shared_ptr<platform::Log> next) : next_(std::move(next)) {}
    void write(std::string_view line) override {
        last_ = line;
        next_->write(line);
    }
    const std::string& last() const { return last_; }

private:
    std::shared_ptr<platform::Log> next_;
    std::string last_;
};

// Waits until systemd has the status: the process may be gone before systemd would read it, and
// a message from a process that is gone cannot be told apart from anyone's.
int failedStart(const LastLineLog& lines, int status) {
    const std::string text = "STATUS=" + platform::escapedText(lines.last(), 1024);
    sd_notify(0, text.c_str());
    sd_notify_barrier(0, 5'000'000);
    return status;
}

// A configuration that cannot be read leaves the previous one in force.
void reload(const std::filesystem::path& file, GatewayConfig& config, GatewayLog& log) {
    auto fresh = dev_gateway::loadGatewayConfig(file);
    if (!fresh || !log.open(fresh->logFile)) {
        log.write("reload failed; the previous configuration stays");
        return;
    }
    config = std::move(*fresh);
    log.write("reload: " + describe(config));
}

int run(const std::filesystem::path& file, int signals, const LastLineLog& lines) {
    auto config = dev_gateway::loadGatewayConfig(file);
    if (!config) return failedStart(lines, kConfig);
    GatewayLog log;
    if (!log.open(config->logFile)) return failedStart(lines, kCantCreate);
    log.write("start: " + describe(*config));
    sd_notify(0, "READY=1");

    auto next = Clock::now() + config->sleepTime;
    for (;;) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        pollfd p{signals, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, wait.count())));
        if (ready < 0 && errno != EINTR) return 1;
        if (ready == 0) {
            log.write("heartbeat");
            // Late wake-ups (a suspended machine) give one heartbeat, not a burst.
            next = std::max(next + config->sleepTime, Clock::now());
            continue;
        }
        signalfd_siginfo info{};
        if (::read(signals, &info, sizeof info) != sizeof info) continue;
        if (info.ssi_signo == SIGHUP) {
            sd_notify(0, "RELOADING=1");
            reload(file, *config, log);
            sd_notify(0, "READY=1");
            next = Clock::now() + config->sleepTime;
            continue;
        }
        sd_notify(0, "STOPPING=1");
        log.write("stop");
        return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int signals = blockedSignals();
    namespace linux_impl = platform::linux_impl;
    platform::Services services;
    auto lines = std::make_shared<LastLineLog>(
        std::make_shared<linux_impl::SystemLog>("orvane-dev-gateway"));
    services.log = lines;
    services.paths = std::make_shared<linux_impl::RootedSystemPaths>(
        linux_impl::RootedSystemPaths::fromEnvironment());
    services.files = std::make_shared<linux_impl::PosixFileSystem>();
    platform::installServices(services);
    if (argc > 2) {
        std::fputs("usage: orvane-dev-gateway [config.ini]\n", stderr);
        return kUsage;
    }
    if (signals < 0) {
        platform::log("Could not receive signals through a descriptor");
        return 1;
    }
    // The product's own config.ini, below ORVANE_SYSTEM_ROOT, unless one is named.
    return run(argc == 2 ? std::filesystem::path(argv[1]) : QorTools::configFileURL(), signals,
               *lines);
}
