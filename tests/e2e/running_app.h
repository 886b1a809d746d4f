#pragma once

// The app as a person runs it, for the tests on real processes (the end-to-end test in a sandbox,
// the system test on systemd): the delegate with the real helper connection and blesser, the
// wizard in its real window, offscreen, and virtual time following real time.
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/app_delegate.h"
#include "platform/linux/host_computer_name.h"
#include "platform/linux/linux_service_management.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/qt/qt_wizard_window.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "tests/app/app_services.h"
#include "tests/qt_test_application.h"
#include "wizard/setup_wizard_view_controller.h"

namespace e2e {

class RunningApp {
public:
    // `platform` uses `paths` and `processes` from here on.
    RunningApp(platform::testing::TestPlatform& platform,
               std::shared_ptr<platform::linux_impl::RootedSystemPaths> paths,
               std::shared_ptr<platform::Bundle> bundle,
               platform::linux_impl::InstallationKind installation)
        : platform_(platform),
          bundle_(std::move(bundle)),
          installed_(install(platform, paths, processes, bundle_)),
          connector(paths, platform.dispatch),
          blesser(paths, processes, bundle_->bundlePath(), installation),
          delegate(app_test::appServices(platform, statusBar, connector, blesser)),
          window(*platform.dispatch),
          controller(std::make_shared<SetupWizardViewController>(
              window, *platform.application, computerName, *platform.dispatch)) {
        platform.application->applicationDelegate = &delegate;
        window.setContent(controller);
    }
    ~RunningApp() { close(); }
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    // Before the services the wizard may still use go.
    void close() {
        if (window.isVisible()) window.performClose();
        platform_.application->applicationDelegate = nullptr;
    }
    bool run(const std::function<bool()>& done) {
        return platform_.dispatch->followRealTimeUntil(done, std::chrono::seconds(60));
    }
    const platform::WizardOutlets& wizard() const { return window.outlets(); }
    std::string step() const {
        return wizard().setupStepTabView->selectedIdentifier().value_or("");
    }
    // Next on the wizard, until it shows `until`.
    bool next(const std::string& until) {
        controller->mainNextButtonClick();
        return run([&] { return step() == until; });
    }

private:
    // The window needs Qt, drawing nowhere: the system test runs without a display.
    static bool qt() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        ensureQtTestApplication();
        return true;
    }
    // The delegate is given the platform's services as they are then: these first.
    static bool install(platform::testing::TestPlatform& platform,
                        const std::shared_ptr<platform::linux_impl::RootedSystemPaths>& paths,
                        const std::shared_ptr<platform::ProcessRunner>& processes,
                        const std::shared_ptr<platform::Bundle>& bundle) {
        platform.paths = paths;
        platform.services.paths = paths;
        platform.services.processes = processes;
        platform.services.mainBundle = bundle;
        platform.reinstall();
        return true;
    }
    [[maybe_unused]] bool qt_ = qt();
    platform::testing::TestPlatform& platform_;
    std::shared_ptr<platform::Bundle> bundle_;

public:
    std::shared_ptr<platform::linux_impl::PosixProcessRunner> processes =
        std::make_shared<platform::linux_impl::PosixProcessRunner>();

private:
    [[maybe_unused]] bool installed_;

public:
    platform::linux_impl::UnixXpcConnector connector;
    platform::linux_impl::LinuxServiceManagement blesser;
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate delegate;
    platform::linux_impl::HostComputerName computerName;
    platform::qt::QtWizardWindow window;
    std::shared_ptr<SetupWizardViewController> controller;
};

}  // namespace e2e
