#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "helper_interface/helper_connection.h"
#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/dispatch.h"
#include "platform/distributed_notifications.h"
#include "platform/file_system.h"
#include "platform/process_runner.h"
#include "platform/service_management.h"
#include "platform/service_state_watcher.h"
#include "platform/status_bar.h"
#include "platform/system_paths.h"
#include "platform/translation.h"
#include "platform/user_defaults.h"
#include "platform/user_notifications.h"
#include "platform/wizard_controls.h"
#include "platform/workspace.h"
#include "platform/xpc_connection.h"
#include "service/qor_status.h"

// The application's delegate: owns the status item and its menu, keeps the menu in step with
// the gateway service, and starts and stops that service through the privileged helper.
//
// Every field is main-thread only, and every method that touches one checks so
// (`platform::assertMainThread`). The helper's replies and output arrive on its connection's
// queue and the service manager's word on the watcher's thread; they come in through one door,
// `Door`, which hops to the main queue and lets them in only while the delegate lives.
class AppDelegate : public platform::ApplicationDelegate, public platform::GatewayRestarter {
public:
    using Completion = std::function<void()>;

    // What the delegate works with, each by name. None is owned here; each outlives the delegate.
    struct Services {
        platform::StatusBar& statusBar;
        platform::SharedApplication& application;
        platform::Dispatch& dispatch;
        platform::UserDefaults& defaults;
        const platform::Bundle& bundle;
        platform::XpcConnector& connector;
        platform::ServiceManagement& serviceManagement;
        platform::FileSystem& files;
        platform::ProcessRunner& processes;
        const platform::SystemPaths& paths;
        platform::Workspace& workspace;
        // Null where there is none: no runtime folder to post in, a gateway that is no systemd
        // unit (the menu then only polls), a desktop that cannot show notices.
        platform::DistributedNotificationCenter* notifications = nullptr;
        platform::ServiceStateWatcher* serviceStates = nullptr;
        platform::UserNotificationCenter* userNotifications = nullptr;
    };

    explicit AppDelegate(const Services& services);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching() override;
    bool perform(const platform::Selector& selector) override;

    // The setup wizard's window; set once by whoever loads it, before launch.
    platform::WizardWindow* window() const { return window_; }
    void setWindow(platform::WizardWindow* window) { window_ = window; }

    void setupStatusBarMenu();
    void updateMenu();
    void pediodicallyUpdateMenu();

    // The helper: its version check, installation and connection.
    void checkHelperVersion();
    void helperVersionChecked(bool isCurrent);
    bool ensureHelperIsInstalled();
    bool installHelper();
    std::shared_ptr<platform::XpcConnection> helperConnection();
    std::optional<HelperProtocolProxy> helperProxy(std::function<void(bool)> errorHandler);
    // The helper's output while it works, let in through the door.
    void logWithStdOut(const std::string& text);
    void logWithStdErr(const std::string& text);

    // Menu actions.
    void setupWizardAction();
    void openSetupWizard();

    // Starting and stopping the gateway service.
    void startStopAction();
    void restartService();
    void restartGatewayWhenHelperIsReady() override;
    void stopService(Completion completion);
    void startService();
    void enableService(Completion completion);
    void disableService(Completion completion);
    // One launchctl step of a start or stop: the proxy it is sent on, and its number in
    // awaitedSteps_.
    struct LaunchctlStep {
        HelperProtocolProxy proxy;
        std::uint64_t number;
    };
    void bootstrapService(const LaunchctlStep& step, Completion completion);
    void disableUnlessStartOnBoot(Completion completion);
    void checkLaunchctlExitCode(std::int64_t exitCode, const std::string& prefix,
                                const Completion& completion);
    // `request` is the start's or stop's number in serviceRequests_.
    void handleLaunchctlResult(std::int64_t exitCode, const std::string& action,
                               const Completion& completion, std::uint64_t request);
    void verifyServiceState(const std::string& action, std::int64_t exitCode,
                            std::uint64_t request);

    // The menu's other commands.
    void configureAction();
    void startOnLoginAction();
    void applyStartOnBoot();
    void showServiceLogsAction();
    void showApplicationLogsAction();
    void showConfigIniBackupsAction();
    void aboutAction();
    void quitApplication();

    bool helperIsInstalled() const {
        platform::assertMainThread(services_.dispatch);
        return helperIsInstalled_;
    }
    std::shared_ptr<platform::XpcConnection> currentHelperConnection() const {
        platform::assertMainThread(services_.dispatch);
        return currentHelperConnection_;
    }

    // How long a start or stop step may wait for the helper's reply before the start/stop item
    // is given back to the user.
    static constexpr double kHelperReplyBoundSeconds = 30.0;
    static constexpr double kVerificationDelaySeconds = 4.0;
    // systemd reports one change of the gateway's unit in several signals: the first asks for a
    // refresh this much later, and the others find it asked for.
    static constexpr double kStateChangeRefreshDelaySeconds = 0.1;
    static constexpr char kStartOnBoot[] = "StartOnBoot";
    static constexpr char kLauncherBundleIdentifier[] =
        "com.velmora.OrvaneStorageGatewayApp.Launcher.QORLauncher";
    static constexpr double kLogProcessReportDelaySeconds = 0.5;
    // At most one notification of the gateway stopping on its own in this time.
    static constexpr double kStopNoticeIntervalSeconds = 60.0;
    // What someone outside the product's group must do to read its files or control it; shown
    // as platform::translate("Alert", kJoinTheGroup).
    static constexpr char kJoinTheGroup[] = QT_TRANSLATE_NOOP(
        "Alert", "Ask an administrator to add you to the group orvane, then log out and in again.");

    // Read by tests and later by the menu actions.
    QorStatus qorStatus() const {
        platform::assertMainThread(services_.dispatch);
        return qorStatus_;
    }
    const std::shared_ptr<platform::StatusItem>& statusBarItem() const {
        platform::assertMainThread(services_.dispatch);
        return statusBarItem_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemStatus() const {
        platform::assertMainThread(services_.dispatch);
        return menuItemStatus_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemStartStop() const {
        platform::assertMainThread(services_.dispatch);
        return menuItemStartStop_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemConfigure() const {
        platform::assertMainThread(services_.dispatch);
        return menuItemConfigure_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemStartOnLogin() const {
        platform::assertMainThread(services_.dispatch);
        return menuItemStartOnLogin_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemShowConfigBackups() const {
        platform::assertMainThread(services_.dispatch);
        return menuItemShowConfigBackups_;
    }
    const std::shared_ptr<platform::Image>& statusIconOk() const { return statusIconOk_; }
    const std::shared_ptr<platform::Image>& statusIconError() const { return statusIconError_; }
    const std::shared_ptr<platform::Image>& statusIconStopped() const { return statusIconStopped_; }
    double statusCheckPeriodSeconds() const { return statusCheckPeriodSeconds_; }

private:
    class Exported;

    // The way in for callbacks from other threads: each holds a copy, which never touches the
    // delegate where it is called, and runs its task on the main queue while the delegate lives.
    // The dispatch outlives every copy: the composition root never lets it go.
    struct Door {
        std::weak_ptr<AppDelegate> delegate;
        platform::Dispatch* dispatch;
        // Any thread.
        void operator()(std::function<void(AppDelegate&)> task) const;
    };
    Door door() const;

    std::shared_ptr<platform::Image> loadIcon(const std::string& name);
    std::shared_ptr<platform::Menu> buildMenu(const std::string& bundleName);
    // A launcher still running from this login is asked to quit.
    void askLauncherToQuit();
    // Runs `task` on the main queue `seconds` later, unless this delegate is gone by then.
    void onMainAfter(double seconds, std::function<void(AppDelegate&)> task);
    void schedulePeriodicUpdate();
    // Between polls, the menu follows the service manager's word that the gateway changed.
    void followServiceState();
    // One launchctl step of a start or stop: a failed or unanswered request gives the start/stop
    // item back instead of leaving it disabled.
    void sendLaunchctl(const LaunchctlStep& step, const std::string& subcommand,
                       std::function<void(std::int64_t)> onExit);
    std::optional<LaunchctlStep> launchctlProxy();
    // True for the step's first word (a reply, a failure or its bound): that one settles it.
    bool settle(std::uint64_t step);
    // "enable" or "disable": whether the service is loaded at boot. As a step of a start or stop
    // chain, and on its own for "Start at boot".
    void setBootState(const std::string& subcommand, Completion completion);
    void requestBootState(const std::string& subcommand);
    std::function<void(std::int64_t)> bootStateReply(const std::string& subcommand,
                                                     Completion completion);
    // The start/stop item back in the person's hands: their action has settled, whatever came of
    // it.
    void startStopSettled();
    // A start or stop step's request failed on the connection: the item is given back, the menu
    // shows what the gateway does now, and a helper that cannot be reached at all is looked for
    // again, which tells the person when it is not installed.
    void launchctlRequestFailed(bool helperUnreachable);
    // What the helper wrote on its standard error for the step sent last, cut to a few lines and
    // escaped, with what to do where the helper was refused the right; empty when it wrote
    // nothing.
    std::string takeHelperErrorText();
    // After each refresh: a gateway that left Running for Stopped or Failed without being asked
    // to is told in a notification.
    void noticeStatusChange();

    // Given once, at construction; each lives longer than the delegate.
    const Services services_;
    platform::WizardWindow* window_ = nullptr;

    // What the door's copies look at; it goes first in the destructor.
    std::shared_ptr<AppDelegate> alive_;
    bool helperIsInstalled_ = false;
    // One installation at a time: the administrator dialog runs the main loop, where the person
    // may press the start/stop item again.
    bool installing_ = false;
    // Helpers installed so far.
    std::uint64_t installations_ = 0;
    std::shared_ptr<platform::XpcConnection> currentHelperConnection_;
    std::unique_ptr<platform::ServiceStateWatcher::Watch> serviceStateWatch_;
    // One refresh for a burst of the watcher's signals: set by the first, cleared just before
    // the refresh.
    bool stateRefreshPending_ = false;

    std::shared_ptr<platform::StatusItem> statusBarItem_;
    std::shared_ptr<platform::MenuItem> menuItemStatus_;
    std::shared_ptr<platform::MenuItem> menuItemStartStop_;
    std::shared_ptr<platform::MenuItem> menuItemConfigure_;
    std::shared_ptr<platform::MenuItem> menuItemStartOnLogin_;
    std::shared_ptr<platform::MenuItem> menuItemShowConfigBackups_;
    QorStatus qorStatus_ = QorStatus::Running;
    // Starts and stops asked for so far. A start's check of its outcome is moot once another
    // start or stop has been asked for: a gateway the person has stopped since did not fail to
    // start.
    std::uint64_t serviceRequests_ = 0;
    // The launchctl steps sent whose reply, failure or bound has not come yet, by number.
    std::set<std::uint64_t> awaitedSteps_;
    std::uint64_t stepsNumbered_ = 0;
    // The last status other than Unknown a refresh found; none before the first.
    std::optional<QorStatus> lastKnownStatus_;
    // A start or stop asked for here (the person's, or a restart's) is under way until the check
    // of the last one asked for: the changes it causes are expected, neither told nor counted
    // for the quiet period.
    bool changeExpected_ = false;
    // The start or stop (its number in serviceRequests_) that was under way when a refresh last
    // found the gateway running: a start seen running did start, whoever stopped it after.
    std::uint64_t runningSeenAt_ = 0;
    // What the helper wrote on its standard error since the last start or stop step was sent,
    // for that step's reply.
    std::string helperErrorText_;
    bool stopNoticeQuiet_ = false;
    std::shared_ptr<platform::Image> statusIconOk_;
    std::shared_ptr<platform::Image> statusIconError_;
    std::shared_ptr<platform::Image> statusIconStopped_;
    double statusCheckPeriodSeconds_ = 5.0;
};
