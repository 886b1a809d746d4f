#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui_tools.h"
#include "tests/app/app_fixture.h"

namespace {

using namespace app_test;
using platform::seconds;

constexpr char kBackups[] =
    "/Library/Application Support/Velmora/OrvaneStorageGateway/Data/ConfigBackups/";

class AppDelegateTest : public AppTest {
protected:
    AppDelegateTest() {
        platform.bundle->info = {{"CFBundleShortVersionString", "1.2.3"},
                                 {"CFBundleName", "Orvane Storage Gateway"}};
    }

    std::string iconName() const { return delegate->statusBarItem()->buttonImage()->name(); }
    std::size_t queries() const { return platform.processes->calls().size(); }
};

// Titles, order, enabled and checked states and alternates (the Alt key reveals them) are
// compared as shown in app_menu_gui_test.
TEST_F(AppDelegateTest, StartUpLogsRegistersTheDefaultAndBuildsTheMenu) {
    launch();
    EXPECT_EQ(platform.log->lines().front(), "OrvaneStorageGatewayApp version 1.2.3 start");
    EXPECT_EQ(std::get<bool>(*platform.defaults->value("StartOnBoot")), true);
    EXPECT_TRUE(platform.defaults->persistent().empty()) << "registration domain only";
    EXPECT_EQ(statusBar.statusItems.size(), 1u);
    EXPECT_EQ(queries(), 1u) << "one refresh before the menu can first be opened";

    // Without the bundle's information.
    platform.bundle->info.clear();
    launch();
    EXPECT_TRUE(platform.log->contains("OrvaneStorageGatewayApp version unknown start"));
    EXPECT_EQ(delegate->statusBarItem()->menu()->items()[11]->title(), "About App");
}

TEST_F(AppDelegateTest, RefreshFollowsEveryStatusAndTheFiles) {
    const std::string kStart = "Start orvane Storage Gateway",
                      kStop = "Stop orvane Storage Gateway";
    using enum QorStatus;
    const struct {
        QorStatus status;
        const char* line;
        std::string startStop;
        const char* icon;
    } cases[] = {
        {Running, "Status: Running", kStop, "StatusBarIcon"},
        {Failed, "Status: Failed", kStart, "StatusBarIconError"},
        {Stopped, "Status: Stopped", kStart, "StatusBarIconStopped"},
        {Unknown, "Status: Unknown", kStart, "StatusBarIconError"},
        // Back to running, so the stop title is really set again and not left over.
        {Running, "Status: Running", kStop, "StatusBarIcon"},
    };
    launch();  // configured, and no backups yet
    EXPECT_TRUE(delegate->menuItemConfigure()->isEnabled());
    EXPECT_FALSE(delegate->menuItemShowConfigBackups()->isEnabled());
    // As while a start or stop is under way: only that operation may enable the item again.
    delegate->menuItemStartStop()->setEnabled(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        platform.processes->setResult(statusResult(c.status));
        delegate->updateMenu();
        EXPECT_EQ(delegate->menuItemStatus()->title(), c.line);
        EXPECT_EQ(delegate->menuItemStartStop()->title(), c.startStop);
        EXPECT_FALSE(delegate->menuItemStartStop()->isEnabled());
        EXPECT_EQ(iconName(), c.icon);
        EXPECT_TRUE(delegate->statusBarItem()->buttonImage()->isTemplate());
    }
    // A status item without a button keeps its image; the menu still follows the files.
    statusBar.statusItems[0]->hasButton_ = false;
    platform.processes->setResult(statusResult(QorStatus::Stopped));
    std::filesystem::create_directories(platform.resolve(kBackups));
    std::filesystem::remove(platform.configFile());
    delegate->updateMenu();
    EXPECT_EQ(iconName(), "StatusBarIcon");
    EXPECT_FALSE(delegate->menuItemConfigure()->isEnabled());
    EXPECT_TRUE(delegate->menuItemShowConfigBackups()->isEnabled());
}

TEST_F(AppDelegateTest, PollsEveryFiveSecondsAndFollowsTheUnitBetweenWithOneRefreshPerBurst) {
    const std::string kLabel = "com.velmora.OrvaneStorageGateway";
    launch();
    EXPECT_EQ(platform.serviceStates->watched(), std::vector<std::string>{kLabel});
    platform.dispatch->advance(seconds(1));
    platform.processes->setResult(statusResult(QorStatus::Stopped));
    // One stop, told in several signals.
    for (int i = 0; i < 3; ++i) platform.serviceStates->change(kLabel);
    EXPECT_EQ(queries(), 1u) << "the refresh waits for the main queue";
    platform.dispatch->advance(seconds(0.1));
    EXPECT_EQ(queries(), 2u);
    EXPECT_EQ(delegate->menuItemStatus()->title(), "Status: Stopped");
    platform.dispatch->advance(seconds(1));
    EXPECT_EQ(queries(), 2u) << "one refresh for the burst";

    platform.serviceStates->change(kLabel);
    platform.dispatch->advance(seconds(2.899));  // 4.999 s after launch
    EXPECT_EQ(queries(), 3u) << "the change's refresh, and no poll yet";
    platform.processes->setResult(statusResult(QorStatus::Running));
    platform.dispatch->advance(seconds(0.001));
    EXPECT_EQ(queries(), 4u) << "the poll on its own beat";
    EXPECT_EQ(delegate->menuItemStatus()->title(), "Status: Running");
    platform.dispatch->advance(seconds(60));
    EXPECT_EQ(queries(), 4u + 12u) << "still one chain of polls";

    delegate.reset();
    EXPECT_TRUE(platform.serviceStates->watched().empty());
    // A sandbox root has nothing to follow; the menu polls.
    services.serviceStates = nullptr;
    launch();
    EXPECT_EQ(delegate->menuItemStatus()->title(), "Status: Running");
}

TEST_F(AppDelegateTest, AlertsWaitForTheMainQueueAndHoldThePollWhileUp) {
    launch();
    std::size_t queriesWhileUp = 0;
    platform.alerts->onShow = [&](const platform::Alert& alert) {
        EXPECT_EQ(alert.style, platform::AlertStyle::Warning);
        EXPECT_EQ(alert.buttons, std::vector<std::string>{"OK"});
        platform.dispatch->advance(seconds(12));
        queriesWhileUp = queries();
    };
    platform.dispatch->advance(seconds(1));
    UiTools::enqueueAlert("Title", "Details");
    EXPECT_TRUE(platform.alerts->shown().empty()) << "an enqueued alert waits for the main queue";
    platform.dispatch->runUntilIdle();  // the alert, up for 12 s
    EXPECT_EQ(queriesWhileUp, 1u) << "no refresh behind a modal alert";
    platform.dispatch->runUntilIdle();
    EXPECT_EQ(queries(), 2u) << "the deferred poll runs once, not once per missed period";
    platform.dispatch->advance(seconds(5));
    EXPECT_EQ(queries(), 3u);
}

// A stop the person did not ask for is told once a minute at most; their own stops, a restart's
// and the state found at start-up are not. Each step is a status the gateway takes on its own
// (then one poll), the person's press of the start/stop item, a restart, or a wait in seconds.
struct StopNoticeCase {
    const char* name;
    QorStatus atLaunch;
    std::vector<std::string> steps;
    std::vector<std::string> noticed;  // the statuses told, in order
    std::int64_t bootoutExit = 0;
    bool gatewayStarts = true;
    std::ptrdiff_t alerts = 0;  // of kFailedToStart
};

class StopNoticeTest : public AppTest, public ::testing::WithParamInterface<StopNoticeCase> {};

TEST_P(StopNoticeTest, TellsStopsNobodyHereAskedFor) {
    const auto& param = GetParam();
    helper->exitCodes["bootout"] = param.bootoutExit;
    helper->startsService = param.gatewayStarts;
    registerHelper();
    platform.processes->setResult(statusResult(param.atLaunch));
    start();
    for (const auto& step : param.steps) {
        if (step == "tap") {  // a press, and no time passes
            delegate->perform("startStopAction");
            continue;
        }
        if (step == "press") {
            delegate->perform("startStopAction");
        } else if (step == "restart") {
            delegate->restartService();
        } else if (auto status = qorStatusFromRawValue(step)) {
            platform.processes->setResult(statusResult(*status));
        } else {
            platform.dispatch->advance(seconds(std::stod(step)));
            continue;
        }
        platform.dispatch->advance(seconds(5));
    }
    std::vector<std::string> expected;
    for (const auto& status : param.noticed) {
        expected.push_back(
            "The gateway stopped / orvane Storage Gateway is no longer running. "
            "Status: " +
            status + " / Show Service Logs -> showServiceLogsAction");
    }
    EXPECT_EQ(platform.userNotifications->delivered, expected);
    const auto alerts = alertTexts();
    EXPECT_EQ(std::count(alerts.begin(), alerts.end(), kFailedToStart), param.alerts);
}

const StopNoticeCase kStopNoticeCases[] = {
    {"OutsideStop", QorStatus::Running, {"Stopped"}, {"Stopped"}},
    {"ThroughAnUnknownStatus", QorStatus::Running, {"Unknown", "Failed"}, {"Failed"}},
    {"StoppedAtStartUp", QorStatus::Stopped, {}, {}},
    {"StartsAreNoNews", QorStatus::Stopped, {"press"}, {}},
    {"ThePersonsStop", QorStatus::Running, {"press"}, {}},
    // Its start does not take: the refresh after it finds the gateway stopped.
    {"ARestart", QorStatus::Running, {"restart"}, {}, 0, false, 1},
    {"OnlyTheAskedStopIsExpected", QorStatus::Running, {"press", "press", "Failed"}, {"Failed"}},
    {"AStopThatDidNotTake", QorStatus::Running, {"press", "Stopped"}, {"Stopped"}, 1},
    // The person's start runs, then fails before its check: the check's alert tells it, and the
    // next stop of the gateway's own is still told.
    {"AStartThatFailsSoon",
     QorStatus::Stopped,
     {"3", "tap", "2", "Failed", "Running", "Stopped"},
     {"Stopped"},
     0,
     true,
     1},
    // Someone else stops the person's start before its check: the menu follows, silently.
    {"AStartStoppedElsewhere", QorStatus::Stopped, {"3", "tap", "2", "Stopped"}, {}},
    {"OncePerMinute",
     QorStatus::Running,
     {"Stopped", "Running", "Failed", "Running", "41", "Stopped", "Running", "Failed"},
     {"Stopped", "Stopped"}},
};
INSTANTIATE_TEST_SUITE_P(Cases, StopNoticeTest, ::testing::ValuesIn(kStopNoticeCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
