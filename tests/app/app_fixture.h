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
struct FakeHelper : HelperProtocolHandler {
    explicit FakeHelper(ScriptedProcessRunner& processes) : processes(processes) {}
    void getVersionWithCompletion(std::function<void(std::string)> reply) override {
        reply(version);
    }
    void runQorLaunchctlWithSubcommand(const std::string& subcommand,
                                       std::function<void(std::int64_t)> reply) override {
        subcommands.push_back(subcommand);
        const std::int64_t code = exitCodes.contains(subcommand) ? exitCodes[subcommand] : 0;
        if (code == 0 && subcommand == "bootstrap" && startsService) {
            processes.setResult(statusResult(QorStatus::Running));
        }
        if (code == 0 && subcommand == "bootout")
            processes.setResult(statusResult(QorStatus::Stopped));
        if (silent || subcommand == silentAt) {
            held.push_back(reply);  // kept, never called: the helper hangs
            return;
        }
        reply(code);
    }
    void createLogDirectoryWithCompletion(
        std::function<void(std::string, std::optional<platform::XpcError>)> reply) override {
        ++logDirectoryRequests;
        if (!logDirectoryFails) return reply("Created", std::nullopt);
        reply("Permission denied",
              platform::XpcError{"NSPOSIXErrorDomain", 13, "Permission denied", {}});
    }

    ScriptedProcessRunner& processes;
    std::string version = "2.0.0";
    std::map<std::string, std::int64_t> exitCodes;
    bool startsService = true;
    bool silent = false;
    std::string silentAt;
    bool logDirectoryFails = false;
    std::vector<std::string> subcommands;
    std::vector<std::function<void(std::int64_t)>> held;
    int logDirectoryRequests = 0;
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
    }

    void registerHelper() {
        LoopbackXpc::Service service;
        service.exported = &HelperProtocol;
        service.remote = &AppProtocol;
        service.accept = [this](auto) { return exportHelperProtocol(helper); };
        platform.xpc->registerService(std::string(kHelperMachServiceName), service);
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
    std::shared_ptr<FakeHelper> helper = std::make_shared<FakeHelper>(*platform.processes);
    AppDelegate::Services services =
        appServices(platform, statusBar, *platform.xpc, *platform.serviceManagement);
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace app_test
