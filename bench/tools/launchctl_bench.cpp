// One status query through launchctl against the fake systemd on a private bus, next to
// systemctl asking the same bus about the same unit. systemctl refuses the system bus without a
// booted systemd, but takes the private bus as the user's (a --user query reads the same
// ActiveState property of the same unit object).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/linux/posix_process_runner.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/test_platform.h"

namespace {

constexpr char kUnit[] = "com.velmora.OrvaneStorageGateway.service";
constexpr auto kTimeout = std::chrono::seconds(10);

// One bus for the whole run, with the gateway's unit running.
struct Bus {
    Bus() : systemd(folder.path()) {
        systemd.setUnit(kUnit, "loaded", "active");
        // No systemd/private socket in this runtime folder, so systemctl takes the session bus.
        std::filesystem::create_directories(folder.path() / "runtime");
        ::setenv("XDG_RUNTIME_DIR", (folder.path() / "runtime").c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", systemd.address().c_str(), 1);
    }
    platform::testing::TempDir folder;
    platform::testing::MockSystemd systemd;
};

Bus& bus() {
    static Bus instance;
    return instance;
}

void query(benchmark::State& state, const std::string& program,
           const std::vector<std::string>& args) {
    bus();
    platform::linux_impl::PosixProcessRunner runner;
    for (auto _ : state) {
        const auto result = runner.run(program, args, kTimeout);
        if (result.startError || result.status != 0) {
            state.SkipWithError(
                (program + " failed: " + result.startError.value_or(result.output)).c_str());
            break;
        }
    }
}

void BM_LaunchctlPrint(benchmark::State& state) {
    query(state, ORVANE_LAUNCHCTL, {"print", "system/com.velmora.OrvaneStorageGateway"});
}

void BM_SystemctlIsActive(benchmark::State& state) {
    query(state, "/usr/bin/systemctl", {"--user", "is-active", kUnit});
}

BENCHMARK(BM_LaunchctlPrint)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_SystemctlIsActive)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
