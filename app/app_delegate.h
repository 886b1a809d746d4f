#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "helper_interface/helper_connection.h"
#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/dispatch.h"
#include "platform/service_management.h"
#include "platform/service_state_watcher.h"
#include "platform/status_bar.h"
#include "platform/user_defaults.h"
#include "platform/wizard_controls.h"
#include "platform/xpc_connection.h"
#include "service/qor_status.h"

// The application's delegate: owns the status item and its menu, keeps the menu in step with
// the gateway service, and starts and stops that service through the privileged helper.
//
// Menu state is main-thread only, and the methods that touch it, the menu's actions and its
// alerts check so (`platform::assertMainThread`). The helper's replies arrive on its
// connection's queue; what they touch there is `helperIsInstalled_` (atomic) and
// `currentHelperConnection_` (under `connectionMutex_`), and everything else hops to the main
// queue.
class AppDelegate : public platform::ApplicationDelegate, public platform::GatewayRestarter {
public:
    using Completion = std::function<void()>;

    AppDelegate(platform::StatusBar& statusBar, platform::Dispatch& dispatch,
                platform::UserDefaults& defaults, const platform::Bundle& bundle,
                platform::XpcConnector& connector, platform::ServiceManagement& serviceManagement,
                platform::SharedApplication& application);
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
    // The helper's output while it works; from the connection's queue.
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
    // A proxy for one launchctl step, with whether that step is settled (answered, failed or
    // given up on); each step gets its own.
    struct LaunchctlHelper {
        HelperProtocolProxy proxy;
        std::shared_ptr<std::atomic<bool>> settled;
    };
    void bootstrapService(const LaunchctlHelper& helper, Completion completion);
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

    bool helperIsInstalled() const { return helperIsInstalled_; }
    std::shared_ptr<platform::XpcConnection> currentHelperConnection() const;

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
    // What someone outside the product's group must do to read its files or control it.
    static constexpr char kJoinTheGroup[] =
        "Ask an administrator to add you to the group orvane, then log out and in again.";

    // Read by tests and later by the menu actions.
    QorStatus qorStatus() const {
        platform::assertMainThread(dispatch_);
        return qorStatus_;
    }
    const std::shared_ptr<platform::StatusItem>& statusBarItem() const {
        platform::assertMainThread(dispatch_);
        return statusBarItem_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemStatus() const {
        platform::assertMainThread(dispatch_);
        return menuItemStatus_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemStartStop() const {
        platform::assertMainThread(dispatch_);
        return menuItemStartStop_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemConfigure() const {
        platform::assertMainThread(dispatch_);
        return menuItemConfigure_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemStartOnLogin() const {
        platform::assertMainThread(dispatch_);
        return menuItemStartOnLogin_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemShowConfigBackups() const {
        platform::assertMainThread(dispatch_);
        return menuItemShowConfigBackups_;
    }
    const std::shared_ptr<platform::Image>& statusIconOk() const { return statusIconOk_; }
    const std::shared_ptr<platform::Image>& statusIconError() const { return statusIconError_; }
    const std::shared_ptr<platform::Image>& statusIconStopped() const { return statusIconStopped_; }
    double statusCheckPeriodSeconds() const { return statusCheckPeriodSeconds_; }

private:
    class Lifetime;
    class Exported;

    std::shared_ptr<platform::Image> loadIcon(const std::string& name);
    std::shared_ptr<platform::Menu> buildMenu(const std::string& bundleName);
    // A launcher still running from this login is asked to quit.
    void askLauncherToQuit();
    // Runs `task` on the main queue unless this delegate is gone by then.
    void onMain(std::function<void(AppDelegate&)> task);
    void onMainAfter(double seconds, std::function<void(AppDelegate&)> task);
    void schedulePeriodicUpdate();
    // Between polls, the menu follows the service manager's word that the gateway changed.
    void followServiceState();
    // One launchctl step of a start or stop: a failed or unanswered request gives the start/stop
    // item back instead of leaving it disabled.
    void sendLaunchctl(const LaunchctlHelper& helper, const std::string& subcommand,
                       std::function<void(std::int64_t)> onExit);
    std::optional<LaunchctlHelper> launchctlProxy();
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

    platform::StatusBar& statusBar_;
    platform::Dispatch& dispatch_;
    platform::UserDefaults& defaults_;
    const platform::Bundle& bundle_;
    platform::XpcConnector& connector_;
    platform::ServiceManagement& serviceManagement_;
    platform::SharedApplication& application_;
    platform::WizardWindow* window_ = nullptr;

    // Callbacks from other threads hold this; the destructor ends it before members go.
    std::shared_ptr<Lifetime> lifetime_;
    std::shared_ptr<Exported> exported_;
    std::atomic<bool> helperIsInstalled_{false};
    // One installation at a time: the start-up check may install on the connection's queue while
    // the person presses the start/stop item.
    std::atomic<bool> installing_{false};
    mutable std::mutex connectionMutex_;
    std::shared_ptr<platform::XpcConnection> currentHelperConnection_;
    std::unique_ptr<platform::ServiceStateWatcher::Watch> serviceStateWatch_;
    // Set on the watcher's thread, cleared on the main thread just before the refresh.
    std::atomic<bool> stateRefreshPending_{false};

    std::shared_ptr<platform::StatusItem> statusBarItem_;
    std::shared_ptr<platform::MenuItem> menuItemStatus_;
    std::shared_ptr<platform::MenuItem> menuItemStartStop_;
    std::shared_ptr<platform::MenuItem> menuItemConfigure_;
    std::shared_ptr<platform::MenuItem> menuItemStartOnLogin_;
    std::shared_ptr<platform::MenuItem> menuItemShowConfigBackups_;
    QorStatus qorStatus_ = QorStatus::Running;
    // Starts and stops asked for so far; they are asked for on the main queue and in the helper's
    // replies (a restart's start). A start's check of its outcome is moot once another start or
    // stop has been asked for: a gateway the person has stopped since did not fail to start.
    std::atomic<std::uint64_t> serviceRequests_{0};
    // The last status other than Unknown a refresh found; none before the first.
    std::optional<QorStatus> lastKnownStatus_;
    // A start or stop asked for here (the person's, or a restart's) is under way until the check
    // of the last one asked for: the changes it causes are expected, neither told nor counted
    // for the quiet period.
    bool changeExpected_ = false;
    // The start or stop (its number in serviceRequests_) that was under way when a refresh last
    // found the gateway running: a start seen running did start, whoever stopped it after.
    std::uint64_t runningSeenAt_ = 0;
    // What the helper wrote on its standard error since the last start or stop step was sent;
    // written on the connection's queue, read there by that step's reply.
    std::mutex helperErrorMutex_;
    std::string helperErrorText_;
    bool stopNoticeQuiet_ = false;
    std::shared_ptr<platform::Image> statusIconOk_;
    std::shared_ptr<platform::Image> statusIconError_;
    std::shared_ptr<platform::Image> statusIconStopped_;
    double statusCheckPeriodSeconds_ = 5.0;
};
