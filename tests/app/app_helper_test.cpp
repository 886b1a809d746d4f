// The delegate with its helper: version check, installation, and the launchctl chains behind the
// start/stop item, with an in-process helper and virtual time.
#include <gtest/gtest.h>

#include "platform/ui_tools.h"
#include "tests/app/app_fixture.h"

namespace {

using namespace app_test;
using platform::seconds;

const std::string kService(kHelperMachServiceName);

class AppHelperTest : public AppTest {
protected:
    AppHelperTest() {
        // Blessing puts the bundled helper in place, as the real one does.
        platform.serviceManagement->setOnBless([this] {
            helper->version = "2.0.0";
            registerHelper();
        });
    }

    // Starts the app with an installed helper of `version`, and lets its start-up settle; the
    // boot state start-up sends is left out of what the tests compare.
    void start(std::optional<std::string> installedVersion = "2.0.0") {
        if (installedVersion) {
            helper->version = *installedVersion;
            registerHelper();
        }
        AppTest::start();
        helper->subcommands.clear();
    }
    void press() { choose("startStopAction"); }
    bool itemEnabled() const { return delegate->menuItemStartStop()->isEnabled(); }
};

TEST_F(AppHelperTest, EachStatusSendsItsChainAndTheExitStatusesDecideTheAlerts) {
    struct Case {
        QorStatus status;
        bool startOnBoot;
        std::int64_t bootstrapExit;
        bool serviceStarts;
        std::vector<std::string> subcommands;
        std::vector<std::string> alerts;
    };
    const std::vector<std::string> starts = {"enable", "bootstrap"};
    const std::string failed =
        "Failed to start orvane Storage Gateway / The command 'launchctl' failed with exit code: 5";
    const std::vector<Case> cases = {
        {QorStatus::Running, true, 0, true, {"bootout"}, {}},
        {QorStatus::Stopped, true, 0, true, starts, {}},
        {QorStatus::Stopped, false, 0, true, {"enable", "bootstrap", "disable"}, {}},
        {QorStatus::Failed, true, 0, true, {"bootout", "enable", "bootstrap"}, {}},
        {QorStatus::Unknown, false, 0, true, {"bootout", "enable", "bootstrap", "disable"}, {}},
        {QorStatus::Stopped, true, 0, false, starts, {kFailedToStart}},
        {QorStatus::Stopped, true, 36, false, starts, {}},
        {QorStatus::Stopped, true, 5, false, starts, {failed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(caseName(c.status)) + (c.startOnBoot ? " on boot, " : ", ") +
                     std::to_string(c.bootstrapExit));
        platform.processes->setResult(statusResult(c.status));
        platform.defaults->setValue("StartOnBoot", c.startOnBoot);
        helper->exitCodes = {{"bootstrap", c.bootstrapExit}};
        helper->startsService = c.serviceStarts;
        delegate.reset();
        start();
        const auto alertsBefore = platform.alerts->shown().size();
        press();
        EXPECT_TRUE(platform.log->contains("startStopAction, current qorStatus: " +
                                           std::string(caseName(c.status))));
        EXPECT_EQ(c.status == QorStatus::Running,
                  !platform.log->contains("QOR start: launchctl command exit code: " +
                                          std::to_string(c.bootstrapExit)));
        platform.dispatch->advance(seconds(3.9));
        EXPECT_FALSE(itemEnabled()) << "the check runs 4 s after the reply";
        platform.dispatch->advance(seconds(0.2));
        EXPECT_TRUE(itemEnabled());
        EXPECT_EQ(helper->subcommands, c.subcommands);
        EXPECT_EQ(alertTexts(alertsBefore), c.alerts);
    }
}

// The wizard's restart leaves the item to the person: a stop pressed before the start's check
// makes that check moot, and the gateway stopped on purpose is not told as failing to start.
TEST_F(AppHelperTest, AStartStoppedBeforeItsCheckIsNotToldAsFailing) {
    start();
    delegate->restartService();
    platform.dispatch->advance(seconds(1));
    press();
    platform.processes->setResult(statusResult(QorStatus::Stopped));
    platform.dispatch->advance(seconds(5));
    EXPECT_EQ(helper->subcommands,
              (std::vector<std::string>{"bootout", "enable", "bootstrap", "bootout"}));
    EXPECT_EQ(alertTexts(), std::vector<std::string>{});
    EXPECT_TRUE(itemEnabled());
}

// A failed step's alert adds, after two line feeds, the last 5 lines the helper wrote for it,
// escaped.
TEST_F(AppHelperTest, AFailedStepSaysWhy) {
    platform.processes->setResult(statusResult(QorStatus::Stopped));
    start();
    helper->silentAt = "bootstrap";
    press();
    delegate->logWithStdErr("1\n2\n\n3\n4\n5\n6\n\x1b[2J");
    helper->held.at(0)(1);
    platform.dispatch->runUntilIdle();
    EXPECT_EQ(alertTexts(), std::vector<std::string>{"Failed to start orvane Storage Gateway / The "
                                                     "command 'launchctl' failed with exit code: "
                                                     "1\n\n3\n4\n5\n6\n\\x1b[2J"});
}

// A start that ran and then died says why too, as systemd kept it.
TEST_F(AppHelperTest, AGatewayThatDiedAfterItsStartSaysWhy) {
    platform.processes->setResult(statusResult(QorStatus::Stopped));
    start();
    helper->startsService = false;
    press();
    platform.processes->setResult(
        {std::nullopt, false, 0,
         "state = waiting\n\tactive count = 0\n\tlast result = exit-code\n\tlast status = gone\n"});
    platform.dispatch->advance(seconds(4.1));
    EXPECT_EQ(alertTexts(),
              std::vector<std::string>{kFailedToStart +
                                       "\n\nThe gateway's unit ended with result exit-code\ngone"});
}

TEST_F(AppHelperTest, AHelperThatIsLostSlowOrSilentGivesTheItemBack) {
    platform.processes->setResult(statusResult(QorStatus::Failed));
    helper->exitCodes = {{"enable", 1}};
    start();
    helper->silent = true;
    // "Start at boot" is no step of a start or stop: its unanswered request leaves the item alone.
    choose("startOnLoginAction");
    platform.dispatch->advance(seconds(10));
    press();
    EXPECT_TRUE(
        platform.log->contains("QOR status is Failed, will try to stop before starting it"));
    ASSERT_EQ(helper->subcommands, (std::vector<std::string>{"disable", "bootout"}));
    platform.dispatch->advance(seconds(29));
    EXPECT_FALSE(itemEnabled());
    platform.dispatch->advance(seconds(1));
    EXPECT_TRUE(itemEnabled());
    EXPECT_TRUE(
        platform.log->contains("The helper did not answer launchctl bootout within 30 seconds"));

    // The "bootout" answers after 45 s, within the helper's own bound: the restart goes on, and
    // starts even though the stop and the "enable" failed.
    helper->silent = false;
    platform.dispatch->advance(seconds(15));
    helper->held.at(1)(3);
    platform.dispatch->runUntilIdle();
    EXPECT_TRUE(platform.log->contains("QOR stop: launchctl command exit code: 3"));
    EXPECT_TRUE(platform.log->contains("QOR enable: launchctl failed with exit code: 1"));
    EXPECT_EQ(helper->subcommands,
              (std::vector<std::string>{"disable", "bootout", "enable", "bootstrap", "disable"}));
    platform.dispatch->advance(seconds(4));
    EXPECT_EQ(alertTexts(),
              std::vector<std::string>{"Failed to stop orvane Storage Gateway / The "
                                       "command 'launchctl' failed with exit code: 3"});
    EXPECT_EQ(delegate->menuItemStartStop()->title(), "Stop orvane Storage Gateway");

    EXPECT_EQ(platform.log->matching("did not answer").size(), 1u);
}

// The helper dies while it works on a step: the error gives the item back at once, nothing more
// is sent, and the step's bound stays quiet afterwards while the next action runs.
TEST_F(AppHelperTest, AHelperLostAtAnyStepOfARestartGivesTheItemBackAndSendsNoMore) {
    // An unknown status with start on boot off restarts through all four steps.
    platform.defaults->setValue("StartOnBoot", false);
    const std::vector<std::string> chain = {"bootout", "enable", "bootstrap", "disable"};
    for (std::size_t k = 0; k < chain.size(); ++k) {
        SCOPED_TRACE("lost at " + chain[k]);
        platform.processes->setResult(statusResult(QorStatus::Unknown));
        helper->silent = false;
        delegate.reset();
        start();
        helper->silentAt = chain[k];
        press();
        EXPECT_FALSE(itemEnabled());
        platform.processes->setResult(statusResult(QorStatus::Stopped));
        platform.xpc->crashService(kService);
        platform.dispatch->runUntilIdle();
        EXPECT_TRUE(itemEnabled());
        EXPECT_EQ(delegate->menuItemStatus()->title(), "Status: Stopped") << "refreshed at once";
        EXPECT_EQ(helper->subcommands, std::vector(chain.begin(), chain.begin() + k + 1));

        platform.dispatch->advance(seconds(10));
        registerHelper();
        helper->silent = true;
        press();
        platform.dispatch->advance(seconds(20.5));
        EXPECT_FALSE(itemEnabled()) << "a settled bound gave the item back during the next action";
    }
    EXPECT_TRUE(platform.log->contains(
        "Helper connection was closed with error: Error Domain=NSCocoaErrorDomain Code=4097"));
    EXPECT_FALSE(platform.log->contains("did not answer"));
}

struct VersionCase {
    const char* name;
    std::optional<std::string> installed;  // nullopt: no helper listens
    bool bundledVersionReadable;
    bool installs;
};

class VersionCheckTest : public AppHelperTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCheckTest, DecidesWhetherToInstall) {
    const auto& c = GetParam();
    if (!c.bundledVersionReadable) platform.bundle->embeddedInfo.clear();
    // A press while the installation dialog is up asks nothing more: the dialog runs the main
    // loop, where the press comes in.
    int asked = 0;
    platform.authorization->whileAsking = [this, &asked] {
        if (asked++ > 0) return;
        platform.dispatch->main().async([this] { delegate->perform("startStopAction"); });
        platform.dispatch->runUntilIdle();
    };
    start(c.installed);

    EXPECT_EQ(
        platform.serviceManagement->blessed(),
        std::vector<std::string>(c.installs ? 1 : 0, "system com.velmora.QorPrivilegedHelper"));
    EXPECT_EQ(platform.authorization->rightsRequests.size(), c.installs ? 1u : 0u);
    EXPECT_EQ(platform.log->contains("Install helper: an installation is already in progress"),
              c.installs);
    EXPECT_EQ(helper->logDirectoryRequests, 1);
    EXPECT_TRUE(delegate->helperIsInstalled());
    // A replaced helper is reached through a new connection.
    const bool versionAsked = c.installed && c.bundledVersionReadable;
    EXPECT_EQ(platform.xpc->connectionsOpened(kService), c.installs && versionAsked ? 2 : 1);
    EXPECT_TRUE(platform.alerts->shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionCheckTest,
                         ::testing::Values(VersionCase{"same", "2.0.0", true, false},
                                           VersionCase{"older", "1.9.0", true, true},
                                           VersionCase{"newer", "10.0", true, true},
                                           VersionCase{"unreadable", "2.0.0", false, true},
                                           VersionCase{"unreachable", std::nullopt, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct InstallFailure {
    const char* name;
    std::function<void(TestPlatform&)> arrange;
    const char* logLine;
    const char* informative;
};

class FailedInstallationTest : public AppHelperTest,
                               public ::testing::WithParamInterface<InstallFailure> {};

TEST_P(FailedInstallationTest, AlertsAndIsAskedAgainOnTheNextPress) {
    GetParam().arrange(platform);
    start(std::nullopt);
    EXPECT_TRUE(platform.log->contains(GetParam().logLine));
    EXPECT_EQ(alertTexts(), std::vector<std::string>{std::string("Failed to get admin access / ") +
                                                     GetParam().informative});
    EXPECT_FALSE(delegate->helperIsInstalled());

    press();
    const auto& requests = platform.authorization->rightsRequests;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests.back().rights,
              std::vector<std::string>{"com.apple.ServiceManagement.blesshelper"});
    EXPECT_EQ(requests.back().flags, 19u);
    EXPECT_TRUE(itemEnabled());
    EXPECT_EQ(platform.alerts->shown().size(), 2u);
}

const InstallFailure kInstallFailures[] = {
    {"cancelled",
     [](TestPlatform& p) { p.authorization->rightsStatus = platform::errAuthorizationCanceled; },
     "Failed to install helper with error: The authorization was canceled by the user.",
     "The authorization was canceled by the user."},
    {"noReference", [](TestPlatform& p) { p.authorization->rightsGiveNoReference = true; },
     "Failed install helper with unknown error.", "Unknown error"},
    {"blessingFailed",
     [](TestPlatform& p) {
         p.serviceManagement->fail(
             {"CFErrorDomainLaunchd", 5, "The helper tool is not valid.", {}});
     },
     "Failed to install helper with error: Error Domain=CFErrorDomainLaunchd Code=5 \"The helper "
     "tool is not valid.\"",
     "The helper tool is not valid."},
    {"blessingFailedSilently", [](TestPlatform& p) { p.serviceManagement->failWithoutError(); },
     "Failed install helper with unknown error.", "Unknown error"},
};
INSTANTIATE_TEST_SUITE_P(Installation, FailedInstallationTest,
                         ::testing::ValuesIn(kInstallFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppHelperTest, StartUpFailuresAreToldAndStartUpGoesOn) {
    platform.authorization->createStatus = platform::errAuthorizationInternal;
    helper->logDirectoryFails = true;
    start();
    EXPECT_TRUE(platform.log->contains(
        "Failed to update the authorization database rights with error: Unable to obtain "
        "authorization for this operation."));
    EXPECT_TRUE(
        platform.log->contains("Got error from helper Error Domain=NSPOSIXErrorDomain Code=13"));
    EXPECT_EQ(alertTexts(), std::vector<std::string>{
                                "Failed to create log directory / Failed to create log directory "
                                "with error message: Permission denied"});

    // The helper's output reaches the log; empty texts are left out.
    delegate->logWithStdOut("ran bootout");
    delegate->logWithStdErr("");
    delegate->logWithStdOut("");
    platform.dispatch->runUntilIdle();
    EXPECT_EQ(platform.log->matching("QorPrivilegedHelper - "),
              std::vector<std::string>{"QorPrivilegedHelper - ran bootout"});
}

// A helper reply runs on the connection's queue: one that updates the menu, shows an alert or
// runs the next step of a chain there, without hopping to the main queue, stops the test rather
// than racing the menu.
TEST_F(AppHelperTest, AReplyThatForgetsToHopToTheMainQueueIsCaught) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    start();
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[this] { delegate->updateMenu(); }, "updateMenu"},
        {[] { UiTools::showAlert("Title", "Text"); }, "showAlert"},
        {[this] { delegate->startService(); }, "startService"},
        {[this] { delegate->helperVersionChecked(true); }, "helperVersionChecked"},
    };
    for (const auto& [touch, function] : cases) {
        EXPECT_DEATH(
            {
                delegate->helperProxy(nullptr)->getVersionWithCompletion(
                    [&touch = touch](const std::string&) { touch(); });
                platform.dispatch->runUntilIdle();
            },
            "on the queue \"[^\"]*connection\": .*" + function);
    }
}

}  // namespace
