// The whole setup with real processes: the wizard and the app's delegate in this process, the
// development service on a loopback port, the system's headless browser signing in as the POWER
// user, and the helper tool blessed and run under the sandbox's service manager.
#include <gtest/gtest.h>

#include <thread>

#include "app/app_delegate.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/host_computer_name.h"
#include "platform/linux/launchd_job_blesser.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/testing/memory_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/workspace_recording.h"
#include "service/qor_tools.h"
#include "tests/app/app_services.h"
#include "tests/service_management/test_files.h"
#include "tools/dev-service/dev_service.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using service_management_test::readAll;
using service_management_test::writeAll;

constexpr char kHelperLabel[] = "com.velmora.QorPrivilegedHelper";

// The person at the computer: the system's browser, headless, opens the page on a thread of its
// own (as a desktop would) and authorizes it as the POWER user.
class HeadlessBrowser : public platform::testing::RecordingWorkspace {
public:
    ~HeadlessBrowser() override { wait(); }
    bool openURL(const std::string& url) override {
        if (thread_.joinable()) return false;
        thread_ = std::thread([this, url] {
            const auto result = platform::linux_impl::PosixProcessRunner().run(
                ORVANE_NODE, {ORVANE_E2E_DIR "/sign_in_browser.mjs", url, "power@orvane.test"},
                90s);
            output_ = result.startError.value_or(result.output);
        });
        return true;
    }
    // Waits for the browser to have quit: the setup may well finish before it has.
    std::string output() {
        wait();
        return output_;
    }

private:
    void wait() {
        if (thread_.joinable()) thread_.join();
    }
    std::thread thread_;
    std::string output_;
};

class SetupEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // Without them the sign-in would only time out a minute later, saying something else.
        ASSERT_TRUE(fs::exists(ORVANE_E2E_DIR "/node_modules/playwright-core/package.json"))
            << "The browser step needs tests/e2e/node_modules: run scripts/install-deps";
        ASSERT_TRUE(fs::exists("/usr/bin/chromium"))
            << "The browser step needs /usr/bin/chromium: run scripts/install-deps";
        ASSERT_TRUE(service.start());
        platform.services.urlSession = session;
        platform.services.workspace = browser;
        platform.services.processes = runner;
        platform.services.random = std::make_shared<platform::testing::SequenceRandom>();
        platform.reinstall();
        writeAll(platform.resolve("/bin/launchctl"), readAll(ORVANE_SANDBOX_LAUNCHCTL), 0755);
        writeAll(platform.bundle->bundlePath() / "Contents/Library/LaunchServices" / kHelperLabel,
                 readAll(ORVANE_HELPER_PROGRAM), 0755);
        platform.application->applicationDelegate = &delegate;
        window.setContent(controller);
    }
    void TearDown() override {
        if (window.visible) window.performClose();
        platform.application->applicationDelegate = nullptr;
        // The helper runs as the sandbox's job; it goes with the test.
        runner->run(platform.resolve("/bin/launchctl").string(),
                    {"bootout", std::string("system/") + kHelperLabel}, 10s);
        platform.services.urlSession.reset();
        platform.reinstall();
        service.stop();
    }

    bool run(const std::function<bool()>& done) {
        return platform.dispatch->followRealTimeUntil(done, 60s);
    }
    std::string step() { return window.setupStepTabView.selectedIdentifier().value_or(""); }
    bool next(const std::string& until) {
        controller->mainNextButtonClick();
        return run([&] { return step() == until; });
    }

    platform::testing::TestPlatform platform;
    orvane_dev::DevService service;
    std::shared_ptr<platform::linux_impl::PosixProcessRunner> runner =
        std::make_shared<platform::linux_impl::PosixProcessRunner>();
    std::shared_ptr<platform::UrlSession> session =
        std::make_shared<platform::linux_impl::CurlUrlSession>(
            platform.dispatch->makeSerialQueue("url-session"),
            platform::linux_impl::CurlUrlSession::Options{});
    std::shared_ptr<HeadlessBrowser> browser = std::make_shared<HeadlessBrowser>();
    platform::linux_impl::UnixXpcConnector connector{platform.paths, platform.dispatch};
    platform::linux_impl::LaunchdJobBlesser blesser{
        platform.paths, runner, platform.bundle->bundlePath(),
        platform::linux_impl::InstallationKind::sandbox};
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate delegate{app_test::appServices(platform, statusBar, connector, blesser)};
    platform::testing::MemoryWizardWindow window;
    platform::linux_impl::HostComputerName computerName;
    std::shared_ptr<SetupWizardViewController> controller =
        std::make_shared<SetupWizardViewController>(window, *platform.application, computerName,
                                                    *platform.dispatch);
};

TEST_F(SetupEndToEnd, SignsInMakesANewStorageWritesTheConfigurationAndRestartsTheGateway) {
    platform.writeConfig("[main]\norvane-url = " + service.baseURL() + "\n");
    const fs::path folder = platform.root.path() / "media";
    fs::create_directories(folder);

    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(run([&] { return platform.log->contains("Helper installed successfully."); }));
    service.clearJournal();
    fs::remove(platform.resolve("/var/log/launchctl.log"));
    window.makeKeyAndOrderFront();

    ASSERT_TRUE(next("newOrExisting")) << browser->output();
    ASSERT_TRUE(next("newQorSetup"));
    window.newQorPathTextField.setStringValue(folder.string());
    ASSERT_TRUE(next("finish"));
    controller->mainNextButtonClick();
    ASSERT_TRUE(
        run([&] { return platform.log->contains("QOR start: launchctl command exit code: 0"); }));

    // The API requests the service received, in order, sign-in polls left out; config.ini holds
    // what they made, a token the service issued to an application of the storage's name.
    std::vector<std::string> requests;
    for (const auto& entry : service.journal()) {
        if (entry.path.starts_with("/API/") &&
            entry.path.find("/external/auth/") == std::string::npos) {
            requests.push_back(entry.method + " " + entry.target);
        }
    }
    const auto state = service.state();
    const std::string storageId = controller->chosenStorageId().value_or("?");
    const std::string appId = QorTools::getAppId().value_or("?");
    const std::string token = QorTools::getAuthToken().value_or("?");
    EXPECT_EQ(state.applications.at(appId)["name"],
              computerName.localizedName().value_or("New") + " QOR");
    EXPECT_EQ(state.applications.at(appId)["default_user_id"], "user-power");
    EXPECT_EQ(state.tokens.at(token).appId, appId);
    const std::string storage = "/API/files/v1/storages/" + storageId + "/";
    EXPECT_EQ(requests,
              (std::vector<std::string>{
                  "GET /API/users/v1/users/current/", "POST /API/files/v1/storages/",
                  "GET /API/files/v1/transcoders/",
                  "PUT " + storage + "transcoders/transcoder-imagemagick/",
                  "PUT " + storage + "transcoders/transcoder-ffmpeg/", "POST /API/auth/v1/apps/",
                  "POST /API/auth/v1/apps/" + appId + "/token/"}));
    EXPECT_EQ(QorTools::getStorageId(), storageId);

    // What the helper asked of the service manager for the gateway, status checks aside.
    std::vector<std::string> asked;
    std::istringstream launchctl(readAll(platform.resolve("/var/log/launchctl.log")));
    for (std::string line; std::getline(launchctl, line);) {
        if (!line.starts_with("print ")) asked.push_back(line.substr(0, line.find(' ')));
    }
    // Start-up may first have set the boot state ("enable"); the restart is what follows.
    ASSERT_GE(asked.size(), 3u);
    EXPECT_LE(asked.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(asked.end() - 3, asked.end()),
              (std::vector<std::string>{"bootout", "enable", "bootstrap"}));
    EXPECT_EQ(readAll(platform.resolve("/var/run/gateway.state")), "running\n");
    EXPECT_TRUE(platform.alerts->shown().empty());
}

}  // namespace
