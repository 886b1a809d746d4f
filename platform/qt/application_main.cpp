#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "platform/application.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/file_rights_store.h"
#include "platform/linux/host_computer_name.h"
#include "platform/linux/json_user_defaults.h"
#include "platform/linux/kernel_random.h"
#include "platform/linux/launchd_job_blesser.h"
#include "platform/linux/local_clock.h"
#include "platform/linux/plist_bundle.h"
#include "platform/linux/polkit_action_rights.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/running_applications.h"
#include "platform/linux/socket_notification_center.h"
#include "platform/linux/system_log.h"
#include "platform/linux/systemd_state_watcher.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/linux/xdg_dirs.h"
#include "platform/linux/xdg_workspace.h"
#include "platform/qt/qt_administrator_prompt.h"
#include "platform/qt/qt_alert_presenter.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_dispatch.h"
#include "platform/qt/qt_shared_application.h"
#include "platform/qt/qt_show_folder.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/qt/qt_user_notification_center.h"
#include "platform/qt/qt_wizard_window.h"
#include "platform/registry.h"

namespace platform {
namespace {

// What a second launch tells the first instance before it exits, with the bundle identifier.
constexpr char kReopenNotification[] = "reopenApplication";

}  // namespace

int applicationMain(int argc, char** argv, const DelegateFactory& makeDelegate) {
    auto bundle =
        std::make_shared<linux_impl::PlistBundle>(linux_impl::PlistBundle::ofRunningExecutable());
    const std::string identifier =
        bundle->infoString("CFBundleIdentifier").value_or("com.velmora.OrvaneStorageGatewayApp");
    const auto runtimeDir = linux_impl::xdgRuntimeDir();
    // One instance per user: a second launch (from the application menu, say) asks the first to
    // show itself and leaves.
    std::unique_ptr<linux_impl::InstanceLock> soleLock;
    if (runtimeDir) {
        auto sole = linux_impl::InstanceLock::acquireSole(*runtimeDir, identifier);
        if (sole.anotherRuns) {
            linux_impl::SocketNotificationCenter(*runtimeDir).post(kReopenNotification, identifier);
            return 0;
        }
        soleLock = std::move(sole.lock);
    }

    QApplication app(argc, argv);
    // A menu-bar application lives on after its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationDisplayName(
        QString::fromStdString(bundle->infoString("CFBundleName").value_or("App")));
    if (auto icon = bundle->resourcePath("AppIcon", "png"))
        QApplication::setWindowIcon(QIcon(QString::fromStdString(icon->string())));
    // Held while the process lives: this is how the desktop knows the application runs.
    std::unique_ptr<linux_impl::InstanceLock> instanceLock;
    if (runtimeDir) instanceLock = linux_impl::InstanceLock::acquire(*runtimeDir, identifier);

    // Never destroyed, like the installed services and their worker threads: a sign-in poll
    // still running at Quit asks it for the activation policy from the global queue. The bundle
    // it reads is one of those services.
    static auto* const kept = new qt::QtSharedApplication(*bundle);
    auto& application = *kept;
    auto dispatch = std::make_shared<qt::QtDispatch>();
    Services services;
    services.log = std::make_shared<linux_impl::SystemLog>(
        linux_impl::kApplicationLogIdentifier,
        linux_impl::xdgStateHome() / identifier / "application.log");
    services.dispatch = dispatch;
    auto processes = std::make_shared<linux_impl::PosixProcessRunner>();
    services.processes = processes;
    auto paths = std::make_shared<linux_impl::RootedSystemPaths>(
        linux_impl::RootedSystemPaths::fromEnvironment());
    services.paths = paths;
    services.files = std::make_shared<linux_impl::PosixFileSystem>();
    services.clock = std::make_shared<linux_impl::LocalClock>();
    services.alerts = std::make_shared<qt::QtAlertPresenter>(*dispatch);
    services.defaults = std::make_shared<linux_impl::JsonUserDefaults>(
        linux_impl::JsonUserDefaults::fileForDomain(identifier));
    services.mainBundle = bundle;
    // On the real system the package installed the helper and its polkit action, so the app
    // only reads them and never asks for an administrator. A sandbox root has no package: the
    // app installs into it after a dialog that stands in for the administrator, and the gateway
    // is no systemd unit there, so its menu only polls.
    const auto installation = paths->installationKind();
    if (installation == linux_impl::InstallationKind::package) {
        services.authorization = std::make_shared<linux_impl::PolkitActionRights>(
            paths->resolve(linux_impl::kHelperPolicyFile));
        services.serviceStates = std::make_shared<linux_impl::SystemdStateWatcher>();
    } else {
        services.authorization = std::make_shared<linux_impl::FileRightsStore>(
            paths->resolve("/var/db/authorization-rights.json"),
            std::make_shared<qt::QtAdministratorPrompt>(*dispatch));
    }
    services.xpc = std::make_shared<linux_impl::UnixXpcConnector>(paths, dispatch);
    services.serviceManagement = std::make_shared<linux_impl::LaunchdJobBlesser>(
        paths, processes, bundle->bundlePath(), installation);
    // Cloud replies complete on the session's own queue, never on the main thread.
    services.urlSession =
        std::make_shared<linux_impl::CurlUrlSession>(dispatch->makeSerialQueue("url-session"));
    services.random = std::make_shared<linux_impl::KernelRandom>();
    services.workspace = std::make_shared<linux_impl::XdgWorkspace>(
        processes, runtimeDir, linux_impl::XdgWorkspace::Programs(), qt::showFolderWithFileManager);
    services.clipboard = std::make_shared<qt::QtClipboard>();
    if (runtimeDir) {
        services.notifications =
            std::make_shared<linux_impl::SocketNotificationCenter>(*runtimeDir);
    }
    qt::QtStatusBar statusBar(*bundle);
    auto userNotifications = std::make_shared<qt::QtUserNotificationCenter>(application);
    userNotifications->setFallbackTray([&statusBar]() -> QSystemTrayIcon* {
        const auto& items = statusBar.statusItems();
        return items.empty() ? nullptr : items.front()->embeddedIcon();
    });
    services.userNotifications = userNotifications;
    installServices(services);
    linux_impl::HostComputerName computerName;
    qt::QtWizardWindow wizardWindow(*dispatch);
    ApplicationContext context{statusBar, application, wizardWindow, computerName};
    std::unique_ptr<ApplicationDelegate> delegate = makeDelegate(context);
    statusBar.setResponder(delegate.get());
    application.setDelegate(delegate.get());
    QTimer::singleShot(0, [&] { delegate->applicationDidFinishLaunching(); });
    std::unique_ptr<DistributedNotificationCenter::Observation> reopen;
    if (services.notifications) {
        reopen = services.notifications->addObserver(
            kReopenNotification, identifier, [dispatch, &statusBar] {
                dispatch->main().async([&] {
                    log("Launched again: the status window is shown");
                    statusBar.showStatusWindow();
                });
            });
    }
    const int status = QApplication::exec();

    reopen.reset();
    userNotifications->setFallbackTray(nullptr);

    statusBar.setResponder(nullptr);
    application.setDelegate(nullptr);
    delegate.reset();
    // The services stay installed: worker threads (a poll, a reply, a drained helper queue) may
    // still be finishing and log or post to the main queue until the process ends.
    return status;
}

}  // namespace platform
