// The whole setup with real processes: the wizard and the app's delegate in this process, the
// development service on a loopback port, the system's headless browser signing in as the POWER
// user, and the helper tool blessed and run under the sandbox's service manager.
#include <gtest/gtest.h>

#include <thread>

#include "platform/linux/curl_url_session.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/workspace_recording.h"
#include "service/qor_tools.h"
#include "tests/e2e/running_app.h"
#include "tests/service_management/test_files.h"
#include "tools/dev-service/dev_service.h"

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
        platform.services.random = std::make_shared<platform::testing::SequenceRandom>();
        platform.reinstall();
        writeAll(platform.resolve("/bin/launchctl"), readAll(ORVANE_SANDBOX_LAUNCHCTL), 0755);
        writeAll(platform.bundle->bundlePath() / "Contents/Library/LaunchServices" / kHelperLabel,
                 readAll(ORVANE_HELPER_PROGRAM), 0755);
    }
    void TearDown() override {
        app.close();
        // The helper runs as the sandbox's job; it goes with the test.
        app.processes->run(platform.resolve("/bin/launchctl").string(),
                           {"bootout", std::string("system/") + kHelperLabel}, 10s);
        platform.services.urlSession.reset();
        platform.reinstall();
        service.stop();
    }

    platform::testing::TestPlatform platform;
    orvane_dev::DevService service;
    std::shared_ptr<platform::UrlSession> session =
        std::make_shared<platform::linux_impl::CurlUrlSession>(
            platform.dispatch->makeSerialQueue("url-session"),
            platform::linux_impl::CurlUrlSession::Options{});
    std::shared_ptr<HeadlessBrowser> browser = std::make_shared<HeadlessBrowser>();
    e2e::RunningApp app{platform, platform.paths, platform.bundle,
                        platform::linux_impl::InstallationKind::sandbox};
};

TEST_F(SetupEndToEnd, SignsInMakesANewStorageWritesTheConfigurationAndRestartsTheGateway) {
    platform.writeConfig("[main]\norvane-url = " + service.baseURL() + "\n");
    const fs::path folder = platform.root.path() / "media";
    fs::create_directories(folder);

    app.delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(app.run([&] { return platform.log->contains("Helper installed successfully."); }));
    service.clearJournal();
    fs::remove(platform.resolve("/var/log/launchctl.log"));
    app.window.makeKeyAndOrderFront();

    ASSERT_TRUE(app.next("newOrExisting")) << browser->output();
    ASSERT_TRUE(app.next("newQorSetup"));
    app.wizard().newQorPathTextField->setStringValue(folder.string());
    ASSERT_TRUE(app.next("finish"));
    app.controller->mainNextButtonClick();
    ASSERT_TRUE(app.run(
        [&] { return platform.log->contains("QOR start: launchctl command exit code: 0"); }));

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
    const std::string storageId = app.controller->chosenStorageId().value_or("?");
    const std::string appId = QorTools::getAppId().value_or("?");
    const std::string token = QorTools::getAuthToken().value_or("?");
    EXPECT_EQ(state.applications.at(appId)["name"],
              app.computerName.localizedName().value_or("New") + " QOR");
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
