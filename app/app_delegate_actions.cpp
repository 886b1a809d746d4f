// The menu's commands besides start/stop: the storage's settings page, start at boot, logs,
// backups, About and Quit.
#include <algorithm>

#include "app/app_delegate.h"
#include "cloud_api/orvane_requests.h"
#include "platform/distributed_notifications.h"
#include "platform/log.h"
#include "platform/opener_watch.h"
#include "platform/translation.h"
#include "platform/ui_tools.h"
#include "platform/workspace.h"
#include "service/qor_tools.h"

namespace {

constexpr char kApplicationBundleIdentifier[] = "com.velmora.OrvaneStorageGatewayApp";
constexpr char kLogScriptName[] = "orvane_storage_grateway_app_logs";
constexpr char kConfigBackupsFolder[] =
    "/Library/Application Support/Velmora/OrvaneStorageGateway/Data/ConfigBackups";

}  // namespace

void AppDelegate::askLauncherToQuit() {
    platform::assertMainThread(services_.dispatch);
    // Without a runtime folder there is no launcher to ask either.
    if (!services_.notifications) return;
    const auto running = services_.workspace.runningApplications();
    const bool launcherRuns = std::any_of(running.begin(), running.end(), [](const auto& app) {
        return app.bundleIdentifier == kLauncherBundleIdentifier;
    });
    // What the launcher listens for: "killLauncher" with this application's identifier.
    if (launcherRuns) services_.notifications->post("killLauncher", kApplicationBundleIdentifier);
}

void AppDelegate::configureAction() {
    platform::assertMainThread(services_.dispatch);
    const auto storageId = QorTools::getConfigValue("storage-id", QorTools::configFileURL());
    if (storageId && OrvaneRequests::openStorageSettings(*storageId)) {
        platform::log("Opened configuration for storage " + *storageId);
        return;
    }
    UiTools::enqueueAlert(platform::translate("Alert", "Failed to open Configuration"),
                          platform::translate("Alert",
                                              "Could not get orvane URL or Storage ID from "
                                              "config.ini. Is orvane Storage Gateway installed?"));
}

void AppDelegate::startOnLoginAction() {
    platform::assertMainThread(services_.dispatch);
    services_.defaults.setValue(kStartOnBoot, !services_.defaults.boolForKey(kStartOnBoot));
    applyStartOnBoot();
}

void AppDelegate::applyStartOnBoot() {
    platform::assertMainThread(services_.dispatch);
    const bool startOnBoot = services_.defaults.boolForKey(kStartOnBoot);
    menuItemStartOnLogin_->setState(startOnBoot ? platform::ControlState::On
                                                : platform::ControlState::Off);
    services_.serviceManagement.loginItemSetEnabled(kLauncherBundleIdentifier, startOnBoot);
    requestBootState(startOnBoot ? "enable" : "disable");
}

void AppDelegate::showServiceLogsAction() {
    platform::assertMainThread(services_.dispatch);
    const auto logFile = QorTools::getConfigValue("log-filename", QorTools::configFileURL());
    // Only an absolute path is a location: anything else would be read relative to wherever
    // the viewer happens to start, or as one of its options.
    if (!logFile || logFile->empty() || logFile->front() != '/') {
        UiTools::enqueueAlert(
            platform::translate("Alert", "Failed to show log file"),
            platform::translate("Alert", "Could not parse log file location from config.ini"));
        return;
    }
    services_.workspace.openFile(*logFile, "Console");
}

void AppDelegate::showApplicationLogsAction() {
    platform::assertMainThread(services_.dispatch);
    const auto script = services_.bundle.resourcePath(kLogScriptName, "sh");
    if (!script) {
        platform::log(
            "showApplicationLogsAction, failed to find helper script resource "
            "orvane_storage_grateway_app_logs.sh");
        return;
    }
    const platform::AlertText failed{
        QT_TRANSLATE_NOOP("Alert", "Could not open the application log")};
    const auto command = services_.workspace.commandToOpenFile(script->string(), "Terminal");
    if (!command) {
        platform::reportOpenFailure(failed, {platform::kNoTerminal});
        return;
    }
    auto started = services_.processes.start(command->executable, command->arguments);
    // A terminal that cannot open a window in this session exits at once: the person is told.
    if (!platform::watchOpener(failed, command->executable, started)) return;
    onMainAfter(kLogProcessReportDelaySeconds, [process = started.process](AppDelegate&) {
        platform::log("showApplicationLogsAction, streaming logs in process " +
                      std::to_string(process->processIdentifier()) +
                      ", isRunning: " + (process->isRunning() ? "true" : "false"));
    });
}

void AppDelegate::showConfigIniBackupsAction() {
    platform::assertMainThread(services_.dispatch);
    services_.workspace.selectFile("", services_.paths.resolve(kConfigBackupsFolder).string());
}

void AppDelegate::aboutAction() {
    platform::assertMainThread(services_.dispatch);
    services_.application.activateIgnoringOtherApps();
    services_.application.orderFrontStandardAboutPanel();
}

// The gateway service is left as it is: it runs on without the application.
void AppDelegate::quitApplication() {
    platform::assertMainThread(services_.dispatch);
    services_.application.terminate();
}
