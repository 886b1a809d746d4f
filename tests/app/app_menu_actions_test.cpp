// The menu's commands besides start/stop, with doubles and virtual time.
#include <gtest/gtest.h>

#include "platform/testing/url_scripted_session.h"
#include "tests/app/app_fixture.h"

namespace {

using namespace app_test;
using platform::ControlState;
using platform::seconds;

constexpr char kLauncher[] = "com.velmora.OrvaneStorageGatewayApp.Launcher.QORLauncher";

class AppMenuActionsTest : public AppTest {
protected:
    AppMenuActionsTest() {
        platform.services.urlSession =
            std::make_shared<ScriptedUrlSession>(platform.dispatch->makeSerialQueue("url"));
        platform.reinstall();
        registerHelper();
    }
};

// The wizard opens at start-up while config.ini is incomplete, and from the menu, but only with
// a service to sign in to.
TEST_F(AppMenuActionsTest, TheWizardOpensAtStartUpAndFromTheMenuWhenThereIsAServiceURL) {
    struct Case {
        std::string config;
        bool configured;
        std::string alert;
    };
    const std::string missing =
        "Failed to start Setup Wizard / Is orvane Storage Gateway installed and config.ini "
        "properly initialized?\n\norvane-url from config.ini is ";
    const Case cases[] = {
        {"", false, missing + "\"\""},
        {"orvane-url = https://\n", false, missing + "\"https://\""},
        {"orvane-url = https://orvane.test/\n", false, ""},
        {"", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        c.configured ? platform.writeCompleteConfig() : platform.writeConfig(c.config);
        wizardWindow.visible = false;
        const auto before = platform.alerts->shown().size();
        start();
        EXPECT_EQ(wizardWindow.visible, !c.configured && c.alert.empty());
        choose("setupWizardAction");
        EXPECT_EQ(wizardWindow.visible, c.alert.empty());
        const std::size_t alerts = c.alert.empty() ? 0 : 2;
        EXPECT_EQ(alertTexts(before), std::vector<std::string>(alerts, c.alert));
    }
}

TEST_F(AppMenuActionsTest, StartAtBootDrivesCheckMarkLoginItemAndBootStateAndNothingElse) {
    start();  // a fresh account: only the registered default
    EXPECT_EQ(delegate->menuItemStartOnLogin()->state(), ControlState::On);
    choose("startOnLoginAction");
    EXPECT_EQ(delegate->menuItemStartOnLogin()->state(), ControlState::Off);
    choose("startOnLoginAction");
    EXPECT_EQ(delegate->menuItemStartOnLogin()->state(), ControlState::On);
    EXPECT_EQ(std::get<bool>(platform.defaults->persistent().at("StartOnBoot")), true);

    using Login = std::pair<std::string, bool>;
    EXPECT_EQ(platform.serviceManagement->loginItemCalls(),
              (std::vector<Login>{{kLauncher, true}, {kLauncher, false}, {kLauncher, true}}));
    // The running service is neither stopped nor started, and Quit leaves it alone too.
    choose("quitApplication");
    EXPECT_EQ(platform.application->terminations, 1);
    EXPECT_EQ(helper->subcommands, (std::vector<std::string>{"enable", "disable", "enable"}));
}

TEST_F(AppMenuActionsTest, CommandsOpenWhatConfigIniNamesOrAlertWithTheirTexts) {
    const std::string noConfigure =
        "Failed to open Configuration / Could not get orvane URL or Storage ID from config.ini. "
        "Is orvane Storage Gateway installed?";
    const std::string noLog =
        "Failed to show log file / Could not parse log file location from config.ini";
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"[main]\norvane-url = http://o.test/\n", "configureAction"},
        {"[main]\nstorage-id = s1\n", "configureAction"},
        {"[main]\nstorage-id = s1\norvane-url = https://\n", "configureAction"},
        {"[main]\n", "showServiceLogsAction"},
        {"[main]\nlog-filename = logs/gateway.log\n", "showServiceLogsAction"},
        {"[main]\nlog-filename = --help\n", "showServiceLogsAction"},
    };
    start();
    for (const auto& [config, selector] : cases) {
        platform.writeConfig(config);
        choose(selector);
    }
    EXPECT_EQ(alertTexts(), (std::vector<std::string>{noConfigure, noConfigure, noConfigure, noLog,
                                                      noLog, noLog}));

    // Found, each target is opened, and only then.
    platform.writeConfig(
        "[main]\nstorage-id = s1\norvane-url = http://o.test\n"
        "log-filename = /var/log/Orvane Gateway/gateway log.txt\n");
    choose("configureAction");
    EXPECT_EQ(platform.workspace->openedURLs(),
              std::vector<std::string>{"http://o.test/admin/storages/s1/settings"});
    EXPECT_TRUE(platform.log->contains("Opened configuration for storage s1"));
    choose("showServiceLogsAction");
    EXPECT_EQ(platform.workspace->openedFiles(),
              (std::vector<RecordingWorkspace::FileRequest>{
                  {"/var/log/Orvane Gateway/gateway log.txt", "Console"}}));
    choose("showConfigIniBackupsAction");
    using Selection = std::pair<std::string, std::string>;
    EXPECT_EQ(platform.workspace->selectedFiles(),
              (std::vector<Selection>{
                  {"", platform.resolve("/Library/Application Support/Velmora/"
                                        "OrvaneStorageGateway/Data/ConfigBackups")}}));
    const int activations = platform.application->activations;
    choose("aboutAction");
    EXPECT_EQ(platform.application->activations, activations + 1);
    EXPECT_EQ(platform.application->aboutPanels, 1);
    EXPECT_EQ(alertTexts().size(), cases.size()) << "no alert when the target is found";
}

TEST_F(AppMenuActionsTest, ApplicationLogsStreamInATerminalReportedHalfASecondLater) {
    start();
    choose("showApplicationLogsAction");
    EXPECT_TRUE(
        platform.log->contains("showApplicationLogsAction, failed to find helper script "
                               "resource orvane_storage_grateway_app_logs.sh"));
    EXPECT_TRUE(platform.processes->starts().empty());

    platform.bundle->resources.push_back("orvane_storage_grateway_app_logs.sh");
    const auto script =
        (platform.bundle->bundlePath() / "Contents/Resources/orvane_storage_grateway_app_logs.sh")
            .string();
    choose("showApplicationLogsAction");
    // The script, in what the desktop opens scripts with: a terminal.
    const auto inTerminal = platform.workspace->commandToOpenFile(script, "Terminal");
    ASSERT_EQ(platform.processes->starts().size(), 1u);
    EXPECT_EQ(platform.processes->starts()[0].executable, inTerminal->executable);
    EXPECT_EQ(platform.processes->starts()[0].args, inTerminal->arguments);
    platform.dispatch->advance(seconds(0.4));
    EXPECT_FALSE(platform.log->contains("streaming logs"));
    platform.dispatch->advance(seconds(0.1));
    EXPECT_TRUE(platform.log->contains(
        "showApplicationLogsAction, streaming logs in process 4242, isRunning: true"));

    // A terminal that cannot be started has no process to report; one that exits with an
    // error at once (no display for it) is reported once the window to fail in has passed.
    // Either way the person is told what could not be opened and why, in one alert and line.
    const std::string notStarted = "Could not open the application log / " +
                                   inTerminal->executable +
                                   " could not be started: No such file or directory";
    const std::string exited = "Could not open the application log / " + inTerminal->executable +
                               " exited with status 1 right after it started.";
    const struct {
        platform::StartedProcess started;
        std::vector<std::string> alerts;
    } cases[] = {
        {{"No such file or directory", nullptr}, {notStarted}},
        {{std::nullopt, std::make_shared<FakeChildProcess>(4243, 1)}, {exited}},
        {{std::nullopt, std::make_shared<FakeChildProcess>(4244, 0)}, {}},
    };
    for (const auto& c : cases) {
        const auto before = alertTexts().size();
        platform.processes->setStartResult(c.started);
        choose("showApplicationLogsAction");
        platform.dispatch->advance(seconds(2.9));
        if (!c.started.process) {
            EXPECT_EQ(alertTexts(before), c.alerts) << "a failed start is said at once";
        }
        platform.dispatch->advance(seconds(0.2));
        EXPECT_EQ(alertTexts(before), c.alerts);
    }
    EXPECT_EQ(platform.log->matching("streaming logs").size(), 3u);
    EXPECT_EQ(platform.log->matching("Could not open the application log").size(), 2u);
}

TEST_F(AppMenuActionsTest, StartUpAsksARunningLauncherToQuitWithWhatItListensFor) {
    using Posted = std::pair<std::string, std::string>;
    start();
    EXPECT_TRUE(platform.notifications->posted().empty());
    platform.workspace->setRunningApplications(
        {{"com.velmora.OrvaneStorageGatewayApp"}, {kLauncher}});
    start();
    EXPECT_EQ(platform.notifications->posted(),
              (std::vector<Posted>{{"killLauncher", "com.velmora.OrvaneStorageGatewayApp"}}));
}

}  // namespace
