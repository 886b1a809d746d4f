// Starting, stopping and restarting the gateway service through the helper.
#include "app/app_delegate.h"
#include "platform/log.h"
#include "platform/outside_text.h"
#include "platform/translation.h"
#include "platform/ui_tools.h"
#include "platform/user_notifications.h"
#include "service/qor_tools.h"

namespace {

// launchd's "operation already in progress", which is no failure. Our launchctl for systemd never
// exits with it (a unit already in the state asked for is a plain success), so on Linux this
// branch is kept only for the helper's contract.
constexpr std::int64_t kAlreadyInThatState = 36;
// Enough for systemd's word and the gateway's own line; the whole story is in the journal.
constexpr std::size_t kHelperErrorLines = 5;
constexpr std::size_t kHelperErrorLineBytes = 300;
// How the helper says that polkit did not grant the caller the right.
constexpr std::string_view kNotAuthorized = ": not authorized";
constexpr char kHowToGetTheRight[] =
    QT_TRANSLATE_NOOP("Alert",
                      "You are not allowed to start or stop the gateway; where your desktop asks "
                      "for an administrator's password, giving it allows it once.");

}  // namespace

void AppDelegate::startStopAction() {
    platform::assertMainThread(services_.dispatch);
    if (!ensureHelperIsInstalled()) return;
    platform::log("startStopAction, current qorStatus: " + std::string(caseName(qorStatus_)));
    menuItemStartStop_->setEnabled(false);
    changeExpected_ = true;
    switch (qorStatus_) {
        case QorStatus::Running: stopService([] {}); break;
        case QorStatus::Stopped: startService(); break;
        case QorStatus::Failed:
        case QorStatus::Unknown:
            platform::log("QOR status is " + std::string(rawValue(qorStatus_)) +
                          ", will try to stop before starting it");
            restartService();
            break;
    }
}

// The completions of a chain's steps run in the replies, which the door has let in: the delegate
// is there and this is the main thread.
void AppDelegate::restartService() {
    platform::assertMainThread(services_.dispatch);
    stopService([this] { startService(); });
}

void AppDelegate::restartGatewayWhenHelperIsReady() {
    platform::assertMainThread(services_.dispatch);
    if (ensureHelperIsInstalled()) restartService();
}

void AppDelegate::stopService(Completion completion) {
    platform::assertMainThread(services_.dispatch);
    changeExpected_ = true;
    auto step = launchctlProxy();
    if (!step) return;
    const auto request = ++serviceRequests_;
    sendLaunchctl(*step, "bootout",
                  [this, completion = std::move(completion), request](std::int64_t exitCode) {
                      handleLaunchctlResult(exitCode, "stop", completion, request);
                  });
}

void AppDelegate::startService() {
    platform::assertMainThread(services_.dispatch);
    auto step = launchctlProxy();
    if (!step) return;
    enableService([this, step = *step] { bootstrapService(step, [] {}); });
}

void AppDelegate::enableService(Completion completion) {
    setBootState("enable", std::move(completion));
}

void AppDelegate::disableService(Completion completion) {
    setBootState("disable", std::move(completion));
}

void AppDelegate::setBootState(const std::string& subcommand, Completion completion) {
    platform::assertMainThread(services_.dispatch);
    auto step = launchctlProxy();
    if (!step) return;
    sendLaunchctl(*step, subcommand, bootStateReply(subcommand, std::move(completion)));
}

void AppDelegate::requestBootState(const std::string& subcommand) {
    platform::assertMainThread(services_.dispatch);
    // Not a step of a start or stop: neither its failure nor its silence may give the start/stop
    // item back while one runs. A failed request leaves the connection's log line, nothing more.
    auto helper = helperProxy(nullptr);
    if (!helper) return;
    helper->runQorLaunchctlWithSubcommand(subcommand, [door = door(), subcommand](auto exitCode) {
        door([subcommand, exitCode](AppDelegate& self) {
            self.bootStateReply(subcommand, [] {})(exitCode);
        });
    });
}

std::function<void(std::int64_t)> AppDelegate::bootStateReply(const std::string& subcommand,
                                                              Completion completion) {
    return [this, subcommand, completion = std::move(completion)](std::int64_t exitCode) {
        checkLaunchctlExitCode(
            exitCode, "QOR " + subcommand + ": launchctl failed with exit code: ", completion);
    };
}

void AppDelegate::bootstrapService(const LaunchctlStep& step, Completion completion) {
    platform::assertMainThread(services_.dispatch);
    const auto request = ++serviceRequests_;
    sendLaunchctl(step, "bootstrap",
                  [this, completion = std::move(completion), request](std::int64_t exitCode) {
                      handleLaunchctlResult(
                          exitCode, "start",
                          [this, completion] { disableUnlessStartOnBoot(completion); }, request);
                  });
}

void AppDelegate::disableUnlessStartOnBoot(Completion completion) {
    platform::assertMainThread(services_.dispatch);
    if (services_.defaults.boolForKey(kStartOnBoot)) {
        completion();
    } else {
        disableService(std::move(completion));
    }
}

void AppDelegate::checkLaunchctlExitCode(std::int64_t exitCode, const std::string& prefix,
                                         const Completion& completion) {
    platform::assertMainThread(services_.dispatch);
    if (exitCode != 0) platform::log(prefix + std::to_string(exitCode));
    completion();
}

void AppDelegate::handleLaunchctlResult(std::int64_t exitCode, const std::string& action,
                                        const Completion& completion, std::uint64_t request) {
    platform::assertMainThread(services_.dispatch);
    platform::log("QOR " + action + ": launchctl command exit code: " + std::to_string(exitCode));
    const std::string why = takeHelperErrorText();
    if (exitCode != 0 && exitCode != kAlreadyInThatState) {
        const auto title =
            action == "start"
                ? platform::translate("Alert", "Failed to start orvane Storage Gateway")
                : platform::translate("Alert", "Failed to stop orvane Storage Gateway");
        //: %1 is the command's exit status, a number.
        const auto failed = platform::fillPlaceholders(
            platform::translate("Alert", "The command 'launchctl' failed with exit code: %1"),
            {std::to_string(exitCode)});
        UiTools::enqueueAlert(title, failed + (why.empty() ? "" : "\n\n" + why));
    }
    completion();
    // The menu shows the outcome at once; the check later confirms it. A start that ran is then
    // known to have run, whoever stops it before the check.
    updateMenu();
    onMainAfter(kVerificationDelaySeconds, [action, exitCode, request](AppDelegate& self) {
        self.verifyServiceState(action, exitCode, request);
    });
}

void AppDelegate::verifyServiceState(const std::string& action, std::int64_t exitCode,
                                     std::uint64_t request) {
    platform::assertMainThread(services_.dispatch);
    updateMenu();
    const bool latest = request == serviceRequests_;
    if (action == "start" && exitCode == 0 && qorStatus_ != QorStatus::Running && latest) {
        // Someone else (another person at this computer) may have stopped it since it started;
        // one that failed after it ran did not start for good.
        if (runningSeenAt_ >= request && qorStatus_ == QorStatus::Stopped) {
            platform::log("The gateway started and was stopped since: no failure to start");
        } else {
            // One that started and then died says why as well as one whose start failed.
            const std::string why =
                qorStatus_ == QorStatus::Failed ? QorTools::getFailureReason() : "";
            UiTools::enqueueAlert(
                platform::translate("Alert", "orvane Storage Gateway failed to start"),
                platform::translate(
                    "Alert", "Please check the configuration and logs for more information.") +
                    (why.empty() ? "" : "\n\n" + why));
        }
    }
    // From here on, a change is the gateway's own again: a stop that did not take leaves it
    // running, and its later stop is news.
    if (latest) changeExpected_ = false;
    startStopSettled();
}

void AppDelegate::startStopSettled() {
    platform::assertMainThread(services_.dispatch);
    menuItemStartStop_->setEnabled(true);
}

void AppDelegate::launchctlRequestFailed(bool helperUnreachable) {
    platform::assertMainThread(services_.dispatch);
    startStopSettled();
    // What the failed step did before it failed is still the person's doing.
    updateMenu();
    changeExpected_ = false;
    if (helperUnreachable) {
        helperIsInstalled_ = false;
        ensureHelperIsInstalled();
    }
}

std::string AppDelegate::takeHelperErrorText() {
    platform::assertMainThread(services_.dispatch);
    std::string text;
    text.swap(helperErrorText_);
    std::vector<std::string> lines;
    bool refused = false;
    for (std::size_t start = 0; start < text.size();) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        if (!line.empty()) lines.push_back(platform::escapedText(line, kHelperErrorLineBytes));
        refused = refused || line.ends_with(kNotAuthorized);
        start = end + 1;
    }
    if (lines.size() > kHelperErrorLines)
        lines.erase(lines.begin(), lines.end() - kHelperErrorLines);
    std::string joined;
    for (const auto& line : lines) joined += (joined.empty() ? "" : "\n") + line;
    if (refused) {
        joined += "\n\n" + platform::translate("Alert", kHowToGetTheRight) + " " +
                  platform::translate("Alert", kJoinTheGroup);
    }
    return joined;
}

void AppDelegate::noticeStatusChange() {
    platform::assertMainThread(services_.dispatch);
    const auto previous = lastKnownStatus_;
    if (qorStatus_ != QorStatus::Unknown) lastKnownStatus_ = qorStatus_;
    if (previous != QorStatus::Running ||
        (qorStatus_ != QorStatus::Stopped && qorStatus_ != QorStatus::Failed)) {
        return;
    }
    if (changeExpected_ || stopNoticeQuiet_) return;
    if (!services_.userNotifications) return;
    platform::log("The gateway changed from Running to " + std::string(rawValue(qorStatus_)) +
                  " on its own");
    // A short summary: servers cut long ones; the status goes in the body.
    //: %1 is the gateway's status now: Stopped or Failed.
    const auto body = platform::fillPlaceholders(
        platform::translate("Notification",
                            "orvane Storage Gateway is no longer running. Status: %1"),
        {shownName(qorStatus_)});
    services_.userNotifications->deliver(
        {platform::translate("Notification", "The gateway stopped"), body,
         platform::translate("Notification", "Show Service Logs"), "showServiceLogsAction"});
    stopNoticeQuiet_ = true;
    onMainAfter(kStopNoticeIntervalSeconds,
                [](AppDelegate& self) { self.stopNoticeQuiet_ = false; });
}

std::optional<AppDelegate::LaunchctlStep> AppDelegate::launchctlProxy() {
    platform::assertMainThread(services_.dispatch);
    const auto number = ++stepsNumbered_;
    // A request that fails never replies, so nothing else would give the item back. The failure
    // settles the step: its bound must not fire later, in the middle of the next action.
    auto proxy = helperProxy([this, number](bool) {
        if (settle(number)) launchctlRequestFailed(!helperIsInstalled_);
    });
    if (!proxy) {
        // No step can be sent, so no reply or check will settle this start or stop.
        door()([](AppDelegate& self) { self.launchctlRequestFailed(false); });
        return std::nullopt;
    }
    return LaunchctlStep{std::move(*proxy), number};
}

bool AppDelegate::settle(std::uint64_t step) {
    platform::assertMainThread(services_.dispatch);
    return awaitedSteps_.erase(step) > 0;
}

void AppDelegate::sendLaunchctl(const LaunchctlStep& step, const std::string& subcommand,
                                std::function<void(std::int64_t)> onExit) {
    platform::assertMainThread(services_.dispatch);
    // The bound only gives the item back; a reply that comes later is still handled in full, so
    // a slow "bootout" still logs, alerts, checks and lets a restart go on.
    helperErrorText_.clear();
    awaitedSteps_.insert(step.number);
    auto proxy = step.proxy;
    proxy.runQorLaunchctlWithSubcommand(
        subcommand,
        [door = door(), number = step.number, onExit = std::move(onExit)](std::int64_t exitCode) {
            door([onExit, number, exitCode](AppDelegate& self) {
                self.settle(number);
                onExit(exitCode);
            });
        });
    onMainAfter(kHelperReplyBoundSeconds, [number = step.number, subcommand](AppDelegate& self) {
        if (!self.settle(number)) return;
        platform::log("The helper did not answer launchctl " + subcommand + " within " +
                      std::to_string(static_cast<int>(kHelperReplyBoundSeconds)) +
                      " seconds; the start/stop item is enabled again");
        // What the helper does after this long is no longer this action's doing.
        self.changeExpected_ = false;
        self.startStopSettled();
    });
}
