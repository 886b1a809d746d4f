// What one status refresh costs next to the bare launchctl process it has to start, and the
// config reads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QCoreApplication>

#include "app/app_delegate.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/qt/qt_translations.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "platform/translation.h"
#include "service/qor_tools.h"
#include "tests/app/app_services.h"

extern char** environ;

namespace {

using platform::testing::TestPlatform;

// A system root with a launchctl script that reports a running service and a written config.ini.
struct Sandbox {
    Sandbox() {
        platform.services.processes = std::make_shared<platform::linux_impl::PosixProcessRunner>();
        platform.reinstall();
        launchctl = platform.resolve("/bin/launchctl");
        std::filesystem::create_directories(launchctl.parent_path());
        std::ofstream(launchctl) << "#!/bin/sh\necho 'state = running'\necho 'active count = 1'\n";
        ::chmod(launchctl.c_str(), 0755);
        std::filesystem::create_directories(QorTools::baseDirectoryURL());
        written =
            QorTools::writeNewConfig("app", "storage", std::string("https://o.example/"), "token");
    }
    TestPlatform platform;
    std::filesystem::path launchctl;
    bool written = false;
};

// The floor: start the same script with both streams on one pipe, read it to the end, wait.
void BM_BareSpawnAndWait(benchmark::State& state) {
    Sandbox sandbox;
    const std::string path = sandbox.launchctl.string();
    char print[] = "print";
    char target[] = "system/com.velmora.OrvaneStorageGateway";
    char* argv[] = {const_cast<char*>(path.c_str()), print, target, nullptr};
    for (auto _ : state) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            state.SkipWithError("pipe");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        pid_t pid = 0;
        const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        char buffer[4096];
        while (::read(fds[0], buffer, sizeof buffer) > 0) {
        }
        ::close(fds[0]);
        int status = 0;
        if (rc == 0) ::waitpid(pid, &status, 0);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_BareSpawnAndWait)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_GetStatus(benchmark::State& state) {
    Sandbox sandbox;
    for (auto _ : state) {
        if (QorTools::getStatus() != QorStatus::Running) {
            state.SkipWithError("status query failed");
            break;
        }
    }
}
BENCHMARK(BM_GetStatus)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The bundle's German catalog in the sandbox's services (argument 1), or none: English.
std::shared_ptr<platform::qt::QtTranslations> speak(Sandbox& sandbox, bool german) {
    static int argc = 1;
    static char name[] = "service_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (!german) return nullptr;
    auto translations = std::make_shared<platform::qt::QtTranslations>(
        ORVANE_BUNDLE_DIR "/Contents/Resources/translations", std::vector<std::string>{"de"});
    sandbox.platform.services.translator = translations;
    sandbox.platform.reinstall();
    return translations;
}

// One lookup of a menu title, English (0) or German (1).
void BM_TranslateMenuTitle(benchmark::State& state) {
    Sandbox sandbox;
    const auto translations = speak(sandbox, state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(platform::translate("Menu", "Show Service Logs"));
}
BENCHMARK(BM_TranslateMenuTitle)->Arg(0)->Arg(1);

// What the user waits for every 5 s: the query plus retitling the menu and the icon, English (0)
// or German (1).
void BM_MenuRefresh(benchmark::State& state) {
    Sandbox sandbox;
    const auto translations = speak(sandbox, state.range(0) != 0);
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate delegate(app_test::appServices(sandbox.platform, statusBar, *sandbox.platform.xpc,
                                               *sandbox.platform.serviceManagement));
    delegate.setupStatusBarMenu();
    for (auto _ : state) delegate.updateMenu();
    if (delegate.qorStatus() != QorStatus::Running) state.SkipWithError("status query failed");
}
BENCHMARK(BM_MenuRefresh)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_GetConfigValue(benchmark::State& state) {
    Sandbox sandbox;
    if (!sandbox.written) state.SkipWithError("config.ini not written");
    const auto file = QorTools::configFileURL();
    for (auto _ : state) benchmark::DoNotOptimize(QorTools::getConfigValue("auth-token", file));
}
BENCHMARK(BM_GetConfigValue)->Unit(benchmark::kMicrosecond);

void BM_IsConfigured(benchmark::State& state) {
    Sandbox sandbox;
    for (auto _ : state) {
        if (!QorTools::isConfigured()) {
            state.SkipWithError("the written template should count as configured");
            break;
        }
    }
}
BENCHMARK(BM_IsConfigured)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
