#pragma once
// The app's delegate on a test platform, set up and with its helper in process and virtual time.
#include <gtest/gtest.h>

#include <map>

#include "app/app_delegate.h"
#include "helper_interface/helper_protocol.h"
#include "platform/testing/memory_wizard_window.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "tests/app/app_services.h"
#include "tests/helper_tool/fake_helper.h"

namespace app_test {

using namespace platform::testing;

// The alert for a start whose gateway is not running at the check.
inline const std::string kFailedToStart =
    "orvane Storage Gateway failed to start / Please check the configuration and logs for more "
    "information.";

inline platform::ProcessResult statusResult(QorStatus status) {
    static const std::map<QorStatus, platform::ProcessResult> results = {
        {QorStatus::Running, {std::nullopt, false, 0, "state = running\n\tactive count = 1\n"}},
        {QorStatus::Failed, {std::nullopt, false, 0, "state = waiting\n\tactive count = 0\n"}},
        {QorStatus::Stopped, {std::nullopt, false, 113, "Could not find service\n"}},
        {QorStatus::Unknown, {std::string("No such file or directory"), false, 0, ""}},
    };
    return results.at(status);
}

// The installed helper. Its launchctl moves the status query's answer the way the real job would.
struct AppHelper : helper_test::FakeHelper {
    bool startsService = true;
};

class AppTest : public ::testing::Test {
protected:
    AppTest() {
        platform.bundle->embeddedInfo[platform.bundle->bundlePath() /
                                      "Contents/Library/LaunchServices/"
                                      "com.velmora.QorPrivilegedHelper"] = {
            {"CFBundleShortVersionString", "2.0.0"}};
        platform.processes->setResult(statusResult(QorStatus::Running));
        platform.writeCompleteConfig();
        helper->succeeded = [this](const std::string& subcommand) {
            if (subcommand == "bootstrap" && helper->startsService)
                platform.processes->setResult(statusResult(QorStatus::Running));
            if (subcommand == "bootout")
                platform.processes->setResult(statusResult(QorStatus::Stopped));
        };
    }

    void registerHelper() {
        helper_test::serveHelper(*platform.xpc, std::string(kHelperMachServiceName), helper);
    }
    // Makes the delegate and lets it finish launching, without letting time pass.
    void launch() {
        delegate = std::make_unique<AppDelegate>(services);
        delegate->setWindow(&wizardWindow);
        delegate->applicationDidFinishLaunching();
    }
    // Launches and lets start-up settle.
    void start() {
        launch();
        platform.dispatch->runUntilIdle();
    }
    // Chooses a menu item and lets what it starts settle, without letting time pass.
    void choose(const std::string& selector) {
        EXPECT_TRUE(delegate->perform(selector)) << selector;
        platform.dispatch->runUntilIdle();
    }
    // "title / text" of each alert shown, from the `from`th on.
    std::vector<std::string> alertTexts(std::size_t from = 0) const {
        std::vector<std::string> texts;
        for (const auto& alert : platform.alerts->shown()) {
            texts.push_back(alert.messageText + " / " + alert.informativeText);
        }
        return {texts.begin() + from, texts.end()};
    }

    TestPlatform platform;
    RecordingStatusBar statusBar;
    MemoryWizardWindow wizardWindow;
    std::shared_ptr<AppHelper> helper = std::make_shared<AppHelper>();
    AppDelegate::Services services =
        appServices(platform, statusBar, *platform.xpc, *platform.serviceManagement);
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace app_test
