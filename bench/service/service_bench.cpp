// What one menu refresh costs next to the launchctl process it has to start, and the config reads.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "app/app_delegate.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "service/qor_tools.h"

extern char** environ;

namespace {

using platform::testing::TestPlatform;

struct Sandbox {
    Sandbox() {
        platform.services.processes = std::make_shared<platform::linux_impl::PosixProcessRunner>();
        platform.reinstall();
        launchctl = platform.resolve("/bin/launchctl");
        std::filesystem::create_directories(launchctl.parent_path());
        std::ofstream(launchctl) << "#!/bin/sh\necho 'state = running'\necho 'active count = 1'\n";
        ::chmod(launchctl.c_str(), 0755);
        platform.writeFile("/Library/Application Support/Velmora/OrvaneStorageGateway/config.ini",
                           "[main]\n\norvane-url = https://o.example\n");
        QorTools::writeNewConfig("app", "storage", std::nullopt, "token");
    }
    TestPlatform platform;
    std::filesystem::path launchctl;
};

// The floor: start the same script with its output on a pipe, read it, wait.
void BM_BareSpawnAndWait(benchmark::State& state) {
    Sandbox sandbox;
    const std::string path = sandbox.launchctl.string();
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0) state.SkipWithError("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        char print[] = "print";
        char target[] = "system/com.velmora.OrvaneStorageGateway";
        char* argv[] = {const_cast<char*>(path.c_str()), print, target, nullptr};
        pid_t pid = 0;
        ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        char buffer[4096];
        while (::read(fds[0], buffer, sizeof buffer) > 0) {
        }
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_BareSpawnAndWait)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_MenuRefresh(benchmark::State& state) {
    Sandbox sandbox;
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate delegate(statusBar, *sandbox.platform.dispatch, *sandbox.platform.defaults,
                         *sandbox.platform.bundle);
    delegate.setupStatusBarMenu();
    for (auto _ : state) {
        delegate.updateMenu();
    }
    if (delegate.qorStatus() != QorStatus::Running) state.SkipWithError("status query failed");
}
BENCHMARK(BM_MenuRefresh)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_GetConfigValue(benchmark::State& state) {
    Sandbox sandbox;
    const auto file = QorTools::configFileURL();
    for (auto _ : state) benchmark::DoNotOptimize(QorTools::getConfigValue("auth-token", file));
}
BENCHMARK(BM_GetConfigValue)->Unit(benchmark::kMicrosecond);

void BM_IsConfigured(benchmark::State& state) {
    Sandbox sandbox;
    for (auto _ : state) benchmark::DoNotOptimize(QorTools::isConfigured());
}
BENCHMARK(BM_IsConfigured)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
