// From "Setup Wizard..." to the window painted, next to a bare window built from the same form;
// and the resident memory the wizard costs, open and after many open/close cycles.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <fstream>
#include <memory>
#include <string>

#include "app/app_delegate.h"
#include "platform/qt/qt_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "tests/app/app_services.h"
#include "ui_setup_wizard.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

using namespace platform::testing;

QApplication& application() {
    static int argc = 1;
    static char name[] = "wizard_bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

double residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

class NoName : public platform::ComputerName {
public:
    std::optional<std::string> localizedName() const override { return std::nullopt; }
};

// The application as the menu sees it: a delegate whose window is the real wizard.
struct WizardApp {
    WizardApp() {
        platform.services.random = std::make_shared<SequenceRandom>();
        platform.reinstall();
        platform.writeCompleteConfig();
        window.setContent(std::make_shared<SetupWizardViewController>(window, *platform.application,
                                                                      name, *platform.dispatch));
        delegate.setWindow(&window);
    }
    TestPlatform platform;
    RecordingStatusBar statusBar;
    NoName name;
    platform::qt::QtWizardWindow window{*platform.dispatch};
    AppDelegate delegate{
        app_test::appServices(platform, statusBar, *platform.xpc, *platform.serviceManagement)};
};

void paint(QWidget* widget) {
    QApplication::processEvents();
    widget->repaint();
}

void BM_SetupWizardMenuToPainted(benchmark::State& state) {
    application();
    WizardApp app;
    for (auto _ : state) {
        app.delegate.perform("setupWizardAction");
        paint(app.window.widget());
        state.PauseTiming();
        app.window.performClose();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SetupWizardMenuToPainted)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_BareWindowShownAndPainted(benchmark::State& state) {
    application();
    QWidget window;
    Ui::SetupWizardWindow ui;
    ui.setupUi(&window);
    for (auto _ : state) {
        window.show();
        paint(&window);
        state.PauseTiming();
        window.hide();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BareWindowShownAndPainted)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One pass: resident memory before, with the wizard open, and after 20 opens and closes.
void BM_WizardResidentMemory(benchmark::State& state) {
    application();
    for (auto _ : state) {
        const double before = residentKiB();
        WizardApp app;
        app.delegate.perform("setupWizardAction");
        paint(app.window.widget());
        const double open = residentKiB();
        for (int i = 0; i < 20; ++i) {
            app.window.performClose();
            app.delegate.perform("setupWizardAction");
            paint(app.window.widget());
        }
        app.window.performClose();
        QApplication::processEvents();
        state.counters["rss_before_KiB"] = before;
        state.counters["rss_open_KiB"] = open;
        state.counters["rss_after_20_cycles_KiB"] = residentKiB();
    }
}
BENCHMARK(BM_WizardResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
