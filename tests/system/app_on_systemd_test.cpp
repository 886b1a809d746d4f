// The app's delegate on a real system, run by tests/system/run inside its container as a desktop
// user: the installed bundle, the installed helper behind polkit, launchctl on systemd. The
// script checks the units from outside; this checks what the person sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "app/app_delegate.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/host_computer_name.h"
#include "platform/linux/kernel_random.h"
#include "platform/linux/launchd_job_blesser.h"
#include "platform/linux/plist_bundle.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/testing/memory_wizard_window.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/workspace_recording.h"
#include "service/qor_tools.h"
#include "tests/app/app_services.h"
#include "tools/dev-service/dev_service.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

using namespace std::chrono_literals;

constexpr char kUnit[] = "com.velmora.OrvaneStorageGateway.service";
constexpr char kStarted[] = "QOR start: launchctl command exit code: 0";

// The installed app bundle; unset outside the container.
const char* installedBundle() { return std::getenv("ORVANE_SYSTEM_TEST_BUNDLE"); }

class AppOnSystemd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!installedBundle()) GTEST_SKIP() << "runs only inside tests/system/run's container";
        platform.paths = paths;  // so that writeConfig writes the system's config.ini
        platform.services.paths = paths;
        platform.services.processes = processes;
        platform.services.mainBundle = bundle;
        platform.reinstall();
        delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(run([&] { return status() != "Status: ?"; }));
    }

    bool run(const std::function<bool()>& done) {
        return platform.dispatch->followRealTimeUntil(done, 60s);
    }
    std::string status() const {
        return statusBar.statusItems.front()->menu()->items().at(0)->title();
    }
    // Once a start or stop is over (its check of the outcome included) the item is given back;
    // a person can press it only then.
    bool startStopSettled() const {
        for (const auto& item : statusBar.statusItems.front()->menu()->items()) {
            if (item->action().starts_with("startStopAction")) return item->isEnabled();
        }
        return false;
    }
    std::size_t logged(const std::string& line) const {
        return platform.log->matching(line).size();
    }
    std::string enabled() const {
        return processes->run("/bin/systemctl", {"is-enabled", kUnit}, 10s).output;
    }
    // An alert with this title (any, when empty) whose text holds every one of `parts`.
    bool told(const std::string& title, const std::vector<std::string>& parts) const {
        const auto shown = platform.alerts->shown();
        return std::any_of(shown.begin(), shown.end(), [&](const auto& alert) {
            return (title.empty() || alert.messageText == title) &&
                   std::all_of(parts.begin(), parts.end(), [&](const std::string& part) {
                       return alert.informativeText.find(part) != std::string::npos;
                   });
        });
    }
    // `<signal>.ready` tells the script this process (its pid) waits for `signal`.
    bool signalAndWait(const std::string& signal) {
        std::ofstream(signal + ".ready") << ::getpid() << "\n";
        return run([&] { return std::ifstream(signal).good(); });
    }
    std::string log() const {
        std::string all;
        for (const auto& line : platform.log->lines()) all += line + "\n";
        for (const auto& alert : platform.alerts->shown()) {
            all += "alert: " + alert.messageText + " / " + alert.informativeText + "\n";
        }
        return all;
    }

    platform::testing::TestPlatform platform;
    std::shared_ptr<platform::linux_impl::RootedSystemPaths> paths =
        std::make_shared<platform::linux_impl::RootedSystemPaths>("/");
    std::shared_ptr<platform::linux_impl::PosixProcessRunner> processes =
        std::make_shared<platform::linux_impl::PosixProcessRunner>();
    std::shared_ptr<platform::linux_impl::PlistBundle> bundle =
        std::make_shared<platform::linux_impl::PlistBundle>(installedBundle() ? installedBundle()
                                                                              : "/nonexistent");
    platform::linux_impl::UnixXpcConnector connector{paths, platform.dispatch};
    platform::linux_impl::LaunchdJobBlesser blesser{
        paths, processes, bundle->bundlePath(), platform::linux_impl::InstallationKind::package};
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate delegate{
        app_test::appServices(platform, statusBar, connector, blesser, bundle.get())};
};

// A member of the product's group: no password is asked, every change happens, and the menu
// follows.
TEST_F(AppOnSystemd, AMemberControlsTheGatewayAndReadsItsLog) {
    // Start at boot is on by default: the launch enabled the unit.
    EXPECT_TRUE(run([&] { return enabled() == "enabled\n"; })) << log();
    delegate.perform("startStopAction");
    ASSERT_TRUE(run([&] { return logged(kStarted) == 1; })) << log();
    EXPECT_TRUE(run([&] { return status() == "Status: Running"; })) << log();
    ASSERT_TRUE(run([&] { return startStopSettled(); })) << log();
    delegate.restartService();
    ASSERT_TRUE(run([&] { return logged(kStarted) == 2; })) << log();
    ASSERT_TRUE(run([&] { return startStopSettled() && status() == "Status: Running"; })) << log();
    delegate.perform("startStopAction");
    ASSERT_TRUE(run([&] { return logged("QOR stop: launchctl command exit code: 0") == 2; }))
        << log();
    EXPECT_TRUE(run([&] { return status() == "Status: Stopped"; })) << log();
    delegate.perform("startOnLoginAction");
    EXPECT_TRUE(run([&] { return enabled() == "disabled\n"; })) << log();
    EXPECT_TRUE(platform.alerts->shown().empty()) << log();

    // The gateway's log, where config.ini says, is readable by the member.
    delegate.perform("showServiceLogsAction");
    ASSERT_EQ(platform.workspace->openedFiles().size(), 1U);
    std::ifstream file(platform.workspace->openedFiles().front().file);
    std::string first;
    EXPECT_TRUE(std::getline(file, first) && first.find(" start: ") != std::string::npos) << first;
}

// Without a token the gateway does not start: the alert holds the gateway's own reason, the
// unit never shows as running on its way to failing, and the person's start is no stop notice.
TEST_F(AppOnSystemd, AFailedStartSaysWhy) {
    bool everRunning = false;
    delegate.perform("startStopAction");
    EXPECT_TRUE(run([&] {
        everRunning = everRunning || status() == "Status: Running";
        return startStopSettled() && status() == "Status: Failed";
    })) << log();
    EXPECT_FALSE(everRunning) << log();
    EXPECT_TRUE(told("Failed to start orvane Storage Gateway",
                     {"exit code: 1\n\n", "auth-token is missing or empty"}))
        << log();
    EXPECT_TRUE(platform.userNotifications->delivered.empty()) << log();
}

// Anyone else: polkit refuses, nothing runs, and the person is told what is missing and what to
// do; the menu shows the real status.
TEST_F(AppOnSystemd, AnotherUserIsRefusedAndTold) {
    const std::string join = "add you to the group orvane";
    EXPECT_TRUE(run([&] {
        return told("Failed to start Setup Wizard",
                    {"/etc/orvane-storage-gateway/config.ini", "Permission denied", join});
    })) << log();
    // The launch's own request, refused alike; once it is answered the helper is known.
    ASSERT_TRUE(run([&] { return told("Failed to create log directory", {join}); })) << log();
    delegate.perform("startStopAction");
    EXPECT_TRUE(run([&] {
        return told("Failed to start orvane Storage Gateway", {"not authorized", join});
    })) << log();
    EXPECT_EQ(status(), "Status: Stopped");
}

// --- The script's steps between launch and a press; two members ---

// Waits while the script does its part (removes the app's package, starts a polkit agent), then
// presses the start/stop item: the menu or an alert shows
// ORVANE_SYSTEM_TEST_EXPECT.
TEST_F(AppOnSystemd, APressAfterTheScriptsStep) {
    const std::string expected = std::getenv("ORVANE_SYSTEM_TEST_EXPECT");
    ASSERT_TRUE(signalAndWait(std::getenv("ORVANE_SYSTEM_TEST_SIGNAL")));
    delegate.updateMenu();
    delegate.perform("startStopAction");
    EXPECT_TRUE(run([&] { return status() == expected || told("", {expected}); })) << log();
}

// The first member's start, which the second stops at once: the start's check tells no failure.
TEST_F(AppOnSystemd, AStartStoppedByAnotherMemberIsNoFailure) {
    delegate.perform("startStopAction");
    ASSERT_TRUE(run([&] { return logged(kStarted) == 1; })) << log();
    std::ofstream(std::getenv("ORVANE_SYSTEM_TEST_SIGNAL")).close();
    EXPECT_TRUE(run([&] { return startStopSettled() && status() == "Status: Stopped"; })) << log();
    EXPECT_TRUE(platform.alerts->shown().empty()) << log();
}

// ---

// The person in the browser, quicker than one: authorizes the sign-in page's code at once as the
// POWER user (the browser itself is the end-to-end test's business).
class SigningInWorkspace : public platform::testing::RecordingWorkspace {
public:
    explicit SigningInWorkspace(orvane_dev::DevService& service) : service_(service) {}
    bool openURL(const std::string& url) override {
        RecordingWorkspace::openURL(url);
        const auto at = url.find("authenticate/");
        if (at == std::string::npos) return false;
        const std::string rest = url.substr(at + std::string("authenticate/").size());
        const auto slash = rest.find('/');
        return service_.authorize(rest.substr(0, slash),
                                  rest.substr(slash + 1, rest.find('/', slash + 1) - slash - 1),
                                  "POWER");
    }

private:
    orvane_dev::DevService& service_;
};

// The setup, as a member: the gateway's installer left config.ini with the service's address
// only; the wizard signs in, makes a storage, writes the real config.ini (with a backup) and
// restarts the real unit, which then runs with the token it was given.
TEST_F(AppOnSystemd, TheWizardConfiguresAndRestartsTheGateway) {
    orvane_dev::DevService service;
    ASSERT_TRUE(service.start());
    platform.writeConfig("[main]\norvane-url = " + service.baseURL() + "\n");
    auto session = std::make_shared<platform::linux_impl::CurlUrlSession>(
        platform.dispatch->makeSerialQueue("url-session"),
        platform::linux_impl::CurlUrlSession::Options{});
    platform.services.urlSession = session;
    platform.services.workspace = std::make_shared<SigningInWorkspace>(service);
    platform.services.random = std::make_shared<platform::linux_impl::KernelRandom>();
    platform.reinstall();
    platform.application->applicationDelegate = &delegate;
    platform::testing::MemoryWizardWindow window;
    platform::linux_impl::HostComputerName computerName;
    auto controller = std::make_shared<SetupWizardViewController>(window, *platform.application,
                                                                  computerName, *platform.dispatch);
    window.setContent(controller);
    window.makeKeyAndOrderFront();
    auto next = [&](const std::string& until) {
        controller->mainNextButtonClick();
        return run([&] { return window.setupStepTabView.selectedIdentifier() == until; });
    };

    ASSERT_TRUE(next("newOrExisting")) << log();
    ASSERT_TRUE(next("newQorSetup")) << log();
    window.newQorPathTextField.setStringValue("/tmp");
    ASSERT_TRUE(next("finish")) << log();
    const std::size_t startsBefore = logged(kStarted);
    controller->mainNextButtonClick();
    ASSERT_TRUE(run([&] { return logged(kStarted) > startsBefore; })) << log();
    EXPECT_TRUE(run([&] { return status() == "Status: Running"; })) << log();

    const auto token = QorTools::getAuthToken();
    ASSERT_TRUE(token);
    EXPECT_EQ(service.state().tokens.at(*token).appId, QorTools::getAppId());
    EXPECT_EQ(QorTools::getStorageId(), controller->chosenStorageId());
    EXPECT_TRUE(platform.alerts->shown().empty()) << log();
    EXPECT_FALSE(platform.log->contains(*token)) << log();

    window.performClose();
    platform.application->applicationDelegate = nullptr;
    platform.services.urlSession.reset();
    platform.reinstall();
    session.reset();
    service.stop();
}

}  // namespace
