// How soon a change of the gateway's unit shows: from asking systemd's stand-in to change the
// unit's state (its signal goes out before it answers) to the watcher's callback, and on to the
// menu's status line. Before the app followed the unit, only the 5 s poll saw a change.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <condition_variable>
#include <mutex>

#include "app/app_delegate.h"
#include "bench/timing.h"
#include "platform/linux/systemd_state_watcher.h"
#include "platform/qt/qt_dispatch.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "service/qor_tools.h"
#include "tests/app/app_services.h"

namespace {

using platform::testing::MockSystemd;

constexpr char kUnit[] = "com.velmora.OrvaneStorageGateway.service";
// Only guards against a lost signal; a sample never comes near it.
constexpr auto kWatchdog = std::chrono::seconds(10);

void ensureApplication() {
    static int argc = 1;
    static char name[] = "service-state-bench";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// The stand-in on its bus with the gateway's unit in `activeState`, or why it is not there. Only
// a change is signalled, so the first flip has to leave that state.
std::unique_ptr<MockSystemd> startSystemd(benchmark::State& state,
                                          const platform::testing::TempDir& folder,
                                          const std::string& activeState) {
    try {
        auto systemd = std::make_unique<MockSystemd>(folder.path());
        systemd->setUnit(kUnit, "loaded", activeState);
        return systemd;
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
}

// The unit's ActiveState, alternately "active" and "inactive"; what went wrong, or nothing.
std::string flip(MockSystemd& systemd, bool active) {
    try {
        systemd.setUnit(kUnit, "loaded", active ? "active" : "inactive");
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

void BM_UnitChangeToCallback(benchmark::State& state) {
    ensureApplication();
    platform::testing::TestPlatform platform;  // the log, for a watcher that gives up
    auto systemd = startSystemd(state, platform.root, "inactive");
    if (!systemd) return;
    platform::linux_impl::SystemdStateWatcher watcher(systemd->address());
    std::mutex mutex;
    std::condition_variable called;
    int calls = 0;
    auto watch = watcher.watch(QorTools::kServiceLabel, [&] {
        {
            std::lock_guard lock(mutex);
            ++calls;
        }
        called.notify_all();
    });
    if (!systemd->waitForCalls("Subscribe", 1)) {
        state.SkipWithError("the watcher did not subscribe");
        return;
    }
    bool active = false;
    bench::timeEach(state, [&]() -> std::string {
        int before = 0;
        {
            std::lock_guard lock(mutex);
            before = calls;
        }
        active = !active;
        if (auto error = flip(*systemd, active); !error.empty()) return error;
        std::unique_lock lock(mutex);
        return called.wait_for(lock, kWatchdog, [&] { return calls > before; }) ? ""
                                                                                : "no callback";
    });
}
BENCHMARK(BM_UnitChangeToCallback)->UseManualTime()->Unit(benchmark::kMillisecond);

// The whole way: watcher, main queue, the delegate's short wait for more signals, the status
// query (scripted, so it costs nothing here) and the menu.
void BM_UnitChangeToMenu(benchmark::State& state) {
    ensureApplication();
    platform::testing::TestPlatform platform;
    auto systemd = startSystemd(state, platform.root, "active");
    if (!systemd) return;
    auto dispatch = std::make_shared<platform::qt::QtDispatch>();
    platform.services.dispatch = dispatch;
    auto watcher = std::make_shared<platform::linux_impl::SystemdStateWatcher>(systemd->address());
    platform.reinstall();
    platform.writeCompleteConfig();
    const platform::ProcessResult running{std::nullopt, false, 0, "state = running\n"};
    const platform::ProcessResult stopped{std::nullopt, false, 113, ""};
    platform.processes->setResult(running);
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate::Services services =
        app_test::appServices(platform, statusBar, *platform.xpc, *platform.serviceManagement);
    services.serviceStates = watcher.get();
    AppDelegate delegate(services);
    delegate.setupStatusBarMenu();
    if (!systemd->waitForCalls("Subscribe", 1)) {
        state.SkipWithError("the delegate's watch did not subscribe");
        return;
    }
    bool active = true;
    bench::timeEach(state, [&]() -> std::string {
        active = !active;
        platform.processes->setResult(active ? running : stopped);
        const std::string shown = active ? "Status: Running" : "Status: Stopped";
        if (auto error = flip(*systemd, active); !error.empty()) return error;
        QDeadlineTimer deadline(kWatchdog);
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(kWatchdog);
        while (delegate.menuItemStatus()->title() != shown && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return delegate.menuItemStatus()->title() == shown ? "" : "the menu did not change";
    });
    // One query at launch and one per change: a 5 s poll in between would have been timed.
    if (platform.processes->calls().size() != 1 + static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("a poll ran among the changes");
}
// Few enough changes to stay inside the first 5 s poll period.
BENCHMARK(BM_UnitChangeToMenu)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

BENCHMARK_MAIN();
